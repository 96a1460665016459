#include "entries/startup_approved.h"

#include "entries/startup_location.h"
#include "platform/registry.h"

namespace velmora {

namespace {

constexpr const char* kStartupApprovedPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

platform::HKey RootOf(int location) {
  return location <= kLmStartupFolder ? platform::HKeyLocalMachine() : platform::HKeyCurrentUser();
}

}  // namespace

std::string StartupApprovedKeyPath(int location) {
  switch (location) {
    case kLmRun:
    case kCuRun:
      return std::string(kStartupApprovedPath) + "Run";
    case kLmStartupFolder:
    case kCuStartupFolder:
      return std::string(kStartupApprovedPath) + "StartupFolder";
    default:
      return "";
  }
}

bool MarksDisabled(const std::string& data) { return !data.empty() && (data[0] & 1) != 0; }

bool StartupApprovedDisabled(int location, const std::string& name) {
  std::string path = StartupApprovedKeyPath(location);
  if (path.empty()) return false;
  platform::UniqueKey key;
  if (platform::reg::OpenKey(RootOf(location), path, platform::kKeyRead, key.out()) != platform::kSuccess)
    return false;
  std::uint8_t data[16] = {};
  std::uint32_t size = sizeof data, type = 0;
  platform::Status status = platform::reg::QueryValue(key.get(), name, &type, data, &size);
  return status == platform::kSuccess && type == platform::kRegBinary &&
         MarksDisabled(std::string(reinterpret_cast<const char*>(data), size));
}

platform::Status ClearStartupApprovedMark(int location, const std::string& name) {
  if (!StartupApprovedDisabled(location, name)) return platform::kSuccess;
  platform::UniqueKey key;
  platform::Status status = platform::reg::OpenKey(RootOf(location), StartupApprovedKeyPath(location),
                                                   platform::kKeyAllAccess, key.out());
  if (status != platform::kSuccess) return status;
  return platform::reg::DeleteValue(key.get(), name);
}

}  // namespace velmora
