// What an apply or a roll-back reports of the writes that did not happen.
#pragma once

#include <string>

namespace velmora {

// One write of an apply or roll-back that did not happen.
struct ApplyFailure {
  int location = -1;
  std::string name;
  std::string reason;
};

}  // namespace velmora
