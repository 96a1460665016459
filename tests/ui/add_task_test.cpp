#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

#include "app/language.h"
#include "base/program_context.h"
#include "database/database_file.h"
#include "entries/program_path.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"
#include "tests/ui/dialog_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/add_new_task_dlg.h"

namespace velmora {
namespace {

using ui::AddNewTaskDlg;

class AddTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
    ASSERT_TRUE(DecodeDatabase(velmora::test::System(), test::BuiltProgram().programDir))
        << "the build's vlmdb.vmd is needed";
    model_.FillCategoryCodes();
    QDir().mkpath(QString::fromStdString(prefix_.HostPath("drive_c/Apps/Sub Folder")));
    test::WriteFile(prefix_.HostPath("drive_c/Apps/version_app.exe"),
                    test::ReadFile(test::FixturePath("version_app.exe")));
    test::WriteFile(prefix_.HostPath("drive_c/Apps/Sub Folder/plain_app.exe"),
                    test::ReadFile(test::FixturePath("plain_app.exe")));
  }

  // Fills the three fields the way a user does: typing, and a click on a tile.
  static void Fill(AddNewTaskDlg* dialog, const QString& name, const QString& command, int location) {
    if (!name.isEmpty()) test::TypeInto(dialog->Movie(), "taskName_field", name);
    if (!command.isEmpty()) test::TypeInto(dialog->Movie(), "taskLocation_field", command);
    if (location >= 0) test::ClickMovieItem(dialog->Movie(), QString("location%1").arg(location));
  }

  // Puts a full path into the file dialog's name field and presses Enter (the
  // text is pasted, not typed, so that no completion list takes the key).
  static void TypeFileName(QFileDialog* files, const std::string& hostPath) {
    auto* edit = files->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::fromStdString(hostPath));
    QTest::keyClick(edit, Qt::Key_Return);
  }

  // Runs the dialog with |script| and returns its result.
  static int Run(AddNewTaskDlg& dialog, test::ModalScript& script) {
    script.Start();
    int result = dialog.DoModal();
    EXPECT_FALSE(script.TimedOut());
    EXPECT_TRUE(script.Finished());
    return result;
  }

  test::TempPrefix prefix_;
  StartupParameters model_{velmora::test::System(),
                           test::BuiltProgram()};  // the program folder of the build, as the window has it
};

TEST_F(AddTaskTest, MovieLoadsWithTheThreeVariablesAndItsCommands) {
  test::QtMessageCatcher messages;
  AddNewTaskDlg dialog(model_);
  dialog.Initialise();
  ui::FlashMovieHost* movie = dialog.Movie();
  ASSERT_TRUE(movie->MovieLoaded()) << movie->MovieErrors().join("\n").toStdString();
  EXPECT_EQ(movie->GetMovieVariable("_root.taskName"), "");
  EXPECT_EQ(movie->GetMovieVariable("_root.taskLocation"), "");
  EXPECT_EQ(movie->GetMovieVariable("_root.selectedSLoc"), "0");
  // The window takes the movie's size.
  EXPECT_EQ(dialog.width(), static_cast<int>(movie->MovieRoot()->width()));
  EXPECT_EQ(dialog.height(), static_cast<int>(movie->MovieRoot()->height()));
  for (const char* name :
       {"ID_Fs_add", "ID_Fs_Browser", "ID_Fs_cancel", "closeButton", "location0", "location5"}) {
    EXPECT_NE(test::FindMovieItem(movie, name), nullptr) << name;
  }
  EXPECT_TRUE(messages.messages.isEmpty()) << messages.messages.join("\n").toStdString();
}

