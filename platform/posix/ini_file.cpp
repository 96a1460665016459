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
#include "platform/posix/unique_fd.h"

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

// A file this process took as its own as it stood (TakeIniFileAsItIs): opened
// then, and read by the first look-up, on the thread that asks first, without
// holding up the look-ups of other files. What was opened stays what is read
// when the file is removed or replaced afterwards.
struct OpenedCopy {
  posix::UniqueFd fd;
  std::size_t size = 0;
  std::once_flag read;
  std::shared_ptr<const IniDocument> document;  // null when it could not be read whole

  std::shared_ptr<const IniDocument> Document() {
    std::call_once(read, [this] {
      std::string bytes;
      std::size_t have = 0;
      // Read into the string's own storage: zeroing megabytes first only to
      // overwrite them costs as much again as the read.
      auto fill = [&](char* data, std::size_t) {
        while (have < size) {
          const ssize_t n = pread(fd.get(), data + have, size - have, static_cast<off_t>(have));
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) break;  // an I/O error, or the file shrank under us
          have += static_cast<std::size_t>(n);
        }
        return have;
      };
#if defined(__cpp_lib_string_resize_and_overwrite)
      bytes.resize_and_overwrite(size, fill);
#else
      bytes.resize(size);
      bytes.resize(fill(bytes.data(), size));
#endif
      fd.reset();
      if (have == size) document = std::make_shared<const IniDocument>(std::move(bytes));
    });
    return document;
  }
};

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
  // Or taken as it stood, to be read when first asked for.
  std::shared_ptr<OpenedCopy> opened;
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
  std::unique_lock<std::mutex> lock(cache.mutex);
  CachedFile& file = cache.files[path];
  if (file.ownCopy && file.opened) {
    const std::shared_ptr<OpenedCopy> opened = file.opened;
    lock.unlock();
    return opened->Document();
  }
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

bool TakeIniFileAsItIs(ManagedSystem& system, const std::string& path, std::uint64_t size,
                       std::uint64_t modified) {
  const std::string host = MapPath(system, path);
  if (host.empty()) return false;
  auto opened = std::make_shared<OpenedCopy>();
  opened->fd = posix::UniqueFd(open(host.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  // Checked on what was opened: the file the stamp was read from may have been
  // replaced since.
  if (!opened->fd || fstat(opened->fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) != size ||
      static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
              static_cast<std::uint64_t>(st.st_mtim.tv_nsec) !=
          modified)
    return false;
  opened->size = static_cast<std::size_t>(size);
  posix::IniFileCache& cache = Cache(system);
  std::lock_guard<std::mutex> lock(cache.mutex);
  CachedFile& file = cache.files[path];
  file = CachedFile();
  file.hostPath = host;
  file.parsed = true;
  file.identity = FileIdentity::Of(st);
  file.ownCopy = true;
  file.opened = std::move(opened);
  return true;
}

void ini::ClearCache(ManagedSystem& system) {
  posix::IniFileCache& cache = Cache(system);
  std::lock_guard<std::mutex> lock(cache.mutex);
  cache.files.clear();
}

}  // namespace platform
