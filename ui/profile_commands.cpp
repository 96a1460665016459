#include "ui/profile_commands.h"

#include <QDialog>
#include <memory>

#include "app/language.h"
#include "app/message_box_requests.h"
#include "ui/add_new_profile_dlg.h"
#include "ui/custom_msg_box_dlg.h"
#include "ui/profile_dlg.h"

namespace velmora::ui {

namespace {

constexpr unsigned kSaveBeforeLoadId = 7006;
constexpr unsigned kReplaceProfileId = 7008;
constexpr unsigned kQuestionId = 7009;
constexpr unsigned kNoProfileNameId = 7010;

constexpr char kInvalidNameText[] =
    "This name cannot be used for a profile.\n\nA profile name has at most 255 characters and no \"\\\", "
    "\"|\" or control characters.";

// The caller's presenter, or the program's message box owned here.
class Presenter {
 public:
  Presenter(const ProgramContext& program, MessageBoxPresenter* box, QWidget* parent) : box_(box) {
    if (!box_) {
      own_ = std::make_unique<QtMessageBoxPresenter>(program, parent);
      box_ = own_.get();
    }
  }
  MessageBoxPresenter* get() const { return box_; }

  int Show(MessageBoxRequest& request) { return box_->Show(request); }
  void Error(const std::string& message) {
    MessageBoxRequest request = ErrorBox(message);
    Show(request);
  }
  void Info(const std::string& message) {
    MessageBoxRequest request = InfoBox(message);
    Show(request);
  }

 private:
  MessageBoxPresenter* box_;
  std::unique_ptr<MessageBoxPresenter> own_;
};

}  // namespace

std::string ProfilesState(const StartupParameters& model) { return model.ProfileNames().empty() ? "0" : "1"; }

ProfileOutcome SaveProfileCommand(StartupParameters& model, MessageBoxPresenter* box, QWidget* parent) {
  Presenter boxes(model.Context(), box, parent);
  ProfileOutcome outcome;
  AddNewProfileDlg dialog(model.Context(), boxes.get(), parent);
  dialog.acceptName = [&](const std::string& name) {
    std::string error;
    StartupParameters::ProfileSaveResult result = model.SaveProfile(name, false, &error);
    if (result == StartupParameters::ProfileSaveResult::kExists) {
      MessageBoxRequest question =
          YesNoQuestion(model.Context().Text(kQuestionId), model.Context().Text(kReplaceProfileId));
      if (boxes.Show(question) != 1) return false;  // another name, or cancel
      result = model.SaveProfile(name, true, &error);
    }
    switch (result) {
      case StartupParameters::ProfileSaveResult::kSaved:
        outcome.saved = true;
        outcome.savedName = name;
        return true;
      case StartupParameters::ProfileSaveResult::kEmptyName:
        boxes.Error(model.Context().Text(kNoProfileNameId));
        return false;
      case StartupParameters::ProfileSaveResult::kInvalidName:
        boxes.Error(kInvalidNameText);
        return false;
      case StartupParameters::ProfileSaveResult::kExists:
      case StartupParameters::ProfileSaveResult::kFailed:
        break;
    }
    boxes.Error("The profile \"" + name + "\" could not be saved:\n\n" +
                (error.empty() ? "unknown error" : error) + ".");
    return false;
  };
  dialog.DoModal();
  outcome.profilesState = ProfilesState(model);
  return outcome;
}

ProfileOutcome ProfileCommand(StartupParameters& model, StartupSettingsParameters& settings,
                              MessageBoxPresenter* box, QWidget* parent) {
  Presenter boxes(model.Context(), box, parent);
  ProfileOutcome outcome;
  std::string name;
  {
    ProfileDlg dialog(model, boxes.get(), parent);
    int result = dialog.DoModal();
    name = dialog.profileName;
    outcome.profilesState = ProfilesState(model);
    if (result != QDialog::Accepted || name.empty()) return outcome;
  }

  if (settings.ShowSavingProMsg != 0 && model.AnyLocationChanged()) {
    MessageBoxRequest question =
        YesNoQuestion(model.Context().Text(kQuestionId), model.Context().Text(kSaveBeforeLoadId), true);
    int answer = boxes.Show(question);
    if (answer == 0) return outcome;  // closed: nothing is loaded
    if (question.checkState) {
      settings.ShowSavingProMsg = 0;
      outcome.askBeforeLoadTurnedOff = true;
    }
    if (answer == 1) {
      ProfileOutcome saving = SaveProfileCommand(model, boxes.get(), parent);
      outcome.profilesState = saving.profilesState;
      // The changes were to be kept: without a saved profile they are not dropped.
      if (!saving.saved) return outcome;
      outcome.saved = true;
      outcome.savedName = saving.savedName;
    }
  }

  std::string error;
  std::vector<std::string> skipped;
  if (!model.LoadProfile(name, &error, &skipped)) {
    boxes.Error("The profile \"" + name + "\" could not be loaded:\n\n" +
                (error.empty() ? "unknown error" : error) + ".");
    return outcome;
  }
  outcome.entriesChanged = true;
  outcome.loadedName = name;
  if (!skipped.empty()) {
    std::string text = "These entries of the profile were left out:\n";
    constexpr std::size_t kShown = 8;
    for (std::size_t i = 0; i < skipped.size() && i < kShown; ++i) text += "\n" + skipped[i];
    if (skipped.size() > kShown) text += "\n... and " + std::to_string(skipped.size() - kShown) + " more";
    boxes.Info(text);
  }
  return outcome;
}

}  // namespace velmora::ui
