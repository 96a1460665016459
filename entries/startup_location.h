// The startup locations and the one table that says where each lives: six on
// every system, two more (the machine's Run and RunOnce in its 32-bit view) on a
// system that has that view, the machine's RunServices keys (both views) and the
// services that start automatically.
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
  kLmRunServices = 8,
  kLmRunServicesOnce = 9,
  kLmRunServices32 = 10,
  kLmRunServicesOnce32 = 11,
  kServices = 12,
};

// Every location number (arrays are indexed by it); whether a location exists on
// the system at hand is HasLocation (entries/location_scanning.h).
constexpr int kLocationCount = 13;
// The locations every system has.
constexpr int kCommonLocationCount = 6;

// What a location holds: the values of a key, the items of a folder (named by a
// value of a Shell Folders key), or the subkeys of the services key.
enum class LocationKind { kValues, kFolder, kServices };

// One row of the location table.
struct LocationInfo {
  const char* tag;             // shown in the list, accepted by velmora-cli
  const char* snapshotPrefix;  // the snapshot key's format, "%s" left out
  bool machine;                // under HKEY_LOCAL_MACHINE (else HKEY_CURRENT_USER)
  const char* keyPath;         // the key of the values, the Shell Folders key, or the services key
  LocationKind kind;
  bool view32;              // only where the machine has a 32-bit registry view
  bool once;                // a *Once key: the system deletes its values as it runs them
  const char* folderValue;  // folders: the Shell Folders value naming the folder
  // The subkey of Explorer\StartupApproved whose marks disable its entries (Windows
  // 8 and later); null where the system keeps none.
  const char* approvedKey;
};

// The row of |location|; null outside 0 to kLocationCount - 1.
const LocationInfo* FindLocation(int location);

inline bool IsRegistryLocation(int location) {
  const LocationInfo* info = FindLocation(location);
  return info && info->kind == LocationKind::kValues;
}
// The machine's locations (shown with the machine's image); the others are the user's.
inline bool IsMachineLocation(int location) {
  const LocationInfo* info = FindLocation(location);
  return info && info->machine;
}
inline bool Is32BitViewLocation(int location) {
  const LocationInfo* info = FindLocation(location);
  return info && info->view32;
}
inline bool IsRunOnceLocation(int location) {
  const LocationInfo* info = FindLocation(location);
  return info && info->once;
}
inline bool IsFolderLocation(int location) {
  const LocationInfo* info = FindLocation(location);
  return info && info->kind == LocationKind::kFolder;
}
inline bool IsServiceLocation(int location) {
  const LocationInfo* info = FindLocation(location);
  return info && info->kind == LocationKind::kServices;
}
// The RunServices and RunServicesOnce keys (both views).
inline bool IsRunServicesLocation(int location) {
  return location >= kLmRunServices && location <= kLmRunServicesOnce32;
}
// Whether a user may add entries to the location (not to the services).
inline bool IsAddableLocation(int location) { return FindLocation(location) && !IsServiceLocation(location); }

// A temporary file left in a folder by an atomic write that was cut short
// (".velmora-*.tmp"): never a startup item.
bool IsUnfinishedWriteItem(const std::string& itemName);

// The program's own keys under HKEY_CURRENT_USER (OpenProgramKey).
enum class ProgramKey { kDisabledTasks, kProfiles };

// "LM Run" ... "CU Startup Folder", "LM Run (32-bit)", ..., "Services"; "" outside
// the table.
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
extern const char* const kRunServicesKeyPath;  // ...\CurrentVersion\RunServices
extern const char* const kRunServicesOnceKeyPath;
extern const char* const kRunServices32KeyPath;
extern const char* const kRunServicesOnce32KeyPath;
extern const char* const kShellFoldersKeyPath;
extern const char* const kServicesKeyPath;  // System\CurrentControlSet\Services

}  // namespace velmora
