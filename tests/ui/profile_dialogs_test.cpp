#include <gtest/gtest.h>

#include <QDir>
#include <algorithm>
#include <memory>

#include "app/language.h"
#include "base/program_context.h"
#include "base/text.h"
#include "entries/startup_location.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"
#include "tests/ui/dialog_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/add_new_profile_dlg.h"
#include "ui/profile_commands.h"
#include "ui/profile_dlg.h"

namespace velmora {
namespace {

using ui::AddNewProfileDlg;
using ui::ProfileDlg;
using ui::ProfileOutcome;

// The value lines of one key in a Wine registry file, in file order ("" when the
// key has none). The key's time stamps are left out: they change with every write.
std::string KeyValues(const std::string& file, const std::string& keyPath) {
  std::string wanted = "[" + ToLowerAscii(ReplaceAll(keyPath, "\\", "\\\\")) + "]";
  std::size_t at = ToLowerAscii(file).find(wanted);
  if (at == std::string::npos) return "";
  std::size_t end = file.find("\n[", at + 1);
  std::string block = file.substr(at, end == std::string::npos ? std::string::npos : end - at);
  std::string values;
  std::size_t start = block.find('\n');
  while (start != std::string::npos && start + 1 < block.size()) {
    std::size_t next = block.find('\n', start + 1);
    std::string line =
        block.substr(start + 1, next == std::string::npos ? std::string::npos : next - start - 1);
    if (!line.empty() && (line[0] == '"' || line[0] == '@')) values += line + "\n";
    start = next;
  }
  return values;
}

class ProfileDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
    QDir().mkpath(QString::fromStdString(prefix_.HostPath("drive_c/Apps")));
    test::WriteFile(prefix_.HostPath("drive_c/Apps/version_app.exe"),
                    test::ReadFile(test::FixturePath("version_app.exe")));
    // The machine as the user found it: four entries, one of them disabled.
    {
      StartupParameters seed(velmora::test::System());
      Add(seed, "Alpha", "C:\\Apps\\version_app.exe /alpha", kCuRun);
      Add(seed, "Beta", "C:\\Apps\\version_app.exe /beta", kLmRun);
      Add(seed, "Gamma", "C:\\Apps\\version_app.exe", kCuStartupFolder);
      Add(seed, "Quiet", "C:\\Apps\\version_app.exe /quiet", kCuRun);
      ASSERT_TRUE(seed.ApplyChanges().empty());
    }
    Reload();
    model_->SetEntryEnabled("quiet", kCuRun, 0);
    ASSERT_TRUE(model_->ApplyChanges().empty());
    Reload();
    settings_.ShowSavingProMsg = 1;
  }

  static void Add(StartupParameters& model, const std::string& name, const std::string& command,
                  int location) {
    auto task = std::make_unique<Task>();
    task->name = name;
    task->command = command;
    std::string error;
    ASSERT_TRUE(model.AddEntry(std::move(task), location, &error)) << error;
  }

  // A fresh model read from the prefix, as the main window reads it at start.
  void Reload() {
    model_ = std::make_unique<StartupParameters>(velmora::test::System(), test::BuiltProgram());
    model_->ScanAllLocations();
    model_->ReadDisabledTasks();
    model_->EnumerateProfiles();
  }

  Task* Entry(int location, const std::string& key) {
    auto it = model_->Entries(location).find(key);
    return it == model_->Entries(location).end() ? nullptr : it->second.get();
  }

  // Types |name| into the new-profile dialog and presses its Save button.
  static void SaveAs(AddNewProfileDlg* dialog, const QString& name) {
    QQuickItem* input = test::FindMovieItem(dialog->Movie(), "profileName_input");
    input->setProperty("text", "");
    test::TypeInto(dialog->Movie(), "profileName_field", name);
    test::ClickMovieItem(dialog->Movie(), "ID_Fs_Save");
  }
  // Picks |name| in the profile dialog and presses Load.
  static void LoadIn(ProfileDlg* dialog, const QString& name) {
    EXPECT_TRUE(test::ClickMovieItem(dialog->Movie(), "profile_" + name)) << name.toStdString();
    test::ClickMovieItem(dialog->Movie(), "ID_Fs_loadProfile");
  }

