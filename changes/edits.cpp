// Pending edits: they change only the entry maps and the change flags.
#include "base/text.h"
#include "changes/item_names.h"
#include "entries/module_version.h"
#include "entries/program_path.h"
#include "entries/startup_parameters.h"

namespace velmora {

bool StartupParameters::AnyLocationChanged() const {
  for (int flag : changedFlags) {
    if (flag != 0) return true;
  }
  return false;
}

bool StartupParameters::SetEntryEnabled(const std::string& name, int location, int enabled) {
  if (location >= 0 && location < kLocationCount) {
    auto it = entryMaps[location].find(ToLowerAscii(name));
    if (it != entryMaps[location].end()) {
      int state = enabled != 0 ? 1 : 0;
      if (it->second->enabled == state) return false;
      it->second->enabled = state;
      changedFlags[location] = 1;
    }
  }
  return AnyLocationChanged();
}

void StartupParameters::SetLocationEnabled(int location, int value) {
  if (location < 0 || location >= kLocationCount) return;
  for (auto& [key, task] : entryMaps[location]) {
    task->enabled = value != 0 ? 1 : 0;
    changedFlags[location] = 1;
  }
}

void StartupParameters::RemoveEntry(const std::string& name, int location) {
  if (location < 0 || location >= kLocationCount) return;
  auto it = entryMaps[location].find(ToLowerAscii(name));
  if (it == entryMaps[location].end()) return;
  it->second->removed = 1;
  changedFlags[location] = 1;
}

void StartupParameters::RemoveAllEntries() {
  for (int location = 0; location < kLocationCount; ++location) {
    for (auto& [key, task] : entryMaps[location]) {
      task->removed = 1;
      changedFlags[location] = 1;
    }
  }
}

void StartupParameters::RemoveDisabledEntries() {
  for (int location = 0; location < kLocationCount; ++location) {
    for (auto& [key, task] : entryMaps[location]) {
      if (task->enabled != 0) continue;
      task->removed = 1;
      changedFlags[location] = 1;
    }
  }
}

bool StartupParameters::AddEntry(std::unique_ptr<Task> task, int location, std::string* error) {
  auto refuse = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (!task) return refuse("no entry given");
  if (location < 0 || location >= kLocationCount || !HasLocation(location)) return refuse("no such location");
  if (task->name.empty()) return refuse("the entry needs a name");
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
    if (!folder.empty() && !changes::ItemPathInFolder(folder, task->name, &path, &why)) return refuse(why);
  }
  std::string key = ToLowerAscii(task->name);
  auto existing = entryMaps[location].find(key);
  if (existing != entryMaps[location].end() && existing->second->removed == 0) {
    return refuse("\"" + task->name + "\" already exists in " + LocationTag(location));
  }

  std::string name = task->name;
  task->location = -1;
  task->enabled = 1;
  task->removed = 0;
  std::string programPath = ExtractProgramPath(task->command);
  ModuleVersion versionReader;
  TaskMap filled;
  FillTask(std::move(task), location, programPath, programPath, versionReader, &filled);
  if (filled.empty()) return refuse("the entry could not be made");
  std::unique_ptr<Task> made = std::move(filled.begin()->second);
  made->location = -1;
  entryMaps[location][key] = std::move(made);
  pendingValues.erase(SnapshotKey(location, name));
  pendingItems.erase(SnapshotKey(location, name));
  changedFlags[location] = 1;
  return true;
}

}  // namespace velmora
