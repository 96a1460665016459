// Profiles: named configurations of the startup locations, saved and loaded whole.
//
// Layout of one profile, HKCU\Software\Orlinsk\Velmora\Profiles\<name>:
//
//   Entries\   one value per entry, named "%d|%s" as in DisabledTasks (location
//              number, entry name). For a Run or RunOnce entry the value exactly
//              as it stands in its location, or stood there before it was
//              disabled: its own type (REG_SZ, REG_EXPAND_SZ, ...) and bytes. For a
//              Startup-folder entry its command (the shortcut's target, or the
//              item's own path) as REG_SZ.
//   Disabled\  a REG_DWORD 1 under the same value name for each entry that is
//              disabled in the profile; enabled entries have none.
//   Items\     REG_BINARY under the same value name: the exact bytes of a
//              Startup-folder item (a shortcut with its arguments, working folder
//              and icon), for items of at most 64 KiB. A larger item, or one whose
//              bytes were not at hand, is restored from its command.
//   "Locations" REG_SZ, the numbers of the locations the profile holds joined by
//              "|" (for example 0|1|2|3|4|5|6|7): every location the system had
//              when it was saved. Loading changes only those locations. A profile
//              without it holds locations 0-5.
//   "Version"  REG_DWORD 1, written last. A profile key without it is incomplete
//              (its saving was interrupted) and is not loaded.
#include "changes/profiles.h"

#include <algorithm>
#include <set>

#include "base/names.h"
#include "base/text.h"
#include "changes/item_names.h"
#include "changes/startup_parameters.h"
#include "changes/store.h"
#include "changes/store_layout.h"
#include "changes/value_forms.h"
#include "changes/write_steps.h"
#include "entries/value_command.h"
#include "entries/wine_start.h"
#include "platform/files.h"
#include "platform/managed_system.h"