  ProfileOutcome RunSave(test::ModalScript& script) {
    script.Start();
    ProfileOutcome outcome = ui::SaveProfileCommand(*model_, nullptr, nullptr);
    EXPECT_FALSE(script.TimedOut());
    EXPECT_TRUE(script.Finished());
    return outcome;
  }
  ProfileOutcome RunProfiles(test::ModalScript& script) {
    script.Start();
    ProfileOutcome outcome = ui::ProfileCommand(*model_, settings_, nullptr, nullptr);
    EXPECT_FALSE(script.TimedOut());
    EXPECT_TRUE(script.Finished());
    return outcome;
  }

  test::TempPrefix prefix_;
  std::unique_ptr<StartupParameters> model_;
  StartupSettingsParameters settings_;
};

TEST_F(ProfileDialogsTest, BothMoviesLoadCleanly) {
  test::QtMessageCatcher messages;
  AddNewProfileDlg newProfile(test::BuiltProgram());
  newProfile.Initialise();
  ASSERT_TRUE(newProfile.Movie()->MovieLoaded())
      << newProfile.Movie()->MovieErrors().join("\n").toStdString();
  ProfileDlg profiles(*model_);
  profiles.Initialise();
  ASSERT_TRUE(profiles.Movie()->MovieLoaded()) << profiles.Movie()->MovieErrors().join("\n").toStdString();
  EXPECT_EQ(profiles.Movie()->GetMovieVariable("_root.strProfilesNames"), "");
  EXPECT_TRUE(test::FindMovieItem(profiles.Movie(), "noProfiles")->isVisible());
  EXPECT_TRUE(messages.messages.isEmpty()) << messages.messages.join("\n").toStdString();
}

TEST_F(ProfileDialogsTest, SavingRefusesEmptyAndUnusableNamesAndKeepsTheDialogOpen) {
  test::SeenBox empty, backslash;
  test::ModalScript script;
  script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) { SaveAs(d, ""); });
  test::AnswerBox(script, 1, &empty, false, "new_profile_no_name");
  script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) { SaveAs(d, "Home\\Work"); });
  test::AnswerBox(script, 1, &backslash);
  script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) {
    test::FindMovieItem(d->Movie(), "profileName_input")->setProperty("text", "");
    test::TypeInto(d->Movie(), "profileName_field", "Home");
    test::SaveScreenshot(d, "new_profile");
    test::ClickMovieItem(d->Movie(), "ID_Fs_Save");
  });
  ProfileOutcome outcome = RunSave(script);

  EXPECT_EQ(empty.message, GetString(7010));
  EXPECT_EQ(empty.title, GetString(7001));
  EXPECT_EQ(empty.kind, "error");
  EXPECT_NE(backslash.message.find("\"\\\""), std::string::npos) << backslash.message;
  EXPECT_TRUE(outcome.saved);
  EXPECT_EQ(outcome.savedName, "Home");
  EXPECT_FALSE(outcome.entriesChanged);
  EXPECT_EQ(outcome.profilesState, "1");
  EXPECT_EQ(model_->ProfileNames(), (std::vector<std::string>{"Home"}));
  EXPECT_TRUE(model_->ProfileExists("Home"));
  EXPECT_FALSE(model_->ProfileExists("Home\\Work"));
}

TEST_F(ProfileDialogsTest, CancellingTheNameSavesNothing) {
  for (const char* button : {"ID_Fs_cancel", "closeButton"}) {
    test::ModalScript script;
    script.On<AddNewProfileDlg>([button](AddNewProfileDlg* d) {
      test::TypeInto(d->Movie(), "profileName_field", "Home");
      test::ClickMovieItem(d->Movie(), button);
    });
    ProfileOutcome outcome = RunSave(script);
    EXPECT_FALSE(outcome.saved) << button;
    EXPECT_EQ(outcome.profilesState, "0");
    EXPECT_TRUE(model_->ProfileNames().empty());
  }
  AddNewProfileDlg dialog(test::BuiltProgram());
  test::ModalScript script;
  script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) {
    test::TypeInto(d->Movie(), "profileName_field", "Typed");
    d->OnMovieCommand("id_fs_CANCEL", "");
  });
  script.Start();
  EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
  EXPECT_EQ(dialog.profileName, "");
}

