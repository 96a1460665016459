// An offline Windows installation (a mounted Windows partition) as the system the
// program manages, instead of a Wine prefix. Linux build only.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

// Makes the installation whose root (drive C:) is the host folder |hostRoot| the
// managed system: HKEY_LOCAL_MACHINE\Software is its
// Windows\System32\config\SOFTWARE, HKEY_CURRENT_USER the NTUSER.DAT of the user
// |userName| (under Users or Documents and Settings). An empty |userName| picks
// the one user profile with a hive; none or several is an error that lists them.
// Without success nothing changes, and |error| says why, naming the file.
Status OpenOfflineInstallation(const std::string& hostRoot, const std::string& userName, std::string* error);
// The users of the installation at |hostRoot| that have a registry hive, by name.
std::vector<std::string> OfflineUserNames(const std::string& hostRoot);
bool OfflineInstallationActive();
// Host folder of the open installation ("" when none).
std::string OfflineInstallationRoot();
// The chosen user's name and profile folder (a Windows path, "C:\Users\NAME").
std::string OfflineUserName();
std::string OfflineProfilePath();
// Why the machine's (SOFTWARE) or the user's hive must not be written now; ""
// when it may be.
std::string OfflineWriteRefusal(bool machineHive);
// Host paths of the dated hive copies kept before the first write of this run.
std::vector<std::string> OfflineHiveBackups();
// Forgets the installation; the program manages the Wine prefix again.
void CloseOfflineInstallation();

}  // namespace platform
