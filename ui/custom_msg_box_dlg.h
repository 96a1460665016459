// CustomMsgBoxDlg: the program's one modal message box, drawn by the movie
// "CustMsgBox". The caller sets the fields, runs DoModal and reads the result
// (1 first button, 2 second button, 0 closed without a choice) and checkState.
// Escape and the window system's close end the box like the movie's close
// button: result 0.
#pragma once

#include <QDialog>
#include <string>

#include "app/app_interfaces.h"
#include "ui/flash_movie_host.h"

namespace velmora::ui {

class CustomMsgBoxDlg : public QDialog {
  Q_OBJECT

 public:
  // |program| gives the movie and the default title; it must outlive the box.
  explicit CustomMsgBoxDlg(const ProgramContext& program, QWidget* parent = nullptr);

  std::string title;  // text 7001 by default
  std::string message = "Undefined Error";
  std::string kind = "alert";  // "alert", "error", "info"
  int width = 204;             // as last reported by the movie
  int height = 94;
  int buttonCount = 1;
  std::string firstCaption = "OK";
  std::string secondCaption = "Cancel";
  int showCheckBox = 0;
  std::string checkLabel = "Do not show this message again.";
  int checkState = 0;

  // Loads the movie, passes the fields, and runs the box until the movie ends it.
  int DoModal();

  // Loads the movie and passes the fields (the first part of DoModal).
  void Initialise();
  // The movie's commands, in the box's table order.
  void OnMovieCommand(const std::string& command, const std::string& argument);

  FlashMovieHost* Movie() const { return movie_; }

 private:
  void ReadCheckState();
  void ResizeToMovie();

  const ProgramContext& program_;
  FlashMovieHost* movie_ = nullptr;
  MovieCommandTable commands_;
  bool initialised_ = false;
};

// C runtime atoi: leading blanks, an optional sign, then digits up to the first
// other character; 0 when there are none.
int AtoiLike(const std::string& text);

// The application's message boxes, shown as CustomMsgBoxDlg.
class QtMessageBoxPresenter : public MessageBoxPresenter {
 public:
  // |program| is the boxes' (their movie and title); it must outlive the presenter.
  explicit QtMessageBoxPresenter(const ProgramContext& program, QWidget* parent = nullptr)
      : program_(program), parent_(parent) {}
  int Show(MessageBoxRequest& request) override;
  void SetParent(QWidget* parent) { parent_ = parent; }

 private:
  const ProgramContext& program_;
  QWidget* parent_;
};

}  // namespace velmora::ui
