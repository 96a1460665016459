// The services and drivers a system starts by itself, as its service manager or
// its registry's services key holds them: a subkey per service, with its Start,
// Type, ImagePath and, for a service that runs in a shared host,
// Parameters\ServiceDll.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entries/task.h"
#include "platform/registry.h"
#include "platform/services.h"

namespace platform {
class ManagedSystem;
}

namespace velmora {

// Start numbers of a service.
constexpr std::uint32_t kServiceBootStart = 0;
constexpr std::uint32_t kServiceAutoStart = 2;
constexpr std::uint32_t kServiceDemandStart = 3;

// What one service key holds of what Velmora reads and changes. A value that is
// missing has an empty name.
struct ServiceConfig {
  std::string name;  // the key name
  RawValue start;    // "Start" exactly as stored
  RawValue delayed;  // "DelayedAutostart" exactly as stored
  RawValue imagePath;
  std::uint32_t type = 0;  // "Type" when it is a REG_DWORD, else 0
  std::string serviceDll;  // Parameters\ServiceDll, "" when none

  bool HasStart() const { return !start.name.empty(); }
  bool HasImagePath() const { return !imagePath.name.empty(); }
  // Start is a REG_DWORD of four bytes; |number| receives it.
  bool StartNumber(std::uint32_t* number) const;
  bool IsDriver() const { return (type & 3u) != 0; }
  // The system starts it by itself: Start 2, or a driver with Start 0 to 2.
  bool StartsAutomatically() const;
  // Why Velmora leaves the service as it is ("" when it may change its start):
  // a key without ImagePath, or a Start that is not a REG_DWORD.
  std::string UnchangeableReason() const;
};

// The path of the services key under HKEY_LOCAL_MACHINE (see
// ManagedSystem::ServicesKeyPath).
std::string ServicesKeyPath(platform::ManagedSystem& system);

// What Velmora reads of the service as the system gives it.
ServiceConfig ConfigOfService(const platform::ServiceRecord& service);
// Reads the service |name| of |system|. False when there is no such service.
bool ReadServiceConfig(platform::ManagedSystem& system, const std::string& name, ServiceConfig* config);
// Every service of |system|; false when some could not be read.
bool ReadServiceConfigs(platform::ManagedSystem& system, std::vector<ServiceConfig>* configs);
// The names of every subkey of |key|.
std::vector<std::string> ServiceNames(platform::HKey key);

// The file an ImagePath (or ServiceDll) names, as a Windows path: "\SystemRoot\x"
// and "\??\C:\x" as the system reads them, a relative "system32\drivers\x.sys"
// under the Windows folder, %SystemRoot% expanded, then the program part of the
// command line.
std::string ServiceProgramPath(platform::ManagedSystem& system, const std::string& imagePath);

// A task for the service: name, command (the ImagePath as stored), the program
// (ServiceDll for a service in a shared host) and whether Velmora may change it.
std::unique_ptr<Task> ServiceTask(platform::ManagedSystem& system, const ServiceConfig& config,
                                  std::string* programPath);

}  // namespace velmora
