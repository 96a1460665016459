// Reading the store of disabled entries into the entry maps.
#include "base/text.h"
#include "changes/store.h"
#include "changes/store_layout.h"
#include "entries/module_version.h"
#include "entries/program_path.h"
#include "entries/scan_pass.h"

namespace velmora::changes {

void ReadDisabledTasks(StartupEntries& entries) {
  Store store(entries);
  // The store key exists from the first reading on, also when it stays empty.
  if (!entries.ReadOnly()) store.OpenForWriting(nullptr);
  if (!store.Open(nullptr)) return;
  ScanPass pass(entries.RunningPass());
  ModuleVersion versionReader;
  // The values are read whole first, so that deleting a stale one cannot make the
  // walk skip the value after it.
  for (const platform::RegistryValue& value : store.AllValues()) {
    int location = 0;
    std::string name;
    ParseStoreValueName(value.name, &location, &name);
    // A location this system lacks (or a number no version knows): not ours to
    // judge, kept as it is.
    if (!entries.HasLocation(location)) continue;
    if (const Task* existing = entries.Entry(location, name)) {
      // The location holds the entry again: the stored copy is stale.
      if (existing->enabled == 1 && !entries.ReadOnly()) store.Remove({location, name, value.name}, nullptr);
      continue;
    }
    auto task = std::make_unique<Task>();
    task->name = name;
    task->command = ValueText(value.data);
    task->enabled = 0;
    task->storeValueName = value.name;
    // Enabling puts the original value back, with its own type.
    if (const platform::RegistryValue* original = store.RememberedValue({location, name, value.name})) {
      task->valueType = original->type;
    }
    std::string programPath = ExtractProgramPath(task->command);
    entries.FillTask(std::move(task), location, programPath, programPath, versionReader, nullptr, true);
    // The scans add no copies during a refresh; the store always does.
    if (entries.Refreshing()) entries.CopyToSnapshot(location, name, true);
  }
}

}  // namespace velmora::changes