TEST_F(ProfileDialogsTest, AnExistingNameIsReplacedOnlyAfterYes) {
  ASSERT_EQ(model_->SaveProfile("Home", false), StartupParameters::ProfileSaveResult::kSaved);
  model_->SetEntryEnabled("alpha", kCuRun, 0);

  test::SeenBox asked, closed;
  test::ModalScript script;
  // Names compare without regard to case.
  script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) { SaveAs(d, "HOME"); });
  test::AnswerBox(script, 2, &asked, false, "new_profile_replace");
  script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) { SaveAs(d, "home"); });
  test::AnswerBox(script, 0, &closed);
  script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) {
    // Neither "No" nor closing the question replaced it.
    StartupParameters other(velmora::test::System());
    other.ScanAllLocations();
    other.ReadDisabledTasks();
    ASSERT_TRUE(other.LoadProfile("Home"));
    EXPECT_EQ(other.Entries(kCuRun).at("alpha")->enabled, 1);
    SaveAs(d, "Home");
  });
  test::AnswerBox(script, 1, nullptr);
  ProfileOutcome outcome = RunSave(script);

  EXPECT_EQ(asked.message, GetString(7008));
  EXPECT_EQ(asked.title, GetString(7009));
  EXPECT_EQ(asked.buttonCount, 2);
  EXPECT_EQ(asked.firstCaption, "Yes");
  EXPECT_EQ(asked.secondCaption, "No");
  EXPECT_EQ(closed.message, GetString(7008));
  EXPECT_TRUE(outcome.saved);
  EXPECT_EQ(model_->ProfileNames(), (std::vector<std::string>{"Home"}));
  StartupParameters other(velmora::test::System());
  other.ScanAllLocations();
  other.ReadDisabledTasks();
  ASSERT_TRUE(other.LoadProfile("Home"));
  EXPECT_EQ(other.Entries(kCuRun).at("alpha")->enabled, 0);
}

TEST_F(ProfileDialogsTest, TheProfileDialogListsRemovesAndCloses) {
  for (const char* name : {"Home", "Work", "Test"}) {
    ASSERT_EQ(model_->SaveProfile(name, false), StartupParameters::ProfileSaveResult::kSaved);
  }
  ProfileDlg dialog(*model_);
  test::ModalScript script;
  script.On<ProfileDlg>([this](ProfileDlg* d) {
    ui::FlashMovieHost* movie = d->Movie();
    std::string joined;
    for (const std::string& name : model_->ProfileNames()) joined += (joined.empty() ? "" : "|") + name;
    EXPECT_EQ(movie->GetMovieVariable("_root.strProfilesNames"), joined);
    // The movie took the list and is ready for the next update.
    EXPECT_EQ(movie->GetMovieVariable("_root.bProfileUpdate"), "0");
    for (const char* name : {"Home", "Work", "Test"})
      EXPECT_NE(test::FindMovieItem(movie, QString("profile_") + name), nullptr);
    test::SaveScreenshot(d, "profile_dialog");
    test::ClickMovieItem(movie, "profile_Work");
    test::ClickMovieItem(movie, "ID_Fs_removeProfile");
  });
  script.On<ProfileDlg>([this](ProfileDlg* d) {
    // The movie asks before it sends the removal.
    EXPECT_TRUE(test::FindMovieItem(d->Movie(), "removeQuestion")->isVisible());
    EXPECT_TRUE(model_->ProfileExists("Work"));
    test::SaveScreenshot(d, "profile_dialog_remove");
    test::ClickMovieItem(d->Movie(), "confirmRemove");
  });
  script.On<ProfileDlg>([this](ProfileDlg* d) {
    test::ProcessMovieCommands();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(model_->ProfileNames(), (std::vector<std::string>{"Home", "Test"}));
    EXPECT_FALSE(model_->ProfileExists("Work"));
    EXPECT_EQ(d->Movie()->GetMovieVariable("_root.strProfilesNames"), "Home|Test");
    EXPECT_EQ(d->Movie()->GetMovieVariable("_root.bProfileUpdate"), "0");
    EXPECT_EQ(test::FindMovieItem(d->Movie(), "profile_Work"), nullptr);
    // A name that is not in the list changes nothing and tells the movie nothing.
    d->Movie()->SetMovieVariable("_root.strProfilesNames", "marker");
    d->RemoveProfile("Work");
    d->RemoveProfile("hom");
    EXPECT_EQ(d->Movie()->GetMovieVariable("_root.strProfilesNames"), "marker");
    EXPECT_EQ(model_->ProfileNames(), (std::vector<std::string>{"Home", "Test"}));
    test::ClickMovieItem(d->Movie(), "ID_FS_Exit");
  });
  script.Start();
  EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
  EXPECT_FALSE(script.TimedOut());
  EXPECT_EQ(dialog.profileName, "");
}

