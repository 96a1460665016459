// The main window over a real prefix: entries in the registry and the Startup
// folders, real program files, a running process; the real movie and message box.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFont>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/language.h"
#include "app/velmora_app.h"
#include "database/definitions_source.h"
#include "platform/ini_file.h"
#include "platform/posix/prefix.h"
#include "tests/changes/changes_fixture.h"
#include "tests/ui/dialog_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/add_new_profile_dlg.h"
#include "ui/add_new_task_dlg.h"
#include "ui/custom_msg_box_dlg.h"
#include "ui/entry_list.h"
#include "ui/resource_images.h"
#include "ui/splash_player.h"
#include "ui/velmora_dlg.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ui::EntryList;
using ui::VelmoraDlg;

class MainWindowTest : public test::ChangesTest {
 protected:
  void SetUp() override {
    test::ChangesTest::SetUp();
    CopyFixture("version_app.exe", "C:\\Tools\\version_app.exe");
    CopyFixture("scan_app.exe", "C:\\Tools\\scan_app.exe");
  }
  void TearDown() override {
    delete answering_.data();
    window_.reset();
    app_.reset();
    if (probe_ > 0) {
      kill(probe_, SIGKILL);
      waitpid(probe_, nullptr, 0);
    }
  }

  void CopyFixture(const std::string& fixture, const std::string& windowsPath) {
    fs::create_directories(fs::path(Host(windowsPath)).parent_path());
    fs::copy_file(test::FixturePath(fixture), Host(windowsPath), fs::copy_options::overwrite_existing);
  }
  // A real process of the name velmoraprobe, for the memory columns.
  void StartProbe() {
    std::string probe = prefix_.dir() + "/velmoraprobe";
    fs::copy_file("/bin/sleep", probe);
    probe_ = fork();
    if (probe_ == 0) {
      execl(probe.c_str(), probe.c_str(), "60", static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  // A working copy of definitions in |dir| that calls Alpha's program spyware.
  static void WriteSpywareWorkingCopy(const std::string& dir) {
    Definition spyware;
    spyware.section = "SPY";
    spyware.name = "version_app.exe";
    spyware.description = "NULL";
    test::WriteFile(dir + "/vlmdb2.vmd", BuildWorkingCopyText({spyware}));
  }
  // Entries in five of the six locations.
  void MakeEntries() {
    SetText(kLmRun, "Alpha", "C:\\Tools\\version_app.exe /tray");
    SetText(kLmRun, "Beta", "C:\\Tools\\missing.exe");
    SetText(kLmRunOnce, "Once", "C:\\Tools\\scan_app.exe /once");
    SetText(kCuRun, "Gamma", "\"C:\\Tools\\scan_app.exe\" -q");
    SetText(kCuRunOnce, "Later", "C:\\Tools\\scan_app.exe");
    MakeShortcut(Folder(kCuStartupFolder) + "\\Delta.lnk", "C:\\Tools\\version_app.exe", "");
  }
  // The application and its window, initialised and shown as at start.
  void Open(bool splash = false) {
    app_ = std::make_unique<VelmoraApp>(velmora::test::System());
    test::UseBuiltProgramDir(app_->Context());
    app_->programDir = app_->Context().programDir;
    app_->settings.ShowSplash = splash ? 1 : 0;
    window_ = std::make_unique<VelmoraDlg>(*app_);
    window_->Initialise();
    window_->show();
    test::ProcessMovieCommands();
  }
  ui::FlashMovieHost* Movie() { return window_->Movie(); }
  EntryList* List() { return window_->List(); }
  std::string Var(const std::string& name) { return Movie()->GetMovieVariable(name); }
  std::string ChangeState() {
    return Var("_root.applyState") + Var("_root.refreshState") + Var("_root.rollBackState");
  }
  // "tag name" of every row, top to bottom.
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (int row = 0; row < List()->rowCount(); ++row)
      rows.push_back(List()->RowLocationText(row) + " " + List()->RowName(row));
    return rows;
  }
  int RowOf(const std::string& name) {
    for (int row = 0; row < List()->rowCount(); ++row) {
      if (List()->RowName(row) == name) return row;
    }
    return -1;
  }
  // A real click on the check box of a row.
  void ClickCheckBox(int row) {
    QStyleOptionViewItem option;
    option.initFrom(List()->viewport());
    option.rect = List()->visualRect(List()->model()->index(row, ui::kColumnName));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay |
                      QStyleOptionViewItem::HasDecoration;
    option.decorationSize = QSize(16, 16);
    option.text = QString::fromStdString(List()->CellText(row, ui::kColumnName));
    QRect box = List()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, List());
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
  }
  std::int32_t StoredSetting(const std::string& name) {
    platform::UniqueKey key;
    if (platform::reg::OpenKey(velmora::test::System().CurrentUser(), ProgramKeyPath(), platform::kKeyRead,
                               key.out()) != platform::kSuccess) {
      return -1;
    }
    std::uint32_t type = 0;
    std::uint8_t data[4] = {0, 0, 0, 0};
    std::uint32_t size = sizeof data;
    platform::Status status = platform::reg::QueryValue(key.get(), name, &type, data, &size);
    return status == platform::kSuccess ? data[0] : -1;
  }

  // Runs |answer| on the next message box as soon as it is open.
  void AnswerNextBox(std::function<void(ui::CustomMsgBoxDlg*)> answer) {
    auto* timer = new QTimer;
    answering_ = timer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
      auto* box = qobject_cast<ui::CustomMsgBoxDlg*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      answer(box);
    });
    timer->start();
  }

  std::unique_ptr<VelmoraApp> app_;
  std::unique_ptr<VelmoraDlg> window_;
  QPointer<QTimer> answering_;
  pid_t probe_ = -1;
};

TEST_F(MainWindowTest, OpensWithAllLocationsListedLastFilledOnTopAndTheInitialVariables) {
  MakeEntries();
  test::QtMessageCatcher messages;
  Open();
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{"CU Startup Folder Delta.lnk", "CU RunOnce Later", "CU Run Gamma",
                                      "LM RunOnce Once", "LM Run Alpha", "LM Run Beta"}));
  EXPECT_EQ(window_->currentView, 0);
  EXPECT_EQ(window_->currentViewCommand, "IDC_FS_ALLITEMS");
  EXPECT_EQ(window_->windowTitle().toStdString(), "Velmora");
  EXPECT_EQ(window_->size(), QSize(639, 605));
  EXPECT_EQ(List()->geometry(), QRect(215, 288, 408, 255));

  // The movie asked for the list when it had loaded.
  EXPECT_TRUE(List()->isVisible());
  EXPECT_EQ(ChangeState(), "000");
  EXPECT_EQ(Var("_root.profilesState"), "0");
  EXPECT_EQ(Var("_root.startWindows"), "\x01");  // the setting's byte, not the digit
  EXPECT_EQ(Var("_root.showSplash"), "");
  EXPECT_EQ(Var("_root.showSavingMsg"), "\x01");
  EXPECT_TRUE(test::FindMovieItem(Movie(), "ID_Fs_startWindows")->property("on").toBool());
  EXPECT_FALSE(test::FindMovieItem(Movie(), "ID_Fs_showSplash")->property("on").toBool());
  EXPECT_FALSE(window_->Splash()->IsShowing());
  EXPECT_EQ(window_->Splash()->CallCount(), 0);
  EXPECT_TRUE(messages.messages.isEmpty()) << messages.messages.join("\n").toStdString();
}

TEST(SettingsFlagText, OneCharacterOfTheStoredValueOrNothing) {
  EXPECT_EQ(VelmoraDlg::SettingsFlagText(0), "");
  EXPECT_EQ(VelmoraDlg::SettingsFlagText(1), "\x01");
  EXPECT_EQ(VelmoraDlg::SettingsFlagText(2), "\x02");
  EXPECT_EQ(VelmoraDlg::SettingsFlagText(256), "");
}

