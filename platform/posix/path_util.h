// Helpers shared by the POSIX backend.
#pragma once

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform::posix {

inline bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Win32 status of an errno value.
inline Status StatusFromErrno(int error) {
  switch (error) {
    case 0: return kSuccess;
    case ENOENT: return kFileNotFound;
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kAccessDenied;
    case EEXIST: return kAlreadyExists;
    case EINVAL: return kInvalidParameter;
    default: return kWriteFault;
  }
}

}  // namespace platform::posix
