// What every managed system shares: the key table, the buffer protocol, and the
// registry calls that find their system through the key they are given.
#include "platform/managed_system.h"

#include <algorithm>
#include <cstring>

#include "base/path.h"
#include "base/utf16.h"

namespace platform {

std::vector<ProcessEntry> HostProcessTable::Of(const std::string& prefix) const {
  std::vector<ProcessEntry> processes;
  processes.reserve(rows_.size());
  for (const Row& row : rows_) {
    // A Wine process whose prefix cannot be told is kept: nothing shows it is elsewhere.
    if (row.wine && !prefix.empty() && !row.prefix.empty() && row.prefix != prefix) continue;
    processes.push_back(row.process);
  }
  return processes;
}

KeyTable::KeyTable(ManagedSystem* system) {
  for (int hive : {kMachineHive, kUserHive}) {
    roots_[hive].system = system;
    roots_[hive].hive = hive;
    roots_[hive].predefined = true;
  }
}

HKey KeyTable::Add(int hive, std::vector<std::u16string> path, bool writable, std::uintptr_t native) {
  std::lock_guard<std::mutex> lock(mutex_);
  RegistryKeyHandle* handle = nullptr;
  if (free_.empty()) {
    pool_.push_back(std::make_unique<RegistryKeyHandle>());
    handle = pool_.back().get();
  } else {
    handle = free_.back();
    free_.pop_back();
  }
  handle->system = roots_[0].system;
  handle->hive = hive;
  handle->path = std::move(path);
  handle->writable = writable;
  handle->predefined = false;
  handle->native = native;
  open_.insert(handle);
  return handle;
}

RegistryKeyHandle* KeyTable::Resolve(HKey key) {
  if (key == &roots_[0] || key == &roots_[1]) return key;
  std::lock_guard<std::mutex> lock(mutex_);
  return open_.count(key) ? key : nullptr;
}

Status KeyTable::Close(HKey key, std::uintptr_t* native) {
  if (native) *native = 0;
  if (key == &roots_[0] || key == &roots_[1]) return kSuccess;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_.erase(key)) return kInvalidHandle;
  if (native) *native = key->native;
  key->path.clear();
  key->native = 0;
  free_.push_back(key);
  return kSuccess;
}

Status CopyRegistryName(const std::string& name, char* buffer, std::uint32_t* size) {
  if (name.size() + 1 > *size) {
    *size = static_cast<std::uint32_t>(name.size());
    return kMoreData;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<std::uint32_t>(name.size());
  return kSuccess;
}

std::vector<std::u16string> JoinKeyPath(const std::vector<std::u16string>& base, const std::string& subKey) {
  const std::string_view rest(subKey);
  std::vector<std::u16string> path;
  path.reserve(base.size() + static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\\')) + 1);
  path.insert(path.end(), base.begin(), base.end());
  // The names between backslashes, empty ones dropped, as SplitKeyPath gives them.
  // A backslash is never part of a longer UTF-8 sequence, so the text splits
  // before it is converted.
  for (std::size_t start = 0; start <= rest.size();) {
    std::size_t cut = rest.find('\\', start);
    if (cut == std::string_view::npos) cut = rest.size();
    if (cut > start) path.push_back(velmora::Utf16FromUtf8(rest.substr(start, cut - start)));
    start = cut + 1;
  }
  return path;
}

Status CopyRegistryData(const std::string& bytes, std::uint8_t* data, std::uint32_t* dataSize) {
  if (data && bytes.size() > *dataSize) {
    *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (data) std::memcpy(data, bytes.data(), bytes.size());
  if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
  return kSuccess;
}

ManagedSystem::ManagedSystem() : keys_(this) {}
ManagedSystem::~ManagedSystem() = default;

namespace {

ManagedSystem* SystemOf(HKey key) { return key ? key->system : nullptr; }

// The value at |index|, or the one named |name| when |byName|, whole: the
// buffers grow until the value fits. |nameBuffer| and |data| are kept between
// calls.
Status ReadWhole(HKey key, bool byName, std::uint32_t index, const std::string& name,
                 std::vector<char>* nameBuffer, std::string* data, RegistryValue* value) {
  ManagedSystem* system = SystemOf(key);
  if (!system) return kInvalidHandle;
  if (!byName && nameBuffer->empty()) nameBuffer->resize(256);
  if (data->empty()) data->resize(256);
  for (;;) {
    std::uint32_t nameSize = static_cast<std::uint32_t>(nameBuffer->size());
    std::uint32_t dataSize = static_cast<std::uint32_t>(data->size());
    auto* bytes = reinterpret_cast<std::uint8_t*>(data->data());
    Status status =
        byName ? system->QueryValue(key, name, &value->type, bytes, &dataSize)
               : system->EnumValue(key, index, nameBuffer->data(), &nameSize, &value->type, bytes, &dataSize);
    if (status == kMoreData) {
      bool grown = false;
      if (!byName && nameSize + 1u > nameBuffer->size()) {
        nameBuffer->resize(nameSize + 1u);
        grown = true;
      }
      if (dataSize > data->size()) {
        data->resize(dataSize);
        grown = true;
      }
      if (grown) continue;
      return status;
    }
    if (status != kSuccess) return status;
    value->data.assign(data->data(), dataSize);
    value->name = byName ? name : std::string(nameBuffer->data(), nameSize);
    return kSuccess;
  }
}

}  // namespace

Status reg::OpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result) {
  if (result) *result = nullptr;
  ManagedSystem* system = SystemOf(root);
  return system ? system->OpenKey(root, subKey, access, result) : kInvalidHandle;
}

Status reg::CreateKey(HKey root, const std::string& subKey, HKey* result) {
  if (result) *result = nullptr;
  ManagedSystem* system = SystemOf(root);
  return system ? system->CreateKey(root, subKey, result) : kInvalidHandle;
}

Status reg::CloseKey(HKey key) {
  ManagedSystem* system = SystemOf(key);
  return system ? system->CloseKey(key) : kInvalidHandle;
}

Status reg::EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* type,
                      std::uint8_t* data, std::uint32_t* dataSize) {
  ManagedSystem* system = SystemOf(key);
  return system ? system->EnumValue(key, index, name, nameSize, type, data, dataSize) : kInvalidHandle;
}

Status reg::ReadValuesAtOnce(HKey key, std::uint32_t maxName, std::uint32_t maxData,
                             std::vector<RegistryValue>* values, std::uint32_t* skipped) {
  ManagedSystem* system = SystemOf(key);
  if (!values || !skipped) return kInvalidParameter;
  return system ? system->ReadValues(key, maxName, maxData, values, skipped) : kInvalidHandle;
}

Status reg::QueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                       std::uint32_t* dataSize) {
  ManagedSystem* system = SystemOf(key);
  return system ? system->QueryValue(key, name, type, data, dataSize) : kInvalidHandle;
}