// The window program starts its core beside the making of its window: a refusal
// (here a database that cannot be found) is shown as it always was, once the window
// exists, and the window never appears.
TEST_F(MainWindowTest, RefusedStartIsShownOnceTheWindowExistsWhichNeverAppears) {
  struct SeenRefusals : MessageBoxPresenter {
    int Show(MessageBoxRequest& request) override {
      messages.push_back(request.title + "|" + request.message + "|" + request.kind);
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<VelmoraDlg*>(widget)) {
          windowMade = true;
          windowShown = windowShown || window->isVisible();
        }
      }
      return 1;
    }
    std::vector<std::string> messages;
    bool windowMade = false;
    bool windowShown = false;
  } box;
  MakeEntries();
  app_ = std::make_unique<VelmoraApp>(velmora::test::System());
  app_->settings.DefnsVersion.clear();
  test::QtMessageCatcher warnings;
  ui::StartAndRunMainWindow(*app_, box);
  EXPECT_TRUE(warnings.messages.isEmpty()) << warnings.messages.join("\n").toStdString();
  EXPECT_EQ(box.messages, std::vector<std::string>{"Velmora|Error in initializing Velmora.|error"});
  EXPECT_TRUE(box.windowMade);
  EXPECT_FALSE(box.windowShown);
  EXPECT_TRUE(app_->Model().Entries(kLmRun).empty()) << "nothing is read after a refusal";
}

TEST_F(MainWindowTest, RowsShowTheEntryColumnsImagesAndCheckBoxes) {
  MakeEntries();
  StartProbe();
  SetText(kCuRun, "Probe", "C:\\Programs\\VELMORAPROBE.EXE -q");
  SetStore("3|Sleeper", "C:\\Tools\\scan_app.exe --sleep");  // a disabled entry
  Open();
  QHeaderView* header = List()->horizontalHeader();
  const char* headings[] = {"Name", "File name", "Startup Location", "Rating", "Mem", "Peak", "Comment"};
  const int widths[] = {170, 120, 118, 96, 58, 58, 120};
  ASSERT_EQ(List()->columnCount(), 7);
  for (int column = 0; column < 7; ++column) {
    EXPECT_EQ(List()->HeaderText(column), headings[column]);
    EXPECT_EQ(header->sectionSize(column), widths[column]);
  }
  EXPECT_TRUE(header->sectionsClickable());

  int alpha = RowOf("Alpha");
  ASSERT_GE(alpha, 0);
  EXPECT_EQ(List()->CellText(alpha, ui::kColumnFileName), "C:\\Tools\\version_app.exe /tray");
  EXPECT_EQ(List()->CellText(alpha, ui::kColumnMemory), "N/A");
  EXPECT_EQ(List()->CellText(alpha, ui::kColumnPeak), "N/A");
  EXPECT_EQ(List()->CellText(alpha, ui::kColumnRating), "Unknown File");
  EXPECT_EQ(List()->CellText(alpha, ui::kColumnComment), GetString(7025));
  EXPECT_TRUE(List()->RowChecked(alpha));
  EXPECT_FALSE(List()->CellIcon(alpha, ui::kColumnName).isNull());  // the program's own icon
  EXPECT_FALSE(List()->CellIcon(alpha, ui::kColumnLocation).isNull());
  EXPECT_EQ(List()->CellAlignment(alpha, ui::kColumnMemory) & Qt::AlignRight, Qt::AlignRight);

  // A program without an icon gets the default one and keeps it.
  const Task* gamma = Find(app_->Model(), kCuRun, "Gamma");
  ASSERT_NE(gamma, nullptr);
  ASSERT_TRUE(gamma->icon);
  EXPECT_EQ(gamma->icon->resourceId, 180);
  EXPECT_FALSE(List()->CellIcon(RowOf("Gamma"), ui::kColumnName).isNull());

  // The running probe: memory in megabytes with three decimals.
  int probe = RowOf("Probe");
  ASSERT_GE(probe, 0);
  const Task* task = Find(app_->Model(), kCuRun, "Probe");
  EXPECT_GT(task->memoryKB, 0);
  EXPECT_EQ(List()->CellText(probe, ui::kColumnMemory), ui::MemoryText(task->memoryKB));
  EXPECT_NE(List()->CellText(probe, ui::kColumnMemory).find('.'), std::string::npos);

  // The disabled entry from the store is listed unchecked.
  int sleeper = RowOf("Sleeper");
  ASSERT_GE(sleeper, 0);
  EXPECT_FALSE(List()->RowChecked(sleeper));

  // Ratings pick their images exactly; a removed entry is not listed.
  {
    // Rated from a working copy that calls Alpha's program spyware.
    test::TempDir definitions;
    WriteSpywareWorkingCopy(definitions.path());
    platform::ini::ClearCache(velmora::test::System());
    const std::string programDir = app_->Context().programDir;
    app_->Context().programDir =
        platform::files::WindowsPathFromHost(velmora::test::System(), definitions.path());
    app_->Model().RateAllTasks();
    app_->Context().programDir = programDir;
    platform::ini::ClearCache(velmora::test::System());
  }
  app_->Model().RemoveEntry("Beta", kLmRun);
  window_->OnMovieCommand("IDC_FS_ALLITEMS");
  EXPECT_EQ(RowOf("Beta"), -1);
  EXPECT_EQ(List()->CellText(RowOf("Alpha"), ui::kColumnRating), "Spyware");

  test::SaveScreenshot(window_.get(), "main_window_entries");
}

// The window as the program starts it rates its entries only once its first frame
// is drawn. Until then their Rating and Comment cells say they wait; rows ordered
// by rating meanwhile are ordered again when the ratings come; a description
// asked for first waits for them.
TEST_F(MainWindowTest, EntriesAreRatedOnceTheFirstFrameIsDrawn) {
  MakeEntries();
  // A working copy that calls Alpha's program spyware, read where the program's
  // folder is said to be once the window is made (its movies are found by then).
  test::TempDir definitions;
  WriteSpywareWorkingCopy(definitions.path());
  const std::string definitionsDir =
      platform::files::WindowsPathFromHost(velmora::test::System(), definitions.path());
  auto open = [&] {
    window_.reset();
    app_ = std::make_unique<VelmoraApp>(velmora::test::System());
    test::UseBuiltProgramDir(app_->Context());
    app_->programDir = app_->Context().programDir;
    app_->settings.ShowSplash = 0;
    const VelmoraDlg::StartMovies movies = VelmoraDlg::FindStartMovies(app_->Context(), app_->settings);
    window_ = std::make_unique<VelmoraDlg>(*app_);
    ui::ModelFill fill(app_->Model());
    window_->Initialise(movies, fill);
    app_->Context().programDir = definitionsDir;
    platform::ini::ClearCache(velmora::test::System());
  };

  open();
  int alpha = RowOf("Alpha");
  ASSERT_GE(alpha, 0);
  EXPECT_EQ(List()->CellText(alpha, ui::kColumnRating), ui::kRatingPending);
  EXPECT_EQ(List()->CellText(alpha, ui::kColumnComment), ui::kCommentPending);
  EXPECT_TRUE(List()->CellIcon(alpha, ui::kColumnRating).isNull());
  List()->sortByColumn(ui::kColumnRating, Qt::AscendingOrder);
  window_->show();
  // Rated once the first frame is drawn, which may take a while on a busy machine.
  ASSERT_TRUE(test::WaitUntil([&] { return !List()->Entries()->RatingsPending(); }, 20000));
  EXPECT_EQ(RowOf("Alpha"), 0) << "Spyware comes before Unknown File";
  EXPECT_EQ(List()->CellText(0, ui::kColumnRating), "Spyware");
  EXPECT_FALSE(List()->CellIcon(0, ui::kColumnRating).isNull());
  EXPECT_EQ(List()->CellText(RowOf("Beta"), ui::kColumnRating), "Unknown File");

  open();
  ASSERT_TRUE(List()->Entries()->RatingsPending());
  window_->ShowDescription(*Find(app_->Model(), kLmRun, "Alpha"), kLmRun);
  EXPECT_NE(Var("_root.description").find("Spyware"), std::string::npos) << Var("_root.description");
  EXPECT_FALSE(List()->Entries()->RatingsPending());
  EXPECT_EQ(List()->CellText(RowOf("Alpha"), ui::kColumnRating), "Spyware");
  platform::ini::ClearCache(velmora::test::System());
}