TEST_F(ProfileDialogsTest, RemovingTheLastProfileTurnsTheStateOff) {
  ASSERT_EQ(model_->SaveProfile("Only", false), StartupParameters::ProfileSaveResult::kSaved);
  test::ModalScript script;
  script.On<ProfileDlg>([](ProfileDlg* d) {
    test::ClickMovieItem(d->Movie(), "profile_Only");
    test::ClickMovieItem(d->Movie(), "ID_Fs_removeProfile");
  });
  script.On<ProfileDlg>([](ProfileDlg* d) { test::ClickMovieItem(d->Movie(), "confirmRemove"); });
  script.On<ProfileDlg>([](ProfileDlg* d) {
    test::ProcessMovieCommands();
    EXPECT_TRUE(test::FindMovieItem(d->Movie(), "noProfiles")->isVisible());
    test::ClickMovieItem(d->Movie(), "closeButton");
  });
  ProfileOutcome outcome = RunProfiles(script);
  EXPECT_FALSE(outcome.entriesChanged);
  EXPECT_EQ(outcome.profilesState, "0");
  EXPECT_TRUE(model_->ProfileNames().empty());
}

// Before loading over pending changes the user is asked whether to keep them as a
// profile: each answer, and the check box that stops the question.
TEST_F(ProfileDialogsTest, LoadingOverPendingChangesAsksFirst) {
  ASSERT_EQ(model_->SaveProfile("Base", false), StartupParameters::ProfileSaveResult::kSaved);
  auto pending = [this] {
    model_->SetEntryEnabled("alpha", kCuRun, 0);
    ASSERT_TRUE(model_->AnyLocationChanged());
  };

  // Closing the question loads nothing.
  pending();
  test::SeenBox question;
  {
    test::ModalScript script;
    script.On<ProfileDlg>([](ProfileDlg* d) { LoadIn(d, "Base"); });
    test::AnswerBox(script, 0, &question, false, "profile_save_first");
    ProfileOutcome outcome = RunProfiles(script);
    EXPECT_FALSE(outcome.entriesChanged);
    EXPECT_EQ(Entry(kCuRun, "alpha")->enabled, 0);
    EXPECT_EQ(settings_.ShowSavingProMsg, 1);
  }
  EXPECT_EQ(question.message, GetString(7006));
  EXPECT_EQ(question.title, GetString(7009));
  EXPECT_EQ(question.kind, "alert");
  EXPECT_EQ(question.buttonCount, 2);
  EXPECT_TRUE(question.showCheckBox);

  // "Yes", then cancelling the name: the changes are neither saved nor dropped.
  {
    test::ModalScript script;
    script.On<ProfileDlg>([](ProfileDlg* d) { LoadIn(d, "Base"); });
    test::AnswerBox(script, 1, nullptr);
    script.On<AddNewProfileDlg>(
        [](AddNewProfileDlg* d) { test::ClickMovieItem(d->Movie(), "ID_Fs_cancel"); });
    ProfileOutcome outcome = RunProfiles(script);
    EXPECT_FALSE(outcome.entriesChanged);
    EXPECT_FALSE(outcome.saved);
    EXPECT_EQ(Entry(kCuRun, "alpha")->enabled, 0);
    EXPECT_EQ(model_->ProfileNames(), (std::vector<std::string>{"Base"}));
  }

  // "Yes" and a name: the changes become a profile, then Base is loaded.
  {
    test::ModalScript script;
    script.On<ProfileDlg>([](ProfileDlg* d) { LoadIn(d, "Base"); });
    test::AnswerBox(script, 1, nullptr);
    script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) { SaveAs(d, "Kept"); });
    ProfileOutcome outcome = RunProfiles(script);
    EXPECT_TRUE(outcome.saved);
    EXPECT_EQ(outcome.savedName, "Kept");
    EXPECT_TRUE(outcome.entriesChanged);
    EXPECT_EQ(outcome.loadedName, "Base");
    EXPECT_EQ(outcome.profilesState, "1");
    EXPECT_EQ(Entry(kCuRun, "alpha")->enabled, 1);
    EXPECT_EQ(std::count(model_->ProfileNames().begin(), model_->ProfileNames().end(), "Kept"), 1);
  }
  StartupParameters kept(velmora::test::System());
  kept.ScanAllLocations();
  kept.ReadDisabledTasks();
  ASSERT_TRUE(kept.LoadProfile("Kept"));
  EXPECT_EQ(kept.Entries(kCuRun).at("alpha")->enabled, 0);

  // "No" with the check box ticked: loaded without saving, and never asked again.
  pending();
  {
    test::ModalScript script;
    script.On<ProfileDlg>([](ProfileDlg* d) { LoadIn(d, "Base"); });
    test::AnswerBox(script, 2, nullptr, true);
    ProfileOutcome outcome = RunProfiles(script);
    EXPECT_TRUE(outcome.entriesChanged);
    EXPECT_FALSE(outcome.saved);
    EXPECT_TRUE(outcome.askBeforeLoadTurnedOff);
    EXPECT_EQ(settings_.ShowSavingProMsg, 0);
    EXPECT_EQ(Entry(kCuRun, "alpha")->enabled, 1);
  }
  pending();
  {
    test::ModalScript script;
    // A question now would be closed unanswered at the time limit: nothing loaded.
    script.On<ProfileDlg>([](ProfileDlg* d) { LoadIn(d, "Base"); });
    ProfileOutcome outcome = RunProfiles(script);
    EXPECT_TRUE(outcome.entriesChanged);
    EXPECT_EQ(Entry(kCuRun, "alpha")->enabled, 1);
  }
}