TEST_F(AddTaskTest, EmptyFieldsAreRefusedInOrderAndTheDialogStaysOpen) {
  AddNewTaskDlg dialog(model_);
  test::SeenBox noName, noPathYet, noPath;
  test::ModalScript script;
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) { test::ClickMovieItem(d->Movie(), "ID_Fs_add"); });
  test::AnswerBox(script, 1, &noName, false, "add_task_no_name");
  // A path without a name is still the missing name.
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    Fill(d, "", "C:\\Apps\\version_app.exe", -1);
    test::ClickMovieItem(d->Movie(), "ID_Fs_add");
  });
  test::AnswerBox(script, 1, &noPathYet);
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    d->Movie()->SetMovieVariable("_root.taskLocation", "");
    Fill(d, "Sync", "", -1);
    test::ClickMovieItem(d->Movie(), "ID_Fs_add");
  });
  test::AnswerBox(script, 1, &noPath);
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) { test::ClickMovieItem(d->Movie(), "ID_Fs_cancel"); });
  EXPECT_EQ(Run(dialog, script), QDialog::Rejected);

  EXPECT_EQ(noName.message, GetString(7012));
  EXPECT_EQ(noName.title, GetString(7001));
  EXPECT_EQ(noName.kind, "error");
  EXPECT_EQ(noName.buttonCount, 1);
  EXPECT_EQ(noName.firstCaption, "OK");
  EXPECT_FALSE(noName.showCheckBox);
  EXPECT_EQ(noPathYet.message, GetString(7012));
  EXPECT_EQ(noPath.message, GetString(7013));
  EXPECT_EQ(dialog.taskName, "Sync");
  for (int location = 0; location < kLocationCount; ++location) {
    EXPECT_TRUE(model_.Entries(location).empty());
    EXPECT_EQ(model_.ChangedFlags()[location], 0);
  }
}

TEST_F(AddTaskTest, CancelAndCloseChangeNothing) {
  for (const char* button : {"ID_Fs_cancel", "closeButton"}) {
    AddNewTaskDlg dialog(model_);
    test::ModalScript script;
    script.On<AddNewTaskDlg>([button](AddNewTaskDlg* d) {
      Fill(d, "Sync", "C:\\Apps\\version_app.exe", 3);
      test::ClickMovieItem(d->Movie(), button);
    });
    EXPECT_EQ(Run(dialog, script), QDialog::Rejected) << button;
    EXPECT_TRUE(model_.Entries(3).empty());
    EXPECT_EQ(model_.ChangedFlags()[3], 0);
  }
}

TEST_F(AddTaskTest, AnEntryInEachLocationIsBuiltFromItsProgramAndApplied) {
  const std::string command = "\"C:\\Apps\\version_app.exe\" /minimised --quiet";
  for (int location = 0; location < kLocationCount; ++location) {
    if (!IsAddableLocation(location)) continue;
    AddNewTaskDlg dialog(model_);
    test::ModalScript script;
    const QString name = QString("Sync %1").arg(location);
    script.On<AddNewTaskDlg>([&, location](AddNewTaskDlg* d) {
      Fill(d, name, QString::fromStdString(command), location);
      if (location == 5) test::SaveScreenshot(d, "add_task_filled");
      test::ClickMovieItem(d->Movie(), "ID_Fs_add");
    });
    ASSERT_EQ(Run(dialog, script), QDialog::Accepted) << location;
    std::string key = "sync " + std::to_string(location);
    if (IsFolderLocation(location)) key += ".lnk";
    EXPECT_EQ(dialog.addedLocation, location);
    EXPECT_EQ(dialog.addedKey, key);
    ASSERT_EQ(model_.Entries(location).count(key), 1u) << location;
    const Task& task = *model_.Entries(location).at(key);
    EXPECT_EQ(task.name, IsFolderLocation(location) ? name.toStdString() + ".lnk" : name.toStdString());
    // The command keeps its options; everything else comes from the program path.
    EXPECT_EQ(task.command, command);
    EXPECT_EQ(task.fileName, "version_app.exe");
    EXPECT_EQ(task.version, "3.1.4.15");
    EXPECT_EQ(task.productName, "Version Fixture Suite");
    EXPECT_EQ(task.applicationName, "Version Fixture Helper");
    EXPECT_EQ(task.fileExists, 1);
    EXPECT_EQ(task.enabled, 1);
    EXPECT_EQ(task.memoryKB, 0);
    EXPECT_EQ(task.rating, "Unknown File");
    ASSERT_TRUE(task.icon);
    EXPECT_GT(task.icon->width, 0);
    EXPECT_EQ(model_.ChangedFlags()[location], 1);
  }

  // Apply writes them; a fresh scan of the prefix finds each where it was put.
  std::vector<ApplyFailure> failures = model_.ApplyChanges();
  EXPECT_TRUE(failures.empty()) << (failures.empty() ? "" : failures[0].reason);
  StartupParameters scan(velmora::test::System());
  scan.ScanAllLocations();
  for (int location = 0; location < kLocationCount; ++location) {
    if (!IsAddableLocation(location)) continue;
    std::string key = "sync " + std::to_string(location) + (IsFolderLocation(location) ? ".lnk" : "");
    ASSERT_EQ(scan.Entries(location).count(key), 1u) << location;
    EXPECT_EQ(ExtractProgramPath(velmora::test::System(), scan.Entries(location).at(key)->command),
              "C:\\Apps\\version_app.exe");
  }
}

