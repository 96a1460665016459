// The window on an offline Windows installation: opening and closing it writes
// nothing there; only an applied change does. With several users the program
// lets the user choose one in its own look.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <map>

#include "app/velmora_app.h"
#include "changes/store_layout.h"
#include "entries/startup_location.h"
#include "platform/managed_system.h"
#include "platform/offline.h"
#include "platform/registry.h"
#include "tests/support/regf_builder.h"
#include "tests/support/test_support.h"
#include "tests/ui/dialog_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/choose_user_dlg.h"
#include "ui/entry_list.h"
#include "ui/velmora_dlg.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Every file below |root| with its bytes.
std::map<std::string, std::string> Files(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[entry.path().string()] = test::ReadFile(entry.path().string());
  }
  return files;
}

bool KeyExists(const std::string& path) {
  platform::UniqueKey key;
  return platform::reg::OpenKey(velmora::test::System().CurrentUser(), path, platform::kKeyRead, key.out()) ==
         platform::kSuccess;
}

class OfflineWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = std::make_unique<test::WindowsTree>(dir_.path() + "/win", "ann");
    tree_->User("ann")
        .Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run")
        .Sz("Tray", "C:\\Apps\\tray.exe");
    tree_->Write();
  }
  void TearDown() override {
    window_.reset();
    app_.reset();
    velmora::test::CloseOfflineSystem();
  }
  void Open() {
    std::string error;
    ASSERT_EQ(velmora::test::UseOfflineSystem(tree_->root, "", &error), platform::kSuccess) << error;
    app_ = std::make_unique<VelmoraApp>(velmora::test::System());
    test::UseBuiltProgramDir(app_->Context());
    app_->programDir = app_->Context().programDir;
    app_->settings.ShowSplash = 0;
    app_->settings.Load(velmora::test::System());
    window_ = std::make_unique<ui::VelmoraDlg>(*app_);
    window_->Initialise();
    window_->show();
    test::ProcessMovieCommands();
  }

  test::TempDir dir_;
  std::unique_ptr<test::WindowsTree> tree_;
  std::unique_ptr<VelmoraApp> app_;
  std::unique_ptr<ui::VelmoraDlg> window_;
};

TEST_F(OfflineWindowTest, OpeningAndClosingWritesNothingUntilAChangeIsApplied) {
  const auto before = Files(tree_->root);
  Open();
  ASSERT_GE(window_->List()->rowCount(), 1);
  window_->OnMovieCommand("ID_Fs_showSplash");  // an option changed is no change of the system
  window_->OnMovieCommand("ID_FS_REFRESH");
  window_->ConfirmApplyOnClose();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(velmora::test::System().HiveBackups().empty());
  EXPECT_FALSE(KeyExists(DisabledTasksKeyPath()));
  EXPECT_FALSE(KeyExists(ProfilesKeyPath()));
  window_.reset();
  app_.reset();
  velmora::test::CloseOfflineSystem();
  EXPECT_EQ(Files(tree_->root), before);

  // An applied change writes, and the store comes with the entry put into it.
  Open();
  ui::EntryList* list = window_->List();
  int tray = -1;
  for (int row = 0; row < list->rowCount(); ++row) {
    if (list->RowName(row) == "Tray") tray = row;
  }
  ASSERT_GE(tray, 0);
  ASSERT_TRUE(app_->Model().SetEntryEnabled("tray", kCuRun, 0));
  window_->OnMovieCommand("ID_FS_APPLYCHANGES");
  EXPECT_TRUE(KeyExists(DisabledTasksKeyPath()));
  EXPECT_FALSE(app_->Model().AnyLocationChanged());
}

// Several users: the choice is the program's own dialog, and only a name it
// offered is taken.
TEST_F(OfflineWindowTest, SeveralUsersAreOfferedForAChoice) {
  tree_->User("bob");
  tree_->Write();
  const std::vector<std::string> users = platform::OfflineUserNames(tree_->root);
  ASSERT_EQ(users, (std::vector<std::string>{"ann", "bob"}));
  std::string error;
  EXPECT_NE(velmora::test::UseOfflineSystem(tree_->root, "", &error), platform::kSuccess);

  ui::ChooseUserDlg dialog(test::BuiltProgram(), tree_->root, users);
  test::ModalScript script;
  script.On<ui::ChooseUserDlg>([](ui::ChooseUserDlg* shown) {
    ASSERT_TRUE(shown->Movie()->MovieLoaded()) << shown->Movie()->MovieErrors().join("\n").toStdString();
    for (const char* name : {"user_ann", "user_bob", "ID_Fs_chooseUser", "ID_Fs_cancel"}) {
      QQuickItem* item = test::FindMovieItem(shown->Movie(), name);
      ASSERT_NE(item, nullptr) << name;
      EXPECT_TRUE(
          QRectF(shown->rect()).contains(item->mapRectToScene(QRectF(0, 0, item->width(), item->height()))))
          << name;
    }
    shown->OnMovieCommand("ID_Fs_chooseUser", "mallory");  // not offered: nothing
    EXPECT_TRUE(shown->isVisible());
    test::ClickMovieItem(shown->Movie(), "user_bob");
    test::SaveScreenshot(shown, "choose_user");
    test::ClickMovieItem(shown->Movie(), "ID_Fs_chooseUser");
  });
  script.Start();
  EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
  EXPECT_EQ(dialog.chosenUser, "bob");
}

// The window program itself: a wrong folder is said, and the program ends. On the
// offscreen platform no one would see the message box, so it is said on standard
// error alone and the program ends with status 1 instead of waiting for ever.
TEST_F(OfflineWindowTest, AWrongFolderIsSaidAndTheProgramEnds) {
  QProcess program;
  program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
  program.start(QString::fromStdString(std::string(VELMORA_PROGRAM_DIR) + "/Velmora"),
                {"--windows", QString::fromStdString(dir_.path() + "/nowhere")});
  ASSERT_TRUE(program.waitForStarted(5000));
  ASSERT_TRUE(program.waitForFinished(15000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 1);
  EXPECT_NE(program.readAllStandardError().toStdString().find("nowhere"), std::string::npos);
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
