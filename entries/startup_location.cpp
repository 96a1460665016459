#include "entries/startup_location.h"

#include "base/names.h"
#include "base/text.h"

namespace velmora {

namespace {
const char* const kTags[kLocationCount] = {"LM Run",          "LM RunOnce",         "LM Startup Folder",
                                           "CU Run",          "CU RunOnce",         "CU Startup Folder",
                                           "LM Run (32-bit)", "LM RunOnce (32-bit)"};
const char* const kSnapshotPrefixes[kLocationCount] = {
    "LMRUN ", "LMRunOnce ", "LMStartup ", "CURun ", "CURunOnce ", "CUStartup ", "LMRun32 ", "LMRunOnce32 "};
}  // namespace

const char* const kCompanyName = "Orlinsk";
const char* const kProductName = "Velmora";
const char* const kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunOnceKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kRun32KeyPath = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunOnce32KeyPath = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kShellFoldersKeyPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

int LocationKeyIndex(int location) {
  if (location == kLmRun32) return kLmRun32KeyIndex;
  if (location == kLmRunOnce32) return kLmRunOnce32KeyIndex;
  return location >= 0 && location < kCommonLocationCount ? location : -1;
}

const char* LocationTag(int location) {
  return location >= 0 && location < kLocationCount ? kTags[location] : "";
}

int LocationFromText(const std::string& text) {
  for (int i = 0; i < kLocationCount; ++i) {
    if (text == kTags[i]) return i;
  }
  return -1;
}

std::string SnapshotKey(int location, const std::string& name, bool storeForm) {
  if (location < 0 || location >= kLocationCount) return "";
  std::string prefix = location == kLmRun && storeForm ? "LMRun " : kSnapshotPrefixes[location];
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
