// The real path of a host path without a readlink for every folder on the way.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(SYS_openat2)
#include <linux/openat2.h>
#endif

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/posix/path_util.h"

namespace platform::posix {

namespace {

// Whether |path| is absolute and each of its components a name: none empty
// (no doubled or trailing slash), none "." or "..".
bool PlainAbsolute(std::string_view path) {
  if (path.empty() || path[0] != '/') return false;
  if (path.size() == 1) return true;
  for (std::size_t start = 1; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if (name.empty() || name == "." || name == "..") return false;
    start = end + 1;
  }
  return true;
}

// Whether |path| leads to a file without passing a link: one open refused at
// any link on the way (a kernel without openat2 says no, and so does any
// failure, left to realpath to report).
bool NoLinkOnTheWay(const std::string& path) {
#if defined(SYS_openat2)
  open_how how{};
  how.flags = O_PATH | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS;
  const long fd = syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
  if (fd < 0) return false;
  close(static_cast<int>(fd));
  return true;
#else
  (void)path;
  return false;
#endif
}

}  // namespace

std::string RealPath(const std::string& path) {
  // realpath asks every component of a path whether it is a link. A plain
  // absolute path that leads to a file through no link is its own real path:
  // the kernel answers that in one call.
  if (PlainAbsolute(path) && NoLinkOnTheWay(path)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return "";
  std::string result = real;
  std::free(real);
  return result;
}

}  // namespace platform::posix
