// Helpers shared by the POSIX backend.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/text.h"
#include "platform/status.h"

namespace platform::posix {

// What a host path names, links followed.
inline bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
inline bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The path with every link resolved, as realpath gives it; "" when it does not
// lead anywhere (missing, a link loop, a folder on the way that cannot be searched).
std::string RealPath(const std::string& path);

// Win32 status of an errno value.
inline Status StatusFromErrno(int error) {
  switch (error) {
    case 0:
      return kSuccess;
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
      return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kAccessDenied;
    case EEXIST:
      return kAlreadyExists;
    case EINVAL:
      return kInvalidParameter;
    default:
      return kWriteFault;
  }
}

}  // namespace platform::posix
