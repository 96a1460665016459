// StartupEntries: the entries of the startup locations as the program holds them,
// their pending edits, the copies taken of them before an apply (the snapshot) and
// which locations changed. Everything is read through const accessors and changed
// through operations; the layers above (rating, apply, roll-back, profiles) work
// on it through the same operations.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/program_context.h"
#include "entries/startup_location.h"
#include "entries/task.h"
#include "platform/icons.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace platform {
class ManagedSystem;
}

namespace velmora {

class ModuleVersion;
class ScanPass;

// The longest name of a registry value that Windows accepts, in UTF-16 units.
constexpr std::size_t kMaxValueNameLength = 16383;

// Map from a lower-cased name (or snapshot key) to the entry it owns. Ordered, so
// rows within a location come in the order of their lower-cased names.
using TaskMap = std::map<std::string, std::unique_ptr<Task>>;

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

class StartupEntries {
 public:
  // |system| (the Windows whose entries these are) and |context| must outlive the
  // object.
  StartupEntries(platform::ManagedSystem& system, const ProgramContext& context);
  ~StartupEntries();
  StartupEntries(const StartupEntries&) = delete;
  StartupEntries& operator=(const StartupEntries&) = delete;

  const ProgramContext& Context() const { return context_; }
  platform::ManagedSystem& System() const { return system_; }

  // A listing changes nothing on disk: the program's own keys (store and
  // profiles) are then opened for reading only and never created, so stale store
  // values stay too.
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool ReadOnly() const { return readOnly_; }
  // Whether the system's StartupApproved marks count (see entries/startup_approved.h):
  // a marked entry is listed disabled, and enabling it clears the mark.
  void SetHonoursStartupApproved(bool honours) { honoursStartupApproved_ = honours; }
  bool HonoursStartupApproved() const { return honoursStartupApproved_; }

  // ---- keys ---------------------------------------------------------------------
  // The program's own keys, opened (never created) for writing, or for reading
  // only while read-only. Caller closes the key.
  bool OpenProgramKey(ProgramKey which, platform::HKey* key, platform::Status* status = nullptr) const;
  // The key of a location (the location table's key; the Shell Folders key of a
  // folder location), opened with full access and never created, only where the
  // system has the location. |status|, when given, receives why it did not open.
  bool OpenLocationKey(int location, platform::HKey* key, platform::Status* status = nullptr) const;
  // Makes a Run or RunOnce key that does not exist yet (apply makes the 32-bit
  // view's keys, which a fresh 64-bit Wine prefix lacks); LocationKeyMissing
  // tells a missing key from one that cannot be opened.
  bool CreateLocationKey(int location, platform::HKey* key) const;
  bool LocationKeyMissing(int location) const;
  // Every location of the table; those of the 32-bit view only where the machine
  // has that view.
  bool HasLocation(int location) const;
  // Folder path of a Startup-folder location from its Shell Folders key ("" on
  // failure). |readOnlyReason|, when given, receives why the key cannot be opened
  // for writing ("" when it can).
  std::string StartupFolderPath(int location, std::string* readOnlyReason = nullptr) const;
  // Why the entries of a location cannot be changed, as the last scan of the
  // location found (its key or hive cannot be opened for writing); "" when they can.
  const std::string& ReadOnlyReason(int location) const;
  // The raw target path of a shortcut, at most 259 characters, or "" on any
  // failure (also when the program may not read shortcuts).
  // The shortcut's target and, when |arguments| is given, its arguments.
  platform::HResult ResolveShortcut(const std::string& shortcutPath, std::string* target,
                                    std::string* arguments = nullptr) const;

  // ---- scanning -----------------------------------------------------------------
  void ScanRunKey(int location);
  void ScanStartupFolder(int location);
  // The services and drivers that start automatically, and those whose Start
  // cannot be read as a number.
  void ScanServices();
  void ScanAllLocations();  // every location the system has, in number order
  // Per-entry filling shared by every reader. With |target| null the task goes to
  // the entries (and a copy to the snapshot unless refreshing); otherwise only a
  // copy with location set goes into |*target| under its snapshot key.
  void FillTask(std::unique_ptr<Task> task, int location, const std::string& programPath,
                const std::string& versionSource, ModuleVersion& versionReader, TaskMap* target = nullptr,
                bool storeForm = false);
  // FillTask into the snapshot: a copy with location set, under its snapshot key.
  void FillSnapshotTask(std::unique_ptr<Task> task, int location, const std::string& programPath,
                        const std::string& versionSource, ModuleVersion& versionReader,
                        bool storeForm = false);
  // A task filled as the scans fill it, to become a pending entry of |location|
  // (location -1 as entries have it); null when it could not be made.
  std::unique_ptr<Task> MakeEntry(std::unique_ptr<Task> task, int location, ModuleVersion& versionReader);