TEST(EntryListHelpers, MegabytesAndRatingImages) {
  EXPECT_EQ(ui::MemoryText(1500), "1.465");
  EXPECT_EQ(ui::MemoryText(0), "N/A");
  EXPECT_EQ(ui::MemoryText(1024), "1.000");
  EXPECT_EQ(ui::FileKindImage("Unknown File"), ui::kImageWarning);
  EXPECT_EQ(ui::FileKindImage("System File"), ui::kImageWindowsFlag);
  EXPECT_EQ(ui::FileKindImage("Normal File"), ui::kImageGreenFigure);
  EXPECT_EQ(ui::FileKindImage("Spyware"), ui::kImageRedCross);
  EXPECT_EQ(ui::FileKindImage("unknown file"), ui::kImageRedCross);
  EXPECT_EQ(ui::ListImagePixmap(5).size(), QSize(16, 16));
  EXPECT_TRUE(ui::ListImagePixmap(6).isNull());
  EXPECT_EQ(ui::ListImageStrip().size(), QSize(98, 16));
  // Every image of the strip is drawn (not empty).
  QImage strip = ui::ListImageStrip().toImage();
  for (int index = 0; index < 6; ++index) {
    int painted = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) painted += qAlpha(strip.pixel(index * 16 + x, y)) > 0;
    }
    EXPECT_GT(painted, 60) << "image " << index;
  }
}

// The machine's keys of 32-bit programs are listed with the machine's image in the
// machine's views; an entry Wine will not start says why in its description.
TEST_F(MainWindowTest, ThirtyTwoBitMachineEntriesJoinTheMachinesViews) {
  MakeEntries();
  SetText(kLmRun32, "Agent", "C:\\Tools\\agent.exe");
  SetText(kLmRunOnce32, "Setup", "C:\\Tools\\setup.exe");
  Open();
  int agent = RowOf("Agent");
  ASSERT_GE(agent, 0);
  EXPECT_EQ(List()->RowLocationText(agent), "LM Run (32-bit)");
  EXPECT_EQ(List()->CellIcon(agent, ui::kColumnLocation).pixmap(16, 16).toImage(),
            List()->CellIcon(RowOf("Alpha"), ui::kColumnLocation).pixmap(16, 16).toImage());
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"IDC_FS_LOCALRUN", {"LM Run (32-bit) Agent", "LM Run Alpha", "LM Run Beta"}},
      {"IDC_FS_LOCALRUNONCE", {"LM RunOnce (32-bit) Setup", "LM RunOnce Once"}},
      {"IDC_FS_USERREG", {"CU RunOnce Later", "CU Run Gamma"}},
  };
  for (const auto& [command, rows] : expected) {
    SCOPED_TRACE(command);
    ASSERT_TRUE(test::ClickMovieItem(Movie(), QString::fromStdString(command)));
    test::ProcessMovieCommands();
    EXPECT_EQ(Rows(), rows);
  }
  const Task* later = Find(app_->Model(), kCuRunOnce, "Later");
  ASSERT_NE(later, nullptr);
  window_->ShowDescription(*later);
  EXPECT_NE(Var("_root.description").find("Will not start under Wine"), std::string::npos);
  window_->ShowDescription(*Find(app_->Model(), kLmRun32, "Agent"));
  EXPECT_EQ(Var("_root.description").find("Will not start under Wine"), std::string::npos);
}

TEST_F(MainWindowTest, ViewsListTheirLocationsInFillOrder) {
  MakeEntries();
  Open();
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "IDC_FS_LOCALREG"));
  test::ProcessMovieCommands();
  EXPECT_EQ(window_->currentView, 2);
  EXPECT_EQ(window_->currentViewCommand, "IDC_FS_LOCALREG");
  // RunOnce was filled last: its rows stand above those of Run.
  EXPECT_EQ(Rows(), (std::vector<std::string>{"LM RunOnce Once", "LM Run Alpha", "LM Run Beta"}));
  EXPECT_EQ(test::FindMovieItem(Movie(), "viewTitle")->property("text").toString(), "Registry");

  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"IDC_FS_LOCALMACHINE", {"LM RunOnce Once", "LM Run Alpha", "LM Run Beta"}},
      {"IDC_FS_LOCALRUN", {"LM Run Alpha", "LM Run Beta"}},
      {"IDC_FS_LOCALRUNONCE", {"LM RunOnce Once"}},
      {"IDC_FS_LOCALSTARTFOLDER", {}},
      {"IDC_FS_CURRENTUSER", {"CU Startup Folder Delta.lnk", "CU RunOnce Later", "CU Run Gamma"}},
      {"IDC_FS_USERREG", {"CU RunOnce Later", "CU Run Gamma"}},
      {"IDC_FS_USERRUN", {"CU Run Gamma"}},
      {"IDC_FS_USERRUNONCE", {"CU RunOnce Later"}},
      {"IDC_FS_USERSTARTFOLDER", {"CU Startup Folder Delta.lnk"}},
  };
  for (const auto& [command, rows] : expected) {
    SCOPED_TRACE(command);
    ASSERT_TRUE(test::ClickMovieItem(Movie(), QString::fromStdString(command)));
    test::ProcessMovieCommands();
    EXPECT_EQ(window_->currentViewCommand, command);
    EXPECT_EQ(Rows(), rows);
  }
  // The same view twice gives the same rows.
  window_->OnMovieCommand("idc_fs_localrun");
  std::vector<std::string> once = Rows();
  window_->OnMovieCommand("IDC_FS_LOCALRUN");
  EXPECT_EQ(Rows(), once);
}

TEST_F(MainWindowTest, ClickingARowDescribesItAndRegistryViewsClearTheDescription) {
  MakeEntries();
  Open();
  int alpha = RowOf("Alpha");
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                    List()->visualRect(List()->model()->index(alpha, ui::kColumnFileName)).center());
  EXPECT_EQ(Var("_root.discripWinState"), "1");
  std::string html = Var("_root.description");
  EXPECT_NE(html.find("Alpha"), std::string::npos);
  EXPECT_TRUE(test::FindMovieItem(Movie(), "descriptionText")->isVisible());
  EXPECT_FALSE(test::FindMovieItem(Movie(), "detailsPlaceholder")->isVisible());
  test::SaveScreenshot(window_.get(), "main_window_description");

  // A key in the list describes the row below the selection.
  QTest::keyClick(List(), Qt::Key_Down);
  EXPECT_NE(Var("_root.description").find(List()->RowName(alpha + 1)), std::string::npos);

  window_->OnMovieCommand("IDC_FS_ALLITEMS");  // view 0 keeps the description
  EXPECT_NE(Var("_root.description"), "");
  window_->OnMovieCommand("IDC_FS_USERRUN");
  EXPECT_EQ(Var("_root.description"), "");
  EXPECT_TRUE(test::FindMovieItem(Movie(), "detailsPlaceholder")->isVisible());
}