TEST_F(AddTaskTest, KeysArePerLocationAndShortcutsGetTheirSuffix) {
  auto add = [this](const QString& name, int location, std::string* refused) {
    AddNewTaskDlg dialog(model_);
    test::ModalScript script;
    test::SeenBox seen;
    bool shot = refused && refused->empty();
    script.On<AddNewTaskDlg>([&](AddNewTaskDlg* d) {
      Fill(d, name, "C:\\Apps\\version_app.exe", location);
      test::ClickMovieItem(d->Movie(), "ID_Fs_add");
    });
    if (refused) {
      test::AnswerBox(script, 1, &seen, false, shot ? "add_task_duplicate" : "");
      // The rejected attempt leaves the dialog open with what was typed.
      script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
        EXPECT_NE(d->Movie()->GetMovieVariable("_root.taskName"), "");
        test::ClickMovieItem(d->Movie(), "ID_Fs_cancel");
      });
    }
    int result = Run(dialog, script);
    if (refused) *refused = seen.message;
    return result;
  };
  EXPECT_EQ(add("Foo", 5, nullptr), QDialog::Accepted);
  ASSERT_EQ(model_.Entries(5).count("foo.lnk"), 1u);
  std::string refused;
  EXPECT_EQ(add("FOO.LNK", 5, &refused), QDialog::Rejected);
  EXPECT_EQ(refused, GetString(7004));
  EXPECT_EQ(model_.Entries(5).size(), 1u);
  EXPECT_EQ(add("Foo", 3, nullptr), QDialog::Accepted);
  EXPECT_EQ(model_.Entries(3).count("foo"), 1u);

  // A disabled entry holds its name like an enabled one.
  model_.SetEntryEnabled("foo", 3, 0);
  refused = "x";
  EXPECT_EQ(add("foo", 3, &refused), QDialog::Rejected);
  EXPECT_EQ(refused, GetString(7004));
  // An entry removed in this session no longer holds it.
  model_.RemoveEntry("foo", 3);
  EXPECT_EQ(add("Foo", 3, nullptr), QDialog::Accepted);
  EXPECT_EQ(model_.Entries(3).at("foo")->removed, 0);
}

TEST_F(AddTaskTest, MissingProgramAndUnusualLocationValues) {
  AddNewTaskDlg dialog(model_);
  test::ModalScript script;
  // No location text at all: location 0. Blanks pass as a name.
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    Fill(d, "   ", "C:\\Nowhere\\gone.exe -start", -1);
    d->Movie()->SetMovieVariable("_root.selectedSLoc", "");
    test::ClickMovieItem(d->Movie(), "ID_Fs_add");
  });
  ASSERT_EQ(Run(dialog, script), QDialog::Accepted);
  ASSERT_EQ(model_.Entries(0).count("   "), 1u);
  const Task& task = *model_.Entries(0).at("   ");
  EXPECT_EQ(task.fileExists, 0);
  EXPECT_EQ(task.fileName, "gone.exe");
  EXPECT_EQ(task.version, "");
  EXPECT_EQ(task.applicationName, "   ");
  EXPECT_EQ(task.productName, "   ");
  ASSERT_TRUE(task.icon);
  EXPECT_EQ(task.icon->resourceId, 180);

  // Services, which are never added, add nothing and keep the dialog open.
  AddNewTaskDlg second(model_);
  test::ModalScript again;
  again.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    Fill(d, "Other", "C:\\Apps\\version_app.exe", -1);
    d->Movie()->SetMovieVariable("_root.selectedSLoc", "12");
    test::ClickMovieItem(d->Movie(), "ID_Fs_add");
  });
  again.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->selectedLocation, 12);
    test::ClickMovieItem(d->Movie(), "ID_Fs_cancel");
  });
  EXPECT_EQ(Run(second, again), QDialog::Rejected);
  for (int location = 0; location < kLocationCount; ++location)
    EXPECT_EQ(model_.Entries(location).count("other"), 0u);
}

