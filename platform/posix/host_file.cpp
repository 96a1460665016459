// The one reader and the one writer of whole files on the host.
#include "platform/posix/host_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "platform/posix/unique_fd.h"

namespace platform::posix {

namespace {

std::string FolderOf(const std::string& hostPath) {
  std::size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

// The process number in a temporary file's name ".velmora-<pid>-<n>.tmp"; 0 for
// any other name.
pid_t TemporaryFileOwner(const char* name) {
  const char kHead[] = ".velmora-";
  if (std::strncmp(name, kHead, sizeof kHead - 1) != 0) return 0;
  const char* at = name + sizeof kHead - 1;
  if (!std::isdigit(static_cast<unsigned char>(*at))) return 0;
  char* end = nullptr;
  errno = 0;
  const long pid = std::strtol(at, &end, 10);
  if (errno != 0 || pid <= 0 || pid > std::numeric_limits<pid_t>::max() || *end != '-') return 0;
  at = end + 1;
  if (!std::isdigit(static_cast<unsigned char>(*at))) return 0;
  std::strtoul(at, &end, 10);
  return std::strcmp(end, ".tmp") == 0 ? static_cast<pid_t>(pid) : 0;
}

// Removes from |folder| the temporary files of writes whose process is gone
// (killed mid-write). A process that still runs, or that this one may not
// signal, may be writing: its files stay, as do this process's own.
void RemoveAbandonedTemporaryFiles(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const pid_t self = getpid();
  while (const dirent* entry = readdir(dir)) {
    const pid_t owner = TemporaryFileOwner(entry->d_name);
    if (owner == 0 || owner == self) continue;
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

}  // namespace

bool ReadHostFile(const std::string& hostPath, std::string* bytes, HostReadFailure* failure,
                  struct stat* opened, std::size_t limit) {
  bytes->clear();
  auto fail = [&](int error, const char* step) {
    if (failure) *failure = HostReadFailure{error, step};
    return false;
  };
  UniqueFd fd(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return fail(errno, "open");
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return fail(errno, "type");
  // Directories, pipes and devices are no files to read whole (a pipe could block).
  if (!S_ISREG(st.st_mode)) return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "type");
  // The size the file has now is read straight into |bytes|; what it may have
  // grown by since (or all of a file whose size says nothing, as in /proc) after.
  const std::size_t expected =
      st.st_size > 0 ? std::min<std::size_t>(static_cast<std::size_t>(st.st_size), limit) : 0;
  std::size_t have = 0;
  int readError = 0;
  // Read into the string's own storage: zeroing megabytes first only to overwrite
  // them costs as much again as the read.
  auto readExpected = [&](char* data, std::size_t) {
    while (have < expected) {
      ssize_t n = read(fd.get(), data + have, expected - have);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        readError = errno;
        return std::size_t{0};
      }
      if (n == 0) break;
      have += static_cast<std::size_t>(n);
    }
    return have;
  };
#if defined(__cpp_lib_string_resize_and_overwrite)
  bytes->resize_and_overwrite(expected, readExpected);
#else
  bytes->resize(expected);
  bytes->resize(readExpected(bytes->data(), expected));
#endif
  if (readError != 0) return fail(readError, "read");
  char buffer[1 << 16];
  while (have == expected && bytes->size() < limit) {
    ssize_t n = read(fd.get(), buffer, std::min(sizeof buffer, limit - bytes->size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno, "read");
    if (n == 0) break;
    bytes->append(buffer, static_cast<std::size_t>(n));
  }
  fd.reset();
  if (opened) *opened = st;
  return true;
}

bool WriteFileAtomically(const std::string& hostPath, std::string_view bytes, bool flush,
                         AtomicWriteFailure* failure, struct stat* written, mode_t newMode) {
  const std::string folder = FolderOf(hostPath);
  std::string temp;
  UniqueFd fd;
  auto fail = [&](int error, const char* step) {
    fd.reset();
    if (std::string_view(step) != "create") unlink(temp.c_str());
    if (failure) *failure = AtomicWriteFailure{error, step, folder};
    return false;
  };
  RemoveAbandonedTemporaryFiles(folder);
  // The number is drawn at random, so that writes on several threads, and a later
  // process that gets the same process number as one killed mid-write, choose
  // other names; a name that exists all the same is passed over, never reused.
  std::random_device random;
  for (int attempt = 0; attempt < 1000 && !fd; ++attempt) {
    temp = folder + "/.velmora-" + std::to_string(getpid()) + "-" + std::to_string(random()) + ".tmp";
    fd.reset(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newMode));
    if (!fd && errno != EEXIST) break;
  }
  if (!fd) return fail(errno, "create");
  struct stat old;
  if (stat(hostPath.c_str(), &old) == 0) {
    fchmod(fd.get(), old.st_mode & 07777);
    if (fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
      // Only a privileged process can give the file away; keeping ours is fine.
    }
  }
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : EIO, "write");
    done += static_cast<std::size_t>(n);
  }
  if (flush && fsync(fd.get()) != 0) return fail(errno, "flush");
  if (written && fstat(fd.get(), written) != 0) return fail(errno, "flush");
  if (fd.Close() != 0) return fail(errno, "flush");
  if (rename(temp.c_str(), hostPath.c_str()) != 0) return fail(errno, "replace");
  if (flush) {
    UniqueFd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd) fsync(folderFd.get());
  }
  return true;
}

}  // namespace platform::posix
