// StartupParameters: the one object that knows the startup entries of the machine,
// their pending changes, the snapshot taken before an apply and the profiles.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "entries/startup_location.h"
#include "entries/task.h"
#include "platform/registry.h"
#include "platform/status.h"
#include "platform/system.h"

namespace velmora {

class ModuleVersion;

// Map from a lower-cased name (or snapshot key) to the entry it owns. Ordered, so
// rows within a location come in the order of their lower-cased names.
using TaskMap = std::map<std::string, std::unique_ptr<Task>>;

// One write of an apply or roll-back that did not happen.
struct ApplyFailure {
  int location = -1;
  std::string name;
  std::string reason;
};

class StartupParameters {
 public:
  StartupParameters();
  virtual ~StartupParameters();
  StartupParameters(const StartupParameters&) = delete;
  StartupParameters& operator=(const StartupParameters&) = delete;

  // ---- keys and scanning ------------------------------------------------------
  // Index 0-5: the location keys (never created, KEY_ALL_ACCESS); 6 DisabledTasks
  // and 7 Profiles (created when missing); 8 and 9 the keys of locations 6 and 7,
  // the machine's Run and RunOnce in its 32-bit view (never created). Caller
  // closes the key. |status|, when given, receives why a location key did not open.
  bool OpenRegistryKey(int keyIndex, platform::HKey* key, platform::Status* status = nullptr);
  // The key of a location (LocationKeyIndex), only where the system has it.
  bool OpenLocationKey(int location, platform::HKey* key, platform::Status* status = nullptr);
  // Makes a Run or RunOnce key that does not exist yet (apply makes the 32-bit
  // view's keys, which a fresh 64-bit Wine prefix lacks); LocationKeyMissing
  // tells a missing key from one that cannot be opened.
  bool CreateLocationKey(int location, platform::HKey* key);
  bool LocationKeyMissing(int location);
  // Locations 0-5 always; 6 and 7 where the machine has a 32-bit registry view.
  bool HasLocation(int location) const;
  void ScanRunKey(int location);
  void ScanStartupFolder(int location);
  void ScanAllLocations();  // every location the system has, in number order
  // Per-entry filling shared by every reader. With |target| null the task goes to
  // entryMaps (and a copy to the snapshot unless refreshing); otherwise only a copy
  // with location set goes into |*target| under its snapshot key.
  void FillTask(std::unique_ptr<Task> task, int location, const std::string& programPath,
                const std::string& versionSource, ModuleVersion& versionReader, TaskMap* target = nullptr,
                bool storeForm = false);
  // Folder path of a Startup-folder location from its Shell Folders key ("" on failure).
  std::string StartupFolderPath(int location);

  // ---- the store of disabled entries --------------------------------------------
  void ReadDisabledTasks();

  // ---- edits, apply, snapshot, refresh, roll-back ------------------------------
  bool SetEntryEnabled(const std::string& name, int location, int enabled);
  void SetLocationEnabled(int location, int value);
  void RemoveEntry(const std::string& name, int location);
  void RemoveAllEntries();
  void RemoveDisabledEntries();
  // Puts a new enabled entry into its location's map and marks the location. False
  // (with |error| set) for a name or command that is empty, a name already used in
  // the location, or a name that is unsafe for a Startup folder. In a Startup
  // folder the entry is the shortcut it will become: a name typed without ".lnk"
  // gets it appended, and the entry is listed under that name.
  bool AddEntry(std::unique_ptr<Task> task, int location, std::string* error = nullptr);
  // Writes every changed location; returns the writes that failed (their
  // locations keep their change flags).
  std::vector<ApplyFailure> ApplyChanges();
  // A shortcut at |shortcutPath| to |targetPath| (made a full path) with the given
  // description and, when not empty, arguments.
  platform::HResult CreateShortcut(const std::string& targetPath, const std::string& description,
                                   const std::string& shortcutPath, const std::string& arguments = "");
  void TakeSnapshot();
  void ClearSnapshot();
  void ClearEntries();
  void RefreshAll();
  // Returns the locations and the store to the state before the last apply, then
  // rebuilds the entry maps as a refresh does (change flags cleared). Does nothing
  // when no snapshot was taken or the last roll-back already succeeded.
  std::vector<ApplyFailure> RollBack();
  bool AnyLocationChanged() const;

