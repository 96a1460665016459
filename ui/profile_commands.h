// The main window's two profile commands: saving the configuration as a new
// profile and loading or removing profiles. Each runs its dialog and the message
// boxes around it and tells the main window what to update.
//
// How the main window calls them:
//   "ID_FS_SAVEPROFILE":
//     ProfileOutcome outcome = SaveProfileCommand(model, box, this);
//     SetMovieVariable("_root.profilesState", outcome.profilesState);
//   "ID_Fs_Profile":
//     ProfileOutcome outcome = ProfileCommand(model, app.settings, box, this);
//     SetMovieVariable("_root.profilesState", outcome.profilesState);
//     if (outcome.askBeforeLoadTurnedOff)
//       SetMovieVariable("_root.showSavProfileMsg", SettingsFlagText(app.settings.ShowSavingProMsg));
//     if (outcome.entriesChanged) {               // a profile was loaded
//       OnMovieCommand(currentViewCommand);       // the list shows it
//       SetMovieVariable("_root.applyState", "1");
//       SetMovieVariable("_root.refreshState", "1");
//     }
// |box| is the window's message-box presenter (null: the program's message box).
// Saving never changes the entries; loading changes only the model (the pending
// state): nothing reaches the locations before the user applies.
#pragma once

#include <string>

#include "app/app_interfaces.h"
#include "app/settings.h"
#include "changes/startup_parameters.h"

class QWidget;

namespace velmora::ui {

struct ProfileOutcome {
  bool saved = false;  // a profile was written, named savedName
  std::string savedName;
  bool entriesChanged = false;  // a profile was loaded into the model, named loadedName
  std::string loadedName;
  // The check box of message 7006 turned ShowSavingProMsg off: the main movie's
  // switch ("_root.showSavProfileMsg") is to show it off.
  bool askBeforeLoadTurnedOff = false;
  std::string profilesState;  // "_root.profilesState": "1" while a profile exists
};

// "1" when |model| lists at least one profile, else "0".
std::string ProfilesState(const StartupParameters& model);

// Asks for a name and saves the entries as the model holds them under it. An
// empty name gives message 7010; a name that cannot name a profile ("\", "|",
// control characters, too long) is refused; an existing name asks 7008 (title
// 7009) and is replaced only on "Yes". After a refusal the dialog stays open.
ProfileOutcome SaveProfileCommand(StartupParameters& model, MessageBoxPresenter* box, QWidget* parent);

// The profile dialog; removals happen inside it. When a profile is chosen and
// there are pending changes while ShowSavingProMsg is on, message 7006 asks first
// whether to save them as a new profile ("Yes" runs SaveProfileCommand; a save
// that is cancelled cancels the load too; "No" loads; closing the box loads
// nothing). Its ticked check box turns ShowSavingProMsg off. Then the profile is
// loaded; a failure is shown and changes nothing.
ProfileOutcome ProfileCommand(StartupParameters& model, StartupSettingsParameters& settings,
                              MessageBoxPresenter* box, QWidget* parent);

}  // namespace velmora::ui
