// MovieDialog: what the small modal dialogs of the main window share. A frameless
// dialog covered by one movie (a QML document in MovieDir under its encoded name),
// with its own command table. The window takes the movie's size; when the movie
// cannot be loaded it keeps the size of its template.
//
//   class SomeDlg : public MovieDialog { ... commands_ = {...}; ... };
//   SomeDlg dialog(..., parent);
//   if (dialog.DoModal() == QDialog::Accepted) ...
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/app_interfaces.h"
#include "ui/flash_movie_host.h"

namespace velmora::ui {

class MovieDialog : public QDialog {
  Q_OBJECT

 public:
  // |templateWidth| x |templateHeight| in dialog units. |program| gives the movie
  // and the texts; it must outlive the dialog.
  MovieDialog(const ProgramContext& program, const char* movieBaseName, int templateWidth, int templateHeight,
              MessageBoxPresenter* box, QWidget* parent);
  ~MovieDialog() override;

  // Loads the movie (once) and sets the dialog's initial variables.
  void Initialise();
  // Initialise, then runs the dialog centred on its parent until it ends.
  // QDialog::Accepted or QDialog::Rejected.
  int DoModal();

  // The movie's commands, in the dialog's table order, letter case ignored.
  void OnMovieCommand(const std::string& command, const std::string& argument);

  FlashMovieHost* Movie() const { return movie_; }

 protected:
  // The variables the dialog gives its movie when it opens.
  virtual void SetInitialVariables() {}
  // A message box of the dialog, through the presenter given at construction (the
  // program's CustomMsgBoxDlg by default). Returns its result.
  int ShowMessage(MessageBoxRequest& request);
  // An error in the program's usual form: title 7001, kind "error", one "OK".
  void ShowError(const std::string& message);
  // A question with "Yes" and "No" titled |title|: 1 yes, 2 no, 0 closed.
  int AskYesNo(const std::string& title, const std::string& message);

  MovieCommandTable commands_;

 private:
  // Gives the window and the movie's view the movie's own size.
  void FitToMovie();

  const ProgramContext& program_;
  const char* movieBaseName_;
  FlashMovieHost* movie_ = nullptr;
  MessageBoxPresenter* box_;
  std::unique_ptr<MessageBoxPresenter> ownBox_;
  bool initialised_ = false;
};

}  // namespace velmora::ui
