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

#include <set>

#include "base/names.h"
#include "base/text.h"
#include "changes/item_names.h"
#include "changes/store.h"
#include "changes/store_layout.h"
#include "changes/value_forms.h"
#include "changes/write_steps.h"
#include "entries/module_version.h"
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

}  // namespace

namespace changes {

void Profiles::Enumerate(const StartupEntries& entries) {
  std::string& profileNames = names_;
  profileNames.clear();
  platform::UniqueKey key;
  if (!entries.OpenProgramKey(ProgramKey::kProfiles, key.out())) return;
  std::vector<char> name(260);
  for (std::uint32_t index = 0;; ++index) {
    if (platform::reg::EnumKey(key.get(), index, name.data(), static_cast<std::uint32_t>(name.size())) !=
        platform::kSuccess) {
      break;
    }
    profileNames += std::string(name.data()) + "|";
  }
  if (!profileNames.empty()) profileNames.pop_back();
}

bool Profiles::Delete(platform::ManagedSystem& system, const std::string& name) {
  std::string& profileNames = names_;
  std::string list = "|" + profileNames + "|";
  std::size_t at = list.find("|" + name + "|");
  if (at == std::string::npos) return false;
  list.erase(at + 1, name.size() + 1);
  std::size_t begin = list.find_first_not_of('|');
  std::size_t end = list.find_last_not_of('|');
  profileNames = begin == std::string::npos ? "" : list.substr(begin, end - begin + 1);
  changes::RemoveKeyTree(system.CurrentUser(), ProfileKeyPath(name));
  return true;
}

bool Profiles::Exists(platform::ManagedSystem& system, const std::string& name) const {
  if (name.empty() || !ValidProfileName(name)) return false;
  platform::UniqueKey key;
  return platform::reg::OpenKey(system.CurrentUser(), ProfileKeyPath(name), platform::kKeyRead, key.out()) ==
         platform::kSuccess;
}

ProfileSaveResult Profiles::Save(const StartupEntries& entries, const std::string& name, bool replaceExisting,
                                 std::string* error) {
  platform::ManagedSystem& system = entries.System();
  auto failed = [&](const std::string& why) {
    if (error) *error = why;
    return ProfileSaveResult::kFailed;
  };
  if (name.empty()) return ProfileSaveResult::kEmptyName;
  if (!ValidProfileName(name)) return ProfileSaveResult::kInvalidName;
  std::string keyName = name;
  bool exists = Exists(system, name);
  if (exists && !replaceExisting) return ProfileSaveResult::kExists;
  if (exists) {
    // The replaced profile keeps the letter case of its name.
    Enumerate(entries);
    std::string list = names_;
    for (std::size_t start = 0; start <= list.size();) {
      std::size_t bar = list.find('|', start);
      std::string candidate = list.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
      if (SameName(candidate, name)) keyName = candidate;
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
  }

  // What the profile holds: every entry of the model as it stands, with the
  // exact form each has (or had) on disk.
  changes::Store store(entries);
  std::string why;
  if (!store.Open(&why)) return failed(why);
  std::vector<ProfileEntry> saved;
  std::vector<int> held;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!entries.HasLocation(location)) continue;
    held.push_back(location);
    std::map<std::string, platform::RegistryValue> disk;
    std::string folder;
    if (IsFolderLocation(location)) {
      folder = entries.StartupFolderPath(location);
    } else {
      platform::UniqueKey key;
      if (entries.OpenLocationKey(location, key.out())) {
        std::vector<platform::RegistryValue> values;
        platform::reg::ReadAllValues(key.get(), &values);
        for (platform::RegistryValue& value : values) disk[NameKey(value.name)] = std::move(value);
      }
    }
    for (const auto& [lower, task] : entries.Entries(location)) {
      if (task->removed) continue;
      ProfileEntry entry;
      entry.location = location;
      entry.name = task->name;
      entry.enabled = task->enabled != 0;
      const std::string key = SnapshotKey(location, task->name);
      if (IsFolderLocation(location)) {
        entry.value = {task->name, platform::kRegSz, changes::StringData(task->command)};
        std::string bytes, path;
        bool have = false;
        if (entry.enabled && changes::ItemPathInFolder(entries.System(), folder, task->name, &path) &&
            platform::files::Exists(entries.System(), path) &&
            !platform::files::DirectoryExists(entries.System(), path)) {
          have = platform::files::ReadWholeFile(entries.System(), path, &bytes) == platform::kSuccess;
        } else if (!entry.enabled) {
          have = store.KeptItem(changes::StoredEntryOf(*task, location), &bytes);
        }
        if (!have) {
          if (const std::string* pending = entries.PendingItem(key)) {
            bytes = *pending;
            have = true;
          }
        }
        if (have && bytes.size() <= kMaxProfileItemBytes) {
          entry.hasItem = true;
          entry.item = std::move(bytes);
        }
      } else {
        std::vector<RawValue> known;
        if (const RawValue* pending = entries.PendingValue(key)) known.push_back(*pending);
        auto onDisk = disk.find(lower);
        const platform::RegistryValue* remembered =
            store.RememberedValue(changes::StoredEntryOf(*task, location));
        if (entry.enabled && onDisk != disk.end()) known.push_back(changes::FromRegistry(onDisk->second));
        if (remembered) known.push_back(changes::FromRegistry(*remembered));
        if (!entry.enabled && onDisk != disk.end()) known.push_back(changes::FromRegistry(onDisk->second));
        entry.value = changes::ValueToWrite(task->name, task->command, known);
      }
      saved.push_back(std::move(entry));
    }
  }

