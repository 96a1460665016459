// The second switch of Windows 8 and later: the system's own startup manager
// disables an entry by a mark under ...\Explorer\StartupApproved and leaves the
// entry where it is. Wine ignores the marks, so they count only where the
// system says it keeps them (ManagedSystem::KeepsStartupApproved).
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/status.h"

namespace platform {
class ManagedSystem;
}

namespace velmora {

// The key holding the marks of |location| ("" for RunOnce, which has none), and
// the root it lies under (the machine's for the machine's locations).
std::string StartupApprovedKeyPath(int location);
platform::HKey StartupApprovedRoot(platform::ManagedSystem& system, int location);
// A mark's data says "disabled": bit 0 of its first byte.
bool MarksDisabled(const std::string& data);
// True when the entry |name| of |location| (a value name, or a Startup-folder
// item's file name) carries a "disabled" mark.
bool StartupApprovedDisabled(platform::ManagedSystem& system, int location, const std::string& name);
// Every mark of |location| that says "disabled", as it stands (none when the key
// is missing or cannot be read).
std::vector<platform::RegistryValue> DisabledMarks(platform::ManagedSystem& system, int location);
// Deletes a "disabled" mark of the entry, so that the system starts it again.
// kSuccess when there was none.
platform::Status ClearStartupApprovedMark(platform::ManagedSystem& system, int location,
                                          const std::string& name);

}  // namespace velmora
