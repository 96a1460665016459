// An offline Windows installation (a mounted Windows partition) as the system in
// use, instead of a Wine prefix. Linux build only.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

// Opens the installation as OpenOfflineSystem does and makes it the system in
// use. Without success nothing changes, and |error| says why.
Status OpenOfflineInstallation(const std::string& hostRoot, const std::string& userName, std::string* error);
// The users of the installation at |hostRoot| that have a registry hive, by name.
std::vector<std::string> OfflineUserNames(const std::string& hostRoot);
// Forgets the system in use; the program manages the default system again.
void CloseOfflineInstallation();

}  // namespace platform