TEST_F(ProfileDialogsTest, NoQuestionWithoutPendingChangesOrWithTheSettingOff) {
  ASSERT_EQ(model_->SaveProfile("Base", false), StartupParameters::ProfileSaveResult::kSaved);
  // Pending changes, the setting off.
  settings_.ShowSavingProMsg = 0;
  model_->SetEntryEnabled("beta", kLmRun, 0);
  test::ModalScript script;
  script.On<ProfileDlg>([](ProfileDlg* d) { LoadIn(d, "Base"); });
  ProfileOutcome outcome = RunProfiles(script);
  EXPECT_TRUE(outcome.entriesChanged);
  EXPECT_EQ(Entry(kLmRun, "beta")->enabled, 1);
  EXPECT_FALSE(outcome.askBeforeLoadTurnedOff);
}

TEST_F(ProfileDialogsTest, AProfileThatCannotBeLoadedIsReportedAndChangesNothing) {
  ASSERT_EQ(model_->SaveProfile("Gone", false), StartupParameters::ProfileSaveResult::kSaved);
  test::SeenBox failure;
  test::ModalScript script;
  script.On<ProfileDlg>([](ProfileDlg* d) {
    // Removed behind the dialog's back, for example by a second program.
    platform::reg::DeleteTree(velmora::test::System().CurrentUser(), ProfilesKeyPath() + "\\Gone");
    LoadIn(d, "Gone");
  });
  test::AnswerBox(script, 1, &failure);
  ProfileOutcome outcome = RunProfiles(script);
  EXPECT_FALSE(outcome.entriesChanged);
  EXPECT_EQ(failure.kind, "error");
  EXPECT_NE(failure.message.find("Gone"), std::string::npos);
  EXPECT_FALSE(model_->AnyLocationChanged());
}

