// Files, folders and paths over the Win32 file API. Paths are Windows paths
// already, so the host path of a path is the path itself.
#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/folder_listing.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

using win32::Narrow;
using win32::Wide;

Status LastStatus() { return static_cast<Status>(GetLastError()); }
bool IsDirectory(const std::string& path);

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

Status WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return LastStatus();
    done += written;
  }
  return kSuccess;
}

}  // namespace

namespace files {

std::string HostPathFromWindows(ManagedSystem&, const std::string& windowsPath) { return windowsPath; }
std::string WindowsPathFromHost(ManagedSystem&, const std::string& hostPath) { return hostPath; }

// The system keeps its own caches: a scope keeps nothing, and with generation 0
// every look-up asks the file system anew.
PathLookupScope::PathLookupScope(ManagedSystem& system) : system_(system) {}
PathLookupScope::~PathLookupScope() = default;
std::uint64_t PathLookupGeneration(ManagedSystem&) { return 0; }
void ForgetPathLookups(ManagedSystem&) {}

std::string ExecutablePath(ManagedSystem&) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return "";
    if (length < buffer.size()) return Narrow(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

Status FullPath(ManagedSystem&, const std::string& path, std::string* fullPath) {
  fullPath->clear();
  if (path.empty()) return kInvalidParameter;
  std::wstring wide = Wide(path);
  DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return LastStatus();
  std::vector<wchar_t> buffer(needed);
  DWORD length = GetFullPathNameW(wide.c_str(), needed, buffer.data(), nullptr);
  if (length == 0 || length >= needed) return LastStatus();
  *fullPath = Narrow(buffer.data(), length);
  return kSuccess;
}

std::string SystemDirectory(ManagedSystem&) {
  wchar_t buffer[MAX_PATH];
  UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? "" : Narrow(buffer, length);
}

bool Exists(ManagedSystem&, const std::string& path) {
  return !path.empty() && GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(ManagedSystem&, const std::string& path) { return IsDirectory(path); }

bool FileExists(ManagedSystem&, const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace files

namespace {

bool IsDirectory(const std::string& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Status ReadWhole(const std::string& path, std::string* bytes, std::size_t limit = std::string::npos) {
  bytes->clear();
  Handle file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return LastStatus();
  char buffer[65536];
  while (bytes->size() < limit) {
    DWORD read = 0;
    const std::size_t want = std::min(sizeof buffer, limit - bytes->size());
    if (!ReadFile(file.get(), buffer, static_cast<DWORD>(want), &read, nullptr)) return LastStatus();
    if (read == 0) return kSuccess;
    bytes->append(buffer, read);
  }
  return kSuccess;
}

Status WriteReplacing(const std::string& path, const std::string& bytes) {
  std::wstring target = Wide(path);
  std::wstring temp = target + L".tmp" + std::to_wstring(std::random_device{}());
  Status status;
  {
    Handle file(
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return LastStatus();
    status = WriteAll(file.get(), bytes);
    if (status == kSuccess && !FlushFileBuffers(file.get())) status = LastStatus();
  }
  if (status == kSuccess &&
      !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    status = LastStatus();
  }
  if (status != kSuccess) DeleteFileW(temp.c_str());
  return status;
}

Status MakeOneDirectory(const std::string& path) {
  return CreateDirectoryW(Wide(path).c_str(), nullptr) ? kSuccess : LastStatus();
}

Status MakeDirectoryPath(const std::string& path) {
  if (path.empty()) return kInvalidParameter;
  if (IsDirectory(path)) return kSuccess;
  std::size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0 && !(cut == 2 && path[1] == ':')) {
    Status parent = MakeDirectoryPath(path.substr(0, cut));
    if (parent != kSuccess) return parent;
  }
  Status status = MakeOneDirectory(path);
  return status == kAlreadyExists && IsDirectory(path) ? kSuccess : status;
}

}  // namespace

namespace files {

Status ReadWholeFile(ManagedSystem&, const std::string& path, std::string* bytes) {
  return ReadWhole(path, bytes);
}

Status ReadFileStart(ManagedSystem&, const std::string& path, std::size_t most, std::string* bytes) {
  return ReadWhole(path, bytes, most);
}

bool FileHolds(ManagedSystem&, const std::string& path, const std::string& bytes) {
  std::string present;
  return ReadWhole(path, &present) == kSuccess && present == bytes;
}

bool FileStamp(ManagedSystem&, const std::string& path, std::uint64_t* size, std::uint64_t* modified) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  *modified = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
              data.ftLastWriteTime.dwLowDateTime;
  return true;
}

Status SetFileModified(ManagedSystem&, const std::string& path, std::uint64_t modified) {
  HANDLE file = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastStatus();
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(modified);
  time.dwHighDateTime = static_cast<DWORD>(modified >> 32);
  const bool set = SetFileTime(file, nullptr, nullptr, &time);
  const Status status = set ? kSuccess : LastStatus();
  CloseHandle(file);
  return status;
}

Status WriteAtomic(ManagedSystem&, const std::string& path, const std::string& bytes) {
  return WriteReplacing(path, bytes);
}

Status WriteScratchFile(ManagedSystem&, const std::string& path, const std::string& bytes) {
  return WriteReplacing(path, bytes);
}

Status ReadHostFile(const std::string& hostPath, std::string* bytes) { return ReadWhole(hostPath, bytes); }

Status WriteHostFileAtomic(const std::string& hostPath, const std::string& bytes) {
  return WriteReplacing(hostPath, bytes);
}

Status WriteHostScratchFile(const std::string& hostPath, const std::string& bytes) {
  return WriteReplacing(hostPath, bytes);
}

Status RemoveFile(ManagedSystem&, const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) ? kSuccess : LastStatus();
}

Status MakeDirectory(ManagedSystem&, const std::string& path) { return MakeOneDirectory(path); }

Status MakeDirectories(ManagedSystem&, const std::string& path) { return MakeDirectoryPath(path); }

Status Rename(ManagedSystem&, const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)
             ? kSuccess
             : LastStatus();
}

}  // namespace files

// FindFirstFileW/FindNextFileW; FolderSearch orders the items as on every backend.
bool files::ListMatchingItems(ManagedSystem&, const std::string& pattern, std::vector<FoundItem>* items) {
  std::size_t cut = pattern.find_last_of("\\/");
  std::string folder = cut == std::string::npos ? "" : pattern.substr(0, cut);
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Wide(pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    FoundItem item;
    item.name = Narrow(data.cFileName, wcslen(data.cFileName));
    item.fullPath = folder.empty() ? item.name : folder + "\\" + item.name;
    item.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.isDots = item.name == "." || item.name == "..";
    item.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    items->push_back(item);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
}

}  // namespace platform
