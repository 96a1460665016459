// The main window as it grows: the list and the movie follow its size, columns fit
// their content, size and column widths outlive the window; and the marks of
// entries that are new since the last look.
#include "app/window_layout.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QSettings>
#include <QToolTip>
#include <filesystem>

#include "app/velmora_app.h"
#include "changes/seen_entries.h"
#include "tests/changes/changes_fixture.h"
#include "tests/ui/ui_test_support.h"
#include "ui/entry_list.h"
#include "ui/user_settings.h"
#include "ui/velmora_dlg.h"

namespace velmora {
namespace {

using ui::VelmoraDlg;

constexpr char kLongCommand[] =
    "\"C:\\Program Files\\Long Vendor Name\\Background Helper\\helper.exe\" --minimised";

class WindowLayoutTest : public test::ChangesTest {
 protected:
  void SetUp() override {
    test::ChangesTest::SetUp();
    std::filesystem::remove(ui::UserSettingsPath());
  }
  void TearDown() override {
    window_.reset();
    app_.reset();
  }
  void MakeEntries() {
    SetText(kLmRun, "Alpha", "C:\\Tools\\alpha.exe /tray");
    SetText(kCuRun, "Helper", kLongCommand);
    SetText(kCuRunOnce, "Later", "C:\\Tools\\later.exe");
  }
  void Open() {
    window_.reset();
    app_ = std::make_unique<VelmoraApp>(velmora::test::System());
    test::UseBuiltProgramDir(app_->Context());
    app_->programDir = app_->Context().programDir;
    app_->settings.ShowSplash = 0;
    app_->settings.ShowSavingMsg = 0;
    window_ = std::make_unique<VelmoraDlg>(*app_);
    window_->Initialise();
    window_->show();
    test::ProcessMovieCommands();
  }
  // Closes the window as the user does; it saves what it keeps.
  void Close() {
    window_->ConfirmApplyOnClose();
    window_.reset();
  }
  void ResizeTo(int width, int height) {
    window_->resize(width, height);
    test::ProcessMovieCommands();
  }
  ui::EntryList* List() { return window_->List(); }
  int RowOf(const std::string& name) {
    for (int row = 0; row < List()->rowCount(); ++row) {
      if (List()->RowName(row) == name) return row;
    }
    return -1;
  }
  QQuickItem* MovieItem(const char* name) { return test::FindMovieItem(window_->Movie(), name); }

  std::unique_ptr<VelmoraApp> app_;
  std::unique_ptr<VelmoraDlg> window_;
};

TEST_F(WindowLayoutTest, ListAndMovieGrowWithTheWindowAndColumnsFitTheirContent) {
  MakeEntries();
  test::QtMessageCatcher messages;
  Open();
  // The template's size is the default and the smallest size.
  EXPECT_EQ(window_->size(), QSize(639, 605));
  EXPECT_EQ(window_->minimumSize(), QSize(639, 605));
  EXPECT_EQ(List()->geometry(), QRect(215, 288, 408, 255));
  const int helper = RowOf("Helper");
  ASSERT_GE(helper, 0);
  // Too narrow for the path: it elides in the middle, the tooltip has all of it.
  EXPECT_LT(List()->columnWidth(ui::kColumnFileName), List()->ContentWidth(ui::kColumnFileName));
  EXPECT_EQ(List()->ColumnElideMode(ui::kColumnFileName), Qt::ElideMiddle);
  EXPECT_EQ(List()->ColumnElideMode(ui::kColumnName), Qt::ElideRight);
  EXPECT_EQ(
      List()->model()->index(helper, ui::kColumnFileName).data(Qt::ToolTipRole).toString().toStdString(),
      kLongCommand);
  test::SaveScreenshot(window_.get(), "main_window_default_size");

  ResizeTo(1600, 900);
  EXPECT_EQ(List()->geometry(), QRect(215, 288, 408 + 961, 255 + 295));
  EXPECT_EQ(window_->Movie()->size(), QSize(1600, 900));
  QQuickItem* root = window_->Movie()->MovieRoot();
  EXPECT_EQ(QSizeF(root->width(), root->height()), QSizeF(1600, 900));
  QQuickItem* frame = MovieItem("listFrame");
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->width(), 412 + 961);
  EXPECT_EQ(frame->height(), 259 + 295);
  // The footer's buttons moved down with the bottom edge.
  QQuickItem* apply = MovieItem("ID_FS_APPLYCHANGES");
  ASSERT_NE(apply, nullptr);
  EXPECT_GT(apply->mapToScene(QPointF(0, 0)).y(), 555 + 295 - 10);
  // Every column now shows its whole content, and the rows reach the right edge.
  int total = 0;
  for (int column = 0; column < ui::kColumnCount; ++column) {
    EXPECT_GE(List()->columnWidth(column), List()->ContentWidth(column)) << column;
    EXPECT_GE(List()->columnWidth(column), ui::Column(column).width) << column;
    total += List()->columnWidth(column);
  }
  EXPECT_EQ(total, List()->viewport()->width());
  test::SaveScreenshot(window_.get(), "main_window_large");

