#include "platform/posix/host_user.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform::posix {

HostUserEntry ReadHostUserEntry() {
  const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (!found) return {};
  return {found->pw_name ? found->pw_name : "", found->pw_dir ? found->pw_dir : ""};
}

std::string HostHomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  return ReadHostUserEntry().home;
}

}  // namespace platform::posix