namespace velmora {

namespace {

constexpr std::uint32_t kProfileVersion = 1;
constexpr std::size_t kMaxProfileItemBytes = 64 * 1024;

std::string ProfileKeyPath(const std::string& name) { return ProfilesKeyPath() + "\\" + name; }

bool ValidProfileName(const std::string& name) {
  if (name.size() > 255) return false;
  for (char c : name) {
    if (c == '\\' || c == '|' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

std::string DwordData(std::uint32_t value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return data;
}

std::string LocationsText(const std::vector<int>& locations) {
  std::string text;
  for (int location : locations) text += (text.empty() ? "" : "|") + std::to_string(location);
  return text;
}

// The locations a profile holds, from its "Locations" value; a profile saved
// before that value existed holds the six common locations.
std::array<bool, kLocationCount> HeldLocations(platform::ManagedSystem& system,
                                               const std::string& profilePath) {
  std::array<bool, kLocationCount> held{};
  std::string text;
  platform::UniqueKey key;
  bool found = false;
  if (platform::reg::OpenKey(system.CurrentUser(), profilePath, platform::kKeyRead, key.out()) ==
      platform::kSuccess) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data(256);
    std::uint32_t size = static_cast<std::uint32_t>(data.size());
    if (platform::reg::QueryValue(key.get(), "Locations", &type, data.data(), &size) == platform::kSuccess &&
        type == platform::kRegSz) {
      text = changes::ValueText(std::string(reinterpret_cast<const char*>(data.data()), size));
      found = true;
    }
  }
  if (!found) {
    for (int location = 0; location < kCommonLocationCount; ++location) held[location] = true;
    return held;
  }
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t bar = text.find('|', start);
    std::string part = text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    bool digits =
        !part.empty() && part.size() <= 2 && part.find_first_not_of("0123456789") == std::string::npos;
    if (digits) {
      int location = std::stoi(part);
      if (location < kLocationCount) held[location] = true;
    }
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return held;
}

std::uint32_t DwordValue(const std::string& data) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && i < data.size(); ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  }
  return value;
}

// Values of a subkey of HKCU by lower-cased name; empty when the key is missing.
std::map<std::string, platform::RegistryValue> ReadKeyValues(platform::ManagedSystem& system,
                                                             const std::string& path, bool* readable) {
  std::map<std::string, platform::RegistryValue> out;
  platform::UniqueKey key;
  platform::Status status = platform::reg::OpenKey(system.CurrentUser(), path, platform::kKeyRead, key.out());
  if (status != platform::kSuccess) {
    if (status != platform::kFileNotFound && readable) *readable = false;
    return out;
  }
  std::vector<platform::RegistryValue> values;
  if (platform::reg::ReadAllValues(key.get(), &values) != platform::kSuccess && readable) *readable = false;
  for (platform::RegistryValue& value : values) {
    std::string lower = NameKey(value.name);
    out[lower] = std::move(value);
  }
  return out;
}

// One entry as a profile holds it.
struct ProfileEntry {
  int location = 0;
  std::string name;
  RawValue value;  // registry form, or the command as REG_SZ
  bool enabled = true;
  bool hasItem = false;
  std::string item;
};

// ---- saving -------------------------------------------------------------------------

// What a profile holds: every entry of the model as it stands, with the exact
// form each has (or had) on disk, and the locations the system has.
struct ProfileContents {
  std::vector<ProfileEntry> entries;
  std::vector<int> held;
};

// A Startup-folder entry: its command, and the item's bytes where they are at hand
// (the item in its folder, the store's kept copy, or what a loaded profile brought).
ProfileEntry FolderEntry(const StartupParameters& model, const changes::Store& store,
                         const std::string& folder, const Task& task, int location) {
  ProfileEntry entry;
  entry.location = location;
  entry.name = task.name;
  entry.value = {task.name, platform::kRegSz, changes::StringData(task.command)};
  entry.enabled = task.enabled != 0;
  std::string bytes, path;
  bool have = false;
  if (entry.enabled && changes::ItemPathInFolder(model.System(), folder, task.name, &path) &&
      platform::files::Exists(model.System(), path) &&
      !platform::files::DirectoryExists(model.System(), path)) {
    have = platform::files::ReadWholeFile(model.System(), path, &bytes) == platform::kSuccess;
  } else if (!entry.enabled) {
    have = store.KeptItem(changes::StoredEntryOf(task, location), &bytes);
  }
  if (!have) {
    if (const std::string* pending = model.PendingItem(SnapshotKey(location, task.name))) {
      bytes = *pending;
      have = true;
    }
  }
  if (have && bytes.size() <= kMaxProfileItemBytes) {
    entry.hasItem = true;
    entry.item = std::move(bytes);
  }
  return entry;
}

// A registry entry: the value in the form it has on disk, had before it was
// disabled, or that a loaded profile brought, when its command is the entry's.
ProfileEntry RegistryEntry(const StartupParameters& model, const changes::Store& store,
                           const std::map<std::string, RawValue>& disk, const std::string& lower,
                           const Task& task, int location) {
  ProfileEntry entry;
  entry.location = location;
  entry.name = task.name;
  entry.enabled = task.enabled != 0;
  std::vector<RawValue> known;
  if (const RawValue* pending = model.PendingValue(SnapshotKey(location, task.name)))
    known.push_back(*pending);
  auto onDisk = disk.find(lower);
  const platform::RegistryValue* remembered = store.RememberedValue(changes::StoredEntryOf(task, location));
  if (entry.enabled && onDisk != disk.end()) known.push_back(onDisk->second);
  if (remembered) known.push_back(changes::FromRegistry(*remembered));
  if (!entry.enabled && onDisk != disk.end()) known.push_back(onDisk->second);
  entry.value = changes::ValueToWrite(task.name, task.command, known);
  return entry;
}

// The values of a registry location as they stand, by lower-cased name.
std::map<std::string, RawValue> ValuesOnDisk(platform::ManagedSystem& system, int location) {
  std::map<std::string, RawValue> disk;
  if (!IsRegistryLocation(location)) return disk;
  for (RawValue& value : ReadLocation(system, location).values) {
    std::string lower = NameKey(value.name);
    disk[lower] = std::move(value);
  }
  return disk;
}

ProfileContents GatherProfile(const StartupParameters& model, const changes::Store& store) {
  ProfileContents contents;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!model.HasLocation(location)) continue;
    contents.held.push_back(location);
    const std::string folder = IsFolderLocation(location) ? model.StartupFolderPath(location) : "";
    const std::map<std::string, RawValue> disk = ValuesOnDisk(model.System(), location);
    for (const auto& [lower, task] : model.Entries(location)) {
      if (task->removed) continue;
      contents.entries.push_back(IsFolderLocation(location)
                                     ? FolderEntry(model, store, folder, *task, location)
                                     : RegistryEntry(model, store, disk, lower, *task, location));
    }
  }
  return contents;
}

