// AddNewProfileDlg: asks for the name of a new profile, drawn by the movie
// "NewProfile". "ID_Fs_Save" brings the typed name; the dialog ends with Accepted
// once the name is taken. The saving itself (the checks of the name, the question
// before replacing, the write) is SaveProfileCommand's (ui/profile_commands.h),
// which runs this dialog; the main window calls that, not this class.
#pragma once

#include <functional>
#include <string>

#include "ui/movie_dialog.h"

namespace velmora::ui {

class AddNewProfileDlg : public MovieDialog {
  Q_OBJECT

 public:
  explicit AddNewProfileDlg(const ProgramContext& program, MessageBoxPresenter* box = nullptr,
                            QWidget* parent = nullptr);

  // The name typed, as "ID_Fs_Save" brought it; empty after a cancel.
  std::string profileName;

  // Decides on a name from "ID_Fs_Save": true ends the dialog with Accepted,
  // false leaves it open for another name (the decider has told the user why).
  // Without one, every name ends the dialog.
  std::function<bool(const std::string& name)> acceptName;

  void Save(const std::string& name);
};

}  // namespace velmora::ui
