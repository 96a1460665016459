#include "platform/posix/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace platform::posix {

bool FileBytes::Open(const std::string& hostPath) {
  fd_.reset();
  size_ = 0;
  pages_.clear();
  last_ = nullptr;
  if (hostPath.empty()) return false;
  UniqueFd fd(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  fd_ = std::move(fd);
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool FileBytes::ReadFile(std::uint64_t offset, std::size_t count, char* out) const {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = pread(fd_.get(), out + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the file shrank under us, or an I/O error
    done += static_cast<std::size_t>(n);
  }
  return true;
}

const std::string* FileBytes::Page(std::uint64_t index) const {
  // Reads come in runs within one page: the last page answers first.
  if (last_ && lastIndex_ == index) return last_;
  auto it = pages_.find(index);
  if (it == pages_.end()) {
    const std::uint64_t start = index * kPage;
    std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(kPage, size_ - start)), '\0');
    if (!ReadFile(start, bytes.size(), bytes.data())) return nullptr;
    it = pages_.emplace(index, std::move(bytes)).first;
  }
  lastIndex_ = index;
  return last_ = &it->second;
}

bool FileBytes::Read(std::uint64_t offset, std::size_t count, void* out) const {
  if (!fd_ || offset > size_ || count > size_ - offset) return false;
  auto* bytes = static_cast<char*>(out);
  if (count >= kPage) return ReadFile(offset, count, bytes);
  // At most two pages: the piece may cross a page's end.
  while (count > 0) {
    const std::string* page = Page(offset / kPage);
    if (!page) return false;
    const std::size_t inside = static_cast<std::size_t>(offset % kPage);
    const std::size_t piece = std::min(count, page->size() - inside);
    std::memcpy(bytes, page->data() + inside, piece);
    bytes += piece;
    offset += piece;
    count -= piece;
  }
  return true;
}

}  // namespace platform::posix
