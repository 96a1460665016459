// The owner of one open file descriptor: it closes it when it goes, on every
// return path.
#pragma once

#include <unistd.h>

#include <cerrno>

namespace platform::posix {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // Gives the descriptor up without closing it; -1 when none was held.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

  // Closes the descriptor held, if any, and takes |fd|. A failure to close is
  // ignored and leaves errno as it was: the close on an error path must not hide
  // the error being reported.
  void reset(int fd = -1) {
    if (fd_ >= 0 && fd_ != fd) {
      int saved = errno;
      ::close(fd_);
      errno = saved;
    }
    fd_ = fd;
  }

  // Closes the descriptor now, for a caller that must know whether the data
  // written reached the file: 0, or -1 with errno set. 0 when none was held.
  int Close() {
    if (fd_ < 0) return 0;
    return ::close(release());
  }

 private:
  int fd_ = -1;
};

}  // namespace platform::posix
