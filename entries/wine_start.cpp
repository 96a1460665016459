#include "entries/wine_start.h"

#include "entries/startup_location.h"
#include "entries/task.h"
#include "platform/managed_system.h"
#include "platform/registry.h"

namespace velmora {

namespace {

std::string TypeName(std::uint32_t type) {
  switch (type) {
    case platform::kRegNone:
      return "REG_NONE";
    case platform::kRegExpandSz:
      return "REG_EXPAND_SZ";
    case platform::kRegBinary:
      return "REG_BINARY";
    case platform::kRegDword:
      return "REG_DWORD";
    case platform::kRegMultiSz:
      return "REG_MULTI_SZ";
    default:
      return "of type " + std::to_string(type);
  }
}

}  // namespace

std::string WineSkipReason(platform::ManagedSystem& system, int location, const Task& task) {
  if (!system.IsWinePrefix()) return "";
  if (location == kCuRunOnce) return "Wine never runs the user's RunOnce entries";
  if (location == kLmStartupFolder) return "Wine never runs the common Startup folder";
  if (IsRegistryLocation(location) && task.valueType != platform::kRegSz) {
    return "Wine runs only plain text (REG_SZ) values, and this one is " + TypeName(task.valueType);
  }
  if (IsServiceLocation(location) && task.serviceStartType != platform::kRegDword)
    return "Wine starts a service only by a REG_DWORD Start value";
  return "";
}

std::string StartsWhen(platform::ManagedSystem& system, int location, const Task& task) {
  const LocationInfo* info = FindLocation(location);
  if (!info) return "never";
  if (system.IsWinePrefix()) {
    if (!WineSkipReason(system, location, task).empty()) return "never";
    // wineboot --init runs the *Once keys, the RunServices keys and the services;
    // the Run keys and the Startup folder wait for a restart.
    if (IsServiceLocation(location) || IsRunServicesLocation(location) ||
        (info->machine && info->once && info->kind == LocationKind::kValues))
      return "session";
    return "restart";
  }
  if (IsRunServicesLocation(location)) return "never";
  if (IsServiceLocation(location)) return task.serviceStartType == platform::kRegDword ? "boot" : "never";
  return "logon";
}

std::string StartsInWords(const std::string& starts) {
  if (starts == "session") return "Starts every time a Windows program starts in this prefix";
  if (starts == "restart") return "Starts only when the prefix restarts (wineboot)";
  if (starts == "boot") return "Starts when Windows starts";
  if (starts == "logon") return "Starts when a user logs on to Windows";
  return "The system never starts it here";
}

bool StartsUnderWine(const Task& task) {
  return task.enabled == 1 && task.removed == 0 && task.wineSkipReason.empty();
}

std::string WineStartNote(const Task& task) {
  if (task.enabled != 1 || task.removed != 0 || task.wineSkipReason.empty()) return "";
  return "Will not start under Wine: " + task.wineSkipReason + ".";
}

}  // namespace velmora
