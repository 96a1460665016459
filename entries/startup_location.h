// The six startup locations.
#pragma once

#include <string>

namespace velmora {

enum StartupLocation {
  kLmRun = 0,
  kLmRunOnce = 1,
  kLmStartupFolder = 2,
  kCuRun = 3,
  kCuRunOnce = 4,
  kCuStartupFolder = 5,
};

constexpr int kLocationCount = 6;

inline bool IsRegistryLocation(int location) {
  return location == kLmRun || location == kLmRunOnce || location == kCuRun || location == kCuRunOnce;
}
inline bool IsFolderLocation(int location) {
  return location == kLmStartupFolder || location == kCuStartupFolder;
}

// A temporary file left in a folder by an atomic write that was cut short
// (".velmora-*.tmp"): never a startup item.
bool IsUnfinishedWriteItem(const std::string& itemName);

// "LM Run" ... "CU Startup Folder"; "" outside 0-5.
const char* LocationTag(int location);
// Number of the location whose tag equals |text| exactly; -1 otherwise.
int LocationFromText(const std::string& text);

// Snapshot key: the location's format with |name|, lower-cased. |storeForm| picks
// "LMRun %s" for location 0 (the store readers) instead of "LMRUN %s"; both give
// the same key after lower-casing.
std::string SnapshotKey(int location, const std::string& name, bool storeForm = false);

// Registry paths of the program's own keys under HKEY_CURRENT_USER.
extern const char* const kCompanyName;     // "Orlinsk"
extern const char* const kProductName;     // "Velmora"
std::string ProgramKeyPath();              // Software\Orlinsk\Velmora
std::string DisabledTasksKeyPath();        // ...\DisabledTasks
std::string ProfilesKeyPath();             // ...\Profiles
extern const char* const kRunKeyPath;      // Software\Microsoft\Windows\CurrentVersion\Run
extern const char* const kRunOnceKeyPath;
extern const char* const kShellFoldersKeyPath;

}  // namespace velmora
