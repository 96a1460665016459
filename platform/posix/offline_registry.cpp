#include "platform/posix/offline_registry.h"

#include <cstring>
#include <mutex>
#include <unordered_set>

#include "base/names.h"
#include "base/text.h"
#include "base/utf16.h"
#include "platform/posix/offline_installation.h"
#include "platform/posix/path_util.h"
#include "platform/posix/registry_handle.h"

namespace platform::posix {

namespace {

constexpr int kMachine = 0;
constexpr std::uint32_t kWriteAccess = 0x0002 | 0x0004 | 0x0020 | 0x10000 | 0x40000 | 0x80000 | 0x40000000;

std::recursive_mutex& Mutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::unordered_set<HKey>& Handles() {
  static std::unordered_set<HKey> handles;
  return handles;
}

// A key as the backend finds it: its hive ("null" for the root of
// HKEY_LOCAL_MACHINE, which holds only Software) and its path in that hive.
struct Located {
  RegistryKeyHandle* handle = nullptr;
  OfflineHive* hive = nullptr;
  std::vector<std::string> path;  // below the hive's root, UTF-8
  std::vector<std::u16string> fullPath;
  bool machineRoot = false;
};

std::vector<std::u16string> Join(const std::vector<std::u16string>& base, const std::string& subKey) {
  std::vector<std::u16string> path = base;
  std::u16string text = velmora::Utf16FromUtf8(subKey);
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t slash = text.find(u'\\', start);
    if (slash == std::u16string::npos) slash = text.size();
    if (slash > start) path.push_back(text.substr(start, slash - start));
    start = slash + 1;
  }
  return path;
}

RegistryKeyHandle* Resolve(HKey key) {
  if (key == HKeyLocalMachine() || key == HKeyCurrentUser()) return key;
  return Handles().count(key) ? key : nullptr;
}

int HiveOf(RegistryKeyHandle* handle) {
  if (handle == HKeyLocalMachine()) return kMachine;
  if (handle == HKeyCurrentUser()) return 1;
  return handle->hive;
}

// Places a full key path: HKEY_LOCAL_MACHINE\Software\... lies in SOFTWARE,
// other machine keys (System, SAM, ...) are not part of this backend.
Status Place(int hive, const std::vector<std::u16string>& fullPath, Located* where) {
  OfflineInstallation* installation = ActiveOfflineInstallation();
  if (!installation) return kInvalidHandle;
  where->fullPath = fullPath;
  where->path.clear();
  std::size_t first = 0;
  if (hive == kMachine) {
    if (fullPath.empty()) {
      where->machineRoot = true;
      return kSuccess;
    }
    if (!velmora::EqualsIgnoreCase(velmora::Utf8FromUtf16(fullPath[0]), "Software")) return kFileNotFound;
    where->hive = &installation->software;
    first = 1;
  } else {
    where->hive = &installation->user;
  }
  for (std::size_t i = first; i < fullPath.size(); ++i)
    where->path.push_back(velmora::Utf8FromUtf16(fullPath[i]));
  return kSuccess;
}

// The key of a handle, which must still exist; |node| receives its node.
Status Open(HKey key, Located* where, std::size_t* node) {
  RegistryKeyHandle* handle = Resolve(key);
  if (!handle) return kInvalidHandle;
  where->handle = handle;
  Status status = Place(HiveOf(handle), handle->path, where);
  if (status != kSuccess) return status;
  if (where->machineRoot) {
    *node = 0;
    return kSuccess;
  }
  *node = where->hive->Find(where->path);
  return *node ? kSuccess : kFileNotFound;
}

HKey NewHandle(int hive, std::vector<std::u16string> path, bool writable) {
  auto* handle = new RegistryKeyHandle{hive, std::move(path), writable};
  Handles().insert(handle);
  return handle;
}

Status Fail(Status status, std::string detail) {
  SetLastErrorDetail(std::move(detail));
  return status;
}

Status CheckWrite(const Located& where) {
  if (!where.hive)
    return Fail(kAccessDenied, "only HKEY_LOCAL_MACHINE\\Software of an offline installation can be changed");
  std::string refusal = where.hive->WriteRefusal();
  return refusal.empty() ? kSuccess : Fail(kAccessDenied, refusal);
}

Status CopyName(const std::string& name, char* buffer, std::uint32_t* size) {
  if (name.size() + 1 > *size) {
    *size = static_cast<std::uint32_t>(name.size());
    return kMoreData;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<std::uint32_t>(name.size());
  return kSuccess;
}

const OfflineValue* FindValue(const std::vector<OfflineValue>& values, const std::string& name) {
  for (const OfflineValue& v : values)
    if (velmora::SameName(v.name, name)) return &v;
  return nullptr;
}

}  // namespace

bool OfflineRegistryActive() { return ActiveOfflineInstallation() != nullptr; }

Status OfflineOpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  if (!result) return kInvalidParameter;
  *result = nullptr;
  RegistryKeyHandle* base = Resolve(root);
  if (!base) return kInvalidHandle;
  int hive = HiveOf(base);
  Located where;
  Status status = Place(hive, Join(base->path, subKey), &where);
  if (status != kSuccess) return status;
  if (!where.machineRoot && !where.hive->Find(where.path)) return kFileNotFound;
  *result = NewHandle(hive, where.fullPath, (access & kWriteAccess) != 0);
  return kSuccess;
}

