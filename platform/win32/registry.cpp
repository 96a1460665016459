// The registry over the Win32 API. Every key is opened in the 64-bit view of the
// machine (KEY_WOW64_64KEY), so a 32-bit and a 64-bit build see the same keys and
// reach the 32-bit view only through its own path (Software\Wow6432Node\...), as
// the Linux backend does in a prefix's hive files.
#include "platform/registry.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/live_windows.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

using win32::Narrow;
using win32::Wide;

constexpr REGSAM kViewFlag = KEY_WOW64_64KEY;

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Value data as the program sees it: strings as UTF-8 ending in a zero.
std::string ApiData(DWORD type, const std::vector<BYTE>& raw, DWORD size) {
  if (!IsStringType(type)) return std::string(reinterpret_cast<const char*>(raw.data()), size);
  std::string text = velmora::Utf8FromUtf16(velmora::Utf16FromLittleEndian(raw.data(), size / 2));
  if (text.empty() || text.back() != '\0') text.push_back('\0');
  return text;
}

// Value data as the registry holds it: strings as UTF-16 ending in a zero.
std::vector<BYTE> StoredData(std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  if (!IsStringType(type)) return std::vector<BYTE>(data, data + size);
  std::u16string units = velmora::Utf16FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  if (units.empty() || units.back() != u'\0') units.push_back(u'\0');
  std::vector<BYTE> stored(units.size() * 2);
  std::memcpy(stored.data(), units.data(), stored.size());
  return stored;
}

// Reads value |index| of |key| (or the value named |name| when index < 0) whole.
Status ReadValue(HKEY key, long index, const std::wstring& name, std::wstring* foundName, DWORD* type,
                 std::vector<BYTE>* data, DWORD* size) {
  data->resize(512);
  for (;;) {
    DWORD dataSize = static_cast<DWORD>(data->size());
    LSTATUS status;
    if (index >= 0) {
      std::vector<wchar_t> nameBuffer(16384);
      DWORD nameSize = static_cast<DWORD>(nameBuffer.size());
      status = RegEnumValueW(key, static_cast<DWORD>(index), nameBuffer.data(), &nameSize, nullptr, type,
                             data->data(), &dataSize);
      if (status == ERROR_SUCCESS) *foundName = std::wstring(nameBuffer.data(), nameSize);
    } else {
      status = RegQueryValueExW(key, name.c_str(), nullptr, type, data->data(), &dataSize);
    }
    if (status == ERROR_MORE_DATA) {
      data->resize(std::max<std::size_t>(data->size() * 2, dataSize + 2u));
      continue;
    }
    *size = dataSize;
    return status;
  }
}

Status CopyOut(const std::string& bytes, std::uint8_t* data, std::uint32_t* dataSize) {
  if (data && bytes.size() > *dataSize) {
    *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (data) std::memcpy(data, bytes.data(), bytes.size());
  if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
  return kSuccess;
}

}  // namespace

namespace win32 {

namespace {

// The Win32 key of a handle of |keys|; null when it is no open key.
HKEY Native(KeyTable& keys, HKey key) {
  RegistryKeyHandle* handle = keys.Resolve(key);
  if (!handle) return nullptr;
  if (handle->predefined) return handle->hive == kMachineHive ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  return reinterpret_cast<HKEY>(handle->native);
}

}  // namespace

Status LiveWindows::OpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result) {
  ClearLastErrorDetail();
  if (!result) return kInvalidParameter;
  *result = nullptr;
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(Native(keys_, root), Wide(subKey).c_str(), 0, access | kViewFlag, &key);
  if (status == ERROR_SUCCESS) {
    RegistryKeyHandle* base = keys_.Resolve(root);
    *result = keys_.Add(base->hive, {}, true, reinterpret_cast<std::uintptr_t>(key));
  }
  return status;
}