// Sixty services that start automatically, as installers leave them in a prefix:
// the Services view holds them all with the services' own image, scrolls to the
// last, describes it, and disables it through the service's Start.
TEST_F(MainWindowTest, SixtyServicesStayUsableInTheirView) {
  const std::string services = "System\\CurrentControlSet\\Services\\";
  for (int i = 0; i < 60; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "GameSvc%02d", i);
    SetRaw(velmora::test::System().LocalMachine(), services + name, "Start", platform::kRegDword,
           std::string("\x02\0\0\0", 4));
    SetRaw(velmora::test::System().LocalMachine(), services + name, "Type", platform::kRegDword,
           std::string("\x10\0\0\0", 4));
    SetRaw(velmora::test::System().LocalMachine(), services + name, "ImagePath", platform::kRegExpandSz,
           changes::StringData("C:\\Tools\\scan_app.exe -service " + std::to_string(i)));
  }
  MakeEntries();
  Open();
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "IDC_FS_SERVICES"));
  test::ProcessMovieCommands();
  EXPECT_EQ(test::FindMovieItem(Movie(), "viewTitle")->property("text").toString(), "Services");
  EXPECT_EQ(app_->Model().Entries(kServices).size(), 60u);
  ASSERT_EQ(List()->rowCount(), 60);
  EXPECT_EQ(List()->CellIcon(0, ui::kColumnLocation).cacheKey(), ui::ServiceImage().cacheKey());
  EXPECT_FALSE(test::FindMovieItem(Movie(), "IDC_FS_SERVICES")->property("image").toString().isEmpty());

  const int last = RowOf("GameSvc59");
  ASSERT_GE(last, 0);
  List()->scrollTo(List()->model()->index(last, ui::kColumnName));
  test::ProcessMovieCommands();
  const QRect cell = List()->visualRect(List()->model()->index(last, ui::kColumnFileName));
  ASSERT_TRUE(List()->viewport()->rect().contains(cell.center())) << "the list scrolls to its last rows";
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  EXPECT_EQ(List()->currentIndex().row(), last);
  EXPECT_NE(Var("_root.description").find("GameSvc59"), std::string::npos);
  test::SaveScreenshot(window_.get(), "main_window_sixty_services");

  ClickCheckBox(last);
  EXPECT_FALSE(List()->RowChecked(last));
  ASSERT_EQ(Var("_root.applyState"), "1");
  window_->OnMovieCommand("ID_FS_APPLYCHANGES");
  platform::UniqueKey key;
  ASSERT_EQ(platform::reg::OpenKey(velmora::test::System().LocalMachine(), services + "GameSvc59",
                                   platform::kKeyRead, key.out()),
            platform::kSuccess);
  std::uint8_t start[4] = {0, 0, 0, 0};
  std::uint32_t type = 0, size = sizeof start;
  ASSERT_EQ(platform::reg::QueryValue(key.get(), "Start", &type, start, &size), platform::kSuccess);
  EXPECT_EQ(start[0], 3);  // on demand
  EXPECT_EQ(List()->rowCount(), 60);
}

TEST_F(MainWindowTest, ListIsShownAndHiddenOnlyByTheMovie) {
  MakeEntries();
  Open();
  ASSERT_TRUE(List()->isVisible());
  window_->OnMovieCommand("ID_FS_hideForm");
  EXPECT_FALSE(List()->isVisible());
  window_->OnMovieCommand("IDC_FS_USERRUN");  // a view change keeps it hidden
  EXPECT_FALSE(List()->isVisible());
  EXPECT_EQ(Rows(), (std::vector<std::string>{"CU Run Gamma"}));
  window_->OnMovieCommand("ID_FS_ShowForm");
  EXPECT_TRUE(List()->isVisible());
}

TEST_F(MainWindowTest, CheckBoxApplyRefreshAndRollBackFollowTheirStates) {
  MakeEntries();
  Open();
  int gamma = RowOf("Gamma");
  ClickCheckBox(gamma);
  ASSERT_FALSE(List()->RowChecked(gamma));
  EXPECT_EQ(ChangeState(), "110");
  EXPECT_TRUE(test::FindMovieItem(Movie(), "ID_FS_APPLYCHANGES")->property("active").toBool());

  // Apply through the movie's button: the value leaves the Run key for the store.
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_APPLYCHANGES"));
  test::ProcessMovieCommands();
  EXPECT_EQ(ChangeState(), "001");
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 0u);
  EXPECT_EQ(StoreValues().count("3|gamma"), 1u);
  EXPECT_FALSE(List()->RowChecked(RowOf("Gamma")));  // the list is not rebuilt
  EXPECT_FALSE(test::FindMovieItem(Movie(), "ID_FS_APPLYCHANGES")->property("active").toBool());

  // An edit that is refreshed away: the list shows the system again, roll back stays.
  ClickCheckBox(RowOf("Alpha"));
  EXPECT_EQ(ChangeState(), "111");
  AnswerNextBox([](ui::CustomMsgBoxDlg* box) { test::ClickMovieItem(box->Movie(), "IDC_FS_OK"); });
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_REFRESH"));
  test::ProcessMovieCommands();
  EXPECT_EQ(ChangeState(), "001");
  EXPECT_TRUE(List()->RowChecked(RowOf("Alpha")));
  EXPECT_EQ(LocationValues(kLmRun).count("alpha"), 1u);

  // Roll back: Gamma is back in its key and listed checked.
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_ROLLBACK"));
  test::ProcessMovieCommands();
  EXPECT_EQ(ChangeState(), "000");
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 1u);
  EXPECT_TRUE(List()->RowChecked(RowOf("Gamma")));

  // Applying with nothing pending still takes a snapshot that can be rolled back.
  window_->OnMovieCommand("ID_FS_APPLYCHANGES");
  EXPECT_EQ(ChangeState(), "001");
}