// The keys of a profile being written.
struct ProfileKeys {
  platform::UniqueKey profile, entries, disabled, items;
};

platform::Status CreateProfileKeys(platform::ManagedSystem& system, const std::string& path,
                                   ProfileKeys* keys) {
  platform::Status status = platform::reg::CreateKey(system.CurrentUser(), path, keys->profile.out());
  if (status == platform::kSuccess)
    status = platform::reg::CreateKey(keys->profile.get(), "Entries", keys->entries.out());
  if (status == platform::kSuccess)
    status = platform::reg::CreateKey(keys->profile.get(), "Disabled", keys->disabled.out());
  if (status == platform::kSuccess)
    status = platform::reg::CreateKey(keys->profile.get(), "Items", keys->items.out());
  changes::CountWrite();
  return status;
}

// Writes each entry: its value, its disabled mark, its item bytes.
platform::Status WriteProfileEntries(const ProfileKeys& keys, const std::vector<ProfileEntry>& entries,
                                     std::string* failedValue) {
  std::set<std::string> valueNames;
  for (const ProfileEntry& entry : entries) {
    // Items of a Startup folder whose names differ only in case are two entries,
    // but one registry value name: the location number takes leading zeros
    // ("05|FOO.lnk") until the name is one of its own; readers parse it the same.
    std::string valueName = changes::StoreValueName(entry.location, entry.name);
    while (!valueNames.insert(NameKey(valueName)).second) valueName.insert(0, "0");
    platform::Status status =
        changes::SetRawValue(keys.entries.get(), valueName, entry.value.type, entry.value.data);
    if (status == platform::kSuccess && !entry.enabled)
      status = changes::SetRawValue(keys.disabled.get(), valueName, platform::kRegDword, DwordData(1));
    if (status == platform::kSuccess && entry.hasItem)
      status = changes::SetRawValue(keys.items.get(), valueName, platform::kRegBinary, entry.item);
    if (status != platform::kSuccess) {
      *failedValue = valueName;
      return status;
    }
  }
  return platform::kSuccess;
}

// Writes a whole profile under |path|, "Version" last; |why| says what failed.
// Its keys are closed when it returns.
bool WriteProfile(platform::ManagedSystem& system, const std::string& path, const std::string& keyName,
                  const ProfileContents& contents, std::string* why) {
  ProfileKeys keys;
  platform::Status status = CreateProfileKeys(system, path, &keys);
  if (status != platform::kSuccess) {
    *why = changes::FailureText("create the profile " + keyName, status);
    return false;
  }
  std::string failedValue;
  status = WriteProfileEntries(keys, contents.entries, &failedValue);
  if (status != platform::kSuccess) {
    *why = changes::FailureText("write the entry " + failedValue + " of the profile", status);
    return false;
  }
  status = changes::SetRawValue(keys.profile.get(), "Locations", platform::kRegSz,
                                changes::StringData(LocationsText(contents.held)));
  if (status == platform::kSuccess)
    status =
        changes::SetRawValue(keys.profile.get(), "Version", platform::kRegDword, DwordData(kProfileVersion));
  if (status != platform::kSuccess) {
    *why = changes::FailureText("finish the profile " + keyName, status);
    return false;
  }
  return true;
}

// ---- loading ------------------------------------------------------------------------

// What a profile's keys hold, by lower-cased value name.
struct ProfileValues {
  std::map<std::string, platform::RegistryValue> entries, disabled, items;
};

