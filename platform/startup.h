// What a managed system answers when changes are to be written to it.
#pragma once

#include <string>

namespace platform {

// Why changes cannot be written now (ManagedSystem::CheckWritesAllowed). |refused|
// is false when they can.
struct WriteRefusal {
  bool refused = false;
  std::string reason;  // what holds the system, for example a running wineserver
  std::string advice;  // what the user can do about it
};

}  // namespace platform