// What velmora-cli's listing notes of an entry the window shows too: a location
// that cannot be changed (its box takes no click), a disabled entry kept beside
// one of its name, and a registry that may lag a running wineserver.
TEST_F(MainWindowTest, RowsAndDescriptionsShowReadOnlyKeptCopiesAndALaggingRegistry) {
  if (!test::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  SetText(kLmRun, "Locked", "C:\\Tools\\scan_app.exe");
  SetText(kCuRun, "Foo", "C:\\Tools\\version_app.exe");
  SetStore("3|Foo", "C:\\old.exe /x");
  const std::string machineHive = prefix_.HostPath("system.reg");
  ASSERT_EQ(chmod(machineHive.c_str(), 0444), 0);
  ASSERT_EQ(test::RunCommand("WINEDEBUG=-all wineserver -p"), 0);
  for (int i = 0; i < 100 && !velmora::test::WineServerRunning(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Open();
  test::RunCommand("wineserver -k; wineserver -w");
  chmod(machineHive.c_str(), 0644);
  EXPECT_NE(window_->windowTitle().toStdString().find("may lag"), std::string::npos)
      << window_->windowTitle().toStdString();
  const std::string shownNote =
      test::FindMovieItem(Movie(), "readNote")->property("text").toString().toStdString();
  EXPECT_NE(shownNote.find("may lag"), std::string::npos) << shownNote;

  const int locked = RowOf("Locked");
  ASSERT_GE(locked, 0);
  const QModelIndex name = List()->model()->index(locked, ui::kColumnName);
  EXPECT_FALSE(List()->model()->flags(name) & Qt::ItemIsUserCheckable);
  EXPECT_TRUE(List()->model()->data(name, Qt::FontRole).value<QFont>().italic());
  const std::string lockedComment =
      List()->model()->data(List()->model()->index(locked, ui::kColumnComment)).toString().toStdString();
  EXPECT_NE(lockedComment.find("Cannot be changed"), std::string::npos) << lockedComment;
  ClickCheckBox(locked);
  EXPECT_EQ(List()->RowTask(locked)->enabled, 1);
  EXPECT_EQ(ChangeState(), "000");

  const int foo = RowOf("Foo");
  ASSERT_GE(foo, 0);
  const std::string tip = List()
                              ->model()
                              ->data(List()->model()->index(foo, ui::kColumnName), Qt::ToolTipRole)
                              .toString()
                              .toStdString();
  EXPECT_NE(tip.find("still keeps a disabled entry"), std::string::npos) << tip;
  EXPECT_NE(tip.find("C:\\old.exe /x"), std::string::npos) << tip;

  QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                    List()->visualRect(List()->model()->index(locked, ui::kColumnFileName)).center());
  const std::string html = Var("_root.description");
  EXPECT_NE(html.find("Cannot be changed"), std::string::npos) << html;
  EXPECT_NE(html.find("wineserver"), std::string::npos) << html;
  test::SaveScreenshot(window_.get(), "main_window_notes");
}

// Writes that fail are shown, and the movie keeps offering to apply them.
TEST_F(MainWindowTest, FailedWritesOfAnApplyAreShownAndStayPending) {
  if (!test::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  MakeEntries();
  Open();
  ClickCheckBox(RowOf("Gamma"));
  // A running wineserver owns the registry: nothing may be written now.
  ASSERT_EQ(test::RunCommand("WINEDEBUG=-all wineserver -p"), 0);
  for (int i = 0; i < 100 && !velmora::test::WineServerRunning(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(velmora::test::WineServerRunning());
  std::string shown;
  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) {
    shown = box->message;
    EXPECT_EQ(box->kind, "error");
    test::SaveScreenshot(box, "apply_failed");
    test::ClickMovieItem(box->Movie(), "IDC_FS_OK");
  });
  window_->OnMovieCommand("ID_FS_APPLYCHANGES");
  test::RunCommand("wineserver -k; wineserver -w");
  EXPECT_NE(shown.find("CU Run: Gamma"), std::string::npos) << shown;
  EXPECT_NE(shown.find("wineserver"), std::string::npos) << shown;
  EXPECT_EQ(ChangeState(), "111");
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 1u);

  // Once the registry is free, the same apply goes through.
  window_->OnMovieCommand("ID_FS_APPLYCHANGES");
  EXPECT_EQ(ChangeState(), "001");
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 0u);
}

TEST_F(MainWindowTest, EnableAndDisableAllActOnTheCurrentViewOnly) {
  MakeEntries();
  Open();
  window_->OnMovieCommand("IDC_FS_USERREG");
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_Fs_DisableAll"));
  test::ProcessMovieCommands();
  EXPECT_EQ(ChangeState(), "110");
  for (int row = 0; row < List()->rowCount(); ++row) EXPECT_FALSE(List()->RowChecked(row));
  StartupParameters& model = app_->Model();
  EXPECT_EQ(Find(model, kCuRun, "Gamma")->enabled, 0);
  EXPECT_EQ(Find(model, kCuRunOnce, "Later")->enabled, 0);
  EXPECT_EQ(Find(model, kCuStartupFolder, "Delta.lnk")->enabled, 1);
  EXPECT_EQ(Find(model, kLmRun, "Alpha")->enabled, 1);
  EXPECT_EQ(model.ChangedFlags(), (std::array<int, kLocationCount>{0, 0, 0, 1, 1, 0, 0, 0}));

  window_->OnMovieCommand("ID_Fs_EnableAll");
  EXPECT_EQ(Find(model, kCuRun, "Gamma")->enabled, 1);
  for (int row = 0; row < List()->rowCount(); ++row) EXPECT_TRUE(List()->RowChecked(row));
}

TEST_F(MainWindowTest, SettingsSwitchesChangeOnlyTheSettingButStartWithWindowsAtOnce) {
  Open();
  app_->settings.ShowSplash = 2;  // a value read from the registry
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_Fs_showSplash"));
  test::ProcessMovieCommands();
  EXPECT_EQ(app_->settings.ShowSplash, 0);
  window_->OnMovieCommand("ID_Fs_showSplash");
  EXPECT_EQ(app_->settings.ShowSplash, 1);

  app_->settings.ApplyRunAtStartup(velmora::test::System());
  ASSERT_EQ(LocationValues(kCuRun).count(ToLowerAscii(RunValueName(app_->Context()))), 1u);
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_Fs_startWindows"));
  test::ProcessMovieCommands();
  EXPECT_EQ(app_->settings.StartWithWindows, 0);
  EXPECT_EQ(LocationValues(kCuRun).count(ToLowerAscii(RunValueName(app_->Context()))), 0u);

  window_->OnMovieCommand("ID_Fs_showSavingMsg");
  window_->OnMovieCommand("ID_FS_SHOWSAVPROFILEMSG");
  EXPECT_EQ(app_->settings.ShowSavingMsg, 0);
  EXPECT_EQ(app_->settings.ShowSavingProMsg, 0);
  // Nothing is saved before the window closes, and the movie keeps its own switches.
  EXPECT_EQ(StoredSetting("ShowSavingMsg"), -1);
  EXPECT_EQ(Var("_root.showSavingMsg"), "\x01");
}

TEST_F(MainWindowTest, ClosingWithoutPendingChangesNeverAsks) {
  MakeEntries();
  Open();
  bool asked = false;
  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) {
    asked = true;
    box->done(1);
  });
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_EXIT"));
  test::ProcessMovieCommands();
  EXPECT_FALSE(asked);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(StoredSetting("ShowSavingMsg"), 1);
}

// A settings save that fails is shown; the window closes all the same.
TEST_F(MainWindowTest, ClosingWhenTheSettingsCannotBeSavedSaysSo) {
  MakeEntries();
  Open();
  // The program's key is there (an earlier run made it); only its values fail.
  ASSERT_TRUE(app_->settings.Save(velmora::test::System()));
  app_->settings.ShowSavingMsg = 0;
  fs::permissions(prefix_.HostPath("user.reg"),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::string shown;
  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) {
    shown = box->message;
    EXPECT_EQ(box->kind, "error");
    test::ClickMovieItem(box->Movie(), "IDC_FS_OK");
  });
  window_->close();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_NE(shown.find("The settings could not be saved"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Language"), std::string::npos) << shown;
  EXPECT_EQ(StoredSetting("ShowSavingMsg"), 1);
}

TEST_F(MainWindowTest, ClosingWithPendingChangesAndTheQuestionOffClosesWithoutApplying) {
  MakeEntries();
  Open();
  app_->settings.ShowSavingMsg = 0;
  ClickCheckBox(RowOf("Gamma"));
  window_->close();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 1u);
  EXPECT_EQ(StoredSetting("ShowSavingMsg"), 0);
}

TEST_F(MainWindowTest, ClosingQuestionYesAppliesAndKeepsAsking) {
  MakeEntries();
  Open();
  ClickCheckBox(RowOf("Gamma"));
  std::string message;
  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) {
    message = box->message;
    EXPECT_EQ(box->buttonCount, 2);
    EXPECT_EQ(box->firstCaption, "Yes");
    EXPECT_EQ(box->secondCaption, "No");
    EXPECT_EQ(box->showCheckBox, 1);
    EXPECT_EQ(box->kind, "alert");
    test::SaveScreenshot(box, "closing_question");
    test::ClickMovieItem(box->Movie(), "IDC_FS_OK");
  });
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_EXIT"));
  test::ProcessMovieCommands();
  EXPECT_EQ(message, GetString(7005));
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 0u);
  EXPECT_EQ(StoreValues().count("3|gamma"), 1u);
  EXPECT_EQ(StoredSetting("ShowSavingMsg"), 1);
}

TEST_F(MainWindowTest, ClosingQuestionNoWithTheBoxTickedStopsAsking) {
  MakeEntries();
  Open();
  ClickCheckBox(RowOf("Gamma"));
  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) {
    test::ClickMovieItem(box->Movie(), "checkBox");
    test::ClickMovieItem(box->Movie(), "IDC_FS_Cancel");
  });
  window_->close();  // the window system's close asks the same question
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 1u);
  EXPECT_EQ(StoredSetting("ShowSavingMsg"), 0);
}

TEST_F(MainWindowTest, ClosingQuestionClosedWithoutAnswerKeepsTheWindowOpen) {
  MakeEntries();
  Open();
  ClickCheckBox(RowOf("Gamma"));
  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) { test::ClickMovieItem(box->Movie(), "closeButton"); });
  window_->OnMovieCommand("ID_FS_EXIT");
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(StoredSetting("ShowSavingMsg"), -1);  // nothing saved
  EXPECT_EQ(ChangeState(), "110");
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 1u);
}

