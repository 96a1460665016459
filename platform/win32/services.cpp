// The service manager of the Windows the program runs on.
#include <windows.h>

#include "platform/win32/live_windows.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

// Closes a service-manager handle when it goes out of scope.
struct ServiceHandle {
  SC_HANDLE handle = nullptr;
  ~ServiceHandle() {
    if (handle) CloseServiceHandle(handle);
  }
};

}  // namespace

Status LiveWindows::ChangeServiceStart(const std::string& name, std::uint32_t start, int delayed) {
  ClearLastErrorDetail();
  ServiceHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  if (!manager.handle) return static_cast<Status>(GetLastError());
  ServiceHandle service{OpenServiceW(manager.handle, Wide(name).c_str(), SERVICE_CHANGE_CONFIG)};
  if (!service.handle) return static_cast<Status>(GetLastError());
  if (!ChangeServiceConfigW(service.handle, SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr))
    return static_cast<Status>(GetLastError());
  if (delayed >= 0) {
    SERVICE_DELAYED_AUTO_START_INFO info{delayed != 0};
    if (!ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info))
      return static_cast<Status>(GetLastError());
  }
  return kSuccess;
}

}  // namespace platform::win32