  // Back to the smallest size: the specified geometry again.
  ResizeTo(300, 200);
  EXPECT_EQ(window_->size(), QSize(639, 605));
  EXPECT_EQ(List()->geometry(), QRect(215, 288, 408, 255));
  EXPECT_EQ(List()->columnWidth(ui::kColumnFileName), ui::Column(ui::kColumnFileName).width);
  EXPECT_TRUE(messages.messages.isEmpty()) << messages.messages.join("\n").toStdString();
}

// Columns are measured on the cells widest by estimate only; the result must be
// what measuring every cell gives, also where the longest text is not the widest
// (narrow letters against wide ones, other scripts, a two-unit character).
TEST_F(WindowLayoutTest, ColumnsMeasureAsWideAsTheirWidestCellWhereverItIs) {
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i);
    SetText(kCuRun, "iiiiiiiiiiiiiiiiiiiiiiii" + n,
            "C:\\Tools\\llllllllllllllllllllllllllll" + n + ".exe /i");
  }
  SetText(kCuRun, "WWWWWWWWWWWWWWWW", "C:\\WWW\\MMMMMMMMMMMMMMMM.exe");
  SetText(kLmRun,
          "\xd0\x9f\xd1\x80\xd0\xbe\xd0\xb3\xd1\x80\xd0\xb0\xd0\xbc\xd0\xbc\xd0\xb0 \xe7\xae\xa1\xe7\x90\x86",
          "C:\\\xe5\xb7\xa5\xe5\x85\xb7\\\xe7\xae\xa1\xe7\x90\x86\xe5\x99\xa8.exe");
  SetText(kLmRun, "Note \xf0\x9f\x93\x9d\xf0\x9f\x93\x9d\xf0\x9f\x93\x9d", "C:\\Tools\\note.exe");
  Open();
  ASSERT_EQ(List()->rowCount(), 43);
  for (int column = 0; column < ui::kColumnCount; ++column) {
    // Qt's own measure of every row (all of them: fewer than its limit of 1000),
    // public in the base class.
    const QAbstractItemView* view = List();
    const int everyCell =
        std::max(view->sizeHintForColumn(column), List()->horizontalHeader()->sectionSizeHint(column));
    EXPECT_EQ(List()->ContentWidth(column), everyCell) << column;
  }
}

TEST_F(WindowLayoutTest, SizeAndColumnWidthsChosenByTheUserOutliveTheWindow) {
  MakeEntries();
  Open();
  ResizeTo(1000, 760);
  // A divider dragged with the mouse: from then on the widths are the user's.
  QHeaderView* header = List()->horizontalHeader();
  const int edge =
      header->sectionViewportPosition(ui::kColumnRating) + header->sectionSize(ui::kColumnRating) - 1;
  const int y = header->height() / 2;
  QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(edge, y));
  QTest::mouseMove(header->viewport(), QPoint(edge + 60, y));
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(edge + 60, y));
  ASSERT_TRUE(List()->ColumnWidthsSetByUser());
  const std::vector<int> chosen = List()->ColumnWidths();
  Close();

  // The user's, in the user's settings file: the system's registry holds none of it.
  WindowLayout stored = ui::LoadWindowLayout(velmora::test::System());
  EXPECT_EQ(stored.width, 1000);
  EXPECT_EQ(stored.height, 760);
  EXPECT_EQ(stored.columnWidths, chosen);
  EXPECT_EQ(WindowLayout::Load(velmora::test::System()).width, 0);
  // The six settings of old stay where they were.
  StartupSettingsParameters settings;
  settings.ShowSplash = 7;
  settings.Load(velmora::test::System());
  EXPECT_EQ(settings.ShowSplash, 0);

  Open();
  EXPECT_EQ(window_->size(), QSize(1000, 760));
  EXPECT_EQ(List()->ColumnWidths(), chosen);
  ResizeTo(1200, 800);  // the user's widths stay as they are
  EXPECT_EQ(List()->ColumnWidths(), chosen);
  Close();

  // A damaged width list is ignored: the columns fit their content again.
  QSettings(QString::fromStdString(ui::UserSettingsPath()), QSettings::IniFormat)
      .setValue("Window/ColumnWidths", "90,abc,90");
  Open();
  EXPECT_EQ(window_->size(), QSize(1200, 800));
  EXPECT_FALSE(List()->ColumnWidthsSetByUser());
}