TEST_F(AddTaskTest, ASystemProgramIsRatedFromTheDatabase) {
  AddNewTaskDlg dialog(model_);
  test::ModalScript script;
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    Fill(d, "Shell", "C:\\windows\\explorer.exe", 3);
    test::ClickMovieItem(d->Movie(), "ID_Fs_add");
  });
  ASSERT_EQ(Run(dialog, script), QDialog::Accepted);
  const Task& task = *model_.Entries(3).at("shell");
  EXPECT_EQ(task.rating, "System File");
  EXPECT_NE(task.description, GetString(7025));
}

TEST_F(AddTaskTest, BrowseFillsThePathQuotedWhenItHoldsABlank) {
  // Reached through the drive link, as the dialog opens on drive C:.
  const std::string host = prefix_.HostPath("dosdevices/c:/Apps/Sub Folder/plain_app.exe");
  AddNewTaskDlg dialog(model_);
  test::ModalScript script;
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) { test::ClickMovieItem(d->Movie(), "ID_Fs_Browser"); });
  script.On<QFileDialog>([&](QFileDialog* files) {
    EXPECT_EQ(files->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptOpen);
    test::SaveScreenshot(files, "add_task_browse");
    TypeFileName(files, host);
  });
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    EXPECT_EQ(d->Movie()->GetMovieVariable("_root.taskLocation"), "\"C:\\Apps\\Sub Folder\\plain_app.exe\"");
    EXPECT_EQ(d->Movie()->GetMovieVariable("_root.taskLocFlag"), "1");
    Fill(d, "Plain", "", 4);
    test::ClickMovieItem(d->Movie(), "ID_Fs_add");
  });
  ASSERT_EQ(Run(dialog, script), QDialog::Accepted);
  const Task& task = *model_.Entries(4).at("plain");
  EXPECT_EQ(task.command, "\"C:\\Apps\\Sub Folder\\plain_app.exe\"");
  EXPECT_EQ(task.fileName, "plain_app.exe");
  EXPECT_EQ(task.fileExists, 1);
}

TEST_F(AddTaskTest, BrowseForAFileThatDoesNotExistAsksFirst) {
  const std::string missing = prefix_.HostPath("drive_c/Apps/later.exe");
  AddNewTaskDlg dialog(model_);
  test::SeenBox declined, accepted;
  test::ModalScript script;
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) { test::ClickMovieItem(d->Movie(), "ID_Fs_Browser"); });
  auto chooseMissing = [&](QFileDialog* files) { TypeFileName(files, missing); };
  script.On<QFileDialog>(chooseMissing);
  test::AnswerBox(script, 2, &declined);
  // "No" returns to the file dialog; cancelling it changes nothing.
  script.On<QFileDialog>([](QFileDialog* files) { files->reject(); });
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    EXPECT_EQ(d->Movie()->GetMovieVariable("_root.taskLocation"), "");
    EXPECT_EQ(d->Movie()->GetMovieVariable("_root.taskLocFlag"), "0");
    test::ClickMovieItem(d->Movie(), "ID_Fs_Browser");
  });
  script.On<QFileDialog>(chooseMissing);
  test::AnswerBox(script, 1, &accepted);
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) {
    EXPECT_EQ(d->Movie()->GetMovieVariable("_root.taskLocation"), "C:\\Apps\\later.exe");
    test::ClickMovieItem(d->Movie(), "ID_Fs_cancel");
  });
  EXPECT_EQ(Run(dialog, script), QDialog::Rejected);
  EXPECT_NE(declined.message.find("C:\\Apps\\later.exe"), std::string::npos);
  EXPECT_EQ(declined.buttonCount, 2);
  EXPECT_EQ(accepted.firstCaption, "Yes");
}

TEST_F(AddTaskTest, CommandsIgnoreLetterCaseAndUnknownOnes) {
  AddNewTaskDlg dialog(model_);
  dialog.Initialise();
  dialog.OnMovieCommand("ID_FS_NOSUCH", "");
  EXPECT_EQ(dialog.result(), 0);
  test::ModalScript script;
  script.On<AddNewTaskDlg>([](AddNewTaskDlg* d) { d->OnMovieCommand("id_fs_CANCEL", ""); });
  EXPECT_EQ(Run(dialog, script), QDialog::Rejected);
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
