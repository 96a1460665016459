// The live Windows: what is not the registry.
#include "platform/win32/live_windows.h"

#include <windows.h>

#include "platform/environment.h"

namespace platform {

namespace win32 {

// Wine's ntdll exports wine_get_version: then Wine's boot decides what starts.
bool LiveWindows::IsWinePrefix() const {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool LiveWindows::KeepsStartupApproved() {
  // Wine starts marked entries anyway.
  if (IsWinePrefix()) return false;
  OsVersionInfo version;
  if (!QueryVersion(&version)) return false;
  return version.majorVersion > 6 || (version.majorVersion == 6 && version.minorVersion >= 2);
}

std::string LiveWindows::UserName() { return env::Value(*this, "USERNAME"); }
std::string LiveWindows::ProfilePath() { return env::Value(*this, "USERPROFILE"); }

}  // namespace win32

std::unique_ptr<ManagedSystem> DefaultSystem() { return std::make_unique<win32::LiveWindows>(); }

// Offline installations are reached from the Linux build only.
std::vector<std::string> OfflineUserNames(const std::string&) { return {}; }

Status OpenOfflineSystem(const std::string& hostRoot, const std::string&, std::unique_ptr<ManagedSystem>*,
                         std::string* error) {
  if (error) *error = "--windows " + hostRoot + ": offline installations are handled by the Linux build";
  return kInvalidParameter;
}

}  // namespace platform
