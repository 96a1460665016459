// Offline Windows installations (mounted Windows partitions) on the host. The
// installation itself is opened by OpenOfflineSystem (platform/managed_system.h).
// Linux build only.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The users of the installation at |hostRoot| that have a registry hive, by name.
std::vector<std::string> OfflineUserNames(const std::string& hostRoot);

}  // namespace platform
