// Reading the store of disabled entries into the entry maps.
#include "base/text.h"
#include "changes/store.h"
#include "changes/store_layout.h"
#include "entries/module_version.h"
#include "entries/program_path.h"
#include "entries/scan_pass.h"
#include "entries/startup_parameters.h"

namespace velmora {

void StartupParameters::ReadDisabledTasks() {
  changes::Store store(*this);
  // The store key exists from the first reading on, also when it stays empty.
  if (!readOnly) store.OpenForWriting(nullptr);
  if (!store.Open(nullptr)) return;
  ScanPass pass;
  ModuleVersion versionReader;
  // The values are read whole first, so that deleting a stale one cannot make the
  // walk skip the value after it.
  for (const platform::RegistryValue& value : store.AllValues()) {
    int location = 0;
    std::string name;
    changes::ParseStoreValueName(value.name, &location, &name);
    // A location this system lacks (or a number no version knows): not ours to
    // judge, kept as it is.
    if (!HasLocation(location)) continue;
    std::string key = ToLowerAscii(name);
    auto existing = entryMaps[location].find(key);
    if (existing != entryMaps[location].end()) {
      // The location holds the entry again: the stored copy is stale.
      if (existing->second->enabled == 1 && !readOnly) store.Remove({location, name, value.name}, nullptr);
      continue;
    }
    auto task = std::make_unique<Task>();
    task->name = name;
    task->command = changes::ValueText(value.data);
    task->enabled = 0;
    task->storeValueName = value.name;
    // Enabling puts the original value back, with its own type.
    if (const platform::RegistryValue* original = store.RememberedValue({location, name, value.name})) {
      task->valueType = original->type;
    }
    std::string programPath = ExtractProgramPath(task->command);
    FillTask(std::move(task), location, programPath, programPath, versionReader, nullptr, true);
    if (refreshing != 0) {
      // The scans add no copies during a refresh; the store always does.
      auto copy = std::make_unique<Task>(*entryMaps[location][key]);
      copy->location = location;
      snapshot[SnapshotKey(location, name, true)] = std::move(copy);
    }
  }
}

}  // namespace velmora