// Save, change and apply, load and apply: the registry and the Startup folder of
// the prefix hold the saved configuration again.
TEST_F(ProfileDialogsTest, RoundTripBringsTheConfigurationBack) {
  const std::string userBefore = KeyValues(test::ReadFile(prefix_.HostPath("user.reg")), kRunKeyPath);
  const std::string machineBefore = KeyValues(test::ReadFile(prefix_.HostPath("system.reg")), kRunKeyPath);
  ASSERT_NE(userBefore.find("\"Alpha\"=\"C:\\\\Apps\\\\version_app.exe /alpha\""), std::string::npos)
      << userBefore;
  ASSERT_EQ(userBefore.find("\"Quiet\""), std::string::npos);
  const std::string gamma = platform::files::HostPathFromWindows(
      velmora::test::System(), model_->StartupFolderPath(kCuStartupFolder) + "\\Gamma.lnk");
  const std::string gammaBytes = test::ReadFile(gamma);
  ASSERT_FALSE(gammaBytes.empty());

  {
    test::ModalScript script;
    script.On<AddNewProfileDlg>([](AddNewProfileDlg* d) { SaveAs(d, "Everyday"); });
    ASSERT_TRUE(RunSave(script).saved);
  }

  // Another configuration, applied.
  model_->SetEntryEnabled("alpha", kCuRun, 0);
  model_->SetEntryEnabled("quiet", kCuRun, 1);
  model_->RemoveEntry("beta", kLmRun);
  model_->RemoveEntry("gamma.lnk", kCuStartupFolder);
  Add(*model_, "Delta", "C:\\Apps\\version_app.exe /delta", kCuRunOnce);
  ASSERT_TRUE(model_->ApplyChanges().empty());
  Reload();
  EXPECT_EQ(KeyValues(test::ReadFile(prefix_.HostPath("user.reg")), kRunKeyPath).find("\"Alpha\""),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(gamma), "");

  ProfileOutcome outcome;
  {
    test::ModalScript script;
    script.On<ProfileDlg>([](ProfileDlg* d) { LoadIn(d, "Everyday"); });
    outcome = RunProfiles(script);
  }
  ASSERT_TRUE(outcome.entriesChanged);
  EXPECT_EQ(outcome.loadedName, "Everyday");
  // Only the model changed so far.
  EXPECT_EQ(KeyValues(test::ReadFile(prefix_.HostPath("user.reg")), kRunKeyPath).find("\"Alpha\""),
            std::string::npos);
  ASSERT_TRUE(model_->ApplyChanges().empty());

  EXPECT_EQ(KeyValues(test::ReadFile(prefix_.HostPath("user.reg")), kRunKeyPath), userBefore);
  EXPECT_EQ(KeyValues(test::ReadFile(prefix_.HostPath("system.reg")), kRunKeyPath), machineBefore);
  // The entry the profile did not know stays, disabled, in the store.
  EXPECT_EQ(KeyValues(test::ReadFile(prefix_.HostPath("user.reg")), kRunOnceKeyPath).find("Delta"),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(gamma), gammaBytes);

  Reload();
  ASSERT_NE(Entry(kCuRun, "alpha"), nullptr);
  EXPECT_EQ(Entry(kCuRun, "alpha")->enabled, 1);
  EXPECT_EQ(Entry(kCuRun, "quiet")->enabled, 0);
  EXPECT_EQ(Entry(kLmRun, "beta")->enabled, 1);
  EXPECT_EQ(Entry(kCuStartupFolder, "gamma.lnk")->enabled, 1);
  ASSERT_NE(Entry(kCuRunOnce, "delta"), nullptr);
  EXPECT_EQ(Entry(kCuRunOnce, "delta")->enabled, 0);
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
