// The chooser of the managed system in the main window, over a home folder laid
// out as plain Wine, Steam and Bottles lay it out, with prefixes that Wine made:
// choosing a system lists its entries without a restart, pending changes are
// settled first, a system a wineserver runs is noted, and the choice is kept.
#include "ui/system_chooser.h"

#include <gtest/gtest.h>

#include <QStyle>
#include <QStyleOptionViewItem>
#include <cstdlib>
#include <filesystem>

#include "app/system_choice.h"
#include "app/velmora_app.h"
#include "platform/known_systems.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "tests/support/test_support.h"
#include "tests/ui/dialog_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/entry_list.h"
#include "ui/user_settings.h"
#include "ui/velmora_dlg.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The value |name| of the user's Run key of the prefix |path|, "" when missing.
std::string RunValue(const std::string& path, const std::string& name) {
  std::unique_ptr<platform::ManagedSystem> system;
  std::string error;
  if (!platform::OpenKnownSystem({"", "wine", path, ""}, "", &system, &error)) return "";
  platform::UniqueKey key;
  std::string text;
  if (platform::reg::OpenKey(system->CurrentUser(), kRunKey, platform::kKeyRead, key.out()) ==
      platform::kSuccess)
    platform::reg::QueryString(key.get(), name, &text);
  return text;
}

class SystemChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::canonical(dir_.path()).string() + "/home/anna";
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_DATA_HOME", (home_ + "/.local/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir_.RuntimeDir().c_str(), 1);
    unsetenv("WINEPREFIX");
    wine_ = home_ + "/.wine";
    steam_ = home_ + "/.local/share/Steam/steamapps/compatdata/620/pfx";
    bottle_ = home_ + "/.local/share/bottles/bottles/Office";
    test::CopyWineMadePrefix(wine_, "WineTray");
    test::CopyWineMadePrefix(steam_, "PortalTray");
    test::WriteFile(home_ + "/.local/share/Steam/steamapps/appmanifest_620.acf",
                    "\"AppState\"\n{\n\t\"appid\"\t\t\"620\"\n\t\"name\"\t\t\"Portal 2\"\n}\n");
    test::CopyWineMadePrefix(bottle_, "OfficeTray");
    test::WriteFile(bottle_ + "/bottle.yml", "Arch: win64\nName: Office 2010\nPath: Office\n");
  }
  void TearDown() override {
    window_.reset();
    app_.reset();
    if (!server_.empty()) test::RunCommand("WINEPREFIX='" + server_ + "' wineserver -k >/dev/null 2>&1");
  }
  // The window on ~/.wine, as the program opens it by --system.
  void Open() {
    SystemChoice choice;
    choice.system = wine_;
    std::string error;
    ASSERT_TRUE(OpenChosenSystem(choice, &system_, &error)) << error;
    app_ = std::make_unique<VelmoraApp>(std::move(system_));
    test::UseBuiltProgramDir(app_->Context());
    app_->programDir = app_->Context().programDir;
    app_->settings.ShowSplash = 0;
    window_ = std::make_unique<ui::VelmoraDlg>(*app_);
    window_->Initialise();
    window_->show();
    test::ProcessMovieCommands();
    // The user's Run key alone: the services Wine sets up in every prefix stay out of view.
    window_->OnMovieCommand("IDC_FS_USERRUN");
  }
  std::string Var(const std::string& name) { return window_->Movie()->GetMovieVariable(name); }
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    ui::EntryList* list = window_->List();
    for (int row = 0; row < list->rowCount(); ++row)
      rows.push_back(list->RowLocationText(row) + " " + list->RowName(row));
    return rows;
  }
  // A real click on the check box of the first row.
  void ClickFirstCheckBox() {
    ui::EntryList* list = window_->List();
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualRect(list->model()->index(0, ui::kColumnName));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay |
                      QStyleOptionViewItem::HasDecoration;
    option.decorationSize = QSize(16, 16);
    QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
  }

  test::TempDir dir_;
  std::string home_, wine_, steam_, bottle_, server_;
  std::unique_ptr<platform::ManagedSystem> system_;
  std::unique_ptr<VelmoraApp> app_;
  std::unique_ptr<ui::VelmoraDlg> window_;
};

