// The snapshot taken before an apply.
#include "changes/snapshot.h"

#include "changes/item_names.h"
#include "changes/store.h"
#include "changes/store_layout.h"
#include "entries/module_version.h"
#include "entries/program_path.h"
#include "entries/scan_pass.h"
#include "entries/services.h"
#include "entries/startup_approved.h"
#include "entries/value_command.h"
#include "platform/files.h"
#include "platform/managed_system.h"

namespace velmora::changes {

namespace {

// Every file directly in |folder| with its bytes. False when one could not be read.
bool ReadFolderItems(const std::string& folder, std::vector<RawItem>* items,
                     std::vector<platform::FoundItem>* found) {
  platform::FolderSearch search;
  if (!search.FindFirst(folder + "\\*.*")) return true;  // empty or missing: nothing to hold
  bool complete = true;
  do {
    const platform::FoundItem& item = search.Current();
    if (item.isDots || item.isDirectory || IsUnfinishedWriteItem(item.name)) continue;
    RawItem raw{item.name, ""};
    if (platform::files::ReadWholeFile(item.fullPath, &raw.bytes) != platform::kSuccess) complete = false;
    items->push_back(std::move(raw));
    if (found) found->push_back(item);
  } while (search.FindNext());
  return complete;
}

bool ReadValues(platform::HKey key, std::vector<RawValue>* out) {
  std::vector<platform::RegistryValue> values;
  if (platform::reg::ReadAllValues(key, &values) != platform::kSuccess) return false;
  for (platform::RegistryValue& value : values)
    out->push_back({value.name, value.type, std::move(value.data)});
  return true;
}

// True when the snapshot holds the entry |name| of |location| as a look-up by
// name finds it: in a Startup folder, an item of that name but for letter case.
bool SnapshotHolds(const StartupEntries& entries, int location, const std::string& name) {
  const TaskMap& snapshot = entries.Snapshot();
  const std::string key = SnapshotKey(location, name, true);
  if (snapshot.count(key)) return true;
  if (!IsFolderLocation(location)) return false;
  const std::string sameName = key.substr(0, key.size() - name.size());
  auto it = snapshot.lower_bound(sameName);
  return it != snapshot.end() && it->first.compare(0, sameName.size(), sameName) == 0;
}

}  // namespace

void TakeSnapshot(StartupEntries& entries, RawState* raw) {
  entries.ClearSnapshot();
  *raw = RawState();
  RawState& rawSnapshot = *raw;
  ScanPass pass(entries.System(), entries.RunningPass());
  ModuleVersion versionReader;

  for (int location = 0; location < kLocationCount; ++location) {
    if (IsFolderLocation(location)) {
      std::string folder = entries.StartupFolderPath(location);
      if (folder.empty()) continue;
      std::vector<platform::FoundItem> found;
      rawSnapshot.folders[location] = folder;
      rawSnapshot.readable[location] = ReadFolderItems(folder, &rawSnapshot.items[location], &found);
      for (const platform::FoundItem& item : found) {
        auto task = std::make_unique<Task>();
        task->name = item.name;
        task->command = item.fullPath;  // the item itself, not its target
        std::string programPath = ExtractProgramPath(task->command);
        entries.FillSnapshotTask(std::move(task), location, programPath, item.fullPath, versionReader);
      }
    } else if (IsServiceLocation(location)) {
      platform::UniqueKey key;
      if (!entries.OpenLocationKey(location, key.out())) continue;
      key.reset();
      std::vector<ServiceConfig> configs;
      rawSnapshot.readable[location] = ReadServiceConfigs(entries.System(), &configs);
      for (const ServiceConfig& config : configs) {
        rawSnapshot.services.push_back(StartStateOf(config));
        std::uint32_t number = 0;
        if (!config.StartsAutomatically() && !(config.HasStart() && !config.StartNumber(&number))) continue;
        std::string programPath;
        std::unique_ptr<Task> task = ServiceTask(config, &programPath);
        entries.FillSnapshotTask(std::move(task), location, programPath, programPath, versionReader);
      }
    } else {
      platform::UniqueKey key;
      if (!entries.OpenLocationKey(location, key.out())) {
        // A key that is not there holds nothing; roll-back then clears what an
        // apply put into the key it made.
        rawSnapshot.readable[location] = entries.LocationKeyMissing(location);
        continue;
      }
      rawSnapshot.readable[location] = ReadValues(key.get(), &rawSnapshot.values[location]);
      key.reset();
      for (const RawValue& value : rawSnapshot.values[location]) {
        auto task = std::make_unique<Task>();
        task->name = value.name;
        task->command = CommandOfValue(value.type, value.data);
        task->valueType = value.type;
        std::string programPath = ProgramPathOfValue(task->command, value.type);
        entries.FillSnapshotTask(std::move(task), location, programPath, programPath, versionReader);
      }
    }
  }

  Store store(entries);
  if (store.Open(nullptr)) {
    for (const platform::RegistryValue& value : store.AllValues()) {
      int location = 0;
      std::string name;
      ParseStoreValueName(value.name, &location, &name);
      if (!entries.HasLocation(location)) continue;
      if (SnapshotHolds(entries, location, name)) {
        // The location holds it: stale, unless the store keeps another entry of
        // that name (see ReadDisabledTasks).
        const Task* standing = entries.Entry(location, name);
        if (standing && store.StaleBeside({location, name, value.name}, *standing))
          store.Remove({location, name, value.name}, nullptr);
        continue;
      }
      std::string programPath;
      auto task = IsServiceLocation(location) ? StoredServiceTask(entries.System(), name, &programPath)
                                              : std::make_unique<Task>();
      task->name = name;
      task->command = ValueText(value.data);
      task->enabled = 0;
      task->storeValueName = value.name;
      if (!IsServiceLocation(location)) programPath = ExtractProgramPath(task->command);
      entries.FillSnapshotTask(std::move(task), location, programPath, programPath, versionReader, true);
    }
  }

  // The store as it now stands, with what it keeps of its entries.
  platform::UniqueKey key;
  platform::Status status = platform::reg::OpenKey(entries.System().CurrentUser(), DisabledTasksKeyPath(),
                                                   platform::kKeyRead, key.out());
  if (status == platform::kSuccess) {
    rawSnapshot.storeReadable = ReadValues(key.get(), &rawSnapshot.store);
  } else {
    rawSnapshot.storeReadable = status == platform::kFileNotFound;  // no store yet: an empty one
  }
  status = platform::reg::OpenKey(entries.System().CurrentUser(), StoreDataKeyPath(), platform::kKeyRead,
                                  key.out());
  if (status == platform::kSuccess) {
    if (!ReadValues(key.get(), &rawSnapshot.storeData)) rawSnapshot.storeReadable = false;
    key.reset();
  } else if (status != platform::kFileNotFound) {
    rawSnapshot.storeReadable = false;
  }
  if (!AllKeptServiceStates(entries.System(), &rawSnapshot.keptServices)) rawSnapshot.storeReadable = false;
  for (int location : {kLmStartupFolder, kCuStartupFolder}) {
    std::string folder = KeptItemsFolder(location);
    if (!folder.empty() && !ReadFolderItems(folder, &rawSnapshot.keptItems[location], nullptr)) {
      rawSnapshot.storeReadable = false;
    }
  }
  if (entries.HonoursStartupApproved()) {
    for (int location = 0; location < kLocationCount; ++location) {
      if (!entries.HasLocation(location)) continue;
      for (platform::RegistryValue& mark : DisabledMarks(entries.System(), location))
        rawSnapshot.disabledMarks[location].push_back({mark.name, mark.type, std::move(mark.data)});
    }
  }
  rawSnapshot.valid = true;
}

}  // namespace velmora::changes
