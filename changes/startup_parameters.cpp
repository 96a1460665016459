// The model's operations that span its parts: reading, apply, snapshot,
// roll-back, and adding an entry.
#include "changes/startup_parameters.h"

#include "base/text.h"
#include "base/utf16.h"
#include "changes/item_names.h"
#include "changes/roll_back.h"
#include "changes/store.h"
#include "entries/module_version.h"
#include "entries/scan_pass.h"

namespace velmora {

StartupParameters::StartupParameters(platform::ManagedSystem& system)
    : StartupParameters(system, DefaultProgramContext()) {}

StartupParameters::StartupParameters(platform::ManagedSystem& system, const ProgramContext& context)
    : entries_(std::make_unique<StartupEntries>(system, context)), rater_(context) {}

void StartupParameters::SwitchSystem(platform::ManagedSystem& system) {
  entries_ = std::make_unique<StartupEntries>(system, entries_->Context());
  profiles_ = changes::Profiles();
  rawSnapshot_ = changes::RawState();
  rollBackDone_ = false;
}

StartupParameters::~StartupParameters() = default;

void StartupParameters::ReadDisabledTasks() { changes::ReadDisabledTasks(*entries_); }

void StartupParameters::ReadAll() {
  // One process list and one look-up of each file for the locations and the store.
  ScanPass pass(entries_->System(), entries_->RunningPass());
  entries_->ScanAllLocations();
  changes::ReadDisabledTasks(*entries_);
}

void StartupParameters::Reload() {
  entries_->ClearEntries();
  entries_->ClearSnapshot();
  entries_->ClearChangeFlags();
  // The state a roll-back returns to goes too: it may be another system's.
  rawSnapshot_ = changes::RawState();
  rollBackDone_ = false;
  ReadAll();
}

void StartupParameters::RefreshAll() {
  entries_->SetRefreshing(true);
  entries_->ClearEntries();
  ReadAll();
  entries_->SetRefreshing(false);
}

void StartupParameters::RefreshDiscardingChanges() {
  entries_->ClearChangeFlags();
  RefreshAll();
}

std::vector<ApplyFailure> StartupParameters::ApplyChanges() { return changes::ApplyChanges(*entries_); }

void StartupParameters::TakeSnapshot() {
  rollBackDone_ = false;
  changes::TakeSnapshot(*entries_, &rawSnapshot_);
}

std::vector<ApplyFailure> StartupParameters::RollBack() {
  if (!rawSnapshot_.valid || rollBackDone_) return {};
  std::vector<ApplyFailure> failures = changes::RollBackTo(*entries_, rawSnapshot_);
  RefreshDiscardingChanges();
  if (failures.empty()) rollBackDone_ = true;
  return failures;
}

bool StartupParameters::AddEntry(std::unique_ptr<Task> task, int location, std::string* error) {
  auto refuse = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (!task) return refuse("no entry given");
  if (location < 0 || location >= kLocationCount || !entries_->HasLocation(location))
    return refuse("no such location");
  if (!IsAddableLocation(location))
    return refuse("Velmora does not add services; it disables and enables them");
  if (task->name.empty()) return refuse("the entry needs a name");
  // Windows' limit for the name of a registry value (a longer one could be
  // written here and then never listed).
  if (!IsFolderLocation(location) && Utf16FromUtf8(task->name).size() > kMaxValueNameLength) {
    return refuse("the name is longer than the " + std::to_string(kMaxValueNameLength) +
                  " characters Windows allows for the name of a registry value");
  }
  if (!entries_->ReadOnlyReason(location).empty())
    return refuse(LocationTag(location) + std::string(" cannot be changed: ") +
                  entries_->ReadOnlyReason(location));
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
    std::string folder = entries_->StartupFolderPath(location);
    if (!folder.empty() && !changes::ItemPathInFolder(System(), folder, task->name, &path, &why))
      return refuse(why);
  }
  const Task* existing = entries_->Entry(location, task->name);
  if (existing && existing->removed == 0) {
    return refuse("\"" + task->name + "\" already exists in " + LocationTag(location));
  }

  std::string name = task->name;
  task->location = -1;
  task->enabled = 1;
  task->removed = 0;
  ModuleVersion versionReader;
  std::unique_ptr<Task> made = entries_->MakeEntry(std::move(task), location, versionReader);
  if (!made) return refuse("the entry could not be made");
  entries_->PutEntry(location, std::move(made));
  entries_->ForgetPendingValue(SnapshotKey(location, name));
  entries_->ForgetPendingItem(SnapshotKey(location, name));
  entries_->MarkChanged(location);
  return true;
}

}  // namespace velmora
