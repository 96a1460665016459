// The one reader and the one writer of whole files on the host.
#include "platform/posix/host_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace platform::posix {

namespace {

std::string FolderOf(const std::string& hostPath) {
  std::size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

}  // namespace

bool ReadHostFile(const std::string& hostPath, std::string* bytes, HostReadFailure* failure,
                  struct stat* opened, std::size_t limit) {
  bytes->clear();
  auto fail = [&](int error, const char* step, int fd) {
    if (fd >= 0) close(fd);
    if (failure) *failure = HostReadFailure{error, step};
    return false;
  };
  int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(errno, "open", -1);
  struct stat st;
  if (fstat(fd, &st) != 0) return fail(errno, "type", fd);
  // Directories, pipes and devices are no files to read whole (a pipe could block).
  if (!S_ISREG(st.st_mode)) return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "type", fd);
  if (st.st_size > 0) bytes->reserve(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), limit));
  char buffer[1 << 16];
  while (bytes->size() < limit) {
    ssize_t n = read(fd, buffer, std::min(sizeof buffer, limit - bytes->size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno, "read", fd);
    if (n == 0) break;
    bytes->append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (opened) *opened = st;
  return true;
}

bool WriteFileAtomically(const std::string& hostPath, std::string_view bytes, bool flush,
                         AtomicWriteFailure* failure, struct stat* written, mode_t newMode) {
  static std::atomic<unsigned> counter{0};
  const std::string folder = FolderOf(hostPath);
  std::string temp;
  auto fail = [&](int error, const char* step, int fd) {
    if (fd >= 0) close(fd);
    if (std::string_view(step) != "create") unlink(temp.c_str());
    if (failure) *failure = AtomicWriteFailure{error, step, folder};
    return false;
  };
  // A process killed mid-write leaves its temporary file behind, and a later
  // process may get the same number: such a name is passed over, never reused.
  int fd = -1;
  for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt) {
    temp = folder + "/.velmora-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newMode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return fail(errno, "create", -1);
  struct stat old;
  if (stat(hostPath.c_str(), &old) == 0) {
    fchmod(fd, old.st_mode & 07777);
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Only a privileged process can give the file away; keeping ours is fine.
    }
  }
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : EIO, "write", fd);
    done += static_cast<std::size_t>(n);
  }
  if (flush && fsync(fd) != 0) return fail(errno, "flush", fd);
  if (written && fstat(fd, written) != 0) return fail(errno, "flush", fd);
  int closed = close(fd);
  if (closed != 0) return fail(errno, "flush", -1);
  if (rename(temp.c_str(), hostPath.c_str()) != 0) return fail(errno, "replace", -1);
  if (flush) {
    int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
      fsync(folderFd);
      close(folderFd);
    }
  }
  return true;
}

}  // namespace platform::posix