  const std::string path = ProfileKeyPath(keyName);
  if (exists) {
    platform::Status status = changes::RemoveKeyTree(system.CurrentUser(), path);
    if (status != platform::kSuccess)
      return failed(changes::FailureText("replace the profile " + keyName, status));
  }
  platform::UniqueKey profileKey, entriesKey, disabledKey, itemsKey;
  platform::Status status = platform::reg::CreateKey(system.CurrentUser(), path, profileKey.out());
  if (status == platform::kSuccess)
    status = platform::reg::CreateKey(profileKey.get(), "Entries", entriesKey.out());
  if (status == platform::kSuccess)
    status = platform::reg::CreateKey(profileKey.get(), "Disabled", disabledKey.out());
  if (status == platform::kSuccess)
    status = platform::reg::CreateKey(profileKey.get(), "Items", itemsKey.out());
  changes::CountWrite();
  if (status != platform::kSuccess) {
    return failed(changes::FailureText("create the profile " + keyName, status));
  }
  std::set<std::string> valueNames;
  for (const ProfileEntry& entry : saved) {
    // Items of a Startup folder whose names differ only in case are two entries,
    // but one registry value name: the location number takes leading zeros
    // ("05|FOO.lnk") until the name is one of its own; readers parse it the same.
    std::string valueName = changes::StoreValueName(entry.location, entry.name);
    while (!valueNames.insert(NameKey(valueName)).second) valueName.insert(0, "0");
    status = changes::SetRawValue(entriesKey.get(), valueName, entry.value.type, entry.value.data);
    if (status == platform::kSuccess && !entry.enabled) {
      status = changes::SetRawValue(disabledKey.get(), valueName, platform::kRegDword, DwordData(1));
    }
    if (status == platform::kSuccess && entry.hasItem) {
      status = changes::SetRawValue(itemsKey.get(), valueName, platform::kRegBinary, entry.item);
    }
    if (status != platform::kSuccess) {
      return failed(changes::FailureText("write the entry " + valueName + " of the profile", status));
    }
  }
  status = changes::SetRawValue(profileKey.get(), "Locations", platform::kRegSz,
                                changes::StringData(LocationsText(held)));
  if (status == platform::kSuccess) {
    status =
        changes::SetRawValue(profileKey.get(), "Version", platform::kRegDword, DwordData(kProfileVersion));
  }
  // The profile is written: its keys are closed before the list of profiles is read again.
  for (platform::UniqueKey* key : {&profileKey, &entriesKey, &disabledKey, &itemsKey}) key->reset();
  if (status != platform::kSuccess)
    return failed(changes::FailureText("finish the profile " + keyName, status));
  Enumerate(entries);
  return ProfileSaveResult::kSaved;
}

