#include "platform/user_data.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/files.h"
#include "platform/posix/host_user.h"

namespace platform::files {

namespace {

bool InOwnGroups(gid_t gid) {
  if (getegid() == gid) return true;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, getgroups(0, nullptr))));
  int count = groups.empty() ? 0 : getgroups(static_cast<int>(groups.size()), groups.data());
  return std::find(groups.begin(), groups.begin() + std::max(0, count), gid) !=
         groups.begin() + std::max(0, count);
}

}  // namespace

std::string UserDataFolder(ManagedSystem& system) {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string folder;
  if (data && data[0] == '/') {
    folder = data;
  } else {
    const std::string home = posix::HostHomeFolder();
    if (home.empty()) return "";
    folder = home + "/.local/share";
  }
  return WindowsPathFromHost(system, folder + "/velmora");
}

bool FolderTakesWrites(ManagedSystem& system, const std::string& path) {
  std::string host = HostPathFromWindows(system, path);
  struct stat st;
  if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  bool permitted = st.st_uid == geteuid()   ? (st.st_mode & S_IWUSR) != 0
                   : InOwnGroups(st.st_gid) ? (st.st_mode & S_IWGRP) != 0
                                            : (st.st_mode & S_IWOTH) != 0;
  // access() adds what the bits do not say: a file system mounted read-only.
  return permitted && access(host.c_str(), W_OK | X_OK) == 0;
}

}  // namespace platform::files