Status reg::SetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                     std::uint32_t dataSize) {
  ManagedSystem* system = SystemOf(key);
  return system ? system->SetValue(key, name, type, data, dataSize) : kInvalidHandle;
}

Status reg::QueryStoredValue(HKey key, const std::string& name, std::uint32_t* type, std::string* bytes) {
  ManagedSystem* system = SystemOf(key);
  return system ? system->QueryStoredValue(key, name, type, bytes) : kInvalidHandle;
}

Status reg::SetStoredValue(HKey key, const std::string& name, std::uint32_t type, const std::string& bytes) {
  ManagedSystem* system = SystemOf(key);
  return system ? system->SetStoredValue(key, name, type, bytes) : kInvalidHandle;
}

Status reg::DeleteValue(HKey key, const std::string& name) {
  ManagedSystem* system = SystemOf(key);
  return system ? system->DeleteValue(key, name) : kInvalidHandle;
}

Status reg::EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) {
  ManagedSystem* system = SystemOf(key);
  return system ? system->EnumKey(key, index, name, size) : kInvalidHandle;
}

Status reg::DeleteTree(HKey root, const std::string& subKey) {
  ManagedSystem* system = SystemOf(root);
  return system ? system->DeleteTree(root, subKey) : kInvalidHandle;
}

Status reg::ReadAllValues(HKey key, std::vector<RegistryValue>* values) {
  if (!values) return kInvalidParameter;
  values->clear();
  std::uint32_t skipped = 0;
  constexpr std::uint32_t kNoLimit = ~std::uint32_t{0};
  Status walked = ReadValuesAtOnce(key, kNoLimit, kNoLimit, values, &skipped);
  if (walked != kNotSupported) {
    if (walked != kSuccess) values->clear();
    return walked;
  }
  std::vector<char> nameBuffer;
  std::string data;
  for (std::uint32_t index = 0;; ++index) {
    RegistryValue value;
    Status status = ReadWhole(key, false, index, "", &nameBuffer, &data, &value);
    if (status == kNoMoreItems) return kSuccess;
    if (status != kSuccess) {
      values->clear();
      return status;
    }
    values->push_back(std::move(value));
  }
}

Status reg::QueryString(HKey key, const std::string& name, std::string* text) {
  if (!text) return kInvalidParameter;
  text->clear();
  std::vector<char> nameBuffer;
  std::string data;
  RegistryValue value;
  Status status = ReadWhole(key, true, 0, name, &nameBuffer, &data, &value);
  if (status != kSuccess) return status;
  *text = value.data.substr(0, std::min(value.data.find('\0'), value.data.size()));
  return kSuccess;
}

Status reg::SetString(HKey key, const std::string& name, const std::string& text, std::uint32_t type) {
  std::string bytes = text;
  bytes.push_back('\0');
  return reg::SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                       static_cast<std::uint32_t>(bytes.size()));
}

}  // namespace platform
