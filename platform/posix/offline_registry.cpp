// The registry of an offline installation over its two hives.
#include <cstring>
#include <mutex>

#include "base/names.h"
#include "base/text.h"
#include "base/utf16.h"
#include "platform/posix/offline_installation.h"
#include "platform/posix/path_util.h"
#include "platform/posix/registry_handle.h"

namespace platform::posix {

// A key as the backend finds it: its hive ("null" for the root of
// HKEY_LOCAL_MACHINE, which holds only Software) and its path in that hive.
struct OfflineInstallation::Located {
  RegistryKeyHandle* handle = nullptr;
  OfflineHive* hive = nullptr;
  std::vector<std::string> path;  // below the hive's root, UTF-8
  std::vector<std::u16string> fullPath;
  bool machineRoot = false;
};

// Places a full key path: HKEY_LOCAL_MACHINE\Software\... lies in SOFTWARE,
// System\... in SYSTEM (when it opened); other machine keys (SAM, ...) are not
// part of this backend.
Status OfflineInstallation::Place(int hive, const std::vector<std::u16string>& fullPath, Located* where) {
  where->fullPath = fullPath;
  where->path.clear();
  std::size_t first = 0;
  if (hive == kMachineHive) {
    if (fullPath.empty()) {
      where->machineRoot = true;
      return kSuccess;
    }
    const std::string top = velmora::Utf8FromUtf16(fullPath[0]);
    if (velmora::EqualsIgnoreCase(top, "System") && system_.IsOpen()) {
      where->hive = &system_;
    } else if (velmora::EqualsIgnoreCase(top, "Software")) {
      where->hive = &software_;
    } else {
      return kFileNotFound;
    }
    first = 1;
  } else {
    where->hive = &user_;
  }
  for (std::size_t i = first; i < fullPath.size(); ++i)
    where->path.push_back(velmora::Utf8FromUtf16(fullPath[i]));
  return kSuccess;
}

// The key of a handle, which must still exist; |node| receives its node.
Status OfflineInstallation::Open(HKey key, Located* where, std::size_t* node) {
  RegistryKeyHandle* handle = keys_.Resolve(key);
  if (!handle) return kInvalidHandle;
  where->handle = handle;
  Status status = Place(handle->hive, handle->path, where);
  if (status != kSuccess) return status;
  if (where->machineRoot) {
    *node = 0;
    return kSuccess;
  }
  *node = where->hive->Find(where->path);
  return *node ? kSuccess : kFileNotFound;
}

namespace {

Status Fail(Status status, std::string detail) {
  SetLastErrorDetail(std::move(detail));
  return status;
}

Status CheckWrite(const OfflineHive* hive) {
  if (!hive)
    return Fail(kAccessDenied, "only HKEY_LOCAL_MACHINE\\Software of an offline installation can be changed");
  std::string refusal = hive->WriteRefusal();
  return refusal.empty() ? kSuccess : Fail(kAccessDenied, refusal);
}

// A change the hive in memory did not take: dropped, and said why.
Status EditFault(OfflineHive* hive, const std::string& what) {
  std::string detail = what + " in the registry hive " + hive->path();
  if (!hive->Damage().empty()) detail += ": " + hive->Damage();
  hive->Discard();
  return Fail(kWriteFault, detail + "; it is unchanged");
}

const OfflineValue* FindValue(const std::vector<OfflineValue>& values, const std::string& name) {
  for (const OfflineValue& v : values)
    if (velmora::SameName(v.name, name)) return &v;
  return nullptr;
}

}  // namespace

Status OfflineInstallation::OpenKey(HKey root, const std::string& subKey, std::uint32_t access,
                                    HKey* result) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!result) return kInvalidParameter;
  *result = nullptr;
  RegistryKeyHandle* base = keys_.Resolve(root);
  if (!base) return kInvalidHandle;
  int hive = base->hive;
  Located where;
  Status status = Place(hive, JoinKeyPath(base->path, subKey), &where);
  if (status != kSuccess) return status;
  if (!where.machineRoot && !where.hive->Find(where.path)) return kFileNotFound;
  *result = keys_.Add(hive, where.fullPath, (access & kWriteAccess) != 0);
  return kSuccess;
}

Status OfflineInstallation::CreateKey(HKey root, const std::string& subKey, HKey* result) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!result) return kInvalidParameter;
  *result = nullptr;
  RegistryKeyHandle* base = keys_.Resolve(root);
  if (!base) return kInvalidHandle;
  int hive = base->hive;
  Located where;
  Status status = Place(hive, JoinKeyPath(base->path, subKey), &where);
  if (status == kFileNotFound)
    return Fail(kAccessDenied, "only HKEY_LOCAL_MACHINE\\Software of an offline installation can be changed");
  if (status != kSuccess) return status;
  if (where.machineRoot || where.hive->Find(where.path)) {
    *result = keys_.Add(hive, where.fullPath, true);
    return kSuccess;
  }
  if (!base->writable) return kAccessDenied;
  status = CheckWrite(where.hive);
  if (status != kSuccess) return status;
  NoteChange();  // within the lock: a reader that sees the count waits for the edit
  if (!where.hive->Create(where.path)) {
    return EditFault(where.hive, "the key could not be made");
  }
  status = where.hive->Commit();
  if (status != kSuccess) return status;
  *result = keys_.Add(hive, where.fullPath, true);
  return kSuccess;
}

