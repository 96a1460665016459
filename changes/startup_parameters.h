// StartupParameters: the one object that knows the startup entries of the machine,
// their pending changes, the snapshot taken before an apply and the profiles. It
// holds the entries (entries/startup_entries.h), their rating (database/rating.h),
// the raw snapshot and the profile list privately; everything above it reads
// through its const accessors and changes entries only through its operations.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/program_context.h"
#include "changes/apply.h"
#include "changes/profiles.h"
#include "changes/snapshot.h"
#include "database/rating.h"
#include "entries/startup_entries.h"

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

  const ProgramContext& Context() const { return entries_->Context(); }
  // The Windows whose entries the model holds.
  platform::ManagedSystem& System() const { return entries_->System(); }
  // Makes the model one of |system| (which must outlive it), empty: no entries,
  // snapshot, change flags or profile names of the system before. ReadAll fills it.
  void SwitchSystem(platform::ManagedSystem& system);

  // ---- how the model treats the system ---------------------------------------------
  // A listing changes nothing on disk: the program's own keys (store and profiles)
  // are then opened for reading only and never created, so stale store values stay.
  void SetReadOnly(bool readOnly) { entries_->SetReadOnly(readOnly); }
  bool ReadOnly() const { return entries_->ReadOnly(); }
  // Whether the system's StartupApproved marks count (see entries/startup_approved.h):
  // a marked entry is listed disabled, and enabling it clears the mark.
  void SetHonoursStartupApproved(bool honours) { entries_->SetHonoursStartupApproved(honours); }
  bool HonoursStartupApproved() const { return entries_->HonoursStartupApproved(); }

  // ---- keys -----------------------------------------------------------------------
  // The program's own keys and the locations' keys (see StartupEntries). Caller
  // closes the key.
  bool OpenProgramKey(ProgramKey which, platform::HKey* key, platform::Status* status = nullptr) const {
    return entries_->OpenProgramKey(which, key, status);
  }
  bool OpenLocationKey(int location, platform::HKey* key, platform::Status* status = nullptr) const {
    return entries_->OpenLocationKey(location, key, status);
  }
  // Whether the Run or RunOnce key of a location is missing (rather than unreadable).
  bool LocationKeyMissing(int location) const { return entries_->LocationKeyMissing(location); }
  // Locations 0-5 always; 6 and 7 where the machine has a 32-bit registry view.
  bool HasLocation(int location) const { return entries_->HasLocation(location); }
  // Folder path of a Startup-folder location from its Shell Folders key ("" on failure).
  std::string StartupFolderPath(int location) const { return entries_->StartupFolderPath(location); }

  // ---- reading the system -------------------------------------------------------------
  void ScanRunKey(int location) { entries_->ScanRunKey(location); }
  void ScanStartupFolder(int location) { entries_->ScanStartupFolder(location); }
  void ScanServices() { entries_->ScanServices(); }
  void ScanAllLocations() { entries_->ScanAllLocations(); }
  // The store's entries, as disabled entries of their locations.
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
  void ClearEntries() { entries_->ClearEntries(); }
  void ClearSnapshot() { entries_->ClearSnapshot(); }

  // ---- the entries as held ------------------------------------------------------------
  // The entries of a location by lower-cased name (empty outside 0-7).
  const TaskMap& Entries(int location) const { return entries_->Entries(location); }
  // The entry |name| of a location (letter case ignored); null when there is none.
  const Task* Entry(int location, const std::string& name) const { return entries_->Entry(location, name); }
  // Copies of the entries as they stood on disk when read, by snapshot key.
  const TaskMap& Snapshot() const { return entries_->Snapshot(); }
  bool LocationChanged(int location) const { return entries_->LocationChanged(location); }
  bool AnyLocationChanged() const { return entries_->AnyLocationChanged(); }
  const std::array<int, kLocationCount>& ChangedFlags() const { return entries_->ChangedFlags(); }

  // ---- edits --------------------------------------------------------------------------
  // Returns whether any location now has changes.
  bool SetEntryEnabled(const std::string& name, int location, int enabled) {
    return entries_->SetEntryEnabled(name, location, enabled);
  }
  void SetLocationEnabled(int location, int value) { entries_->SetLocationEnabled(location, value); }
  void RemoveEntry(const std::string& name, int location) { entries_->RemoveEntry(name, location); }
  void RemoveAllEntries() { entries_->RemoveAllEntries(); }
  void RemoveDisabledEntries() { entries_->RemoveDisabledEntries(); }
  // Puts a new enabled entry into its location and marks the location. False
  // (with |error| set) for a name or command that is empty, a name already used in
  // the location, or a name that is unsafe for a Startup folder. In a Startup
  // folder the entry is the shortcut it will become: a name typed without ".lnk"
  // gets it appended, and the entry is listed under that name.
  bool AddEntry(std::unique_ptr<Task> task, int location, std::string* error = nullptr);
  // A new command for the entry (its file name follows); marks the location.
  bool SetEntryCommand(const std::string& name, int location, const std::string& command) {
    return entries_->SetEntryCommand(name, location, command);
  }
  // The icon shown for an entry whose file gave none; false without such an entry.
  bool SetEntryIcon(int location, const std::string& name, platform::IconHandle icon) {
    return entries_->SetEntryIcon(location, name, std::move(icon));
  }
  // The memory figures of the entry's program, read again.
  bool RereadProcessFigures(int location, const std::string& name) {
    return entries_->RereadProcessFigures(location, name);
  }
  // Forgets which locations changed (their edits stay in the entries).
  void ClearChangeFlags() { entries_->ClearChangeFlags(); }

  // ---- apply, snapshot, roll-back -----------------------------------------------------
  // Writes every changed location; returns the writes that failed (their
  // locations keep their change flags).
  std::vector<ApplyFailure> ApplyChanges();
  void TakeSnapshot();
  // Returns the locations and the store to the state before the last apply, then
  // reads them again as a refresh does (change flags cleared). Does nothing when
  // no snapshot was taken or the last roll-back already succeeded.
  std::vector<ApplyFailure> RollBack();

  // ---- profiles -------------------------------------------------------------------------
  // The profile names as last enumerated, joined by "|".
  const std::string& ProfileNames() const { return profiles_.Names(); }
  void EnumerateProfiles() { profiles_.Enumerate(*entries_); }
  bool DeleteProfile(const std::string& name) { return profiles_.Delete(System(), name); }
  using ProfileSaveResult = velmora::ProfileSaveResult;
  // See changes::Profiles::Save and Load.
  ProfileSaveResult SaveProfile(const std::string& name, bool replaceExisting, std::string* error = nullptr) {
    return profiles_.Save(*entries_, name, replaceExisting, error);
  }
  bool LoadProfile(const std::string& name, std::string* error = nullptr,
                   std::vector<std::string>* skipped = nullptr) {
    return profiles_.Load(*entries_, name, error, skipped);
  }
  bool ProfileExists(const std::string& name) const { return profiles_.Exists(System(), name); }

  // ---- definitions database -----------------------------------------------------------
  void PrepareRating() { rater_.PrepareIndex(); }
  void FillCategoryCodes() { rater_.FillCategoryCodes(); }
  const std::vector<std::string>& CategoryCodes() const { return rater_.CategoryCodes(); }
  void RateAllTasks() { rater_.RateAll(entries_->EntriesToRate()); }
  void RateTask(Task& task) const { rater_.RateTask(task); }

 private:
  std::unique_ptr<StartupEntries> entries_;
  Rater rater_;
  changes::Profiles profiles_;
  changes::RawState rawSnapshot_;
  bool rollBackDone_ = false;
};

}  // namespace velmora
