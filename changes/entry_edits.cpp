// The entries as the model holds them: look-ups, edits, change flags and the
// pending forms a loaded profile brought.
#include "base/names.h"
#include "changes/startup_parameters.h"
#include "entries/process_info.h"
#include "entries/value_command.h"

namespace velmora {

namespace {

bool ValidLocation(int location) { return location >= 0 && location < kLocationCount; }

}  // namespace

std::unique_ptr<Task> StartupParameters::MakeEntry(std::unique_ptr<Task> task, int location,
                                                   EntryFiller& filler) {
  if (!task || !ValidLocation(location)) return nullptr;
  std::string programPath = ProgramPathOfValue(System(), task->command, task->valueType);
  filler.FillTask(*task, location, programPath, programPath, readOnlyReasons_[location]);
  task->location = -1;
  return task;
}

void StartupParameters::ClearEntries() {
  for (TaskMap& map : entryMaps_) map.clear();
  pendingValues_.clear();
  pendingItems_.clear();
}

const TaskMap& StartupParameters::Entries(int location) const {
  static const TaskMap kNone;
  return ValidLocation(location) ? entryMaps_[location] : kNone;
}

const Task* StartupParameters::Entry(int location, const std::string& name) const {
  if (!ValidLocation(location)) return nullptr;
  const TaskMap& map = entryMaps_[location];
  auto it = map.find(NameKey(name));
  if (it == map.end()) return nullptr;
  if (it->second->name != name && IsFolderLocation(location)) {
    auto exact = map.find(EntryKey(location, name));
    if (exact != map.end()) return exact->second.get();
  }
  return it->second.get();
}

std::string StartupParameters::EntryKey(int location, const std::string& name) const {
  std::string key = NameKey(name);
  if (!IsFolderLocation(location)) return key;
  const TaskMap& map = entryMaps_[location];
  auto it = map.find(key);
  if (it == map.end() || it->second->name == name) return key;
  return key + '\x01' + name;
}

Task* StartupParameters::EditableEntry(int location, const std::string& name) {
  return const_cast<Task*>(Entry(location, name));
}

bool StartupParameters::LocationChanged(int location) const {
  return ValidLocation(location) && changedFlags_[location] != 0;
}

bool StartupParameters::AnyLocationChanged() const {
  for (int flag : changedFlags_) {
    if (flag != 0) return true;
  }
  return false;
}

bool StartupParameters::SetEntryEnabled(const std::string& name, int location, int enabled) {
  if (Task* task = EditableEntry(location, name); task && !task->readOnly) {
    int state = enabled != 0 ? 1 : 0;
    if (task->enabled == state) return false;
    task->enabled = state;
    changedFlags_[location] = 1;
  }
  return AnyLocationChanged();
}

void StartupParameters::SetLocationEnabled(int location, int value) {
  if (!ValidLocation(location)) return;
  for (auto& [key, task] : entryMaps_[location]) {
    if (task->readOnly) continue;
    task->enabled = value != 0 ? 1 : 0;
    changedFlags_[location] = 1;
  }
}

void StartupParameters::RemoveEntry(const std::string& name, int location) {
  Task* task = EditableEntry(location, name);
  // A service is disabled, never removed.
  if (!task || task->readOnly || IsServiceLocation(location)) return;
  task->removed = 1;
  changedFlags_[location] = 1;
}

void StartupParameters::RemoveAllEntries() {
  for (int location = 0; location < kLocationCount; ++location) {
    if (IsServiceLocation(location)) continue;
    for (auto& [key, task] : entryMaps_[location]) {
      if (task->readOnly) continue;
      task->removed = 1;
      changedFlags_[location] = 1;
    }
  }
}

void StartupParameters::RemoveDisabledEntries() {
  for (int location = 0; location < kLocationCount; ++location) {
    if (IsServiceLocation(location)) continue;
    for (auto& [key, task] : entryMaps_[location]) {
      if (task->enabled != 0 || task->readOnly) continue;
      task->removed = 1;
      changedFlags_[location] = 1;
    }
  }
}

bool StartupParameters::SetEntryCommand(const std::string& name, int location, const std::string& command) {
  Task* task = EditableEntry(location, name);
  if (!task || task->readOnly) return false;
  if (task->command != command) {
    task->command = command;
    DeriveFileName(System(), *task);
  }
  changedFlags_[location] = 1;
  return true;
}

bool StartupParameters::SetEntryIcon(int location, const std::string& name, platform::IconHandle icon) {
  Task* task = EditableEntry(location, name);
  if (!task) return false;
  task->icon = std::move(icon);
  return true;
}

bool StartupParameters::RereadProcessFigures(int location, const std::string& name) {
  Task* task = EditableEntry(location, name);
  if (!task) return false;
  task->memoryKB = 0;
  task->peakMemoryKB = 0;
  task->processProtected = 0;
  ReadProcessInfo(System(), ProgramPathOfValue(System(), task->command, task->valueType), *task);
  return true;
}

void StartupParameters::PutEntry(int location, std::unique_ptr<Task> task) {
  if (!ValidLocation(location) || !task) return;
  std::string key = EntryKey(location, task->name);
  entryMaps_[location][key] = std::move(task);
}

void StartupParameters::MarkChanged(int location) {
  if (ValidLocation(location)) changedFlags_[location] = 1;
}

void StartupParameters::MarkWritten(int location) {
  if (!ValidLocation(location)) return;
  changedFlags_[location] = 0;
  const std::string prefix = SnapshotKey(location, "");
  auto dropLocation = [&prefix](auto& pending) {
    for (auto it = pending.lower_bound(prefix); it != pending.end() && it->first.rfind(prefix, 0) == 0;) {
      it = pending.erase(it);
    }
  };
  dropLocation(pendingItems_);
  dropLocation(pendingValues_);
}

const RawValue* StartupParameters::PendingValue(const std::string& snapshotKey) const {
  auto it = pendingValues_.find(snapshotKey);
  return it == pendingValues_.end() ? nullptr : &it->second;
}

const std::string* StartupParameters::PendingItem(const std::string& snapshotKey) const {
  auto it = pendingItems_.find(snapshotKey);
  return it == pendingItems_.end() ? nullptr : &it->second;
}

void StartupParameters::SetPendingValue(const std::string& snapshotKey, RawValue value) {
  pendingValues_[snapshotKey] = std::move(value);
}

void StartupParameters::SetPendingItem(const std::string& snapshotKey, std::string bytes) {
  pendingItems_[snapshotKey] = std::move(bytes);
}

}  // namespace velmora