bool Profiles::Load(StartupEntries& entries, const std::string& name, std::string* error,
                    std::vector<std::string>* skipped) {
  platform::ManagedSystem& system = entries.System();
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (name.empty() || !ValidProfileName(name)) return fail("\"" + name + "\" is no profile name");
  const std::string path = ProfileKeyPath(name);
  platform::UniqueKey key;
  platform::Status status = platform::reg::OpenKey(system.CurrentUser(), path, platform::kKeyRead, key.out());
  if (status == platform::kFileNotFound) return fail("there is no profile named \"" + name + "\"");
  if (status != platform::kSuccess) return fail(changes::FailureText("open the profile " + name, status));
  std::uint32_t type = 0;
  std::uint8_t versionBytes[4] = {};
  std::uint32_t size = sizeof versionBytes;
  status = platform::reg::QueryValue(key.get(), "Version", &type, versionBytes, &size);
  key.reset();
  if (status != platform::kSuccess || type != platform::kRegDword || size != 4) {
    return fail("the profile \"" + name + "\" is incomplete (its saving did not finish)");
  }
  std::uint32_t version = DwordValue(std::string(reinterpret_cast<char*>(versionBytes), 4));
  if (version != kProfileVersion)
    return fail("the profile \"" + name + "\" has a layout this version cannot read");

  bool readable = true;
  auto values = ReadKeyValues(entries.System(), path + "\\Entries", &readable);
  auto disabled = ReadKeyValues(entries.System(), path + "\\Disabled", &readable);
  auto items = ReadKeyValues(entries.System(), path + "\\Items", &readable);
  if (!readable) return fail("the profile \"" + name + "\" cannot be read");
  // Locations the profile does not hold, and those this system lacks, are left
  // as they are; the entries of the latter are named.
  std::array<bool, kLocationCount> held = HeldLocations(entries.System(), path);
  std::array<bool, kLocationCount> lacked{};
  for (int location = 0; location < kLocationCount; ++location) {
    lacked[location] = held[location] && !entries.HasLocation(location);
    held[location] = held[location] && !lacked[location];
  }

  std::array<std::map<std::string, ProfileEntry>, kLocationCount> wanted;
  std::array<std::string, kLocationCount> folders;
  for (int location : {kLmStartupFolder, kCuStartupFolder})
    folders[location] = entries.StartupFolderPath(location);
  for (auto& [lower, value] : values) {
    ProfileEntry entry;
    changes::ParseStoreValueName(value.name, &entry.location, &entry.name);
    if (entry.location >= 0 && entry.location < kLocationCount && lacked[entry.location] && skipped) {
      skipped->push_back("\"" + value.name + "\": this system has no " + LocationTag(entry.location) +
                         (Is32BitViewLocation(entry.location) ? " (it has no 32-bit registry view)" : ""));
      continue;
    }
    if (entry.location < 0 || entry.location >= kLocationCount || !held[entry.location] ||
        entry.name.empty()) {
      continue;
    }
    if (IsFolderLocation(entry.location)) {
      std::string itemPath;
      if (!changes::IsSafeItemName(entry.name) ||
          (!folders[entry.location].empty() &&
           !changes::ItemPathInFolder(entries.System(), folders[entry.location], entry.name, &itemPath))) {
        if (skipped) skipped->push_back("\"" + value.name + "\": its name leads out of its Startup folder");
        continue;
      }
    }
    entry.value = {entry.name, value.type, value.data};
    auto off = disabled.find(lower);
    entry.enabled = off == disabled.end() || DwordValue(off->second.data) == 0;
    auto item = items.find(lower);
    if (item != items.end()) {
      entry.hasItem = true;
      entry.item = item->second.data;
    }
    wanted[entry.location][lower] = std::move(entry);
  }

  ModuleVersion versionReader;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!held[location]) continue;
    bool changed = false;
    // The entry a profile's entry stands for: the one of its name; in a Startup
    // folder an item whose name differs in case only when the profile does not
    // name that item too (then the two are two items).
    auto existingFor = [&](const ProfileEntry& entry) -> Task* {
      Task* task = entries.EditableEntry(location, entry.name);
      if (!task || task->name == entry.name || !IsFolderLocation(location)) return task;
      for (const auto& [otherKey, other] : wanted[location])
        if (other.name == task->name) return nullptr;
      return task;
    };
    std::set<const Task*> named;
    for (const auto& [lower, entry] : wanted[location])
      if (const Task* task = existingFor(entry)) named.insert(task);
    std::vector<Task*> others;
    for (const auto& [entryKey, task] : entries.Entries(location)) {
      if (!named.count(task.get())) others.push_back(task.get());
    }
    for (Task* other : others) {
      // Not part of the profile: disabled, never deleted.
      Task& task = *other;
      if (IsServiceLocation(location) && task.readOnly) continue;  // left as it is
      if (task.enabled != 0 || task.removed != 0) changed = true;
      task.enabled = 0;
      task.removed = 0;
    }
    for (auto& [lower, entry] : wanted[location]) {
      if (IsServiceLocation(location)) {
        // A service is only switched on or off: one that is not installed here is
        // not made.
        Task* existing = existingFor(entry);
        if (!existing) {
          if (skipped) skipped->push_back("\"" + entry.name + "\": no such service is installed");
          continue;
        }
        const int state = entry.enabled ? 1 : 0;
        if (existing->readOnly) continue;
        if (existing->enabled != state || existing->removed != 0) changed = true;
        existing->enabled = state;
        existing->removed = 0;
        continue;
      }
      const std::string command = IsFolderLocation(location)
                                      ? changes::ValueText(entry.value.data)
                                      : CommandOfValue(entry.value.type, entry.value.data);
      const std::string snapshotKey = SnapshotKey(location, entry.name);
      if (IsFolderLocation(location)) {
        entries.ForgetPendingValue(snapshotKey);
        if (entry.hasItem) {
          entries.SetPendingItem(snapshotKey, entry.item);
        } else {
          entries.ForgetPendingItem(snapshotKey);
        }
      } else {
        entries.SetPendingValue(snapshotKey, entry.value);
      }
      if (Task* existing = existingFor(entry)) {
        Task& task = *existing;
        int state = entry.enabled ? 1 : 0;
        if (task.enabled != state || task.removed != 0 || task.command != command) changed = true;
        task.enabled = state;
        task.removed = 0;
        if (task.command != command) {
          task.command = command;
          DeriveFileName(entries.System(), task);
        }
        if (!IsFolderLocation(location)) {
          task.valueType = entry.value.type;
          task.wineSkipReason = WineSkipReason(entries.System(), location, task);
        }
        continue;
      }
      auto task = std::make_unique<Task>();
      task->name = entry.name;
      task->command = command;
      task->enabled = entry.enabled ? 1 : 0;
      if (!IsFolderLocation(location)) task->valueType = entry.value.type;
      std::unique_ptr<Task> made = entries.MakeEntry(std::move(task), location, versionReader);
      if (!made) continue;
      entries.PutEntry(location, std::move(made));
      changed = true;
    }
    if (changed) entries.MarkChanged(location);
  }
  return true;
}

}  // namespace changes

}  // namespace velmora
