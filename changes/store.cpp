#include "changes/store.h"

#include "changes/item_names.h"
#include "changes/store_layout.h"
#include "changes/write_steps.h"
#include "entries/text_util.h"
#include "platform/files.h"

namespace velmora::changes {

namespace {

std::map<std::string, platform::RegistryValue> ByLowerName(std::vector<platform::RegistryValue> values) {
  std::map<std::string, platform::RegistryValue> out;
  for (platform::RegistryValue& value : values) {
    std::string key = ToLowerAscii(value.name);
    out[key] = std::move(value);
  }
  return out;
}

const platform::RegistryValue* Find(const std::map<std::string, platform::RegistryValue>& values,
                                    const std::string& name) {
  auto it = values.find(ToLowerAscii(name));
  return it == values.end() ? nullptr : &it->second;
}

}  // namespace

bool KeptItemPath(int location, const std::string& name, std::string* path) {
  std::string folder = KeptItemsFolder(location);
  return !folder.empty() && ItemPathInFolder(folder, name, path);
}

Store::~Store() {
  if (storeKey_) platform::RegCloseKey(storeKey_);
  if (dataKey_) platform::RegCloseKey(dataKey_);
}

bool Store::Open(std::string* why) {
  if (!storeKey_ && !model_.OpenRegistryKey(6, &storeKey_)) {
    storeKey_ = nullptr;
    if (why) *why = FailureText("open the store of disabled entries", platform::kAccessDenied);
    return false;
  }
  std::vector<platform::RegistryValue> values;
  platform::Status status = platform::RegReadAllValues(storeKey_, &values);
  if (status != platform::kSuccess) {
    if (why) *why = FailureText("read the store of disabled entries", status);
    return false;
  }
  values_ = ByLowerName(std::move(values));
  data_.clear();
  if (OpenDataKey(false, nullptr)) {
    std::vector<platform::RegistryValue> data;
    if (platform::RegReadAllValues(dataKey_, &data) == platform::kSuccess) data_ = ByLowerName(std::move(data));
  }
  return true;
}

bool Store::OpenDataKey(bool create, std::string* why) {
  if (dataKey_) return true;
  platform::Status status =
      platform::RegOpenKeyEx(platform::HKeyCurrentUser(), StoreDataKeyPath(), platform::kKeyAllAccess, &dataKey_);
  if (status == platform::kSuccess) return true;
  dataKey_ = nullptr;
  if (!create) return false;
  status = platform::RegCreateKey(platform::HKeyCurrentUser(), StoreDataKeyPath(), &dataKey_);
  CountWrite();
  if (status == platform::kSuccess) return true;
  dataKey_ = nullptr;
  if (why) *why = FailureText("create the key of remembered values", status);
  return false;
}

std::vector<platform::RegistryValue> Store::AllValues() const {
  std::vector<platform::RegistryValue> out;
  for (const auto& [key, value] : values_) out.push_back(value);
  return out;
}

const platform::RegistryValue* Store::Value(int location, const std::string& name) const {
  return Find(values_, StoreValueName(location, name));
}

bool Store::Holds(int location, const std::string& name, const std::string& command) const {
  const platform::RegistryValue* value = Value(location, name);
  return value && ValueText(value->data) == command;
}

const platform::RegistryValue* Store::RememberedValue(int location, const std::string& name) const {
  const platform::RegistryValue* stored = Value(location, name);
  const platform::RegistryValue* remembered = Find(data_, StoreValueName(location, name));
  if (!stored || !remembered || ValueText(remembered->data) != ValueText(stored->data)) return nullptr;
  return remembered;
}

bool Store::KeptItem(int location, const std::string& name, std::string* bytes) const {
  std::string path;
  if (!Value(location, name) || !KeptItemPath(location, name, &path)) return false;
  if (!platform::FileExists(path) || platform::DirectoryExists(path)) return false;
  return platform::ReadWholeFile(path, bytes) == platform::kSuccess;
}

bool Store::Put(int location, const std::string& name, const std::string& command,
                const StartupParameters::RawValue* original, const std::string* itemBytes, std::string* why) {
  if (!storeKey_ && !Open(why)) return false;
  const std::string valueName = StoreValueName(location, name);
  if (original) {
    const platform::RegistryValue* known = Find(data_, valueName);
    if (!known || known->type != original->type || known->data != original->data) {
      if (!OpenDataKey(true, why)) return false;
      platform::Status status = SetRawValue(dataKey_, valueName, original->type, original->data);
      if (status != platform::kSuccess) {
        if (why) *why = FailureText("remember the original value", status);
        return false;
      }
      data_[ToLowerAscii(valueName)] = {valueName, original->type, original->data};
    }
  }
  if (itemBytes) {
    std::string path;
    if (!KeptItemPath(location, name, &path)) {
      if (why) *why = "could not keep a copy of the item: no folder for kept copies can be named for \"" + name + "\"";
      return false;
    }
    std::string current;
    bool same = platform::FileExists(path) && platform::ReadWholeFile(path, &current) == platform::kSuccess &&
                current == *itemBytes;
    if (!same) {
      platform::Status status = platform::CreateDirectories(KeptItemsFolder(location));
      if (status == platform::kSuccess) status = WriteItem(path, *itemBytes);
      if (status != platform::kSuccess) {
        if (why) *why = FailureText("keep a copy of the item in " + KeptItemsFolder(location), status);
        return false;
      }
    }
  }
  if (!Holds(location, name, command)) {
    platform::Status status = SetTextValue(storeKey_, valueName, command);
    if (status != platform::kSuccess) {
      if (why) *why = FailureText("write the store value " + valueName, status);
      return false;
    }
    values_[ToLowerAscii(valueName)] = {valueName, platform::kRegSz, StringData(command)};
  }
  return true;
}

bool Store::Remove(int location, const std::string& name, std::string* why) {
  if (!storeKey_ && !Open(why)) return false;
  const std::string valueName = StoreValueName(location, name);
  const std::string lower = ToLowerAscii(valueName);
  if (values_.count(lower)) {
    platform::Status status = RemoveValue(storeKey_, valueName);
    if (status != platform::kSuccess) {
      if (why) *why = FailureText("delete the store value " + valueName, status);
      return false;
    }
    values_.erase(lower);
  }
  if (data_.count(lower) && dataKey_) {
    if (RemoveValue(dataKey_, valueName) == platform::kSuccess) data_.erase(lower);
  }
  std::string path;
  if (KeptItemPath(location, name, &path) && platform::FileExists(path) && !platform::DirectoryExists(path)) {
    RemoveItem(path);
  }
  return true;
}

}  // namespace velmora::changes
