// The environment of one system, for the systems of this build.
#pragma once

#include <string>

#include "platform/managed_system.h"

namespace platform::posix {

// |source| with every %NAME% that programs of |system| see replaced by its value;
// unknown references stay as written.
std::string ExpandInSystem(ManagedSystem& system, const std::string& source);

}  // namespace platform::posix
