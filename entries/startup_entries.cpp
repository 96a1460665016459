// The entries held, their edits and change flags, and the pending forms.
#include "entries/startup_entries.h"

#include "base/names.h"
#include "base/text.h"
#include "entries/module_version.h"
#include "entries/process_info.h"
#include "entries/program_path.h"
#include "entries/value_command.h"
#include "platform/managed_system.h"

namespace velmora {

namespace {

bool ValidLocation(int location) { return location >= 0 && location < kLocationCount; }

}  // namespace

StartupEntries::StartupEntries(platform::ManagedSystem& system, const ProgramContext& context)
    : system_(system), context_(context), honoursStartupApproved_(system.KeepsStartupApproved()) {}

StartupEntries::~StartupEntries() = default;

void StartupEntries::FillSnapshotTask(std::unique_ptr<Task> task, int location,
                                      const std::string& programPath, const std::string& versionSource,
                                      ModuleVersion& versionReader, bool storeForm) {
  FillTask(std::move(task), location, programPath, versionSource, versionReader, &snapshot_, storeForm);
}

std::unique_ptr<Task> StartupEntries::MakeEntry(std::unique_ptr<Task> task, int location,
                                                ModuleVersion& versionReader) {
  std::string programPath = ProgramPathOfValue(system_, task->command, task->valueType);
  TaskMap filled;
  FillTask(std::move(task), location, programPath, programPath, versionReader, &filled);
  if (filled.empty()) return nullptr;
  std::unique_ptr<Task> made = std::move(filled.begin()->second);
  made->location = -1;
  return made;
}

const TaskMap& StartupEntries::Entries(int location) const {
  static const TaskMap kNone;
  return ValidLocation(location) ? entryMaps_[location] : kNone;
}

const Task* StartupEntries::Entry(int location, const std::string& name) const {
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

std::string StartupEntries::EntryKey(int location, const std::string& name) const {
  std::string key = NameKey(name);
  if (!IsFolderLocation(location)) return key;
  const TaskMap& map = entryMaps_[location];
  auto it = map.find(key);
  if (it == map.end() || it->second->name == name) return key;
  return key + '\x01' + name;
}

std::vector<const Task*> StartupEntries::AllEntries() const {
  std::vector<const Task*> all;
  for (const TaskMap& map : entryMaps_) {
    for (const auto& entry : map) all.push_back(entry.second.get());
  }
  return all;
}

Task* StartupEntries::EditableEntry(int location, const std::string& name) {
  return const_cast<Task*>(Entry(location, name));
}

std::vector<Task*> StartupEntries::EntriesToRate() {
  std::vector<Task*> all;
  for (TaskMap& map : entryMaps_) {
    for (auto& entry : map) all.push_back(entry.second.get());
  }
  return all;
}

bool StartupEntries::LocationChanged(int location) const {
  return ValidLocation(location) && changedFlags_[location] != 0;
}

bool StartupEntries::AnyLocationChanged() const {
  for (int flag : changedFlags_) {
    if (flag != 0) return true;
  }
  return false;
}

bool StartupEntries::SetEntryEnabled(const std::string& name, int location, int enabled) {
  if (Task* task = EditableEntry(location, name); task && !task->readOnly) {
    int state = enabled != 0 ? 1 : 0;
    if (task->enabled == state) return false;
    task->enabled = state;
    changedFlags_[location] = 1;
  }
  return AnyLocationChanged();
}

void StartupEntries::SetLocationEnabled(int location, int value) {
  if (!ValidLocation(location)) return;
  for (auto& [key, task] : entryMaps_[location]) {
    if (task->readOnly) continue;
    task->enabled = value != 0 ? 1 : 0;
    changedFlags_[location] = 1;
  }
}

void StartupEntries::RemoveEntry(const std::string& name, int location) {
  Task* task = EditableEntry(location, name);
  // A service is disabled, never removed.
  if (!task || task->readOnly || IsServiceLocation(location)) return;
  task->removed = 1;
  changedFlags_[location] = 1;
}

void StartupEntries::RemoveAllEntries() {
  for (int location = 0; location < kLocationCount; ++location) {
    if (IsServiceLocation(location)) continue;
    for (auto& [key, task] : entryMaps_[location]) {
      if (task->readOnly) continue;
      task->removed = 1;
      changedFlags_[location] = 1;
    }
  }
}

void StartupEntries::RemoveDisabledEntries() {
  for (int location = 0; location < kLocationCount; ++location) {
    if (IsServiceLocation(location)) continue;
    for (auto& [key, task] : entryMaps_[location]) {
      if (task->enabled != 0 || task->readOnly) continue;
      task->removed = 1;
      changedFlags_[location] = 1;
    }
  }
}

bool StartupEntries::SetEntryCommand(const std::string& name, int location, const std::string& command) {
  Task* task = EditableEntry(location, name);
  if (!task || task->readOnly) return false;
  if (task->command != command) {
    task->command = command;
    DeriveFileName(system_, *task);
  }
  changedFlags_[location] = 1;
  return true;
}

bool StartupEntries::SetEntryIcon(int location, const std::string& name, platform::IconHandle icon) {
  Task* task = EditableEntry(location, name);
  if (!task) return false;
  task->icon = std::move(icon);
  return true;
}

bool StartupEntries::RereadProcessFigures(int location, const std::string& name) {
  Task* task = EditableEntry(location, name);
  if (!task) return false;
  task->memoryKB = 0;
  task->peakMemoryKB = 0;
  task->processProtected = 0;
  ReadProcessInfo(system_, ProgramPathOfValue(system_, task->command, task->valueType), *task);
  return true;
}

void StartupEntries::PutEntry(int location, std::unique_ptr<Task> task) {
  if (!ValidLocation(location) || !task) return;
  std::string key = EntryKey(location, task->name);
  entryMaps_[location][key] = std::move(task);
}

void StartupEntries::MarkChanged(int location) {
  if (ValidLocation(location)) changedFlags_[location] = 1;
}

void StartupEntries::MarkWritten(int location) {
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

void StartupEntries::ClearEntries() {
  for (TaskMap& map : entryMaps_) map.clear();
  pendingValues_.clear();
  pendingItems_.clear();
}

void StartupEntries::CopyToSnapshot(int location, const std::string& name, bool storeForm) {
  const Task* task = Entry(location, name);
  if (!task) return;
  auto copy = std::make_unique<Task>(*task);
  copy->location = location;
  snapshot_[SnapshotKey(location, name, storeForm)] = std::move(copy);
}

const RawValue* StartupEntries::PendingValue(const std::string& snapshotKey) const {
  auto it = pendingValues_.find(snapshotKey);
  return it == pendingValues_.end() ? nullptr : &it->second;
}

const std::string* StartupEntries::PendingItem(const std::string& snapshotKey) const {
  auto it = pendingItems_.find(snapshotKey);
  return it == pendingItems_.end() ? nullptr : &it->second;
}

void StartupEntries::SetPendingValue(const std::string& snapshotKey, RawValue value) {
  pendingValues_[snapshotKey] = std::move(value);
}

void StartupEntries::SetPendingItem(const std::string& snapshotKey, std::string bytes) {
  pendingItems_[snapshotKey] = std::move(bytes);
}

}  // namespace velmora