TEST_F(SystemChooserTest, ChoosingAnotherSystemListsItsEntriesAndIsRemembered) {
  test::QtMessageCatcher catcher;
  Open();
  EXPECT_EQ(Var("_root.systemKind") + " " + Var("_root.systemName"), "wine .wine");
  EXPECT_EQ(Rows(), std::vector<std::string>{"CU Run WineTray"});
  // The systems by kind, then name: plain Wine, Steam, Bottles.
  EXPECT_EQ(Var("_root.systemList"), "wine\t.wine\t" + wine_ + "\t\nsteam\tPortal 2\t" + steam_ +
                                         "\t\nbottles\tOffice 2010\t" + bottle_ + "\t");
  EXPECT_EQ(Var("_root.currentSystem"), "0");

  // The chooser drops its list over the entry list, which steps aside.
  ASSERT_TRUE(test::ClickMovieItem(window_->Movie(), "systemChooser"));
  test::ProcessMovieCommands();
  ASSERT_NE(test::FindMovieItem(window_->Movie(), "system2"), nullptr);
  EXPECT_TRUE(test::FindMovieItem(window_->Movie(), "systemMenu")->isVisible());
  EXPECT_FALSE(window_->List()->isVisible());
  test::SaveScreenshot(window_.get(), "system_chooser");

  ASSERT_TRUE(test::ClickMovieItem(window_->Movie(), "system2"));
  test::ProcessMovieCommands();
  EXPECT_EQ(Rows(), std::vector<std::string>{"CU Run OfficeTray"});
  EXPECT_EQ(Var("_root.systemKind") + " " + Var("_root.systemName"), "bottles Office 2010");
  EXPECT_EQ(Var("_root.currentSystem"), "2");
  EXPECT_EQ(Var("_root.systemNote"), "");
  EXPECT_TRUE(window_->List()->isVisible());
  EXPECT_EQ(app_->System().Location(), bottle_);
  EXPECT_EQ(ui::RememberedSystem(), bottle_);
  EXPECT_TRUE(catcher.messages.isEmpty()) << catcher.messages.join("\n").toStdString();
}

TEST_F(SystemChooserTest, PendingChangesAreSettledFirstAndARunningWineserverIsNoted) {
  if (!test::WineAvailable()) GTEST_SKIP() << "wine is not installed";
  Open();
  ClickFirstCheckBox();
  ASSERT_EQ(Var("_root.applyState"), "1");

  // The question closed without an answer: the window stays on its system.
  test::ModalScript closeIt;
  test::AnswerBox(closeIt, 0, nullptr);
  closeIt.Start();
  window_->OnMovieCommand("ID_FS_chooseSystem", "1");
  EXPECT_TRUE(closeIt.Finished());
  EXPECT_EQ(Rows(), std::vector<std::string>{"CU Run WineTray"});
  EXPECT_EQ(Var("_root.applyState"), "1");

  // A wineserver runs the Steam game's prefix; "yes" applies the pending change
  // to ~/.wine, then the game's entries are shown with the note.
  ASSERT_EQ(test::RunCommand("WINEPREFIX='" + steam_ + "' wineserver -p >/dev/null 2>&1"), 0);
  server_ = steam_;
  test::ModalScript yes;
  test::AnswerBox(yes, 1, nullptr);
  yes.Start();
  window_->OnMovieCommand("ID_FS_chooseSystem", "1");
  EXPECT_TRUE(yes.Finished());
  EXPECT_EQ(RunValue(wine_, "WineTray"), "");
  EXPECT_EQ(Rows(), std::vector<std::string>{"CU Run PortalTray"});
  EXPECT_EQ(Var("_root.systemName"), "Portal 2");
  EXPECT_EQ(Var("_root.applyState"), "0");
  EXPECT_NE(Var("_root.systemNote").find("changes wait until they end"), std::string::npos);
  test::SaveScreenshot(window_.get(), "system_chooser_note");
}

// Whether another holder could take the lock of the system at |path| now.
bool LockFree(const std::string& path) {
  std::unique_ptr<platform::ManagedSystem> system;
  std::string error;
  if (!platform::OpenKnownSystem({"", "wine", path, ""}, "", &system, &error)) return false;
  std::unique_ptr<platform::NamedLock> probe;
  return platform::TakeNamedLock(SystemLockName(*system), &probe) == platform::kSuccess;
}

