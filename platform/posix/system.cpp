// The single-instance lock, the system version and the end of the process.
#include "platform/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/host_system.h"
#include "platform/posix/path_util.h"
#include "platform/posix/unique_fd.h"
#include "platform/registry.h"

namespace platform {

namespace {

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st;
  if (runtime && runtime[0] == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) return runtime;
  return "";
}

// A private folder in /tmp that must belong to the user alone; "" when another
// user made it first.
std::string PrivateTmpFolder() {
  std::string own = "/tmp/velmora-" + std::to_string(getuid());
  if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return "";
  struct stat st;
  if (lstat(own.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
      (st.st_mode & 077) != 0) {
    return "";
  }
  return own;
}

// A file name for a mutex name: letters, digits, '-', '_' and '.' stay, every other
// byte becomes %XX, so that different names never share a file. "Local\" names
// the same object as no prefix at all.
std::string LockFileName(std::string name) {
  if (name.size() >= 6 && velmora::EqualsIgnoreCase(std::string_view(name).substr(0, 6), "Local\\")) {
    name = name.substr(6);
  }
  std::string encoded;
  for (unsigned char c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || (c == '.' && !encoded.empty());
    if (plain) {
      encoded += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      encoded += hex;
    }
  }
  if (encoded.size() > 180) {
    // Keep the name within the file system's limit; the hash keeps long names apart.
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    char tail[20];
    std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
    encoded = encoded.substr(0, 160) + tail;
  }
  return "velmora-mutex-" + encoded + ".lock";
}

bool ParseVersion(const std::string& text, std::uint32_t* major, std::uint32_t* minor) {
  const char* p = text.c_str();
  char* end = nullptr;
  unsigned long a = std::strtoul(p, &end, 10);
  if (end == p || *end != '.') return false;
  const char* q = end + 1;
  unsigned long b = std::strtoul(q, &end, 10);
  if (end == q) return false;
  *major = static_cast<std::uint32_t>(a);
  *minor = static_cast<std::uint32_t>(b);
  return true;
}

bool QueryDword(HKey key, const char* name, std::uint32_t* value) {
  std::uint32_t type = 0;
  std::uint8_t data[4];
  std::uint32_t size = sizeof data;
  if (reg::QueryValue(key, name, &type, data, &size) != kSuccess || type != kRegDword || size != 4)
    return false;
  *value = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
           static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
  return true;
}

// A prefix set to a Windows 9x version has no NT version but "VersionNumber"
// (for example 4.10.2222) under Software\Microsoft\Windows\CurrentVersion, as Wine
// reads it too. Fills |info| as the 9x platform (id 1); false when that is missing
// or not a number either.
bool GetWindows9xVersion(HKey machine, OsVersionInfo* info) {
  HKey key = nullptr;
  if (reg::OpenKey(machine, "Software\\Microsoft\\Windows\\CurrentVersion", kKeyRead, &key) != kSuccess) {
    return false;
  }
  std::string text;
  std::uint32_t major = 0, minor = 0;
  bool found =
      reg::QueryString(key, "VersionNumber", &text) == kSuccess && ParseVersion(text, &major, &minor);
  reg::CloseKey(key);
  if (!found) return false;
  info->majorVersion = major;
  info->minorVersion = minor;
  std::size_t build = text.rfind('.');
  if (build != std::string::npos && build > text.find('.')) {
    info->buildNumber = static_cast<std::uint32_t>(std::strtoul(text.c_str() + build + 1, nullptr, 10));
  }
  info->platformId = 1;
  return true;
}

// Takes the lock file of |name| in |folder|; *held receives its descriptor.
Status LockIn(const std::string& folder, const std::string& name, posix::UniqueFd* held) {
  std::string path = folder + "/" + LockFileName(name);
  posix::UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) return posix::StatusFromErrno(errno);
  int result;
  do {
    result = flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return errno == EWOULDBLOCK ? kAlreadyExists : posix::StatusFromErrno(errno);
  *held = std::move(fd);
  return kSuccess;
}

// The lock file of |name| in the user's runtime folder.
Status TakeLockFile(const std::string& name, posix::UniqueFd* held) {
  std::string runtime = RuntimeFolder();
  Status status = kAccessDenied;
  if (!runtime.empty()) {
    status = LockIn(runtime, name, held);
    if (status == kSuccess || status == kAlreadyExists) return status;
  }
  // No runtime folder, or one this user cannot write (inherited from another
  // user): the private folder in /tmp serves instead.
  std::string own = PrivateTmpFolder();
  return own.empty() ? status : LockIn(own, name, held);
}

// Closing the lock file's descriptor releases the lock.
class FileLock : public NamedLock {
 public:
  explicit FileLock(posix::UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  posix::UniqueFd fd_;
};

}  // namespace

Status CreateNamedMutex(const std::string& name) {
  posix::UniqueFd held;
  Status status = TakeLockFile(name, &held);
  // The descriptor is never closed: the lock lasts until the process ends.
  if (status == kSuccess) static_cast<void>(held.release());
  return status;
}

Status TakeNamedLock(const std::string& name, std::unique_ptr<NamedLock>* lock) {
  posix::UniqueFd held;
  Status status = TakeLockFile(name, &held);
  if (status == kSuccess) *lock = std::make_unique<FileLock>(std::move(held));
  return status;
}

namespace posix {

bool HostSystem::QueryVersion(OsVersionInfo* info) {
  if (!info || (info->size != 148 && info->size != 156)) return false;
  std::uint32_t size = info->size;
  *info = OsVersionInfo();
  info->size = size;
  if (Prepare() != kSuccess) return false;

  UniqueKey key;
  if (reg::OpenKey(LocalMachine(), "Software\\Microsoft\\Windows NT\\CurrentVersion", kKeyRead, key.out()) !=
      kSuccess) {
    return GetWindows9xVersion(LocalMachine(), info);
  }
  std::string text;
  bool found = reg::QueryString(key.get(), "CurrentVersion", &text) == kSuccess &&
               ParseVersion(text, &info->majorVersion, &info->minorVersion);
  if (!found) {
    std::uint32_t major = 0, minor = 0;
    if (QueryDword(key.get(), "CurrentMajorVersionNumber", &major) &&
        QueryDword(key.get(), "CurrentMinorVersionNumber", &minor)) {
      info->majorVersion = major;
      info->minorVersion = minor;
      found = true;
    }
  }
  if (reg::QueryString(key.get(), "CurrentBuildNumber", &text) == kSuccess ||
      reg::QueryString(key.get(), "CurrentBuild", &text) == kSuccess) {
    info->buildNumber = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
  }
  if (reg::QueryString(key.get(), "CSDVersion", &text) == kSuccess) {
    info->csdVersion = text.substr(0, 127);  // the record holds 128 characters
  }
  if (!found) return GetWindows9xVersion(LocalMachine(), info);
  info->platformId = 2;
  return true;
}

}  // namespace posix

void TerminateCurrentProcess(std::uint32_t exitCode) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  _exit(static_cast<int>(exitCode & 0xFF));
}

}  // namespace platform
