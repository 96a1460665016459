// Environment-variable expansion with the values Windows programs of a system see.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class ManagedSystem;

namespace env {

// ExpandEnvironmentStringsA: replaces %NAME% by the variable's value (names without
// regard to case); unknown references stay as written. Returns the length of the
// expanded text including its zero. When that exceeds |capacity| nothing is
// written to |out| beyond an empty string and the needed size is returned.
std::uint32_t Expand(ManagedSystem& system, const std::string& source, std::string* out,
                     std::uint32_t capacity);

// The value of one variable, or "" when unknown.
std::string Value(ManagedSystem& system, const std::string& name);

}  // namespace env

}  // namespace platform
