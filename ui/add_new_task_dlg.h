// AddNewTaskDlg: the dialog that adds a startup entry, drawn by the movie
// "AddTask". The user types a name and a command (or browses for the program) and
// picks one of the six locations; "add" checks the fields, builds the entry with
// its rating, file, version, icon and process figures and puts it into the
// location's map with the location marked as changed. Nothing is written to the
// registry or the disk until the next apply.
//
// How the main window runs it (command "ID_FS_ADDTASK"):
//   AddNewTaskDlg dialog(model, box, this);       // box: the window's presenter, or null
//   if (dialog.DoModal() == QDialog::Accepted) {
//     OnMovieCommand(currentViewCommand);         // the new row appears
//     SetMovieVariable("_root.applyState", "1");  // and apply is offered
//     SetMovieVariable("_root.refreshState", "1");
//   }
// After Accepted, model.Entry(dialog.addedLocation, dialog.addedKey) is the new
// entry and model.LocationChanged(dialog.addedLocation) is true.
#pragma once

#include <string>

#include "changes/startup_parameters.h"
#include "ui/movie_dialog.h"

namespace velmora::ui {

class AddNewTaskDlg : public MovieDialog {
  Q_OBJECT

 public:
  explicit AddNewTaskDlg(StartupParameters& model, MessageBoxPresenter* box = nullptr,
                         QWidget* parent = nullptr);

  // "ID_Fs_add": checks the fields and adds the entry; ends the dialog with
  // Accepted when it was added, else leaves it open.
  void Add();
  // "ID_Fs_Browser": the file dialog; a confirmed file becomes "_root.taskLocation".
  void Browse();

  // Last values read from the movie.
  std::string taskName;
  std::string taskLocation;  // during "add" replaced by the program path
  int selectedLocation = 0;

  // Where the entry went, after Accepted.
  int addedLocation = -1;
  std::string addedKey;

  // The command of a chosen file: its path, quoted when it holds a blank so that
  // no shorter path can be taken for the program.
  static std::string CommandOfChosenFile(const std::string& windowsPath);

 protected:
  // "_root.offeredLocations": the locations of this system, joined by "|" (a
  // 64-bit system has the machine's keys of 32-bit programs too).
  void SetInitialVariables() override;

 private:
  // The Windows path of the file the user chose, "" when the choice was cancelled.
  std::string ChooseFile();

  StartupParameters& model_;
};

}  // namespace velmora::ui
