#include "entries/startup_approved.h"

#include "entries/startup_location.h"
#include "platform/managed_system.h"
#include "platform/registry.h"

namespace velmora {

namespace {

constexpr const char* kStartupApprovedPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

}  // namespace

platform::HKey StartupApprovedRoot(platform::ManagedSystem& system, int location) {
  return IsMachineLocation(location) ? system.LocalMachine() : system.CurrentUser();
}

std::string StartupApprovedKeyPath(int location) {
  const LocationInfo* info = FindLocation(location);
  return info && info->approvedKey ? std::string(kStartupApprovedPath) + info->approvedKey : "";
}

bool MarksDisabled(const std::string& data) { return !data.empty() && (data[0] & 1) != 0; }

bool StartupApprovedDisabled(platform::ManagedSystem& system, int location, const std::string& name) {
  std::string path = StartupApprovedKeyPath(location);
  if (path.empty()) return false;
  platform::UniqueKey key;
  if (platform::reg::OpenKey(StartupApprovedRoot(system, location), path, platform::kKeyRead, key.out()) !=
      platform::kSuccess)
    return false;
  std::uint8_t data[16] = {};
  std::uint32_t size = sizeof data, type = 0;
  platform::Status status = platform::reg::QueryValue(key.get(), name, &type, data, &size);
  return status == platform::kSuccess && type == platform::kRegBinary &&
         MarksDisabled(std::string(reinterpret_cast<const char*>(data), size));
}

std::vector<platform::RegistryValue> DisabledMarks(platform::ManagedSystem& system, int location) {
  std::vector<platform::RegistryValue> marks;
  std::string path = StartupApprovedKeyPath(location);
  platform::UniqueKey key;
  if (path.empty() || platform::reg::OpenKey(StartupApprovedRoot(system, location), path, platform::kKeyRead,
                                             key.out()) != platform::kSuccess) {
    return marks;
  }
  std::vector<platform::RegistryValue> values;
  if (platform::reg::ReadAllValues(key.get(), &values) != platform::kSuccess) return marks;
  for (platform::RegistryValue& value : values) {
    if (value.type == platform::kRegBinary && MarksDisabled(value.data)) marks.push_back(std::move(value));
  }
  return marks;
}

platform::Status ClearStartupApprovedMark(platform::ManagedSystem& system, int location,
                                          const std::string& name) {
  if (!StartupApprovedDisabled(system, location, name)) return platform::kSuccess;
  platform::UniqueKey key;
  platform::Status status =
      platform::reg::OpenKey(StartupApprovedRoot(system, location), StartupApprovedKeyPath(location),
                             platform::kKeyAllAccess, key.out());
  if (status != platform::kSuccess) return status;
  return platform::reg::DeleteValue(key.get(), name);
}

}  // namespace velmora