Status OfflineCreateKey(HKey root, const std::string& subKey, HKey* result) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  if (!result) return kInvalidParameter;
  *result = nullptr;
  RegistryKeyHandle* base = Resolve(root);
  if (!base) return kInvalidHandle;
  int hive = HiveOf(base);
  Located where;
  Status status = Place(hive, Join(base->path, subKey), &where);
  if (status == kFileNotFound)
    return Fail(kAccessDenied, "only HKEY_LOCAL_MACHINE\\Software of an offline installation can be changed");
  if (status != kSuccess) return status;
  if (where.machineRoot || where.hive->Find(where.path)) {
    *result = NewHandle(hive, where.fullPath, true);
    return kSuccess;
  }
  if (!base->writable) return kAccessDenied;
  status = CheckWrite(where);
  if (status != kSuccess) return status;
  if (!where.hive->Create(where.path)) {
    where.hive->Discard();
    return Fail(kWriteFault, "the key could not be made in the registry hive " + where.hive->path());
  }
  status = where.hive->Commit();
  if (status != kSuccess) return status;
  *result = NewHandle(hive, where.fullPath, true);
  return kSuccess;
}

Status OfflineCloseKey(HKey key) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  if (key == HKeyLocalMachine() || key == HKeyCurrentUser()) return kSuccess;
  if (!Handles().erase(key)) return kInvalidHandle;
  delete key;
  return kSuccess;
}

Status OfflineEnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  if (!name || !nameSize || (data && !dataSize)) return kInvalidParameter;
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  if (where.machineRoot) return kNoMoreItems;
  const std::vector<OfflineValue>& values = where.hive->CachedValues(node);
  if (index >= values.size()) return kNoMoreItems;
  const OfflineValue& value = values[index];
  std::string bytes = ApiDataFromStored(value.type, value.data);
  if (CopyName(value.name, name, nameSize) != kSuccess) {
    if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (type) *type = value.type;
  if (data && bytes.size() > *dataSize) {
    *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (data) std::memcpy(data, bytes.data(), bytes.size());
  if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
  return kSuccess;
}

Status OfflineQueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  if (data && !dataSize) return kInvalidParameter;
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  if (where.machineRoot) return kFileNotFound;
  const OfflineValue* value = FindValue(where.hive->CachedValues(node), name);
  if (!value) return kFileNotFound;
  std::string bytes = ApiDataFromStored(value->type, value->data);
  if (type) *type = value->type;
  if (data && bytes.size() > *dataSize) {
    *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (data) std::memcpy(data, bytes.data(), bytes.size());
  if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
  return kSuccess;
}

Status OfflineSetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                       std::uint32_t dataSize) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  if (!data && dataSize) return kInvalidParameter;
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  if (!where.handle->writable) return kAccessDenied;
  status = CheckWrite(where);
  if (status != kSuccess) return status;
  OfflineValue value{name, type, StoredDataFromApi(type, data, dataSize)};
  std::vector<OfflineValue> values = where.hive->Values(node);
  const OfflineValue* existing = FindValue(values, name);
  if (existing && existing->type == type && existing->data == value.data)
    return kSuccess;                          // nothing to write
  if (existing) value.name = existing->name;  // the name keeps its spelling
  if (!where.hive->SetValue(node, value)) {
    where.hive->Discard();
    return Fail(kWriteFault, "the value could not be set in the registry hive " + where.hive->path());
  }
  return where.hive->Commit();
}

Status OfflineDeleteValue(HKey key, const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  if (where.machineRoot) return kFileNotFound;
  if (!where.handle->writable) return kAccessDenied;
  if (!FindValue(where.hive->Values(node), name)) return kFileNotFound;
  status = CheckWrite(where);
  if (status != kSuccess) return status;
  if (!where.hive->DeleteValue(node, name)) {
    where.hive->Discard();
    return Fail(kWriteFault, "the value could not be deleted in the registry hive " + where.hive->path());
  }
  return where.hive->Commit();
}

Status OfflineEnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  if (!name) return kInvalidParameter;
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  std::vector<std::string> names =
      where.machineRoot ? std::vector<std::string>{"SOFTWARE"} : where.hive->SubkeyNames(node);
  if (index >= names.size()) return kNoMoreItems;
  return CopyName(names[index], name, &size);
}

Status OfflineDeleteKeyTree(HKey root, const std::string& subKey) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  RegistryKeyHandle* base = Resolve(root);
  if (!base) return kInvalidHandle;
  Located where;
  Status status = Place(HiveOf(base), Join(base->path, subKey), &where);
  if (status != kSuccess) return status;
  if (where.machineRoot || where.path.empty()) return kInvalidParameter;  // a hive's root is never deleted
  std::size_t node = where.hive->Find(where.path);
  if (!node) return kFileNotFound;
  if (!base->writable) return kAccessDenied;
  status = CheckWrite(where);
  if (status != kSuccess) return status;
  if (!where.hive->DeleteKey(node)) {
    where.hive->Discard();
    return Fail(kWriteFault, "the key could not be deleted in the registry hive " + where.hive->path());
  }
  return where.hive->Commit();
}

Status OfflineReadAllValues(HKey key, std::vector<RegistryValue>* values) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  ClearLastErrorDetail();
  if (!values) return kInvalidParameter;
  values->clear();
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  if (where.machineRoot) return kSuccess;
  for (const OfflineValue& v : where.hive->Values(node))
    values->push_back(RegistryValue{v.name, v.type, ApiDataFromStored(v.type, v.data)});
  return kSuccess;
}

Status OfflineQueryString(HKey key, const std::string& name, std::string* text) {
  if (!text) return kInvalidParameter;
  text->clear();
  std::vector<RegistryValue> values;
  Status status = OfflineReadAllValues(key, &values);
  if (status != kSuccess) return status;
  for (const RegistryValue& v : values) {
    if (!velmora::SameName(v.name, name)) continue;
    *text = v.data.substr(0, std::min(v.data.find('\0'), v.data.size()));
    return kSuccess;
  }
  return kFileNotFound;
}

}  // namespace platform::posix