Status LiveWindows::CreateKey(HKey root, const std::string& subKey, HKey* result) {
  ClearLastErrorDetail();
  if (!result) return kInvalidParameter;
  *result = nullptr;
  HKEY key = nullptr;
  LSTATUS status =
      RegCreateKeyExW(Native(keys_, root), Wide(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS | kViewFlag, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    RegistryKeyHandle* base = keys_.Resolve(root);
    *result = keys_.Add(base->hive, {}, true, reinterpret_cast<std::uintptr_t>(key));
  }
  return status;
}

Status LiveWindows::CloseKey(HKey key) {
  std::uintptr_t native = 0;
  Status status = keys_.Close(key, &native);
  if (status != kSuccess || !native) return status;
  return RegCloseKey(reinterpret_cast<HKEY>(native));
}

Status LiveWindows::EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                              std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
  ClearLastErrorDetail();
  if (!name || !nameSize || (data && !dataSize)) return kInvalidParameter;
  std::wstring wideName;
  DWORD valueType = 0, size = 0;
  std::vector<BYTE> raw;
  Status status =
      ReadValue(Native(keys_, key), static_cast<long>(index), L"", &wideName, &valueType, &raw, &size);
  if (status != kSuccess) return status;
  std::string bytes = ApiData(valueType, raw, size);
  std::string utf8Name = Narrow(wideName);
  if (utf8Name.size() + 1 > *nameSize) {
    *nameSize = static_cast<std::uint32_t>(utf8Name.size());
    if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  std::memcpy(name, utf8Name.c_str(), utf8Name.size() + 1);
  *nameSize = static_cast<std::uint32_t>(utf8Name.size());
  if (type) *type = valueType;
  return CopyOut(bytes, data, dataSize);
}

Status LiveWindows::QueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                               std::uint32_t* dataSize) {
  ClearLastErrorDetail();
  if (data && !dataSize) return kInvalidParameter;
  std::wstring ignored;
  DWORD valueType = 0, size = 0;
  std::vector<BYTE> raw;
  Status status = ReadValue(Native(keys_, key), -1, Wide(name), &ignored, &valueType, &raw, &size);
  if (status != kSuccess) return status;
  if (type) *type = valueType;
  return CopyOut(ApiData(valueType, raw, size), data, dataSize);
}

Status LiveWindows::SetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                             std::uint32_t dataSize) {
  ClearLastErrorDetail();
  if (!data && dataSize) return kInvalidParameter;
  std::vector<BYTE> stored = StoredData(type, data, dataSize);
  return RegSetValueExW(Native(keys_, key), Wide(name).c_str(), 0, type, stored.data(),
                        static_cast<DWORD>(stored.size()));
}

Status LiveWindows::QueryStoredValue(HKey key, const std::string& name, std::uint32_t* type,
                                     std::string* bytes) {
  ClearLastErrorDetail();
  if (!type || !bytes) return kInvalidParameter;
  std::wstring ignored;
  DWORD valueType = 0, size = 0;
  std::vector<BYTE> raw;
  Status status = ReadValue(Native(keys_, key), -1, Wide(name), &ignored, &valueType, &raw, &size);
  if (status != kSuccess) return status;
  *type = valueType;
  bytes->assign(reinterpret_cast<const char*>(raw.data()), size);
  return kSuccess;
}

Status LiveWindows::SetStoredValue(HKey key, const std::string& name, std::uint32_t type,
                                   const std::string& bytes) {
  ClearLastErrorDetail();
  return RegSetValueExW(Native(keys_, key), Wide(name).c_str(), 0, type,
                        reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

Status LiveWindows::DeleteValue(HKey key, const std::string& name) {
  ClearLastErrorDetail();
  return RegDeleteValueW(Native(keys_, key), Wide(name).c_str());
}

Status LiveWindows::EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) {
  ClearLastErrorDetail();
  if (!name) return kInvalidParameter;
  wchar_t buffer[256];
  DWORD length = 256;
  LSTATUS status =
      RegEnumKeyExW(Native(keys_, key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  std::string utf8 = Narrow(buffer, length);
  if (utf8.size() + 1 > size) return kMoreData;
  std::memcpy(name, utf8.c_str(), utf8.size() + 1);
  return kSuccess;
}

Status LiveWindows::DeleteTree(HKey root, const std::string& subKey) {
  ClearLastErrorDetail();
  std::wstring path = Wide(subKey);
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(Native(keys_, root), path.c_str(), 0, KEY_ALL_ACCESS | kViewFlag, &key);
  if (status != ERROR_SUCCESS) return status;
  status = RegDeleteTreeW(key, nullptr);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return status;
  return RegDeleteKeyExW(Native(keys_, root), path.c_str(), kViewFlag, 0);
}

}  // namespace win32

// A 64-bit Windows keeps the 32-bit programs' machine keys under
// Software\Wow6432Node; a 32-bit build learns that it runs there from
// IsWow64Process.
bool win32::LiveWindows::Has32BitView() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node", 0, KEY_READ | kViewFlag, &key) ==
      ERROR_SUCCESS) {
    RegCloseKey(key);
    return true;
  }
  BOOL wow64 = FALSE;
  return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

}  // namespace platform