// Opens the profile and checks that its saving finished in the layout this
// version reads; false with |why| set otherwise.
bool CheckProfileVersion(platform::ManagedSystem& system, const std::string& path, const std::string& name,
                         std::string* why) {
  platform::UniqueKey key;
  platform::Status status = platform::reg::OpenKey(system.CurrentUser(), path, platform::kKeyRead, key.out());
  if (status == platform::kFileNotFound) {
    *why = "there is no profile named \"" + name + "\"";
    return false;
  }
  if (status != platform::kSuccess) {
    *why = changes::FailureText("open the profile " + name, status);
    return false;
  }
  std::uint32_t type = 0;
  std::uint8_t versionBytes[4] = {};
  std::uint32_t size = sizeof versionBytes;
  status = platform::reg::QueryValue(key.get(), "Version", &type, versionBytes, &size);
  if (status != platform::kSuccess || type != platform::kRegDword || size != 4) {
    *why = "the profile \"" + name + "\" is incomplete (its saving did not finish)";
    return false;
  }
  if (DwordValue(std::string(reinterpret_cast<char*>(versionBytes), 4)) != kProfileVersion) {
    *why = "the profile \"" + name + "\" has a layout this version cannot read";
    return false;
  }
  return true;
}

bool ReadProfileValues(platform::ManagedSystem& system, const std::string& path, ProfileValues* values) {
  bool readable = true;
  values->entries = ReadKeyValues(system, path + "\\Entries", &readable);
  values->disabled = ReadKeyValues(system, path + "\\Disabled", &readable);
  values->items = ReadKeyValues(system, path + "\\Items", &readable);
  return readable;
}

// The locations a profile changes here (|held|), and those it holds that this
// system lacks (|lacked|), whose entries are named as skipped.
void LocationsToLoad(const StartupParameters& model, const std::string& path,
                     std::array<bool, kLocationCount>* held, std::array<bool, kLocationCount>* lacked) {
  *held = HeldLocations(model.System(), path);
  for (int location = 0; location < kLocationCount; ++location) {
    (*lacked)[location] = (*held)[location] && !model.HasLocation(location);
    (*held)[location] = (*held)[location] && !(*lacked)[location];
  }
}

using WantedEntries = std::array<std::map<std::string, ProfileEntry>, kLocationCount>;

// The profile's entries by location and lower-cased value name, those of
// locations not loaded and those whose names are unsafe left out.
WantedEntries WantedFromProfile(const StartupParameters& model, const ProfileValues& values,
                                const std::array<bool, kLocationCount>& held,
                                const std::array<bool, kLocationCount>& lacked,
                                std::vector<std::string>* skipped) {
  WantedEntries wanted;
  std::array<std::string, kLocationCount> folders;
  for (int location : {kLmStartupFolder, kCuStartupFolder})
    folders[location] = model.StartupFolderPath(location);
  for (const auto& [lower, value] : values.entries) {
    ProfileEntry entry;
    changes::ParseStoreValueName(value.name, &entry.location, &entry.name);
    const bool known = entry.location >= 0 && entry.location < kLocationCount;
    if (known && lacked[entry.location] && skipped) {
      skipped->push_back("\"" + value.name + "\": this system has no " + LocationTag(entry.location) +
                         (Is32BitViewLocation(entry.location) ? " (it has no 32-bit registry view)" : ""));
      continue;
    }
    if (!known || !held[entry.location] || entry.name.empty()) continue;
    if (IsFolderLocation(entry.location)) {
      std::string itemPath;
      if (!changes::IsSafeItemName(entry.name) ||
          (!folders[entry.location].empty() &&
           !changes::ItemPathInFolder(model.System(), folders[entry.location], entry.name, &itemPath))) {
        if (skipped) skipped->push_back("\"" + value.name + "\": its name leads out of its Startup folder");
        continue;
      }
    }
    entry.value = {entry.name, value.type, value.data};
    auto off = values.disabled.find(lower);
    entry.enabled = off == values.disabled.end() || DwordValue(off->second.data) == 0;
    auto item = values.items.find(lower);
    if (item != values.items.end()) {
      entry.hasItem = true;
      entry.item = item->second.data;
    }
    wanted[entry.location][lower] = std::move(entry);
  }
  return wanted;
}

