// A message box that holds what it is asked to show until a box that can show it
// is there: the window program starts its core on a thread of its own while its
// window is made, and a refusal is shown once the window exists.
#pragma once

#include <vector>

#include "app/app_interfaces.h"

namespace velmora {

class HeldMessageBox : public MessageBoxPresenter {
 public:
  // Holds |request|; the first button counts as pressed (a refusal has only one).
  int Show(MessageBoxRequest& request) override;
  // Shows what is held through |box|, in the order it came, and lets it go.
  void ShowThrough(MessageBoxPresenter& box);
  bool Empty() const { return held_.empty(); }

 private:
  std::vector<MessageBoxRequest> held_;
};

}  // namespace velmora
