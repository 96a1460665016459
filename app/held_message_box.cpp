#include "app/held_message_box.h"

#include <utility>

namespace velmora {

int HeldMessageBox::Show(MessageBoxRequest& request) {
  held_.push_back(request);
  return 1;
}

void HeldMessageBox::ShowThrough(MessageBoxPresenter& box) {
  std::vector<MessageBoxRequest> held = std::move(held_);
  held_.clear();
  for (MessageBoxRequest& request : held) box.Show(request);
}

}  // namespace velmora
