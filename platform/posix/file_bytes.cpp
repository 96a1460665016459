#include "platform/posix/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform::posix {

bool FileBytes::Open(const std::string& hostPath) {
  fd_.reset();
  size_ = 0;
  if (hostPath.empty()) return false;
  UniqueFd fd(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  fd_ = std::move(fd);
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool FileBytes::Read(std::uint64_t offset, std::size_t count, void* out) const {
  if (!fd_ || offset > size_ || count > size_ - offset) return false;
  auto* bytes = static_cast<char*>(out);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = pread(fd_.get(), bytes + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the file shrank under us, or an I/O error
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform::posix