// Loads the profile's entries of one location into the model as pending edits.
class LocationLoad {
 public:
  LocationLoad(StartupParameters& model, int location, const std::map<std::string, ProfileEntry>& wanted,
               EntryFiller& filler, std::vector<std::string>* skipped)
      : model_(model), location_(location), wanted_(wanted), filler_(filler), skipped_(skipped) {}

  // Returns whether the location changed.
  bool Run() {
    DisableOthers();
    for (const auto& [lower, entry] : wanted_) {
      if (IsServiceLocation(location_)) {
        SwitchService(entry);
      } else {
        TakeEntry(entry);
      }
    }
    return changed_;
  }

 private:
  // The entry a profile's entry stands for: the one of its name; in a Startup
  // folder an item whose name differs in case only when the profile does not
  // name that item too (then the two are two items).
  Task* ExistingFor(const ProfileEntry& entry) {
    Task* task = model_.EditableEntry(location_, entry.name);
    if (!task || task->name == entry.name || !IsFolderLocation(location_)) return task;
    for (const auto& [otherKey, other] : wanted_)
      if (other.name == task->name) return nullptr;
    return task;
  }

  // Entries that are not part of the profile: disabled, never deleted.
  void DisableOthers() {
    std::set<const Task*> named;
    for (const auto& [lower, entry] : wanted_)
      if (const Task* task = ExistingFor(entry)) named.insert(task);
    std::vector<Task*> others;
    for (const auto& [entryKey, task] : model_.Entries(location_)) {
      if (!named.count(task.get())) others.push_back(task.get());
    }
    for (Task* task : others) {
      if (IsServiceLocation(location_) && task->readOnly) continue;  // left as it is
      if (task->enabled != 0 || task->removed != 0) changed_ = true;
      task->enabled = 0;
      task->removed = 0;
    }
  }

  // A service is only switched on or off: one that is not installed here is not
  // made.
  void SwitchService(const ProfileEntry& entry) {
    Task* existing = ExistingFor(entry);
    if (!existing) {
      if (skipped_) skipped_->push_back("\"" + entry.name + "\": no such service is installed");
      return;
    }
    const int state = entry.enabled ? 1 : 0;
    if (existing->readOnly) return;
    if (existing->enabled != state || existing->removed != 0) changed_ = true;
    existing->enabled = state;
    existing->removed = 0;
  }

  // Keeps the exact form the profile brought, for apply to write.
  void KeepForm(const ProfileEntry& entry) {
    const std::string snapshotKey = SnapshotKey(location_, entry.name);
    if (!IsFolderLocation(location_)) {
      model_.SetPendingValue(snapshotKey, entry.value);
      return;
    }
    model_.ForgetPendingValue(snapshotKey);
    if (entry.hasItem) {
      model_.SetPendingItem(snapshotKey, entry.item);
    } else {
      model_.ForgetPendingItem(snapshotKey);
    }
  }

  void TakeEntry(const ProfileEntry& entry) {
    const std::string command = IsFolderLocation(location_)
                                    ? changes::ValueText(entry.value.data)
                                    : CommandOfValue(entry.value.type, entry.value.data);
    KeepForm(entry);
    const int state = entry.enabled ? 1 : 0;
    if (Task* existing = ExistingFor(entry)) {
      Task& task = *existing;
      if (task.enabled != state || task.removed != 0 || task.command != command) changed_ = true;
      task.enabled = state;
      task.removed = 0;
      if (task.command != command) {
        task.command = command;
        DeriveFileName(model_.System(), task);
      }
      if (!IsFolderLocation(location_)) {
        task.valueType = entry.value.type;
        task.wineSkipReason = WineSkipReason(model_.System(), location_, task);
      }
      return;
    }
    auto task = std::make_unique<Task>();
    task->name = entry.name;
    task->command = command;
    task->enabled = state;
    if (!IsFolderLocation(location_)) task->valueType = entry.value.type;
    std::unique_ptr<Task> made = model_.MakeEntry(std::move(task), location_, filler_);
    if (!made) return;
    model_.PutEntry(location_, std::move(made));
    changed_ = true;
  }

