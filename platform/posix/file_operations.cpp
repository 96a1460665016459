// File operations on Windows paths.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/posix/path_util.h"

namespace platform {

namespace {

std::string ParentOf(const std::string& hostPath) {
  std::size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

// Drops the kept path look-ups when a change of the file system ends, however it
// ends.
struct ForgetLookupsOnExit {
  ~ForgetLookupsOnExit() { files::ForgetPathLookups(); }
};

Status FailWith(int error, const std::string& what, const std::string& path) {
  Status status = posix::StatusFromErrno(error);
  SetLastErrorDetail(what + " " + path + ": " + std::strerror(error));
  return status;
}

}  // namespace

std::string files::SystemDirectory() {
  std::string root = env::Value("SystemRoot");
  if (root.empty()) root = "C:\\windows";
  return root + "\\system32";
}

bool files::Exists(const std::string& path) {
  std::string host = files::HostPathFromWindows(path);
  struct stat st;
  return !host.empty() && stat(host.c_str(), &st) == 0;
}

bool files::DirectoryExists(const std::string& path) {
  std::string host = files::HostPathFromWindows(path);
  struct stat st;
  return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status files::ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  std::string host = files::HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FailWith(errno, "cannot open", path);
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return kAccessDenied;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      close(fd);
      return FailWith(error, "cannot read", path);
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return kSuccess;
}

namespace {

Status WriteThroughTemporary(const std::string& path, const std::string& bytes, bool flush) {
  ForgetLookupsOnExit forget;
  std::string host = files::HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  std::string folder = ParentOf(host);
  std::random_device random;
  std::string temp =
      folder + "/.velmora-" + std::to_string(getpid()) + "-" + std::to_string(random()) + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return FailWith(errno, "cannot create a file in", folder);
  // Keep the mode of the file being replaced.
  struct stat old;
  if (stat(host.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      close(fd);
      unlink(temp.c_str());
      return FailWith(error, "cannot write", path);
    }
    done += static_cast<std::size_t>(n);
  }
  if ((flush && fsync(fd) != 0) || close(fd) != 0) {
    int error = errno;
    unlink(temp.c_str());
    return FailWith(error, "cannot flush", path);
  }
  if (rename(temp.c_str(), host.c_str()) != 0) {
    int error = errno;
    unlink(temp.c_str());
    return FailWith(error, "cannot replace", path);
  }
  if (!flush) return kSuccess;
  int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return kSuccess;
}

}  // namespace

Status files::WriteAtomic(const std::string& path, const std::string& bytes) {
  return WriteThroughTemporary(path, bytes, true);
}

Status files::WriteScratchFile(const std::string& path, const std::string& bytes) {
  return WriteThroughTemporary(path, bytes, false);
}

Status files::RemoveFile(const std::string& path) {
  ForgetLookupsOnExit forget;
  std::string host = files::HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return FailWith(errno, "cannot delete", path);
  if (S_ISDIR(st.st_mode)) return kAccessDenied;
  if (unlink(host.c_str()) != 0) return FailWith(errno, "cannot delete", path);
  return kSuccess;
}

Status files::MakeDirectory(const std::string& path) {
  ForgetLookupsOnExit forget;
  std::string host = files::HostPathFromWindows(path);
  if (host.empty()) return kPathNotFound;
  if (mkdir(host.c_str(), 0755) != 0) return posix::StatusFromErrno(errno);
  return kSuccess;
}

Status files::MakeDirectories(const std::string& path) {
  ForgetLookupsOnExit forget;
  std::string host = files::HostPathFromWindows(path);
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

Status files::Rename(const std::string& from, const std::string& to) {
  ForgetLookupsOnExit forget;
  std::string hostFrom = files::HostPathFromWindows(from);
  std::string hostTo = files::HostPathFromWindows(to);
  if (hostFrom.empty() || hostTo.empty()) return kPathNotFound;
  if (rename(hostFrom.c_str(), hostTo.c_str()) != 0) return FailWith(errno, "cannot move", from);
  return kSuccess;
}

}  // namespace platform