TEST_F(MainWindowTest, EscapeDoesNotCloseAndF1AsksForHelpAnywhere) {
  qputenv("VELMORA_NO_HELP_VIEWER", "1");
  Open();
  QSignalSpy help(window_.get(), &VelmoraDlg::helpRequested);
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  QTest::keyClick(Movie(), Qt::Key_Escape);
  EXPECT_TRUE(window_->isVisible());
  QTest::keyClick(List(), Qt::Key_F1);
  ASSERT_EQ(help.count(), 1);
  EXPECT_TRUE(help[0][0].toString().endsWith("\\English.chm"));
  EXPECT_TRUE(help[0][0].toString().startsWith(QString::fromStdString(HelpFileDir(app_->Context()))));
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_HELP"));
  test::ProcessMovieCommands();
  EXPECT_EQ(help.count(), 2);
}

TEST_F(MainWindowTest, AboutBoxShowsItsTextAndReturns) {
  Open();
  std::string title;
  std::string message;
  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) {
    title = box->title;
    message = box->message;
    EXPECT_EQ(box->kind, "info");
    test::ClickMovieItem(box->Movie(), "IDC_FS_OK");
  });
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_ABOUTUS"));
  test::ProcessMovieCommands();
  EXPECT_EQ(title, GetString(101));
  EXPECT_EQ(message, GetString(7011));
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(MainWindowTest, SplashPlaysWhenTheSettingIsOn) {
  Open(true);
  // In front of the window once its list is drawn.
  ASSERT_TRUE(test::WaitUntil([&] { return window_->Splash()->CallCount() == 3; }));
  ASSERT_TRUE(window_->Splash()->Host()->MovieLoaded());
  EXPECT_EQ(window_->Splash()->Host()->MoviePathLoaded(), ui::MoviePath(app_->Context(), "Splash", ".vms"));
  EXPECT_TRUE(window_->Splash()->IsShowing());
  test::SaveScreenshot(window_->Splash()->Host(), "splash");
  // It plays once and then goes away by itself.
  EXPECT_TRUE(test::WaitUntil([&] { return !window_->Splash()->IsShowing(); }));
}

// The main movie on its own: every button sends its command, and the buttons
// that depend on a variable send nothing while it is "0".
class MainMovieTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(639, 605);
    host_ = new ui::FlashMovieHost(&window_);
    host_->setGeometry(0, 0, 639, 605);
    host_->SetCommandHandler(
        [this](const std::string& command, const std::string&) { sent_.push_back(command); });
    host_->SetMovie(test::BuiltProgram(), ui::MoviePath(test::BuiltProgram(), "VlmMain"));
    host_->SetScale("NoScale");
    host_->SetAlignMode(ui::kAlignLeft);
    window_.show();
    test::ProcessMovieCommands();
  }
  std::vector<std::string> Click(const QString& name) {
    sent_.clear();
    EXPECT_TRUE(test::ClickMovieItem(host_, name)) << name.toStdString();
    test::ProcessMovieCommands();
    return sent_;
  }
  test::TempPrefix prefix_;
  QWidget window_{nullptr, Qt::Window | Qt::FramelessWindowHint};
  ui::FlashMovieHost* host_ = nullptr;
  std::vector<std::string> sent_;
};

TEST_F(MainMovieTest, EveryButtonSendsItsCommand) {
  ASSERT_TRUE(host_->MovieLoaded()) << host_->MovieErrors().join("\n").toStdString();
  EXPECT_EQ(sent_, (std::vector<std::string>{"ID_FS_ShowForm"}));
  for (const char* name : {"applyState", "refreshState", "rollBackState", "profilesState"}) {
    host_->SetMovieVariable(std::string("_root.") + name, "1");
  }
  const char* buttons[] = {
      "ID_FS_EXIT",          "ID_FS_MINIMIZE",      "ID_FS_HELP",
      "ID_FS_runLiveUpdate", "ID_FS_ABOUTUS",       "ID_Fs_showSplash",
      "ID_Fs_startWindows",  "ID_Fs_showSavingMsg", "ID_Fs_showSavProfileMsg",
      "ID_FS_ADDTASK",       "ID_FS_APPLYCHANGES",  "ID_FS_REFRESH",
      "ID_FS_ROLLBACK",      "ID_FS_SAVEPROFILE",   "ID_Fs_Profile",
      "ID_Fs_EnableAll",     "ID_Fs_DisableAll",
  };
  for (const char* button : buttons) EXPECT_EQ(Click(button), (std::vector<std::string>{button}));
  for (const ui::ViewSpec& view : ui::Views()) {
    EXPECT_EQ(Click(view.command), (std::vector<std::string>{view.command}));
  }
  // The title bar drags the window where its system chooser does not lie.
  EXPECT_EQ(Click("appName"), (std::vector<std::string>{"IDC_FS_drag"}));
  EXPECT_EQ(Click("expandDetails"), (std::vector<std::string>{"ID_FS_detailsGrow"}));
  EXPECT_EQ(Click("expandDetails"), (std::vector<std::string>{"ID_FS_detailsGrow"}));
  // The chooser asks for the systems and drops their list over the entry list;
  // a click beside the list closes it again.
  EXPECT_EQ(Click("systemChooser"), (std::vector<std::string>{"ID_FS_listSystems", "ID_FS_hideForm"}));
  EXPECT_EQ(Click("systemMenuShade"), (std::vector<std::string>{"ID_FS_ShowForm"}));
}

TEST_F(MainMovieTest, VariablesDecideWhatTheMovieOffersAndShows) {
  for (const char* button : {"ID_FS_APPLYCHANGES", "ID_FS_ROLLBACK", "ID_Fs_Profile"}) {
    EXPECT_TRUE(Click(button).empty()) << button;
  }
  // Others change the locations too: Refresh is always offered.
  EXPECT_EQ(Click("ID_FS_REFRESH"), (std::vector<std::string>{"ID_FS_REFRESH"}));
  QQuickItem* state = test::FindMovieItem(host_, "changeState");
  EXPECT_EQ(state->property("text").toString(), "Up to date");
  host_->SetMovieVariable("_root.applyState", "1");
  EXPECT_EQ(state->property("text").toString(), "Changes to apply");
  EXPECT_EQ(Click("ID_FS_APPLYCHANGES"), (std::vector<std::string>{"ID_FS_APPLYCHANGES"}));
  host_->SetMovieVariable("_root.applyState", "0");
  host_->SetMovieVariable("_root.rollBackState", "1");
  EXPECT_EQ(state->property("text").toString(), "Applied");

  // The settings switches start as the program says and then keep their own state.
  QQuickItem* splash = test::FindMovieItem(host_, "ID_Fs_showSplash");
  EXPECT_FALSE(splash->property("on").toBool());
  host_->SetMovieVariable("_root.showSplash", "\x01");
  EXPECT_TRUE(splash->property("on").toBool());
  Click("ID_Fs_showSplash");
  EXPECT_FALSE(splash->property("on").toBool());

  // The description pane renders the HTML it is given and opens on request.
  host_->SetMovieVariable("_root.description", "<font color='#990000'>Name: </font><b>Foo</b>");
  EXPECT_FALSE(test::FindMovieItem(host_, "descriptionText")->isVisible());
  host_->SetMovieVariable("_root.discripWinState", "1");
  QQuickItem* text = test::FindMovieItem(host_, "descriptionText");
  EXPECT_TRUE(text->isVisible());
  EXPECT_EQ(text->property("textFormat").toInt(), 1);  // Text.RichText
  Click("closeDetails");
  EXPECT_EQ(host_->GetMovieVariable("_root.discripWinState"), "0");
  EXPECT_FALSE(text->isVisible());
}

