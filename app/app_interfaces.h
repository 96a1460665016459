// What the application object needs from whoever shows it: a message box and a
// main window. The window program fills them with its dialogs; velmora-cli fills
// them with messages on standard error and its command.
#pragma once

#include <string>

namespace velmora {

class VelmoraApp;

// One modal message box: the fields its caller sets, and the state of the check
// box after a button closed it.
struct MessageBoxRequest {
  std::string title;  // text 7001 by default (filled by the caller)
  std::string message = "Undefined Error";
  std::string kind = "alert";  // "alert", "error" or "info"
  int buttonCount = 1;         // 1 or 2
  std::string firstCaption = "OK";
  std::string secondCaption = "Cancel";
  bool showCheckBox = false;
  std::string checkLabel = "Do not show this message again.";
  bool checkState = false;  // in: initial state; out: state when a button closed the box
};

struct MessageBoxPresenter {
  virtual ~MessageBoxPresenter() = default;
  // Shows the box modally. Returns 1 for the first button, 2 for the second, 0 when
  // it was closed otherwise.
  virtual int Show(MessageBoxRequest& request) = 0;
};

struct MainWindowRunner {
  virtual ~MainWindowRunner() = default;
  // Builds the main window, runs it modally until it ends, and destroys it.
  virtual void Run(VelmoraApp& app) = 0;
};

}  // namespace velmora
