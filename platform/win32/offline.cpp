// The Windows build manages the Windows it runs on; offline installations are
// reached from the Linux build only.
#include "platform/offline.h"

namespace platform {

Status OpenOfflineInstallation(const std::string& hostRoot, const std::string&, std::string* error) {
  if (error) *error = "--windows " + hostRoot + ": offline installations are handled by the Linux build";
  return kInvalidParameter;
}
std::vector<std::string> OfflineUserNames(const std::string&) { return {}; }
bool OfflineInstallationActive() { return false; }
std::string OfflineInstallationRoot() { return ""; }
std::string OfflineUserName() { return ""; }
std::string OfflineProfilePath() { return ""; }
std::string OfflineWriteRefusal(bool) { return ""; }
std::vector<std::string> OfflineHiveBackups() { return {}; }
void CloseOfflineInstallation() {}

}  // namespace platform
