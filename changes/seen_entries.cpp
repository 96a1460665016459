#include "changes/seen_entries.h"

#include "base/names.h"
#include "base/text.h"
#include "changes/startup_parameters.h"
#include "changes/store_layout.h"
#include "entries/startup_location.h"
#include "platform/managed_system.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace velmora::changes {

namespace {

std::string Why(platform::Status status) {
  const std::string& detail = platform::LastErrorDetail();
  return detail.empty() ? "error " + std::to_string(status) : detail;
}

std::string RecordKey(int location, const std::string& name) {
  return std::to_string(location) + "|" + NameKey(name);
}

}  // namespace

std::string SeenEntriesKeyPath() { return ProgramKeyPath() + "\\SeenEntries"; }

SeenEntries SeenEntries::Read(platform::ManagedSystem& system) {
  SeenEntries seen;
  platform::UniqueKey key;
  if (platform::reg::OpenKey(system.CurrentUser(), SeenEntriesKeyPath(), platform::kKeyRead, key.out()) !=
      platform::kSuccess) {
    return seen;
  }
  std::vector<platform::RegistryValue> values;
  if (platform::reg::ReadAllValues(key.get(), &values) == platform::kSuccess) {
    seen.exists_ = true;
    for (const platform::RegistryValue& value : values) {
      int location = 0;
      std::string name;
      ParseStoreValueName(value.name, &location, &name);
      seen.commands_[RecordKey(location, name)] = ValueText(value.data);
    }
  }
  return seen;
}

SeenState SeenEntries::StateOf(int location, const Task& task) const {
  if (!exists_) return SeenState::kSeen;
  auto found = commands_.find(RecordKey(location, task.name));
  if (found == commands_.end()) return SeenState::kNew;
  return found->second == task.command ? SeenState::kSeen : SeenState::kChanged;
}

bool SeenEntries::Write(const StartupParameters& model, std::string* error) {
  // The old record goes as a whole, so that entries that are gone leave it too.
  platform::Status status = platform::reg::DeleteTree(model.System().CurrentUser(), SeenEntriesKeyPath());
  if (status != platform::kSuccess && status != platform::kFileNotFound) {
    if (error) *error = "the record of seen entries could not be replaced: " + Why(status);
    return false;
  }
  platform::UniqueKey key;
  status = platform::reg::CreateKey(model.System().CurrentUser(), SeenEntriesKeyPath(), key.out());
  if (status != platform::kSuccess) {
    if (error) *error = "the record of seen entries could not be created: " + Why(status);
    return false;
  }
  for (int location = 0; location < kLocationCount; ++location) {
    for (const auto& [mapKey, task] : model.Entries(location)) {
      if (task->removed) continue;
      status = platform::reg::SetString(key.get(), StoreValueName(location, task->name), task->command);
      if (status != platform::kSuccess) break;
    }
    if (status != platform::kSuccess) break;
  }
  if (status != platform::kSuccess) {
    if (error) *error = "the record of seen entries could not be written: " + Why(status);
    return false;
  }
  return true;
}

}  // namespace velmora::changes