  // While true, scans add no snapshot copies (a refresh keeps the snapshot of the
  // last apply).
  void SetRefreshing(bool refreshing) { refreshing_ = refreshing; }
  bool Refreshing() const { return refreshing_; }

  // ---- reading ------------------------------------------------------------------
  // The entries of a location (empty outside 0-7), by NameKey of their names.
  const TaskMap& Entries(int location) const;
  // The entry |name| of a location (letter case ignored, the exact name first),
  // null when there is none.
  const Task* Entry(int location, const std::string& name) const;
  // Every entry, location by location.
  std::vector<const Task*> AllEntries() const;
  // Copies of the entries as they stood on disk, by snapshot key.
  const TaskMap& Snapshot() const { return snapshot_; }
  bool LocationChanged(int location) const;
  bool AnyLocationChanged() const;
  const std::array<int, kLocationCount>& ChangedFlags() const { return changedFlags_; }

  // ---- edits (entries and change flags only) ------------------------------------
  // Returns whether any location now has changes.
  bool SetEntryEnabled(const std::string& name, int location, int enabled);
  void SetLocationEnabled(int location, int value);
  void RemoveEntry(const std::string& name, int location);
  void RemoveAllEntries();
  void RemoveDisabledEntries();
  // A new command for the entry (its file name follows); marks the location.
  bool SetEntryCommand(const std::string& name, int location, const std::string& command);
  // The entry's icon, for an entry whose file gave none; false when there is no
  // such entry.
  bool SetEntryIcon(int location, const std::string& name, platform::IconHandle icon);
  // Reads the memory figures of the entry's program again (after its process was
  // asked to end); false when there is no such entry.
  bool RereadProcessFigures(int location, const std::string& name);
  // Puts |task| (filled by MakeEntry) into its location under its lower-cased
  // name, replacing an entry of that name.
  void PutEntry(int location, std::unique_ptr<Task> task);
  // The entry |name| of a location to change in place (apply, profiles); null
  // when there is none.
  Task* EditableEntry(int location, const std::string& name);
  // The key under which the entries hold an entry |name| of |location|: NameKey of
  // the name. A Startup folder's file system may hold names that differ only in
  // letter case, and Wine starts each: there a second such item has its exact
  // name after the key, and Entry finds each by its exact name.
  std::string EntryKey(int location, const std::string& name) const;
  // Every entry, for a pass that sets their ratings.
  std::vector<Task*> EntriesToRate();
  void MarkChanged(int location);
  // After a successful write of a location: it is no longer changed, and what a
  // loaded profile brought for it has been written.
  void MarkWritten(int location);
  void ClearChangeFlags() { changedFlags_.fill(0); }
  // Empties every location and drops the pending forms.
  void ClearEntries();
  void ClearSnapshot() { snapshot_.clear(); }
  // A snapshot copy of the entry |name| of |location| (the store's entries during a
  // refresh, which the scans do not copy then).
  void CopyToSnapshot(int location, const std::string& name, bool storeForm);

  // ---- pending forms --------------------------------------------------------------
  // Exact forms that a loaded profile brought for its entries, keyed by snapshot
  // key: the value (type and bytes) or the item bytes that apply writes when it
  // puts such an entry into its location (or keeps it in the store) and its
  // command still matches. Emptied by ClearEntries, and for a location by
  // MarkWritten.
  const RawValue* PendingValue(const std::string& snapshotKey) const;
  const std::string* PendingItem(const std::string& snapshotKey) const;
  void SetPendingValue(const std::string& snapshotKey, RawValue value);
  void SetPendingItem(const std::string& snapshotKey, std::string bytes);
  void ForgetPendingValue(const std::string& snapshotKey) { pendingValues_.erase(snapshotKey); }
  void ForgetPendingItem(const std::string& snapshotKey) { pendingItems_.erase(snapshotKey); }

  // The slot of the pass that reads these entries now (see ScanPass).
  ScanPass*& RunningPass() { return runningPass_; }

 private:
  platform::ManagedSystem& system_;
  const ProgramContext& context_;
  std::array<TaskMap, kLocationCount> entryMaps_;
  TaskMap snapshot_;
  std::array<int, kLocationCount> changedFlags_{};
  bool refreshing_ = false;
  bool readOnly_ = false;
  bool honoursStartupApproved_;
  std::array<std::string, kLocationCount> readOnlyReasons_;
  std::map<std::string, RawValue> pendingValues_;
  std::map<std::string, std::string> pendingItems_;
  ScanPass* runningPass_ = nullptr;
};

// DeriveFileName: fileName = the part of ExtractProgramPath(command) after its last
// backslash.
void DeriveFileName(platform::ManagedSystem& system, Task& task);

// The command of a shortcut as Windows starts it: its target in quotes, then its
// arguments; the bare target when it has none.
std::string ShortcutCommand(const std::string& target, const std::string& arguments);

}  // namespace velmora
