// An offline Windows installation (a mounted Windows partition) as the system in
// use, instead of a Wine prefix. Linux build only.
#pragma once

#include <string>

#include "platform/status.h"

namespace platform {

// Opens the installation as OpenOfflineSystem does and makes it the system in
// use. Without success nothing changes, and |error| says why.
Status OpenOfflineInstallation(const std::string& hostRoot, const std::string& userName, std::string* error);
// Forgets the system in use; the program manages the default system again.
void CloseOfflineInstallation();

}  // namespace platform