TEST(WindowLayoutValues, ColumnWidthListsReadOnlyWhenWhole) {
  EXPECT_EQ(ParseColumnWidths("90,100,90"), (std::vector<int>{90, 100, 90}));
  EXPECT_EQ(ColumnWidthsText({90, 100, 7}), "90,100,7");
  EXPECT_TRUE(ParseColumnWidths("").empty());
  EXPECT_TRUE(ParseColumnWidths("90,,90").empty());
  EXPECT_TRUE(ParseColumnWidths("90,0").empty());
  EXPECT_TRUE(ParseColumnWidths("90,-5").empty());
  EXPECT_TRUE(ParseColumnWidths("90,99999999999").empty());
}

TEST_F(WindowLayoutTest, EntriesNewSinceTheLastLookAreMarkedUntilTheWindowCloses) {
  MakeEntries();
  // The first start marks nothing.
  Open();
  for (int row = 0; row < List()->rowCount(); ++row)
    EXPECT_FALSE(List()->RowNew(row)) << List()->RowName(row);
  EXPECT_FALSE(changes::SeenEntries::Read(velmora::test::System()).Exists());
  Close();
  ASSERT_TRUE(changes::SeenEntries::Read(velmora::test::System()).Exists());

  // Between two starts an installer adds one entry and changes another's command.
  SetText(kCuRun, "Fresh", "C:\\Setup\\fresh.exe");
  SetText(kLmRun, "Alpha", "C:\\Tools\\alpha.exe /other");
  Open();
  const int fresh = RowOf("Fresh"), alpha = RowOf("Alpha"), later = RowOf("Later");
  ASSERT_GE(fresh, 0);
  EXPECT_TRUE(List()->RowNew(fresh));
  EXPECT_TRUE(List()->RowNew(alpha));
  EXPECT_FALSE(List()->RowNew(later));
  // The mark is in the name's cell, the name itself stays the entry's.
  EXPECT_NE(List()->CellText(fresh, ui::kColumnName), "Fresh");
  EXPECT_NE(List()->CellText(fresh, ui::kColumnName).find("Fresh"), std::string::npos);
  EXPECT_EQ(List()->CellText(later, ui::kColumnName), "Later");
  // The description pane says so.
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                    List()->visualRect(List()->model()->index(fresh, ui::kColumnFileName)).center());
  EXPECT_NE(window_->Movie()->GetMovieVariable("_root.description").find("New since the last start"),
            std::string::npos);
  window_->ShowDescription(*List()->RowTask(alpha), List()->RowLocation(alpha));
  EXPECT_NE(window_->Movie()->GetMovieVariable("_root.description").find("Changed since the last start"),
            std::string::npos);
  window_->ShowDescription(*List()->RowTask(later), List()->RowLocation(later));
  EXPECT_EQ(window_->Movie()->GetMovieVariable("_root.description").find("since the last start"),
            std::string::npos);
  // The marks stay across views while the window runs.
  window_->OnMovieCommand("IDC_FS_USERRUN");
  EXPECT_TRUE(List()->RowNew(RowOf("Fresh")));
  test::SaveScreenshot(window_.get(), "main_window_new_entries");
  Close();

  Open();
  for (int row = 0; row < List()->rowCount(); ++row)
    EXPECT_FALSE(List()->RowNew(row)) << List()->RowName(row);
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
