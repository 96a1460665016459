// The real path of a host path without a readlink for every folder on the way.
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix/path_util.h"
#include "platform/posix/unique_fd.h"

namespace platform::posix {

namespace {

// The path the kernel gives the file |path| leads to, from a handle that only
// names it (nothing is read, no device is opened); "" when it cannot be had.
std::string KernelName(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_PATH | O_CLOEXEC));
  if (!fd) return "";
  char name[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd.get());
  const ssize_t size = readlink(link.c_str(), name, sizeof name);
  if (size <= 0 || static_cast<std::size_t>(size) >= sizeof name) return "";
  return std::string(name, static_cast<std::size_t>(size));
}

}  // namespace

std::string RealPath(const std::string& path) {
  // realpath asks every component of a path whether it is a link. A path the
  // kernel names the same as it is written has none (a link's target is named by
  // its own folders, never through the link) and no "." or ".." either: it is
  // its own real path. Any other answer is realpath's.
  if (!path.empty() && path[0] == '/' && KernelName(path) == path) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return "";
  std::string result = real;
  std::free(real);
  return result;
}

}  // namespace platform::posix
