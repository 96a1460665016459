#include "changes/store.h"

#include "base/names.h"
#include "base/text.h"
#include "base/utf16.h"
#include "changes/item_names.h"
#include "changes/service_store.h"
#include "changes/startup_parameters.h"
#include "changes/store_layout.h"
#include "changes/write_steps.h"
#include "entries/startup_location.h"
#include "entries/value_command.h"
#include "platform/files.h"
#include "platform/managed_system.h"

namespace velmora::changes {

namespace {

std::map<std::string, platform::RegistryValue> ByLowerName(std::vector<platform::RegistryValue> values) {
  std::map<std::string, platform::RegistryValue> out;
  for (platform::RegistryValue& value : values) {
    std::string key = NameKey(value.name);
    out[key] = std::move(value);
  }
  return out;
}

const platform::RegistryValue* Find(const std::map<std::string, platform::RegistryValue>& values,
                                    const std::string& name) {
  auto it = values.find(NameKey(name));
  return it == values.end() ? nullptr : &it->second;
}

}  // namespace

bool KeptItemPath(platform::ManagedSystem& system, int location, const std::string& name, std::string* path) {
  std::string folder = KeptItemsFolder(system, location);
  return !folder.empty() && ItemPathInFolder(system, folder, name, path);
}

bool Store::Open(std::string* why) {
  platform::UniqueKey key;
  platform::Status status = platform::reg::OpenKey(model_.System().CurrentUser(), DisabledTasksKeyPath(),
                                                   platform::kKeyRead, key.out());
  std::vector<platform::RegistryValue> values;
  if (status == platform::kSuccess) {
    status = platform::reg::ReadAllValues(key.get(), &values);
  } else if (status == platform::kFileNotFound) {
    status = platform::kSuccess;  // nothing stored yet
  }
  if (status != platform::kSuccess) {
    if (why) *why = FailureText("read the store of disabled entries", status);
    return false;
  }
  values_ = ByLowerName(std::move(values));
  data_.clear();
  if (platform::reg::OpenKey(model_.System().CurrentUser(), StoreDataKeyPath(), platform::kKeyRead,
                             key.out()) == platform::kSuccess) {
    std::vector<platform::RegistryValue> data;
    if (platform::reg::ReadAllValues(key.get(), &data) == platform::kSuccess)
      data_ = ByLowerName(std::move(data));
  }
  read_ = true;
  return true;
}

bool Store::OpenForWriting(std::string* why) {
  if (storeKey_) return true;
  if (model_.ReadOnly()) {
    if (why) *why = "the store of disabled entries is not changed while only listing";
    return false;
  }
  platform::Status status =
      platform::reg::CreateKey(model_.System().CurrentUser(), DisabledTasksKeyPath(), storeKey_.out());
  if (status == platform::kSuccess) return true;
  storeKey_.reset();
  if (why) *why = FailureText("open the store of disabled entries", status);
  return false;
}

bool Store::OpenDataKey(bool create, std::string* why) {
  if (dataKey_) return true;
  if (model_.ReadOnly()) return false;
  platform::Status status = platform::reg::OpenKey(model_.System().CurrentUser(), StoreDataKeyPath(),
                                                   platform::kKeyAllAccess, dataKey_.out());
  if (status == platform::kSuccess) return true;
  dataKey_.reset();
  if (!create) return false;
  status = platform::reg::CreateKey(model_.System().CurrentUser(), StoreDataKeyPath(), dataKey_.out());
  CountWrite();
  if (status == platform::kSuccess) return true;
  dataKey_.reset();
  if (why) *why = FailureText("create the key of remembered values", status);
  return false;
}

std::vector<platform::RegistryValue> Store::AllValues() const {
  std::vector<platform::RegistryValue> out;
  for (const auto& [key, value] : values_) out.push_back(value);
  return out;
}

std::vector<std::string> Store::NamesOf(const StoredEntry& entry) const {
  std::vector<std::string> names;
  const std::string readFrom = NameKey(entry.valueName);
  if (!readFrom.empty() && values_.count(readFrom)) names.push_back(readFrom);
  for (const auto& [lower, value] : values_) {
    int location = 0;
    std::string name;
    ParseStoreValueName(value.name, &location, &name);
    if (lower != readFrom && location == entry.location && SameName(name, entry.name)) names.push_back(lower);
  }
  return names;
}

std::string Store::NameOf(const StoredEntry& entry) const {
  std::vector<std::string> names = NamesOf(entry);
  return names.empty() ? StoreValueName(entry.location, entry.name) : values_.at(names.front()).name;
}

const platform::RegistryValue* Store::Value(const StoredEntry& entry) const {
  return Find(values_, NameOf(entry));
}

bool Store::Holds(const StoredEntry& entry, const std::string& command) const {
  const platform::RegistryValue* value = Value(entry);
  return value && ValueText(value->data) == command;
}

const platform::RegistryValue* Store::RememberedValue(const StoredEntry& entry) const {
  const std::string valueName = NameOf(entry);
  const platform::RegistryValue* stored = Find(values_, valueName);
  const platform::RegistryValue* remembered = Find(data_, valueName);
  if (!stored || !remembered) return nullptr;
  const std::string command = ValueText(stored->data);
  if (CommandOfValue(remembered->type, remembered->data) == command) return remembered;
  // Earlier versions stored a value that is not text by its bytes up to the first
  // zero, which the registry kept as Latin-1 text.
  if (!IsTextValueType(remembered->type) && ValidUtf8(ValueText(remembered->data)) == command)
    return remembered;
  return nullptr;
}

bool Store::KeptItem(const StoredEntry& entry, std::string* bytes) const {
  std::string path;
  if (!Value(entry) || !KeptItemPath(model_.System(), entry.location, entry.name, &path)) return false;
  if (!platform::files::Exists(model_.System(), path) ||
      platform::files::DirectoryExists(model_.System(), path))
    return false;
  return platform::files::ReadWholeFile(model_.System(), path, bytes) == platform::kSuccess;
}

bool Store::StaleBeside(const StoredEntry& entry, const Task& standing) const {
  const platform::RegistryValue* value = Value(entry);
  if (!value) return true;
  if (ValueText(value->data) != standing.command) return false;
  if (!IsFolderLocation(entry.location)) {
    const platform::RegistryValue* remembered = RememberedValue(entry);
    return !remembered || remembered->type == standing.valueType;
  }
  std::string kept, current, path;
  if (!KeptItem(entry, &kept)) return true;
  std::string folder = model_.StartupFolderPath(entry.location);
  return !folder.empty() && ItemPathInFolder(model_.System(), folder, standing.name, &path) &&
         platform::files::ReadWholeFile(model_.System(), path, &current) == platform::kSuccess &&
         current == kept;
}

std::string KeptCopyNote(const Task& standing, int location) {
  if (standing.keptCommand.empty()) return "";
  return "Velmora still keeps a disabled entry \"" + standing.name + "\" of " + LocationTag(location) + " (" +
         standing.keptCommand +
         "): an entry of that name stands there again. Remove the one standing there to get the kept one "
         "back, then enable or remove it.";
}

std::string ReadOnlyNote(const Task& task) {
  return task.readOnly ? "Cannot be changed: " + task.readOnlyReason + "." : "";
}

bool Store::Put(const StoredEntry& entry, const std::string& command, const RawValue* original,
                const std::string* itemBytes, std::string* why) {
  if (!read_ && !Open(why)) return false;
  const int location = entry.location;
  const std::string& name = entry.name;
  const std::string valueName = NameOf(entry);
  if (original) {
    const platform::RegistryValue* known = Find(data_, valueName);
    if (!known || known->type != original->type || known->data != original->data) {
      if (!OpenForWriting(why) || !OpenDataKey(true, why)) return false;
      platform::Status status = SetRawValue(dataKey_.get(), valueName, original->type, original->data);
      if (status != platform::kSuccess) {
        if (why) *why = FailureText("remember the original value", status);
        return false;
      }
      data_[NameKey(valueName)] = {valueName, original->type, original->data};
    }
  }
  if (itemBytes) {
    std::string path;
    if (!KeptItemPath(model_.System(), location, name, &path)) {
      if (why)
        *why =
            "could not keep a copy of the item: no folder for kept copies can be named for \"" + name + "\"";
      return false;
    }
    std::string current;
    bool same = platform::files::Exists(model_.System(), path) &&
                platform::files::ReadWholeFile(model_.System(), path, &current) == platform::kSuccess &&
                current == *itemBytes;
    if (!same) {
      platform::Status status =
          platform::files::MakeDirectories(model_.System(), KeptItemsFolder(model_.System(), location));
      if (status == platform::kSuccess) status = WriteItem(model_.System(), path, *itemBytes);
      if (status != platform::kSuccess) {
        if (why)
          *why =
              FailureText("keep a copy of the item in " + KeptItemsFolder(model_.System(), location), status);
        return false;
      }
    }
  }
  if (!Holds(entry, command)) {
    if (!OpenForWriting(why)) return false;
    platform::Status status = SetTextValue(storeKey_.get(), valueName, command);
    if (status != platform::kSuccess) {
      if (why) *why = FailureText("write the store value " + valueName, status);
      return false;
    }
    values_[NameKey(valueName)] = {valueName, platform::kRegSz, StringData(command)};
  }
  return true;
}

bool Store::KeepExactly(const StoredEntry& entry, platform::HKey key, const std::string& name,
                        std::string* why) {
  if (!OpenDataKey(true, why)) return false;
  platform::Status status = CopyStoredValue(key, name, dataKey_.get(), NameOf(entry));
  if (status != platform::kSuccess && why) *why = FailureText("remember the original value", status);
  return status == platform::kSuccess;
}

platform::Status Store::PutBackExactly(const StoredEntry& entry, platform::HKey key,
                                       const std::string& name) {
  const platform::RegistryValue* remembered = RememberedValue(entry);
  if (!remembered || !OpenDataKey(false, nullptr)) return platform::kFileNotFound;
  return CopyStoredValue(dataKey_.get(), remembered->name, key, name);
}

bool Store::Remove(const StoredEntry& entry, std::string* why) {
  if (!read_ && !Open(why)) return false;
  std::vector<std::string> names = NamesOf(entry);
  for (const std::string& lower : names) {
    if (!OpenForWriting(why)) return false;
    const std::string valueName = values_.at(lower).name;
    platform::Status status = RemoveValue(storeKey_.get(), valueName);
    if (status != platform::kSuccess) {
      if (why) *why = FailureText("delete the store value " + valueName, status);
      return false;
    }
    values_.erase(lower);
  }
  // The remembered forms go with their values; one left without its value is
  // taken too.
  if (names.empty()) names.push_back(NameKey(StoreValueName(entry.location, entry.name)));
  for (const std::string& lower : names) {
    auto remembered = data_.find(lower);
    if (remembered == data_.end() || !OpenDataKey(false, nullptr)) continue;
    if (RemoveValue(dataKey_.get(), remembered->second.name) == platform::kSuccess) data_.erase(remembered);
  }
  if (IsServiceLocation(entry.location) && !model_.ReadOnly())
    ForgetServiceState(model_.System(), entry.name);
  std::string path;
  if (KeptItemPath(model_.System(), entry.location, entry.name, &path) &&
      platform::files::Exists(model_.System(), path) &&
      !platform::files::DirectoryExists(model_.System(), path)) {
    RemoveItem(model_.System(), path);
  }
  return true;
}

}  // namespace velmora::changes
