// StartupParameters: the one object that knows the startup entries of the machine.
// It owns the entries of every location with their pending edits, the change
// flags, the snapshot taken before an apply (copies of the entries and the raw
// state roll-back writes back), the profile names and the rating; it reads the
// locations through entries/location_scanning.h and the store through
// changes/store.h. Everything above it reads through its const accessors and
// changes entries only through its operations.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/program_context.h"
#include "changes/apply.h"
#include "changes/profiles.h"
#include "changes/snapshot.h"
#include "database/rating.h"
#include "entries/location_scanning.h"

namespace velmora {

class StartupParameters {
 public:
  // The model of the entries of |system|. |system| and |context| (the program
  // folder, whether shortcuts may be used, the texts) must outlive the object;
  // without a context, the defaults of DefaultProgramContext().
  explicit StartupParameters(platform::ManagedSystem& system);
  StartupParameters(platform::ManagedSystem& system, const ProgramContext& context);
  ~StartupParameters();
  StartupParameters(const StartupParameters&) = delete;
  StartupParameters& operator=(const StartupParameters&) = delete;

  const ProgramContext& Context() const { return context_; }
  // The Windows whose entries the model holds.
  platform::ManagedSystem& System() const { return *system_; }
  // Makes the model one of |system| (which must outlive it), empty: no entries,
  // snapshot, change flags or profile names of the system before. ReadAll fills it.
  void SwitchSystem(platform::ManagedSystem& system);

  // ---- how the model treats the system ---------------------------------------------
  // A listing changes nothing on disk: the program's own keys (store and profiles)
  // are then opened for reading only and never created, so stale store values stay.
  // Its reads put no copies of the entries into the snapshot.
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool ReadOnly() const { return readOnly_; }
  // Whether the system's StartupApproved marks count (see entries/startup_approved.h):
  // a marked entry is listed disabled, and enabling it clears the mark.
  void SetHonoursStartupApproved(bool honours) { honoursStartupApproved_ = honours; }
  bool HonoursStartupApproved() const { return honoursStartupApproved_; }

  // ---- keys (see entries/location_scanning.h) -------------------------------------
  // The program's own keys, for reading only while read-only. Caller closes the key.
  bool OpenProgramKey(ProgramKey which, platform::HKey* key, platform::Status* status = nullptr) const {
    return velmora::OpenProgramKey(System(), which, readOnly_, key, status);
  }
  bool OpenLocationKey(int location, platform::HKey* key, platform::Status* status = nullptr) const {
    return velmora::OpenLocationKey(System(), location, key, status);
  }
  bool CreateLocationKey(int location, platform::HKey* key) const {
    return velmora::CreateLocationKey(System(), location, key);
  }
  // Whether the Run or RunOnce key of a location is missing (rather than unreadable).
  bool LocationKeyMissing(int location) const { return velmora::LocationKeyMissing(System(), location); }
  // Locations 0-5 always; 6 and 7 where the machine has a 32-bit registry view.
  bool HasLocation(int location) const { return velmora::HasLocation(System(), location); }
  // Folder path of a Startup-folder location from its Shell Folders key ("" on failure).
  std::string StartupFolderPath(int location) const { return velmora::StartupFolderPath(System(), location); }
  // Why the entries of a location cannot be changed, as its last scan found (its
  // key or hive cannot be opened for writing); "" when they can.
  const std::string& ReadOnlyReason(int location) const;

  // ---- reading the system -------------------------------------------------------------
  // Each scan puts what its location holds into the entries and, unless
  // refreshing or read-only, a copy of each into the snapshot.
  void ScanRunKey(int location);
  void ScanStartupFolder(int location);
  void ScanServices();
  void ScanAllLocations();  // every location the system has, in number order
  // The store's entries, as disabled entries of their locations (those whose
  // location holds them again are stale: deleted unless read-only).
  void ReadDisabledTasks();
  // Every location the system has, then the store, in one pass.
  void ReadAll();
  // Drops every entry, pending change and the snapshot, then ReadAll.
  void Reload();
  // Reads the locations and the store again (ratings are not renewed); the
  // snapshot of the last apply stays. Change flags stay too: RefreshDiscardingChanges
  // clears them first.
  void RefreshAll();
  void RefreshDiscardingChanges();
  // Empties every location and drops the pending forms.
  void ClearEntries();
  void ClearSnapshot() { snapshot_.entries.clear(); }

  // ---- the entries as held ------------------------------------------------------------
  // The entries of a location by lower-cased name (empty outside 0-12).
  const TaskMap& Entries(int location) const;
  // The entry |name| of a location (letter case ignored, the exact name first);
  // null when there is none.
  const Task* Entry(int location, const std::string& name) const;
  // Copies of the entries as they stood on disk when read, by snapshot key.
  const TaskMap& Snapshot() const { return snapshot_.entries; }
  bool LocationChanged(int location) const;
  bool AnyLocationChanged() const;
  const std::array<int, kLocationCount>& ChangedFlags() const { return changedFlags_; }

