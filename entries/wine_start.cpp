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

std::string WineSkipReason(platform::ManagedSystem& system, int location, std::uint32_t valueType) {
  if (!system.IsWinePrefix()) return "";
  if (location == kCuRunOnce) return "Wine never runs the user's RunOnce entries";
  if (location == kLmStartupFolder) return "Wine never runs the common Startup folder";
  if (IsRegistryLocation(location) && valueType != platform::kRegSz) {
    return "Wine runs only plain text (REG_SZ) values, and this one is " + TypeName(valueType);
  }
  return "";
}

bool StartsUnderWine(const Task& task) {
  return task.enabled == 1 && task.removed == 0 && task.wineSkipReason.empty();
}

std::string WineStartNote(const Task& task) {
  if (task.enabled != 1 || task.removed != 0 || task.wineSkipReason.empty()) return "";
  return "Will not start under Wine: " + task.wineSkipReason + ".";
}

}  // namespace velmora
