// The service manager of the Windows the program runs on: the services and
// drivers it knows, their configuration, and changes to their start.
#include <windows.h>

#include <cstring>
#include <vector>

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

RegistryValue Dword(const char* name, DWORD number) {
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &number, 4);
  return {name, kRegDword, bytes};
}

// Fills |bytes| by a query that tells the size it needs; false when it fails.
template <typename Query>
bool QueryGrowing(std::vector<BYTE>* bytes, Query query) {
  DWORD needed = 0;
  bytes->assign(512, 0);
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (query(bytes->data(), static_cast<DWORD>(bytes->size()), &needed)) return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER && GetLastError() != ERROR_MORE_DATA) return false;
    bytes->assign(needed + 64, 0);
  }
  return false;
}

// The start, type, command and delayed-start flag come from the service manager.
// The registry adds, where the service's key can be read, what the manager does
// not say: the ServiceDll of a service in a shared host, whether the command is
// stored as REG_SZ or REG_EXPAND_SZ, and the DelayedAutostart value as stored
// when it says what the manager says, so that what Velmora keeps of a service it
// disables is what stood in its key.
bool ReadFromManager(LiveWindows& system, SC_HANDLE manager, const std::string& servicesKey,
                     const std::string& name, ServiceRecord* record) {
  ServiceHandle service{OpenServiceW(manager, Wide(name).c_str(), SERVICE_QUERY_CONFIG)};
  if (!service.handle) return false;
  std::vector<BYTE> bytes;
  if (!QueryGrowing(&bytes, [&](BYTE* data, DWORD size, DWORD* needed) {
        return QueryServiceConfigW(service.handle, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(data), size,
                                   needed) != 0;
      }))
    return false;
  const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(bytes.data());
  *record = ServiceRecord();
  record->name = name;
  record->start = Dword("Start", config->dwStartType);
  record->type = Dword("Type", config->dwServiceType);
  if (config->lpBinaryPathName && *config->lpBinaryPathName)
    record->imagePath = {"ImagePath", kRegExpandSz, Narrow(config->lpBinaryPathName) + '\0'};

  int delayed = -1;  // not told
  std::vector<BYTE> info;
  if (QueryGrowing(&info, [&](BYTE* data, DWORD size, DWORD* needed) {
        return QueryServiceConfig2W(service.handle, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, data, size,
                                    needed) != 0;
      }))
    delayed =
        reinterpret_cast<const SERVICE_DELAYED_AUTO_START_INFO*>(info.data())->fDelayedAutostart ? 1 : 0;

  UniqueKey key;
  RegistryValue stored;
  if (reg::OpenKey(system.LocalMachine(), servicesKey + "\\" + name, kKeyRead, key.out()) == kSuccess) {
    if (record->imagePath.name.size() && ReadWholeValue(key.get(), "ImagePath", &stored) &&
        (stored.type == kRegSz || stored.type == kRegExpandSz))
      record->imagePath.type = stored.type;
    std::uint32_t number = 0;
    bool storedDelayed = ReadWholeValue(key.get(), "DelayedAutostart", &stored);
    if (storedDelayed && (delayed < 0 || (DwordValue(stored, &number) && (number != 0) == (delayed == 1))))
      record->delayed = stored;
    UniqueKey parameters;
    if (reg::OpenKey(key.get(), "Parameters", kKeyRead, parameters.out()) == kSuccess)
      ReadWholeValue(parameters.get(), "ServiceDll", &record->serviceDll);
  }
  if (delayed == 1 && record->delayed.name.empty()) record->delayed = Dword("DelayedAutostart", 1);
  return true;
}

}  // namespace

bool LiveWindows::ListServices(std::vector<ServiceRecord>* services) {
  services->clear();
  ServiceHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE)};
  if (!manager.handle) return false;
  std::vector<BYTE> list(64 * 1024);
  DWORD count = 0;
  DWORD resume = 0;
  std::vector<std::string> names;
  for (;;) {
    DWORD needed = 0;
    BOOL done = EnumServicesStatusExW(manager.handle, SC_ENUM_PROCESS_INFO, SERVICE_WIN32 | SERVICE_DRIVER,
                                      SERVICE_STATE_ALL, list.data(), static_cast<DWORD>(list.size()),
                                      &needed, &count, &resume, nullptr);
    if (!done && GetLastError() != ERROR_MORE_DATA) return false;
    const auto* found = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(list.data());
    for (DWORD i = 0; i < count; ++i) names.push_back(Narrow(found[i].lpServiceName));
    if (done) break;
    if (count == 0 && needed > list.size()) list.resize(needed);
  }
  const std::string servicesKey = ServicesKeyPath();
  bool complete = true;
  for (const std::string& name : names) {
    ServiceRecord record;
    if (ReadFromManager(*this, manager.handle, servicesKey, name, &record)) {
      services->push_back(std::move(record));
    } else if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
      complete = false;  // a service deleted since it was listed is simply gone
    }
  }
  return complete;
}

bool LiveWindows::QueryService(const std::string& name, ServiceRecord* service) {
  ServiceHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  return manager.handle && ReadFromManager(*this, manager.handle, ServicesKeyPath(), name, service);
}

Status LiveWindows::ChangeServiceStart(const std::string& name, std::uint32_t start, int delayed) {
  ClearLastErrorDetail();
  ServiceHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  if (!manager.handle) return static_cast<Status>(GetLastError());
  ServiceHandle service{OpenServiceW(manager.handle, Wide(name).c_str(), SERVICE_CHANGE_CONFIG)};
  if (!service.handle) return static_cast<Status>(GetLastError());
  if (!ChangeServiceConfigW(service.handle, SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr))
    return static_cast<Status>(GetLastError());
  // A manager that keeps no delayed-start setting (Wine's) reads DelayedAutostart
  // from the service's key when it starts the service; the caller writes it there.
  if (delayed >= 0) {
    SERVICE_DELAYED_AUTO_START_INFO info{delayed != 0};
    if (!ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info) &&
        GetLastError() != ERROR_INVALID_LEVEL)
      return static_cast<Status>(GetLastError());
  }
  return kSuccess;
}

}  // namespace platform::win32
