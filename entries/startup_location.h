// The startup locations: six on every system, two more (the machine's Run and
// RunOnce in its 32-bit view) on a system that has that view.
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
  kLmRun32 = 6,
  kLmRunOnce32 = 7,
};

// Every location number (arrays are indexed by it); whether 6 and 7 exist on the
// system at hand is StartupEntries::HasLocation.
constexpr int kLocationCount = 8;
// The locations every system has.
constexpr int kCommonLocationCount = 6;

inline bool IsRegistryLocation(int location) {
  return location == kLmRun || location == kLmRunOnce || location == kCuRun || location == kCuRunOnce ||
         location == kLmRun32 || location == kLmRunOnce32;
}
// The machine's locations (shown with the machine's image); the others are the user's.
inline bool IsMachineLocation(int location) {
  return location == kLmRun || location == kLmRunOnce || location == kLmStartupFolder ||
         location == kLmRun32 || location == kLmRunOnce32;
}
inline bool Is32BitViewLocation(int location) { return location == kLmRun32 || location == kLmRunOnce32; }
inline bool IsRunOnceLocation(int location) {
  return location == kLmRunOnce || location == kCuRunOnce || location == kLmRunOnce32;
}
inline bool IsFolderLocation(int location) {
  return location == kLmStartupFolder || location == kCuStartupFolder;
}

// A temporary file left in a folder by an atomic write that was cut short
// (".velmora-*.tmp"): never a startup item.
bool IsUnfinishedWriteItem(const std::string& itemName);

// Key indices of StartupEntries::OpenRegistryKey besides the location numbers
// 0-5: the program's own keys, then the keys of the 32-bit view's locations.
constexpr int kDisabledTasksKeyIndex = 6;
constexpr int kProfilesKeyIndex = 7;
constexpr int kLmRun32KeyIndex = 8;
constexpr int kLmRunOnce32KeyIndex = 9;
// The key index through which a location is reached; -1 outside 0-7.
int LocationKeyIndex(int location);

// "LM Run" ... "CU Startup Folder", "LM Run (32-bit)", "LM RunOnce (32-bit)"; ""
// outside 0-7.
const char* LocationTag(int location);
// Number of the location whose tag equals |text| exactly; -1 otherwise.
int LocationFromText(const std::string& text);

// Snapshot key: the location's format with |name|, lower-cased. |storeForm| picks
// "LMRun %s" for location 0 (the store readers) instead of "LMRUN %s"; both give
// the same key after lower-casing. In a Startup folder the exact name follows
// after a '\x01', since items whose names differ only in case are two entries.
std::string SnapshotKey(int location, const std::string& name, bool storeForm = false);

// Registry paths of the program's own keys under HKEY_CURRENT_USER.
extern const char* const kCompanyName;  // "Orlinsk"
extern const char* const kProductName;  // "Velmora"
std::string ProgramKeyPath();           // Software\Orlinsk\Velmora
std::string DisabledTasksKeyPath();     // ...\DisabledTasks
std::string ProfilesKeyPath();          // ...\Profiles
extern const char* const kRunKeyPath;   // Software\Microsoft\Windows\CurrentVersion\Run
extern const char* const kRunOnceKeyPath;
extern const char* const kRun32KeyPath;  // Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run
extern const char* const kRunOnce32KeyPath;
extern const char* const kShellFoldersKeyPath;

}  // namespace velmora
