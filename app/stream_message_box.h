// A message box for programs without a window: the message goes to a stream
// (standard error for velmora-cli) and the first button counts as pressed.
#pragma once

#include <ostream>
#include <string>

#include "app/app_interfaces.h"

namespace velmora {

class StreamMessageBox : public MessageBoxPresenter {
 public:
  // Each message is written as |prefix| + message + newline.
  StreamMessageBox(std::ostream& out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}
  int Show(MessageBoxRequest& request) override;

 private:
  std::ostream& out_;
  std::string prefix_;
};

}  // namespace velmora
