// The model: reading the locations, refresh, roll-back and adding an entry.
#include "changes/startup_parameters.h"

#include "base/text.h"
#include "base/utf16.h"
#include "changes/item_names.h"
#include "changes/roll_back.h"
#include "changes/store.h"
#include "entries/scan_pass.h"

namespace velmora {

StartupParameters::StartupParameters(platform::ManagedSystem& system)
    : StartupParameters(system, DefaultProgramContext()) {}

StartupParameters::StartupParameters(platform::ManagedSystem& system, const ProgramContext& context)
    : system_(&system),
      context_(context),
      honoursStartupApproved_(system.KeepsStartupApproved()),
      rater_(context) {}

StartupParameters::~StartupParameters() = default;

void StartupParameters::SwitchSystem(platform::ManagedSystem& system) {
  system_ = &system;
  for (TaskMap& map : entryMaps_) map.clear();
  snapshot_ = changes::Snapshot();
  changedFlags_.fill(0);
  refreshing_ = false;
  readOnly_ = false;
  honoursStartupApproved_ = system.KeepsStartupApproved();
  rollBackDone_ = false;
  readOnlyReasons_ = {};
  pendingValues_.clear();
  pendingItems_.clear();
  profiles_ = changes::Profiles();
}

const std::string& StartupParameters::ReadOnlyReason(int location) const {
  static const std::string kNone;
  return location >= 0 && location < kLocationCount ? readOnlyReasons_[location] : kNone;
}

std::unique_ptr<EntryFiller> StartupParameters::MakeFiller() {
  return std::make_unique<EntryFiller>(System(), context_, runningPass_, honoursStartupApproved_);
}

void StartupParameters::ScanLocation(int location) {
  EntryFiller filler(System(), context_, runningPass_, honoursStartupApproved_);
  LocationContents contents = velmora::ReadLocation(System(), location);
  readOnlyReasons_[location] = contents.readOnlyReason;
  for (FoundEntry& found : EntriesOf(System(), contents, context_, filler.Pass(), true)) {
    filler.FillTask(*found.task, location, found.programPath, found.VersionSource(), contents.readOnlyReason);
    PutRead(location, std::move(found.task), false);
  }
}

void StartupParameters::ScanRunKey(int location) {
  if (IsRegistryLocation(location)) ScanLocation(location);
}

void StartupParameters::ScanStartupFolder(int location) {
  if (IsFolderLocation(location)) ScanLocation(location);
}

void StartupParameters::ScanServices() { ScanLocation(kServices); }

void StartupParameters::ScanAllLocations() {
  ScanPass pass(System(), runningPass_);
  for (int location = 0; location < kLocationCount; ++location) {
    if (HasLocation(location)) ScanLocation(location);
  }
}

void StartupParameters::PutRead(int location, std::unique_ptr<Task> task, bool fromStore) {
  // The scans add no copies during a refresh; the store always does. A read-only
  // model (a listing) keeps none: it applies nothing, so it never rolls back.
  if (!readOnly_ && (fromStore || !refreshing_)) {
    auto copy = std::make_unique<Task>(*task);
    copy->location = location;
    snapshot_.entries[SnapshotKey(location, task->name, fromStore)] = std::move(copy);
  }
  // A key's values and a folder's files mostly come in the order of their keys:
  // tried at the end first, each goes in without a search of the map.
  TaskMap& map = entryMaps_[location];
  map.insert_or_assign(map.end(), EntryKey(location, task->name), std::move(task));
}

void StartupParameters::ReadAll() {
  // One process list and one look-up of each file for the locations and the store.
  ScanPass pass(System(), runningPass_);
  ScanAllLocations();
  ReadDisabledTasks();
}

void StartupParameters::Reload() {
  ClearEntries();
  // The state a roll-back returns to goes too: it may be another system's.
  snapshot_ = changes::Snapshot();
  ClearChangeFlags();
  rollBackDone_ = false;
  ReadAll();
}

void StartupParameters::RefreshAll() {
  refreshing_ = true;
  ClearEntries();
  ReadAll();
  refreshing_ = false;
}

void StartupParameters::RefreshDiscardingChanges() {
  ClearChangeFlags();
  RefreshAll();
}

std::vector<ApplyFailure> StartupParameters::RollBack() {
  if (!snapshot_.raw.valid || rollBackDone_) return {};
  std::vector<ApplyFailure> failures = changes::RollBackTo(*this, snapshot_.raw);
  RefreshDiscardingChanges();
  if (failures.empty()) rollBackDone_ = true;
  return failures;
}

std::vector<Task*> StartupParameters::AllTasks() {
  std::vector<Task*> all;
  std::size_t count = 0;
  for (const TaskMap& map : entryMaps_) count += map.size();
  all.reserve(count);
  for (TaskMap& map : entryMaps_) {
    for (auto& entry : map) all.push_back(entry.second.get());
  }
  return all;
}

bool StartupParameters::AddEntry(std::unique_ptr<Task> task, int location, std::string* error) {
  auto refuse = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (!task) return refuse("no entry given");
  if (location < 0 || location >= kLocationCount || !HasLocation(location)) return refuse("no such location");
  if (!IsAddableLocation(location))
    return refuse("Velmora does not add services; it disables and enables them");
  if (task->name.empty()) return refuse("the entry needs a name");
  // Windows' limit for the name of a registry value (a longer one could be
  // written here and then never listed).
  if (!IsFolderLocation(location) && Utf16FromUtf8(task->name).size() > kMaxValueNameLength) {
    return refuse("the name is longer than the " + std::to_string(kMaxValueNameLength) +
                  " characters Windows allows for the name of a registry value");
  }
  if (!ReadOnlyReason(location).empty())
    return refuse(LocationTag(location) + std::string(" cannot be changed: ") + ReadOnlyReason(location));
  if (task->command.empty()) return refuse("the entry needs a command");
  if (IsFolderLocation(location)) {
    // The entry is the shortcut it becomes, so that its name is the one a later
    // scan of the folder gives it.
    if (!EndsWithIgnoreCase(task->name, ".lnk")) task->name += ".lnk";
    std::string why;
    std::string path;
    if (!changes::IsSafeItemName(task->name)) {
      return refuse("\"" + task->name + "\" is not a plain file name for the Startup folder");
    }
    std::string folder = StartupFolderPath(location);
    if (!folder.empty() && !changes::ItemPathInFolder(System(), folder, task->name, &path, &why))
      return refuse(why);
  }
  const Task* existing = Entry(location, task->name);
  if (existing && existing->removed == 0) {
    return refuse("\"" + task->name + "\" already exists in " + LocationTag(location));
  }

  std::string name = task->name;
  task->location = -1;
  task->enabled = 1;
  task->removed = 0;
  std::unique_ptr<Task> made = MakeEntry(std::move(task), location, *MakeFiller());
  if (!made) return refuse("the entry could not be made");
  PutEntry(location, std::move(made));
  ForgetPendingValue(SnapshotKey(location, name));
  ForgetPendingItem(SnapshotKey(location, name));
  MarkChanged(location);
  return true;
}

}  // namespace velmora