TEST_F(SystemChooserTest, TheWindowHoldsTheLockOfTheSystemItShowsAndNoOther) {
  Open();
  // Another instance changes the Steam game's prefix: the switch is refused with
  // the program's message, and the window stays where it was.
  std::unique_ptr<platform::ManagedSystem> steam;
  std::string error;
  ASSERT_TRUE(platform::OpenKnownSystem({"", "wine", steam_, ""}, "", &steam, &error)) << error;
  std::unique_ptr<platform::NamedLock> other;
  ASSERT_EQ(platform::TakeNamedLock(SystemLockName(*steam), &other), platform::kSuccess);
  test::ModalScript refused;
  test::SeenBox seen;
  test::AnswerBox(refused, 1, &seen);
  refused.Start();
  window_->OnMovieCommand("ID_FS_chooseSystem", "1");
  EXPECT_TRUE(refused.Finished());
  EXPECT_NE(seen.message.find("Another instance of Velmora is changing"), std::string::npos) << seen.message;
  EXPECT_EQ(Rows(), std::vector<std::string>{"CU Run WineTray"});
  EXPECT_EQ(Var("_root.currentSystem"), "0");
  other.reset();

  window_->OnMovieCommand("ID_FS_chooseSystem", "2");
  EXPECT_EQ(Rows(), std::vector<std::string>{"CU Run OfficeTray"});
  EXPECT_FALSE(LockFree(bottle_));
  // Leaving the bottle gives its lock up: a command may change it now.
  window_->OnMovieCommand("ID_FS_chooseSystem", "1");
  EXPECT_EQ(Rows(), std::vector<std::string>{"CU Run PortalTray"});
  EXPECT_TRUE(LockFree(bottle_));
  EXPECT_FALSE(LockFree(steam_));
  window_.reset();
  app_.reset();
  EXPECT_TRUE(LockFree(steam_));
}

TEST_F(SystemChooserTest, TheChoiceAndTheLayoutAreTheUsersWhicheverSystemIsOpen) {
  // Where an earlier version kept them: the choice in its own file, the layout in
  // the registry of the system it showed. Each is read from there once.
  test::WriteFile(home_ + "/.config/Orlinsk/Velmora.ini", "[General]\nManagedSystem=" + steam_ + "\n");
  {
    std::unique_ptr<platform::ManagedSystem> wine;
    std::string error;
    ASSERT_TRUE(platform::OpenKnownSystem({"", "wine", wine_, ""}, "", &wine, &error)) << error;
    WindowLayout old;
    old.width = 1050;
    old.height = 770;
    ASSERT_TRUE(old.Save(*wine));
  }
  EXPECT_EQ(ui::RememberedSystem(), steam_);
  fs::remove(home_ + "/.config/Orlinsk/Velmora.ini");
  EXPECT_EQ(ui::RememberedSystem(), steam_);
  EXPECT_EQ(ui::UserSettingsPath(), home_ + "/.config/velmora/velmora.conf");

  Open();
  EXPECT_EQ(window_->size(), QSize(1050, 770));
  window_->OnMovieCommand("ID_FS_chooseSystem", "2");
  ASSERT_EQ(Rows(), std::vector<std::string>{"CU Run OfficeTray"});
  window_->resize(1120, 800);
  test::ProcessMovieCommands();
  window_->ConfirmApplyOnClose();
  window_.reset();
  EXPECT_EQ(ui::RememberedSystem(), bottle_);
  std::unique_ptr<platform::ManagedSystem> bottle;
  std::string error;
  ASSERT_TRUE(platform::OpenKnownSystem({"", "wine", bottle_, ""}, "", &bottle, &error)) << error;
  WindowLayout layout = ui::LoadWindowLayout(*bottle);
  EXPECT_EQ(layout.width, 1120);
  EXPECT_EQ(layout.height, 800);
  EXPECT_EQ(WindowLayout::Load(*bottle).width, 0)
      << "the bottle's registry holds none of the user's settings";

  // A file that cannot be read is left as it is: nothing is remembered into it.
  test::WriteFile(ui::UserSettingsPath(), "[General\n\x01garbage");
  EXPECT_FALSE(ui::RememberSystem(wine_));
  EXPECT_EQ(test::ReadFile(ui::UserSettingsPath()), "[General\n\x01garbage");
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