  // ---- profiles ---------------------------------------------------------------
  void EnumerateProfiles();
  bool DeleteProfile(const std::string& name);
  enum class ProfileSaveResult { kSaved, kEmptyName, kInvalidName, kExists, kFailed };
  // Saves the entries as the model holds them (pending edits included, removed
  // entries left out). An empty name, or one with "\" or "|", is refused; an
  // existing profile (names compared without regard to case) is replaced only
  // when |replaceExisting|.
  ProfileSaveResult SaveProfile(const std::string& name, bool replaceExisting, std::string* error = nullptr);
  // Makes the pending state the profile's, in the locations it holds (those the
  // system had when it was saved; 0-5 for a profile saved before it recorded
  // them): its entries take their enabled state and command from it, entries it
  // does not hold become disabled (never deleted), entries only it holds are
  // added; those locations change, the others stay as they are. False when the profile
  // cannot be read. Entries refused for an unsafe Startup-folder name are left out
  // and named in |skipped|.
  bool LoadProfile(const std::string& name, std::string* error = nullptr,
                   std::vector<std::string>* skipped = nullptr);
  bool ProfileExists(const std::string& name) const;

  // ---- definitions database ---------------------------------------------------
  void FillCategoryCodes();
  void RateAllTasks();
  void RateTask(Task& task);

  // ---- data -------------------------------------------------------------------
  std::array<TaskMap, kLocationCount> entryMaps;
  TaskMap snapshot;
  std::array<int, kLocationCount> changedFlags{};
  int refreshing = 0;
  // A listing changes nothing on disk: the program's own keys (6 and 7) are then
  // opened for reading only and never created, so stale store values stay too.
  bool readOnly = false;
  // Whether the system's StartupApproved marks count (see entries/startup_approved.h):
  // a marked entry is listed disabled, and enabling it clears the mark.
  bool honoursStartupApproved = platform::SystemKeepsStartupApproved();
  std::string profileNames;
  std::vector<std::string> CategoryCodes;

  // A registry value or a folder item exactly as it stands on disk.
  struct RawValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;  // raw bytes as the registry returns them
  };
  struct RawItem {
    std::string name;
    std::string bytes;
  };

  // Exact forms that a loaded profile brought for its entries, keyed by snapshot
  // key: the value (type and bytes) or the item bytes that apply writes when it
  // puts such an entry into its location (or keeps it in the store) and its
  // command still matches. Emptied by ClearEntries, and for a location by its
  // successful apply.
  std::map<std::string, RawValue> pendingValues;
  std::map<std::string, std::string> pendingItems;

  // Raw state of the locations and the store just before the last apply, which
  // roll-back writes back exactly (value types, item bytes). Filled by TakeSnapshot.
  struct RawState {
    bool valid = false;
    std::array<bool, kLocationCount> readable{};
    std::array<std::string, kLocationCount> folders;           // folder locations: the folder read
    std::array<std::vector<RawValue>, kLocationCount> values;  // registry locations
    std::array<std::vector<RawItem>, kLocationCount> items;    // folder locations
    bool storeReadable = false;
    std::vector<RawValue> store;      // DisabledTasks
    std::vector<RawValue> storeData;  // DisabledTaskData: original forms of stored values
    std::array<std::vector<RawItem>, kLocationCount> keptItems;  // kept copies of disabled items
    // The system's "disabled" marks of each location, which an apply that enables
    // such an entry deletes (only where honoursStartupApproved).
    std::array<std::vector<RawValue>, kLocationCount> disabledMarks;
  } rawSnapshot;
  bool rollBackDone = false;
};

// DeriveFileName: fileName = the part of ExtractProgramPath(command) after its last
// backslash.
void DeriveFileName(Task& task);

// ResolveShortcut: the raw target path of a shortcut, at most 259 characters, or ""
// on any failure.
platform::HResult ResolveShortcut(const std::string& shortcutPath, std::string* target);

}  // namespace velmora