// The window's dialog commands reach their dialogs, and what they change shows.
TEST_F(MainWindowTest, AddTaskAndProfileCommandsRunTheirDialogs) {
  Open();
  test::ModalScript script;
  script.On<ui::AddNewTaskDlg>([](ui::AddNewTaskDlg* dialog) {
    test::TypeInto(dialog->Movie(), "taskName_field", "Wired");
    test::TypeInto(dialog->Movie(), "taskLocation_field", "C:\\wired.exe");
    test::ClickMovieItem(dialog->Movie(), "location3");
    test::ClickMovieItem(dialog->Movie(), "ID_Fs_add");
  });
  script.Start();
  window_->OnMovieCommand("ID_FS_ADDTASK");
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(app_->Model().Entries(kCuRun).count("wired"), 1u);
  EXPECT_EQ(ChangeState().substr(0, 2), "11");
  std::vector<std::string> rows = Rows();
  EXPECT_NE(std::find(rows.begin(), rows.end(), "CU Run Wired"), rows.end());

  // Saving a profile through its dialog makes the profile list non-empty.
  test::ModalScript save;
  save.On<ui::AddNewProfileDlg>([](ui::AddNewProfileDlg* dialog) {
    test::TypeInto(dialog->Movie(), "profileName_field", "Evening");
    test::ClickMovieItem(dialog->Movie(), "ID_Fs_Save");
  });
  save.Start();
  window_->OnMovieCommand("ID_FS_SAVEPROFILE");
  EXPECT_TRUE(save.Finished());
  EXPECT_EQ(Var("_root.profilesState"), "1");
}

// Closing with "Yes" while the registry cannot be written: the failure is shown
// and the window stays open with the edits pending, nothing saved.
TEST_F(MainWindowTest, ClosingWhenTheApplyFailsKeepsTheWindowAndItsEdits) {
  if (!test::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  MakeEntries();
  Open();
  ClickCheckBox(RowOf("Gamma"));
  ASSERT_EQ(test::RunCommand("WINEDEBUG=-all wineserver -p"), 0);
  for (int i = 0; i < 100 && !velmora::test::WineServerRunning(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(velmora::test::WineServerRunning());
  std::vector<std::string> kinds;
  AnswerNextBox([&](ui::CustomMsgBoxDlg* question) {
    kinds.push_back(question->kind);
    AnswerNextBox([&](ui::CustomMsgBoxDlg* failure) {
      kinds.push_back(failure->kind);
      AnswerNextBox([&](ui::CustomMsgBoxDlg* more) {
        kinds.push_back(more->kind);
        test::ClickMovieItem(more->Movie(), "IDC_FS_OK");
      });
      test::ClickMovieItem(failure->Movie(), "IDC_FS_OK");
    });
    test::ClickMovieItem(question->Movie(), "IDC_FS_OK");
  });
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_EXIT"));
  test::ProcessMovieCommands();
  QTest::qWait(100);
  test::RunCommand("wineserver -k; wineserver -w");
  EXPECT_EQ(kinds, (std::vector<std::string>{"alert", "error"}));
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(ChangeState(), "111");
  EXPECT_FALSE(List()->RowChecked(RowOf("Gamma")));
  EXPECT_EQ(LocationValues(kCuRun).count("gamma"), 1u);
  EXPECT_EQ(StoredSetting("ShowSavingMsg"), -1);
}

// Refresh reads what other programs changed; it is always offered, F5 runs it,
// and it asks before it drops edits.
TEST_F(MainWindowTest, RefreshAndF5ReadTheLocationsAgainAndAskBeforeDroppingEdits) {
  MakeEntries();
  Open();
  EXPECT_TRUE(test::FindMovieItem(Movie(), "ID_FS_REFRESH")->property("active").toBool());
  SetText(kCuRun, "Newcomer", "C:\\Tools\\scan_app.exe /new");
  QTest::keyClick(List(), Qt::Key_F5);
  ASSERT_GE(RowOf("Newcomer"), 0);

  ClickCheckBox(RowOf("Gamma"));
  SetText(kCuRun, "Latecomer", "C:\\Tools\\scan_app.exe /late");
  std::string asked;
  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) {
    asked = box->message;
    test::ClickMovieItem(box->Movie(), "IDC_FS_Cancel");
  });
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "ID_FS_REFRESH"));
  test::ProcessMovieCommands();
  EXPECT_NE(asked.find("drops the changes you have not applied"), std::string::npos) << asked;
  EXPECT_EQ(ChangeState(), "110");
  EXPECT_FALSE(List()->RowChecked(RowOf("Gamma")));
  EXPECT_EQ(RowOf("Latecomer"), -1);

  AnswerNextBox([&](ui::CustomMsgBoxDlg* box) { test::ClickMovieItem(box->Movie(), "IDC_FS_OK"); });
  QTest::keyClick(Movie(), Qt::Key_F5);
  test::ProcessMovieCommands();
  EXPECT_EQ(ChangeState(), "000");
  EXPECT_TRUE(List()->RowChecked(RowOf("Gamma")));
  EXPECT_GE(RowOf("Latecomer"), 0);
}

// The description follows the selected row, whichever button selected it.
TEST_F(MainWindowTest, ARightClickDescribesTheRowItSelects) {
  MakeEntries();
  Open();
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                    List()->visualRect(List()->model()->index(RowOf("Alpha"), ui::kColumnRating)).center());
  ASSERT_NE(Var("_root.description").find("Alpha"), std::string::npos);
  test::ModalScript script;
  script.Then([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
              [] { QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape); });
  script.Start();
  const QPoint point = List()->visualRect(List()->model()->index(RowOf("Gamma"), ui::kColumnName)).center();
  QTest::mouseClick(window_->windowHandle(), Qt::RightButton, Qt::NoModifier,
                    List()->viewport()->mapTo(window_.get(), point));
  ASSERT_TRUE(test::WaitUntil([&] { return script.Finished(); }));
  EXPECT_EQ(List()->SelectedRow(), RowOf("Gamma"));
  const std::string html = Var("_root.description");
  EXPECT_NE(html.find("Gamma"), std::string::npos);
  EXPECT_EQ(html.find("Alpha"), std::string::npos);
}

// The switch shows the program's own Run value after everything that may write
// or remove it.
TEST_F(MainWindowTest, StartWithWindowsFollowsTheRunValueThroughApplyAndRollBack) {
  Open();
  app_->settings.StartWithWindows = 1;
  ASSERT_TRUE(app_->settings.ApplyRunAtStartup(velmora::test::System()));
  window_->OnMovieCommand("ID_FS_REFRESH");
  EXPECT_NE(Var("_root.startWindows"), "");
  const int own = RowOf(RunValueName(app_->Context()));
  ASSERT_GE(own, 0);
  ClickCheckBox(own);
  window_->OnMovieCommand("ID_FS_APPLYCHANGES");
  ASSERT_EQ(LocationValues(kCuRun).count(ToLowerAscii(RunValueName(app_->Context()))), 0u);
  EXPECT_EQ(Var("_root.startWindows"), "");
  EXPECT_EQ(app_->settings.StartWithWindows, 0);
  EXPECT_FALSE(test::FindMovieItem(Movie(), "ID_Fs_startWindows")->property("on").toBool());

  window_->OnMovieCommand("ID_FS_ROLLBACK");
  ASSERT_EQ(LocationValues(kCuRun).count(ToLowerAscii(RunValueName(app_->Context()))), 1u);
  EXPECT_NE(Var("_root.startWindows"), "");
  EXPECT_EQ(app_->settings.StartWithWindows, 1);
  EXPECT_TRUE(test::FindMovieItem(Movie(), "ID_Fs_startWindows")->property("on").toBool());
}

// Programs end while the window is open: an apply reads the figures again.
TEST_F(MainWindowTest, AnApplyReadsTheMemoryFiguresAgain) {
  StartProbe();
  SetText(kCuRun, "Probe", "C:\\Programs\\VELMORAPROBE.EXE -q");
  Open();
  ASSERT_NE(List()->CellText(RowOf("Probe"), ui::kColumnMemory), "N/A");
  kill(probe_, SIGKILL);
  waitpid(probe_, nullptr, 0);
  probe_ = -1;
  window_->OnMovieCommand("ID_FS_APPLYCHANGES");
  EXPECT_EQ(List()->CellText(RowOf("Probe"), ui::kColumnMemory), "N/A");
  EXPECT_EQ(List()->CellText(RowOf("Probe"), ui::kColumnPeak), "N/A");
}