Status OfflineInstallation::EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                                      std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
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
  if (CopyRegistryName(value.name, name, nameSize) != kSuccess) {
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

Status OfflineInstallation::QueryValue(HKey key, const std::string& name, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* dataSize) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (data && !dataSize) return kInvalidParameter;
  std::uint32_t storedType = 0;
  std::string stored;
  Status status = QueryStoredValue(key, name, &storedType, &stored);
  if (status != kSuccess) return status;
  std::string bytes = ApiDataFromStored(storedType, stored);
  if (type) *type = storedType;
  if (data && bytes.size() > *dataSize) {
    *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (data) std::memcpy(data, bytes.data(), bytes.size());
  if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
  return kSuccess;
}

Status OfflineInstallation::QueryStoredValue(HKey key, const std::string& name, std::uint32_t* type,
                                             std::string* bytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!type || !bytes) return kInvalidParameter;
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  if (where.machineRoot) return kFileNotFound;
  const OfflineValue* value = FindValue(where.hive->CachedValues(node), name);
  if (!value) return kFileNotFound;
  *type = value->type;
  *bytes = value->data;
  return kSuccess;
}

Status OfflineInstallation::SetValue(HKey key, const std::string& name, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t dataSize) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!data && dataSize) return kInvalidParameter;
  return SetStored(key, OfflineValue{name, type, StoredDataFromApi(type, data, dataSize)});
}

Status OfflineInstallation::SetStoredValue(HKey key, const std::string& name, std::uint32_t type,
                                           const std::string& bytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  return SetStored(key, OfflineValue{name, type, bytes});
}

Status OfflineInstallation::SetStored(HKey key, OfflineValue value) {
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  if (!where.handle->writable) return kAccessDenied;
  status = CheckWrite(where.hive);
  if (status != kSuccess) return status;
  NoteChange();  // within the lock: a reader that sees the count waits for the edit
  const std::string name = value.name;
  const std::uint32_t type = value.type;
  std::vector<OfflineValue> values = where.hive->Values(node);
  const OfflineValue* existing = FindValue(values, name);
  if (existing && existing->type == type && existing->data == value.data)
    return kSuccess;                          // nothing to write
  if (existing) value.name = existing->name;  // the name keeps its spelling
  if (!where.hive->SetValue(node, value)) {
    return EditFault(where.hive, "the value could not be set");
  }
  return where.hive->Commit();
}

Status OfflineInstallation::DeleteValue(HKey key, const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  if (where.machineRoot) return kFileNotFound;
  if (!where.handle->writable) return kAccessDenied;
  if (!FindValue(where.hive->Values(node), name)) return kFileNotFound;
  status = CheckWrite(where.hive);
  if (status != kSuccess) return status;
  NoteChange();  // within the lock: a reader that sees the count waits for the edit
  if (!where.hive->DeleteValue(node, name)) {
    return EditFault(where.hive, "the value could not be deleted");
  }
  return where.hive->Commit();
}

Status OfflineInstallation::EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!name) return kInvalidParameter;
  Located where;
  std::size_t node = 0;
  Status status = Open(key, &where, &node);
  if (status != kSuccess) return status;
  std::vector<std::string> names = where.machineRoot
                                       ? (system_.IsOpen() ? std::vector<std::string>{"SOFTWARE", "SYSTEM"}
                                                           : std::vector<std::string>{"SOFTWARE"})
                                       : where.hive->SubkeyNames(node);
  if (index >= names.size()) return kNoMoreItems;
  return CopyRegistryName(names[index], name, &size);
}

Status OfflineInstallation::DeleteTree(HKey root, const std::string& subKey) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  RegistryKeyHandle* base = keys_.Resolve(root);
  if (!base) return kInvalidHandle;
  Located where;
  Status status = Place(base->hive, JoinKeyPath(base->path, subKey), &where);
  if (status != kSuccess) return status;
  if (where.machineRoot || where.path.empty()) return kInvalidParameter;  // a hive's root is never deleted
  std::size_t node = where.hive->Find(where.path);
  if (!node) return kFileNotFound;
  if (!base->writable) return kAccessDenied;
  status = CheckWrite(where.hive);
  if (status != kSuccess) return status;
  NoteChange();  // within the lock: a reader that sees the count waits for the edit
  if (!where.hive->DeleteKey(node)) {
    return EditFault(where.hive, "the key could not be deleted");
  }
  return where.hive->Commit();
}

}  // namespace platform::posix