  StartupParameters& model_;
  const int location_;
  const std::map<std::string, ProfileEntry>& wanted_;
  EntryFiller& filler_;
  std::vector<std::string>* skipped_;
  bool changed_ = false;
};

}  // namespace

namespace changes {

void Profiles::Enumerate(const StartupParameters& model) {
  names_.clear();
  platform::UniqueKey key;
  if (!model.OpenProgramKey(ProgramKey::kProfiles, key.out())) return;
  std::vector<char> name(260);
  for (std::uint32_t index = 0;; ++index) {
    if (platform::reg::EnumKey(key.get(), index, name.data(), static_cast<std::uint32_t>(name.size())) !=
        platform::kSuccess) {
      break;
    }
    names_.emplace_back(name.data());
  }
}

bool Profiles::Delete(platform::ManagedSystem& system, const std::string& name) {
  auto listed = std::find(names_.begin(), names_.end(), name);
  if (listed == names_.end()) return false;
  names_.erase(listed);
  changes::RemoveKeyTree(system.CurrentUser(), ProfileKeyPath(name));
  return true;
}

bool Profiles::Exists(platform::ManagedSystem& system, const std::string& name) const {
  if (name.empty() || !ValidProfileName(name)) return false;
  platform::UniqueKey key;
  return platform::reg::OpenKey(system.CurrentUser(), ProfileKeyPath(name), platform::kKeyRead, key.out()) ==
         platform::kSuccess;
}

ProfileSaveResult Profiles::Save(const StartupParameters& model, const std::string& name,
                                 bool replaceExisting, std::string* error) {
  auto failed = [&](const std::string& why) {
    if (error) *error = why;
    return ProfileSaveResult::kFailed;
  };
  if (name.empty()) return ProfileSaveResult::kEmptyName;
  if (!ValidProfileName(name)) return ProfileSaveResult::kInvalidName;
  const bool exists = Exists(model.System(), name);
  if (exists && !replaceExisting) return ProfileSaveResult::kExists;
  std::string keyName = name;
  if (exists) {
    // The replaced profile keeps the letter case of its name.
    Enumerate(model);
    for (const std::string& listed : names_)
      if (SameName(listed, name)) keyName = listed;
  }

  changes::Store store(model);
  std::string why;
  if (!store.Open(&why)) return failed(why);
  const ProfileContents contents = GatherProfile(model, store);
  const std::string path = ProfileKeyPath(keyName);
  if (exists) {
    platform::Status status = changes::RemoveKeyTree(model.System().CurrentUser(), path);
    if (status != platform::kSuccess)
      return failed(changes::FailureText("replace the profile " + keyName, status));
  }
  if (!WriteProfile(model.System(), path, keyName, contents, &why)) return failed(why);
  Enumerate(model);
  return ProfileSaveResult::kSaved;
}

bool Profiles::Load(StartupParameters& model, const std::string& name, std::string* error,
                    std::vector<std::string>* skipped) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (name.empty() || !ValidProfileName(name)) return fail("\"" + name + "\" is no profile name");
  const std::string path = ProfileKeyPath(name);
  std::string why;
  if (!CheckProfileVersion(model.System(), path, name, &why)) return fail(why);
  ProfileValues values;
  if (!ReadProfileValues(model.System(), path, &values))
    return fail("the profile \"" + name + "\" cannot be read");
  // Locations the profile does not hold, and those this system lacks, are left
  // as they are; the entries of the latter are named.
  std::array<bool, kLocationCount> held{}, lacked{};
  LocationsToLoad(model, path, &held, &lacked);
  const WantedEntries wanted = WantedFromProfile(model, values, held, lacked, skipped);

  std::unique_ptr<EntryFiller> filler = model.MakeFiller();
  for (int location = 0; location < kLocationCount; ++location) {
    if (held[location] && LocationLoad(model, location, wanted[location], *filler, skipped).Run())
      model.MarkChanged(location);
  }
  return true;
}

}  // namespace changes

}  // namespace velmora
