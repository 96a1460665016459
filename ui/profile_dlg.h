// ProfileDlg: lists the saved profiles and lets the user load or remove one, drawn
// by the movie "Profile". "ID_Fs_loadProfile" ends the dialog with Accepted and
// the chosen name in profileName; "ID_Fs_removeProfile" deletes the profile at
// once and gives the movie the shorter list; "ID_FS_Exit" ends it with Rejected.
// Loading (and the question before it) is ProfileCommand's (ui/profile_commands.h),
// which runs this dialog; the main window calls that, not this class.
#pragma once

#include <string>

#include "changes/startup_parameters.h"
#include "ui/movie_dialog.h"

namespace velmora::ui {

class ProfileDlg : public MovieDialog {
  Q_OBJECT

 public:
  explicit ProfileDlg(StartupParameters& model, MessageBoxPresenter* box = nullptr,
                      QWidget* parent = nullptr);

  // The profile chosen for loading; empty after "ID_FS_Exit".
  std::string profileName;

  void RemoveProfile(const std::string& name);

 protected:
  void SetInitialVariables() override;

 private:
  StartupParameters& model_;
};

}  // namespace velmora::ui
