#include "entries/startup_location.h"

#include "base/names.h"
#include "base/text.h"

namespace velmora {

const char* const kCompanyName = "Orlinsk";
const char* const kProductName = "Velmora";
const char* const kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunOnceKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kRun32KeyPath = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunOnce32KeyPath = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kRunServicesKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char* const kRunServicesOnceKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
const char* const kRunServices32KeyPath =
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char* const kRunServicesOnce32KeyPath =
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
const char* const kShellFoldersKeyPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kServicesKeyPath = "System\\CurrentControlSet\\Services";

namespace {

using K = LocationKind;
// Indexed by location number; the number is also the one in the store's value names.
const LocationInfo kLocations[kLocationCount] = {
    {"LM Run", "LMRUN ", true, kRunKeyPath, K::kValues, false, false, nullptr, "Run"},
    {"LM RunOnce", "LMRunOnce ", true, kRunOnceKeyPath, K::kValues, false, true, nullptr, nullptr},
    {"LM Startup Folder", "LMStartup ", true, kShellFoldersKeyPath, K::kFolder, false, false,
     "Common Startup", "StartupFolder"},
    {"CU Run", "CURun ", false, kRunKeyPath, K::kValues, false, false, nullptr, "Run"},
    {"CU RunOnce", "CURunOnce ", false, kRunOnceKeyPath, K::kValues, false, true, nullptr, nullptr},
    {"CU Startup Folder", "CUStartup ", false, kShellFoldersKeyPath, K::kFolder, false, false, "Startup",
     "StartupFolder"},
    {"LM Run (32-bit)", "LMRun32 ", true, kRun32KeyPath, K::kValues, true, false, nullptr, "Run32"},
    {"LM RunOnce (32-bit)", "LMRunOnce32 ", true, kRunOnce32KeyPath, K::kValues, true, true, nullptr,
     nullptr},
    {"LM RunServices", "LMRunServices ", true, kRunServicesKeyPath, K::kValues, false, false, nullptr,
     nullptr},
    {"LM RunServicesOnce", "LMRunServicesOnce ", true, kRunServicesOnceKeyPath, K::kValues, false, true,
     nullptr, nullptr},
    {"LM RunServices (32-bit)", "LMRunServices32 ", true, kRunServices32KeyPath, K::kValues, true, false,
     nullptr, nullptr},
    {"LM RunServicesOnce (32-bit)", "LMRunServicesOnce32 ", true, kRunServicesOnce32KeyPath, K::kValues, true,
     true, nullptr, nullptr},
    {"Services", "Service ", true, kServicesKeyPath, K::kServices, false, false, nullptr, nullptr},
};

}  // namespace

const LocationInfo* FindLocation(int location) {
  return location >= 0 && location < kLocationCount ? &kLocations[location] : nullptr;
}

const char* LocationTag(int location) {
  const LocationInfo* info = FindLocation(location);
  return info ? info->tag : "";
}

int LocationFromText(const std::string& text) {
  for (int i = 0; i < kLocationCount; ++i) {
    if (text == kLocations[i].tag) return i;
  }
  return -1;
}

std::string SnapshotKey(int location, const std::string& name, bool storeForm) {
  const LocationInfo* info = FindLocation(location);
  if (!info) return "";
  std::string prefix = location == kLmRun && storeForm ? "LMRun " : info->snapshotPrefix;
  // Items of a Startup folder whose names differ only in case are two entries.
  if (IsFolderLocation(location) && !name.empty()) return NameKey(prefix + name) + '\x01' + name;
  return NameKey(prefix + name);
}

std::string ProgramKeyPath() { return std::string("Software\\") + kCompanyName + "\\" + kProductName; }
std::string DisabledTasksKeyPath() { return ProgramKeyPath() + "\\DisabledTasks"; }
std::string ProfilesKeyPath() { return ProgramKeyPath() + "\\Profiles"; }

bool IsUnfinishedWriteItem(const std::string& itemName) {
  return itemName.rfind(".velmora-", 0) == 0 && EndsWith(itemName, ".tmp");
}

}  // namespace velmora
