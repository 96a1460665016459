#include "platform/user_data.h"

#include <windows.h>

#include <random>

#include "platform/environment.h"
#include "platform/win32/wide.h"

namespace platform::files {

std::string UserDataFolder(ManagedSystem& system) {
  std::string base = env::Value(system, "LOCALAPPDATA");
  if (base.empty()) base = env::Value(system, "APPDATA");
  return base.empty() ? "" : base + "\\Orlinsk\\Velmora";
}

bool FolderTakesWrites(ManagedSystem&, const std::string& path) {
  DWORD attributes = GetFileAttributesW(win32::Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  // Access lists decide on Windows: a file made and dropped again says it.
  std::random_device random;
  std::wstring probe = win32::Wide(path + "\\velmora-write-check-" + std::to_string(random()) + ".tmp");
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace platform::files
