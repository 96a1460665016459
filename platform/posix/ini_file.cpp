// INI files, parsed once and served from memory until they change on disk.
#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/utf16.h"
#include "formats/ini_text.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/posix/host_file.h"
#include "platform/posix/host_system.h"

namespace platform {

namespace {

using formats::IniDocument;
using formats::ini_text::CopyOut;
using formats::ini_text::Folded;
using formats::ini_text::Trim;

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  timespec changed{};

  static FileIdentity Of(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  }
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

bool NotBefore(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

// True when |stamp| falls in the clock tick of |readStart| or just after it, so
// that a write following our read could carry the same stamp. A stamp far in the
// future cannot be repeated by a later write and is not racy.
bool RacyStamp(const timespec& stamp, const timespec& readStart) {
  timespec limit = readStart;
  limit.tv_sec += 1;
  return NotBefore(stamp, readStart) && !NotBefore(stamp, limit);
}

struct CachedFile {
  std::string hostPath;  // empty until mapped
  bool parsed = false;
  FileIdentity identity;
  // The file was changed in the same clock tick as it was read: a later write in
  // that tick would leave the identity unchanged, so the copy is not trusted.
  bool racy = false;
  // Written by this process (RememberIniFile): what it wrote is what it reads,
  // whatever becomes of the file. Another process that shares the folder (a test
  // run beside it, a second user of the program folder) may replace or delete it.
  bool ownCopy = false;
  std::shared_ptr<const IniDocument> document;
  // What this process wrote, parsed when it is first asked for: the writer does
  // not wait for the parse of a file of megabytes it may never read itself.
  std::string unparsed;
  // The pass (path look-up generation) in which the file was last checked: within
  // it the file is not checked again.
  std::uint64_t checkedIn = 0;
};

}  // namespace

namespace posix {

// The INI files a system read, by the path they were asked by.
struct IniFileCache {
  std::mutex mutex;
  std::unordered_map<std::string, CachedFile> files;
};

HostSystem::HostSystem() : iniFiles_(std::make_unique<IniFileCache>()) {}
HostSystem::~HostSystem() = default;

}  // namespace posix

namespace {

posix::IniFileCache& Cache(ManagedSystem& system) { return posix::AsHost(system).IniFiles(); }

std::string MapPath(ManagedSystem& system, const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  if (path.find_first_of("\\/") == std::string::npos) {
    // A bare file name lies in the Windows folder.
    std::string windows = env::Value(system, "SystemRoot");
    if (windows.empty()) windows = "C:\\windows";
    return system.HostPathFromWindows(windows + "\\" + path);
  }
  return system.HostPathFromWindows(path);
}

// The parsed document of |path|, or null when the file cannot be read.
std::shared_ptr<const IniDocument> DocumentOf(ManagedSystem& system, const std::string& path) {
  posix::IniFileCache& cache = Cache(system);
  std::lock_guard<std::mutex> lock(cache.mutex);
  CachedFile& file = cache.files[path];
  if (file.ownCopy) {
    if (!file.document) file.document = std::make_shared<const IniDocument>(std::move(file.unparsed));
    return file.document;
  }
  const std::uint64_t generation = files::PathLookupGeneration(system);
  if (generation != 0 && file.checkedIn == generation) return file.document;
  file.checkedIn = generation;

  struct stat st;
  bool found = !file.hostPath.empty() && stat(file.hostPath.c_str(), &st) == 0;
  if (!found) {
    // Map again: the file may have appeared under a name of other letter case.
    file.hostPath = MapPath(system, path);
    found = !file.hostPath.empty() && stat(file.hostPath.c_str(), &st) == 0;
  }
  if (!found || !S_ISREG(st.st_mode)) {
    file.parsed = false;
    file.document.reset();
    return nullptr;
  }
  if (file.parsed && !file.racy && file.identity == FileIdentity::Of(st)) return file.document;

  timespec readStart{};
  clock_gettime(CLOCK_REALTIME_COARSE, &readStart);
  std::string bytes;
  if (!posix::ReadHostFile(file.hostPath, &bytes, nullptr, &st)) {
    file.parsed = false;
    file.document.reset();
    return nullptr;
  }
  file.document = std::make_shared<const IniDocument>(std::move(bytes));
  file.parsed = true;
  file.identity = FileIdentity::Of(st);
  file.racy = RacyStamp(st.st_mtim, readStart) || RacyStamp(st.st_ctim, readStart);
  return file.document;
}

}  // namespace

std::uint32_t ini::ReadString(ManagedSystem& system, const std::string& section, const std::string& key,
                              const std::string& defaultValue, char* buffer, std::uint32_t size,
                              const std::string& path) {
  if (Trim(key).empty() || path.empty()) return CopyOut(defaultValue, buffer, size);
  std::shared_ptr<const IniDocument> document = DocumentOf(system, path);
  if (!document) return CopyOut(defaultValue, buffer, size);
  return document->Get(section, key, defaultValue, buffer, size);
}

std::shared_ptr<const IniDocument> IniDocumentOf(ManagedSystem& system, const std::string& path) {
  if (path.empty()) return nullptr;
  return DocumentOf(system, path);
}

void RememberIniFile(ManagedSystem& system, const std::string& path, std::string bytes) {
  posix::IniFileCache& cache = Cache(system);
  std::lock_guard<std::mutex> lock(cache.mutex);
  CachedFile& file = cache.files[path];
  file = CachedFile();
  file.hostPath = MapPath(system, path);
  struct stat st;
  if (file.hostPath.empty() || stat(file.hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::size_t>(st.st_size) != bytes.size()) {
    file.hostPath.clear();  // not what we think it is: read it when asked
    return;
  }
  file.unparsed = std::move(bytes);
  file.parsed = true;
  file.identity = FileIdentity::Of(st);
  file.racy = false;
  file.ownCopy = true;
}

void ini::ClearCache(ManagedSystem& system) {
  posix::IniFileCache& cache = Cache(system);
  std::lock_guard<std::mutex> lock(cache.mutex);
  cache.files.clear();
}

}  // namespace platform