// At the default size the names can be read, the figures take little room, a
// heading click orders the rows, headings show whole, and grown details leave
// the list in view.
TEST_F(MainWindowTest, TheDefaultLayoutIsReadableAndHeadingsSort) {
  MakeEntries();
  SetText(kLmRun, "A rather long entry name", "C:\\Tools\\scan_app.exe");
  Open();
  QHeaderView* header = List()->horizontalHeader();
  EXPECT_GE(header->sectionSize(ui::kColumnName), 150);
  EXPECT_LE(header->sectionSize(ui::kColumnMemory), 60);
  EXPECT_LE(header->sectionSize(ui::kColumnPeak), 60);
  EXPECT_LT(header->sectionPosition(ui::kColumnName) + header->sectionSize(ui::kColumnName),
            List()->viewport()->width());

  // Fill order until a heading is clicked; then by the column, and back.
  const std::vector<std::string> filled = Rows();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(header->sectionViewportPosition(ui::kColumnName) + 20, header->height() / 2));
  std::vector<std::string> names;
  for (int row = 0; row < List()->rowCount(); ++row) names.push_back(ToLowerAscii(List()->RowName(row)));
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_NE(Rows(), filled);
  window_->OnMovieCommand("IDC_FS_ALLITEMS");  // a view shown again keeps the order
  names.clear();
  for (int row = 0; row < List()->rowCount(); ++row) names.push_back(ToLowerAscii(List()->RowName(row)));
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));

  for (int view = 0; view < static_cast<int>(ui::Views().size()); ++view) {
    window_->OnMovieCommand(ui::Views()[view].command);
    QQuickItem* title = test::FindMovieItem(Movie(), "viewTitle");
    EXPECT_FALSE(title->property("truncated").toBool()) << view;
    EXPECT_LE(title->property("contentWidth").toDouble(), title->width()) << view;
  }
  window_->OnMovieCommand("IDC_FS_ALLITEMS");
  test::SaveScreenshot(window_.get(), "main_window_default_layout");

  const QRect before = List()->geometry();
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "expandDetails"));
  test::ProcessMovieCommands();
  EXPECT_TRUE(List()->isVisible());
  EXPECT_GT(List()->geometry().top(), before.top());
  EXPECT_EQ(List()->geometry().bottom(), before.bottom());
  EXPECT_GE(List()->geometry().height(), 80);
  QQuickItem* details = test::FindMovieItem(Movie(), "details");
  QTest::qWait(300);  // the pane's growth is animated
  EXPECT_LE(details->mapToScene(QPointF(0, details->height())).y(), List()->geometry().top());
  test::SaveScreenshot(window_.get(), "main_window_details_grown");
  ASSERT_TRUE(test::ClickMovieItem(Movie(), "expandDetails"));
  test::ProcessMovieCommands();
  EXPECT_EQ(List()->geometry(), before);
}

// On a 64-bit system at the window's default size the add dialog shows every
// location and both buttons inside itself, and each answers a real click; so it
// does with every location one may add to.
TEST_F(MainWindowTest, TheAddDialogShowsAndTakesEveryLocationAndItsButtons) {
  Open();
  ASSERT_TRUE(app_->Model().HasLocation(kLmRun32));
  ASSERT_EQ(window_->size(), VelmoraDlg::DefaultSize());
  auto inside = [](ui::AddNewTaskDlg* dialog, const QString& name) {
    QQuickItem* item = test::FindMovieItem(dialog->Movie(), name);
    if (!item || !item->isVisible()) return false;
    const QRectF box = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    return QRectF(dialog->rect()).contains(box) && dialog->Movie()->geometry().contains(box.toRect());
  };
  std::vector<int> taken;
  bool buttonsInside = false, refused = false;
  test::ModalScript script;
  script.On<ui::AddNewTaskDlg>([&](ui::AddNewTaskDlg* dialog) {
    EXPECT_LE(dialog->height(), window_->height());
    for (int location = 0; location < kLocationCount; ++location) {
      const QString name = QString("location%1").arg(location);
      if (!IsAddableLocation(location)) {
        EXPECT_FALSE(inside(dialog, name)) << "services are not added";
        continue;
      }
      EXPECT_TRUE(inside(dialog, name)) << location;
      test::ClickMovieItem(dialog->Movie(), name);
      if (dialog->Movie()->GetMovieVariable("_root.selectedSLoc") == std::to_string(location))
        taken.push_back(location);
    }
    buttonsInside = inside(dialog, "ID_Fs_add") && inside(dialog, "ID_Fs_cancel");
    test::SaveScreenshot(dialog, "add_dialog_64bit");
    // Every location one may add to, as more come: still inside, still on screen.
    dialog->Movie()->SetMovieVariable("_root.offeredLocations", "0|1|2|3|4|5|6|7|8|9|10|11");
    test::ProcessMovieCommands();
    EXPECT_LE(dialog->height(), window_->height());
    for (int location = 0; location < 12; ++location)
      EXPECT_TRUE(inside(dialog, QString("location%1").arg(location))) << location;
    EXPECT_TRUE(inside(dialog, "ID_Fs_add") && inside(dialog, "ID_Fs_cancel"));
    test::SaveScreenshot(dialog, "add_dialog_all_locations");
    // Add answers (the name is missing), then Cancel closes.
    test::ModalScript box;
    box.On<ui::CustomMsgBoxDlg>([&](ui::CustomMsgBoxDlg* error) {
      refused = error->message == GetString(7012);
      test::ClickMovieItem(error->Movie(), "IDC_FS_OK");
    });
    box.Start();
    test::ClickMovieItem(dialog->Movie(), "ID_Fs_add");
    ASSERT_TRUE(test::WaitUntil([&] { return box.Finished(); }));
    EXPECT_TRUE(dialog->isVisible());
    test::ClickMovieItem(dialog->Movie(), "ID_Fs_cancel");
  });
  script.Start();
  window_->OnMovieCommand("ID_FS_ADDTASK");
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(taken, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_TRUE(buttonsInside);
  EXPECT_TRUE(refused);
  EXPECT_FALSE(app_->Model().AnyLocationChanged());
}

// A shortcut's command is its target with its arguments, as Windows starts it.
TEST_F(MainWindowTest, AShortcutIsListedWithItsArguments) {
  MakeShortcut(Folder(kCuStartupFolder) + "\\Pad.lnk", "C:\\windows\\notepad.exe", "C:\\windows\\win.ini");
  MakeShortcut(Folder(kLmStartupFolder) + "\\Tray.lnk", "C:\\Program Files\\Tray\\tray.exe", "-min");
  MakeShortcut(Folder(kLmStartupFolder) + "\\Bare.lnk", "C:\\Program Files\\Tray\\bare.exe", "");
  Open();
  // Shortcuts are read once the program's start-up has prepared for them.
  app_->Context().comInitialized = true;
  window_->OnMovieCommand("ID_FS_REFRESH");
  EXPECT_EQ(List()->CellText(RowOf("Pad.lnk"), ui::kColumnFileName),
            "\"C:\\windows\\notepad.exe\" C:\\windows\\win.ini");
  EXPECT_EQ(List()->CellText(RowOf("Tray.lnk"), ui::kColumnFileName),
            "\"C:\\Program Files\\Tray\\tray.exe\" -min");
  EXPECT_EQ(List()->CellText(RowOf("Bare.lnk"), ui::kColumnFileName), "C:\\Program Files\\Tray\\bare.exe");
  const Task* pad = Find(app_->Model(), kCuStartupFolder, "Pad.lnk");
  ASSERT_NE(pad, nullptr);
  EXPECT_EQ(pad->fileName, "notepad.exe");
  window_->ShowDescription(*pad);
  EXPECT_NE(Var("_root.description").find("win.ini"), std::string::npos);
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
