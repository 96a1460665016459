// The open offline installation, shared by the parts of the backend that serve it.
#pragma once

#include <string>

#include "platform/posix/offline_hive.h"

namespace platform::posix {

struct OfflineInstallation {
  std::string root;  // host folder that is drive C:
  std::string userName;
  std::string profilePath;  // Windows path of the user's profile folder
  OfflineHive software;     // HKEY_LOCAL_MACHINE\Software
  OfflineHive user;         // HKEY_CURRENT_USER
};

// The open installation, or null while the program manages a Wine prefix.
OfflineInstallation* ActiveOfflineInstallation();

// Looks |name| up in the host folder |folder| as NTFS does: the exact name,
// else the entry that differs only in letter case. "" when there is none.
std::string FindEntryIgnoringCase(const std::string& folder, const std::string& name);

}  // namespace platform::posix
