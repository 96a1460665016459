// The snapshot taken before an apply.
#include "changes/snapshot.h"

#include "changes/item_names.h"
#include "changes/startup_parameters.h"
#include "changes/store.h"
#include "changes/store_layout.h"
#include "entries/services.h"
#include "entries/startup_approved.h"
#include "platform/files.h"
#include "platform/managed_system.h"

namespace velmora {

namespace {

// The bytes of every file of a folder location as read; false when one could not
// be read.
bool ReadItemBytes(platform::ManagedSystem& system, const std::vector<platform::FoundItem>& found,
                   std::vector<RawItem>* items) {
  bool complete = true;
  for (const platform::FoundItem& item : found) {
    RawItem raw{item.name, ""};
    if (platform::files::ReadWholeFile(system, item.fullPath, &raw.bytes) != platform::kSuccess)
      complete = false;
    items->push_back(std::move(raw));
  }
  return complete;
}

// Every file directly in |folder| with its bytes. False when one could not be read.
bool ReadFolderItems(platform::ManagedSystem& system, const std::string& folder,
                     std::vector<RawItem>* items) {
  platform::FolderSearch search(system);
  if (!search.FindFirst(folder + "\\*.*")) return true;  // empty or missing: nothing to hold
  std::vector<platform::FoundItem> found;
  do {
    const platform::FoundItem& item = search.Current();
    if (item.isDots || item.isDirectory || IsUnfinishedWriteItem(item.name)) continue;
    found.push_back(item);
  } while (search.FindNext());
  return ReadItemBytes(system, found, items);
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
bool SnapshotHolds(const TaskMap& snapshot, int location, const std::string& name) {
  const std::string key = SnapshotKey(location, name, true);
  if (snapshot.count(key)) return true;
  if (!IsFolderLocation(location)) return false;
  const std::string sameName = key.substr(0, key.size() - name.size());
  auto it = snapshot.lower_bound(sameName);
  return it != snapshot.end() && it->first.compare(0, sameName.size(), sameName) == 0;
}

}  // namespace

void StartupParameters::TakeSnapshot() {
  rollBackDone_ = false;
  snapshot_ = changes::Snapshot();
  changes::RawState& raw = snapshot_.raw;
  EntryFiller filler(System(), context_, runningPass_, honoursStartupApproved_);

  for (int location = 0; location < kLocationCount; ++location) {
    if (!HasLocation(location)) continue;
    LocationContents contents = ReadLocation(System(), location);
    if (IsFolderLocation(location)) {
      if (!contents.found) continue;
      raw.folders[location] = contents.folder;
      raw.readable[location] = ReadItemBytes(System(), contents.items, &raw.items[location]);
    } else if (!contents.found || !contents.readOnlyReason.empty()) {
      // A key that is not there holds nothing; roll-back then clears what an
      // apply put into the key it made. One that opens for reading only is not
      // written back.
      raw.readable[location] = !contents.found && LocationKeyMissing(location);
      continue;
    } else {
      raw.readable[location] = contents.complete;
      raw.values[location] = contents.values;
      for (const ServiceConfig& config : contents.services)
        raw.services.push_back(changes::StartStateOf(config));
    }
    // The items of a folder as they are, not their targets.
    for (FoundEntry& found : EntriesOf(System(), contents, context_, filler.Pass(), false)) {
      filler.FillTask(*found.task, location, found.programPath, found.VersionSource(),
                      readOnlyReasons_[location]);
      found.task->location = location;
      std::string key = SnapshotKey(location, found.task->name);
      snapshot_.entries[key] = std::move(found.task);
    }
  }

  changes::Store store(*this);
  if (store.Open(nullptr)) {
    for (const platform::RegistryValue& value : store.AllValues()) {
      int location = 0;
      std::string name;
      changes::ParseStoreValueName(value.name, &location, &name);
      if (!HasLocation(location)) continue;
      if (SnapshotHolds(snapshot_.entries, location, name)) {
        // The location holds it: stale, unless the store keeps another entry of
        // that name (see ReadDisabledTasks).
        const Task* standing = Entry(location, name);
        if (standing && store.StaleBeside({location, name, value.name}, *standing))
          store.Remove({location, name, value.name}, nullptr);
        continue;
      }
      std::string programPath;
      std::unique_ptr<Task> task = changes::StoredTask(System(), store, value, location, name, &programPath);
      filler.FillTask(*task, location, programPath, programPath, readOnlyReasons_[location]);
      task->location = location;
      snapshot_.entries[SnapshotKey(location, name, true)] = std::move(task);
    }
  }

  // The store as it now stands, with what it keeps of its entries.
  platform::UniqueKey key;
  platform::Status status =
      platform::reg::OpenKey(System().CurrentUser(), DisabledTasksKeyPath(), platform::kKeyRead, key.out());
  if (status == platform::kSuccess) {
    raw.storeReadable = ReadValues(key.get(), &raw.store);
  } else {
    raw.storeReadable = status == platform::kFileNotFound;  // no store yet: an empty one
  }
  status = platform::reg::OpenKey(System().CurrentUser(), changes::StoreDataKeyPath(), platform::kKeyRead,
                                  key.out());
  if (status == platform::kSuccess) {
    if (!ReadValues(key.get(), &raw.storeData)) raw.storeReadable = false;
    key.reset();
  } else if (status != platform::kFileNotFound) {
    raw.storeReadable = false;
  }
  if (!changes::AllKeptServiceStates(System(), &raw.keptServices)) raw.storeReadable = false;
  for (int location : {kLmStartupFolder, kCuStartupFolder}) {
    std::string folder = changes::KeptItemsFolder(System(), location);
    if (!folder.empty() && !ReadFolderItems(System(), folder, &raw.keptItems[location]))
      raw.storeReadable = false;
  }
  if (honoursStartupApproved_) {
    for (int location = 0; location < kLocationCount; ++location) {
      if (!HasLocation(location)) continue;
      for (platform::RegistryValue& mark : DisabledMarks(System(), location))
        raw.disabledMarks[location].push_back({mark.name, mark.type, std::move(mark.data)});
    }
  }
  raw.valid = true;
}

}  // namespace velmora
