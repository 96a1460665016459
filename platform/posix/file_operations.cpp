// File operations on Windows paths.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/posix/host_file.h"
#include "platform/posix/host_system.h"
#include "platform/posix/path_util.h"
#include "platform/posix/unique_fd.h"

namespace platform {

namespace {

// Drops the kept path look-ups when a change of the file system ends, however it
// ends.
struct ForgetLookupsOnExit {
  ManagedSystem* system;
  ~ForgetLookupsOnExit() {
    if (system) files::ForgetPathLookups(*system);
  }
};

Status FailWith(int error, const std::string& what, const std::string& path) {
  Status status = posix::StatusFromErrno(error);
  SetLastErrorDetail(what + " " + path + ": " + std::strerror(error));
  return status;
}

}  // namespace

std::string files::SystemDirectory(ManagedSystem& system) {
  std::string root = env::Value(system, "SystemRoot");
  if (root.empty()) root = "C:\\windows";
  return root + "\\system32";
}

// Within a path look-up scope these are answered from what the scope learnt.
bool files::Exists(ManagedSystem& system, const std::string& path) {
  struct stat st;
  return posix::AsHost(system).StatWindows(path, &st);
}

bool files::DirectoryExists(ManagedSystem& system, const std::string& path) {
  struct stat st;
  return posix::AsHost(system).StatWindows(path, &st) && S_ISDIR(st.st_mode);
}

bool files::FileExists(ManagedSystem& system, const std::string& path) {
  struct stat st;
  return posix::AsHost(system).StatWindows(path, &st) && !S_ISDIR(st.st_mode);
}

namespace {

// Reads the file |host|; |path| is how messages name it.
Status ReadHost(const std::string& host, const std::string& path, std::string* bytes,
                std::size_t limit = std::numeric_limits<std::size_t>::max()) {
  posix::HostReadFailure failure;
  if (posix::ReadHostFile(host, bytes, &failure, nullptr, limit)) return kSuccess;
  const std::string step = failure.step;
  if (step == "open") return FailWith(failure.error, "cannot open", path);
  if (step == "type") {
    SetLastErrorDetail(path + " is not a file");
    return kAccessDenied;
  }
  return FailWith(failure.error, "cannot read", path);
}

// Replaces the file |host| through a temporary one; |path| is how messages name it.
// A host file of no system (|system| null) leaves every system's look-ups alone.
Status WriteThroughTemporary(ManagedSystem* system, const std::string& host, const std::string& path,
                             const std::string& bytes, bool flush) {
  ForgetLookupsOnExit forget{system};
  posix::AtomicWriteFailure failure;
  if (posix::WriteFileAtomically(host, bytes, flush, &failure)) return kSuccess;
  const std::string step = failure.step;
  if (step == "create") {
    // The folder as |path| names it: the host folder may lie behind the prefix's
    // drive links, which the user never sees.
    const std::size_t end = path.find_last_of("\\/");
    return FailWith(failure.error, "cannot create a file in",
                    end == std::string::npos ? failure.folder : path.substr(0, end));
  }
  if (step == "write") return FailWith(failure.error, "cannot write", path);
  if (step == "flush") return FailWith(failure.error, "cannot flush", path);
  return FailWith(failure.error, "cannot replace", path);
}

}  // namespace

Status files::ReadWholeFile(ManagedSystem& system, const std::string& path, std::string* bytes) {
  bytes->clear();
  std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  return ReadHost(host, path, bytes);
}

Status files::ReadFileStart(ManagedSystem& system, const std::string& path, std::size_t most,
                            std::string* bytes) {
  bytes->clear();
  std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  return ReadHost(host, path, bytes, most);
}

bool files::FileHolds(ManagedSystem& system, const std::string& path, const std::string& bytes) {
  const std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return false;
  posix::UniqueFd fd(open(host.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) != bytes.size())
    return false;
  char buffer[1 << 16];
  std::size_t have = 0;
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return have == bytes.size();
    const auto got = static_cast<std::size_t>(n);
    if (got > bytes.size() - have || std::memcmp(buffer, bytes.data() + have, got) != 0) return false;
    have += got;
  }
}

bool files::FileStamp(ManagedSystem& system, const std::string& path, std::uint64_t* size,
                      std::uint64_t* modified) {
  const std::string host = system.HostPathFromWindows(path);
  struct stat st;
  if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  *modified = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
              static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
  return true;
}

Status files::SetFileModified(ManagedSystem& system, const std::string& path, std::uint64_t modified) {
  const std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  const timespec times[2] = {
      {0, UTIME_OMIT},
      {static_cast<time_t>(modified / 1000000000u), static_cast<long>(modified % 1000000000u)}};
  if (utimensat(AT_FDCWD, host.c_str(), times, 0) != 0) return FailWith(errno, "cannot stamp", path);
  return kSuccess;
}

Status files::WriteAtomic(ManagedSystem& system, const std::string& path, const std::string& bytes) {
  std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  return WriteThroughTemporary(&system, host, path, bytes, true);
}

Status files::WriteScratchFile(ManagedSystem& system, const std::string& path, const std::string& bytes) {
  std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  return WriteThroughTemporary(&system, host, path, bytes, false);
}

Status files::ReadHostFile(const std::string& hostPath, std::string* bytes) {
  bytes->clear();
  return ReadHost(hostPath, hostPath, bytes);
}

Status files::WriteHostFileAtomic(const std::string& hostPath, const std::string& bytes) {
  return WriteThroughTemporary(nullptr, hostPath, hostPath, bytes, true);
}

Status files::WriteHostScratchFile(const std::string& hostPath, const std::string& bytes) {
  return WriteThroughTemporary(nullptr, hostPath, hostPath, bytes, false);
}

Status files::RemoveFile(ManagedSystem& system, const std::string& path) {
  ForgetLookupsOnExit forget{&system};
  std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return FailWith(errno, "cannot delete", path);
  if (S_ISDIR(st.st_mode)) return kAccessDenied;
  if (unlink(host.c_str()) != 0) return FailWith(errno, "cannot delete", path);
  return kSuccess;
}

Status files::MakeDirectory(ManagedSystem& system, const std::string& path) {
  ForgetLookupsOnExit forget{&system};
  std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  if (mkdir(host.c_str(), 0755) != 0) return posix::StatusFromErrno(errno);
  return kSuccess;
}

Status files::MakeDirectories(ManagedSystem& system, const std::string& path) {
  ForgetLookupsOnExit forget{&system};
  std::string host = system.HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  std::string current;
  std::size_t pos = 0;
  while (pos <= host.size()) {
    std::size_t next = host.find('/', pos);
    if (next == std::string::npos) next = host.size();
    current = host.substr(0, next);
    if (!current.empty()) {
      struct stat st;
      if (stat(current.c_str(), &st) != 0) {
        if (mkdir(current.c_str(), 0755) != 0 && errno != EEXIST)
          return FailWith(errno, "cannot create", path);
      } else if (!S_ISDIR(st.st_mode)) {
        return kPathNotFound;
      }
    }
    pos = next + 1;
  }
  return kSuccess;
}

Status files::Rename(ManagedSystem& system, const std::string& from, const std::string& to) {
  ForgetLookupsOnExit forget{&system};
  std::string hostFrom = system.HostPathFromWindows(from);
  std::string hostTo = system.HostPathFromWindows(to);
  if (hostFrom.empty() || hostTo.empty()) return kPathNotFound;
  if (rename(hostFrom.c_str(), hostTo.c_str()) != 0) return FailWith(errno, "cannot move", from);
  return kSuccess;
}

}  // namespace platform