  // ---- edits --------------------------------------------------------------------------
  // Returns whether any location now has changes.
  bool SetEntryEnabled(const std::string& name, int location, int enabled);
  void SetLocationEnabled(int location, int value);
  void RemoveEntry(const std::string& name, int location);
  void RemoveAllEntries();
  void RemoveDisabledEntries();
  // Puts a new enabled entry into its location and marks the location. False
  // (with |error| set) for a name or command that is empty, a name already used in
  // the location, or a name that is unsafe for a Startup folder. In a Startup
  // folder the entry is the shortcut it will become: a name typed without ".lnk"
  // gets it appended, and the entry is listed under that name.
  bool AddEntry(std::unique_ptr<Task> task, int location, std::string* error = nullptr);
  // A new command for the entry (its file name follows); marks the location.
  bool SetEntryCommand(const std::string& name, int location, const std::string& command);
  // The icon shown for an entry whose file gave none; false without such an entry.
  bool SetEntryIcon(int location, const std::string& name, platform::IconHandle icon);
  // Reads the memory figures of the entry's program again (after its process was
  // asked to end); false when there is no such entry.
  bool RereadProcessFigures(int location, const std::string& name);
  // Forgets which locations changed (their edits stay in the entries).
  void ClearChangeFlags() { changedFlags_.fill(0); }

  // ---- apply, snapshot, roll-back -----------------------------------------------------
  // Writes every changed location; returns the writes that failed (their
  // locations keep their change flags).
  std::vector<ApplyFailure> ApplyChanges();
  // Replaces the snapshot with what the locations and the store hold now; store
  // values whose entry is in its location again are deleted as stale.
  void TakeSnapshot();
  // Returns the locations and the store to the state before the last apply, then
  // reads them again as a refresh does (change flags cleared). Does nothing when
  // no snapshot was taken or the last roll-back already succeeded.
  std::vector<ApplyFailure> RollBack();

  // ---- profiles -------------------------------------------------------------------------
  // The profile names as last enumerated, in registry order.
  const std::vector<std::string>& ProfileNames() const { return profiles_.Names(); }
  void EnumerateProfiles() { profiles_.Enumerate(*this); }
  bool DeleteProfile(const std::string& name) { return profiles_.Delete(System(), name); }
  using ProfileSaveResult = velmora::ProfileSaveResult;
  // See changes::Profiles::Save and Load.
  ProfileSaveResult SaveProfile(const std::string& name, bool replaceExisting, std::string* error = nullptr) {
    return profiles_.Save(*this, name, replaceExisting, error);
  }
  bool LoadProfile(const std::string& name, std::string* error = nullptr,
                   std::vector<std::string>* skipped = nullptr) {
    return profiles_.Load(*this, name, error, skipped);
  }
  bool ProfileExists(const std::string& name) const { return profiles_.Exists(System(), name); }

  // ---- definitions database -----------------------------------------------------------
  void PrepareRating() { rater_.PrepareIndex(System()); }
  void FillCategoryCodes() { rater_.FillCategoryCodes(); }
  const std::vector<std::string>& CategoryCodes() const { return rater_.CategoryCodes(); }
  void RateAllTasks() { RateTasks(AllTasks()); }
  void RateTask(Task& task) const { rater_.RateTask(System(), task); }
  // Every entry of every location (removed ones too), and the rating of some tasks
  // (the model's own or copies of them) as RateAllTasks rates the model's.
  std::vector<Task*> AllTasks();
  void RateTasks(const std::vector<Task*>& tasks) const { rater_.RateAll(System(), tasks); }

  // ---- for the change operations (apply, profiles) ------------------------------------
  // The entry |name| of a location to change in place; null when there is none.
  Task* EditableEntry(int location, const std::string& name);
  // A task filled as the scans fill it, to become a pending entry of |location|;
  // null when it could not be made.
  std::unique_ptr<Task> MakeEntry(std::unique_ptr<Task> task, int location, EntryFiller& filler);
  // Puts |task| (filled by MakeEntry) into its location under its lower-cased
  // name, replacing an entry of that name.
  void PutEntry(int location, std::unique_ptr<Task> task);
  void MarkChanged(int location);
  // After a successful write of a location: it is no longer changed, and what a
  // loaded profile brought for it has been written.
  void MarkWritten(int location);
  // A filler of entries of this model's system (one pass for all it fills).
  std::unique_ptr<EntryFiller> MakeFiller();

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

 private:
  // Reads one location into the entries (ScanRunKey, ScanStartupFolder, ScanServices).
  void ScanLocation(int location);
  // FillTask's last steps: the entry goes into its location and a copy with its
  // location set into the snapshot: always for an entry of the store, for one
  // of a scan unless refreshing or read-only.
  void PutRead(int location, std::unique_ptr<Task> task, bool fromStore);
  // The key under which the entries hold an entry |name| of |location|: NameKey of
  // the name. A Startup folder's file system may hold names that differ only in
  // letter case, and Wine starts each: there a second such item has its exact
  // name after the key, and Entry finds each by its exact name.
  std::string EntryKey(int location, const std::string& name) const;

  platform::ManagedSystem* system_;
  const ProgramContext& context_;
  std::array<TaskMap, kLocationCount> entryMaps_;
  changes::Snapshot snapshot_;
  std::array<int, kLocationCount> changedFlags_{};
  bool refreshing_ = false;
  bool readOnly_ = false;
  bool honoursStartupApproved_;
  bool rollBackDone_ = false;
  std::array<std::string, kLocationCount> readOnlyReasons_;
  std::map<std::string, RawValue> pendingValues_;
  std::map<std::string, std::string> pendingItems_;
  // The slot of the pass that reads this model's system now (see ScanPass).
  ScanPass* runningPass_ = nullptr;
  Rater rater_;
  changes::Profiles profiles_;
};

}  // namespace velmora
