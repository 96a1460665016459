// Reading the store of disabled entries into the entry maps.
#include "base/text.h"
#include "changes/startup_parameters.h"
#include "changes/store.h"
#include "changes/store_layout.h"
#include "entries/program_path.h"
#include "entries/services.h"
#include "entries/value_command.h"
#include "platform/managed_system.h"

namespace velmora::changes {

// A service Velmora disabled, as its key now stands (its start on demand); a bare
// task when the key is gone.
std::unique_ptr<Task> StoredServiceTask(platform::ManagedSystem& system, const std::string& name,
                                        std::string* programPath) {
  ServiceConfig config;
  if (!ReadServiceConfig(system, name, &config)) return std::make_unique<Task>();
  return ServiceTask(system, config, programPath);
}

std::unique_ptr<Task> StoredTask(platform::ManagedSystem& system, const Store& store,
                                 const platform::RegistryValue& value, int location, const std::string& name,
                                 std::string* programPath) {
  auto task =
      IsServiceLocation(location) ? StoredServiceTask(system, name, programPath) : std::make_unique<Task>();
  task->name = name;
  task->command = ValueText(value.data);
  task->enabled = 0;
  task->storeValueName = value.name;
  // Enabling puts the original value back, with its own type.
  if (const platform::RegistryValue* original = store.RememberedValue({location, name, value.name})) {
    task->valueType = original->type;
    task->command = CommandOfValue(original->type, original->data);
  }
  if (!IsServiceLocation(location)) *programPath = ProgramPathOfValue(system, task->command, task->valueType);
  return task;
}

}  // namespace velmora::changes

namespace velmora {

void StartupParameters::ReadDisabledTasks() {
  changes::Store store(*this);
  // Reading creates nothing: the store key comes with the first entry put into it.
  if (!store.Open(nullptr)) return;
  EntryFiller filler(System(), context_, runningPass_, honoursStartupApproved_);
  // The values are read whole first, so that deleting a stale one cannot make the
  // walk skip the value after it.
  for (const platform::RegistryValue& value : store.AllValues()) {
    int location = 0;
    std::string name;
    changes::ParseStoreValueName(value.name, &location, &name);
    // A location this system lacks (or a number no version knows): not ours to
    // judge, kept as it is.
    if (!HasLocation(location)) continue;
    if (const Task* existing = Entry(location, name)) {
      // The location holds the entry again. The stored copy is stale when it keeps
      // nothing more than what stands there (enabling was cut short); otherwise
      // the program registered itself anew, and the kept entry stays beside it.
      const changes::StoredEntry stored{location, name, value.name};
      if (store.StaleBeside(stored, *existing)) {
        if (existing->enabled == 1 && !readOnly_) store.Remove(stored, nullptr);
      } else if (Task* standing = EditableEntry(location, name)) {
        standing->keptCommand = changes::ValueText(value.data);
      }
      continue;
    }
    std::string programPath;
    std::unique_ptr<Task> task = changes::StoredTask(System(), store, value, location, name, &programPath);
    filler.FillTask(*task, location, programPath, programPath, readOnlyReasons_[location]);
    PutRead(location, std::move(task), true);
  }
}

}  // namespace velmora
