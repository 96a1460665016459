// Choosing an offline Windows installation and its user.
#include "platform/posix/offline_installation.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "base/text.h"
#include "platform/offline.h"
#include "platform/posix/path_util.h"
#include "platform/posix/registry_cache.h"

namespace platform {

namespace posix {

namespace {

std::unique_ptr<OfflineInstallation>& Active() {
  static std::unique_ptr<OfflineInstallation> active;
  return active;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Follows |parts| down from |root| ignoring case; "" when a part is missing.
std::string Walk(const std::string& root, std::initializer_list<const char*> parts) {
  std::string path = root;
  for (const char* part : parts) {
    std::string found = FindEntryIgnoringCase(path, part);
    if (found.empty()) return "";
    path += "/" + found;
  }
  return path;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsSharedProfile(const std::string& name) {
  for (const char* shared : {"Default", "Default User", "Public", "All Users"})
    if (velmora::EqualsIgnoreCase(name, shared)) return true;
  return false;
}

struct Profile {
  std::string name;    // folder name as it is on disk
  std::string folder;  // host path
  std::string hive;    // host path of NTUSER.DAT
  std::string parent;  // "Users" or "Documents and Settings", as on disk
};

std::vector<Profile> UserProfiles(const std::string& usersFolder, const std::string& parentName) {
  std::vector<Profile> profiles;
  DIR* dir = opendir(usersFolder.c_str());
  if (!dir) return profiles;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || IsSharedProfile(name)) continue;
    std::string folder = usersFolder + "/" + name;
    if (!IsDirectory(folder)) continue;
    std::string hive = FindEntryIgnoringCase(folder, "NTUSER.DAT");
    if (hive.empty() || !IsFile(folder + "/" + hive)) continue;
    profiles.push_back({name, folder, folder + "/" + hive, parentName});
  }
  closedir(dir);
  std::sort(profiles.begin(), profiles.end(),
            [](const Profile& a, const Profile& b) { return a.name < b.name; });
  return profiles;
}

// The profiles with a hive under Users and Documents and Settings, each once;
// |anyUsersFolder| tells whether either folder is there.
std::vector<Profile> AllUserProfiles(const std::string& root, bool* anyUsersFolder) {
  std::vector<Profile> profiles;
  *anyUsersFolder = false;
  for (const char* parent : {"Users", "Documents and Settings"}) {
    std::string folder = Walk(root, {parent});
    if (folder.empty() || !IsDirectory(folder)) continue;
    *anyUsersFolder = true;
    // Since Vista "Documents and Settings" is a junction to Users (ntfs-3g shows
    // it as a link): a profile seen there again is the same profile.
    for (Profile& p : UserProfiles(folder, folder.substr(root.size() + 1))) {
      bool seen = false;
      for (const Profile& known : profiles) seen |= velmora::EqualsIgnoreCase(known.name, p.name);
      if (!seen) profiles.push_back(std::move(p));
    }
  }
  return profiles;
}

std::string NameList(const std::vector<Profile>& profiles) {
  std::string list;
  for (const Profile& p : profiles) list += (list.empty() ? "" : ", ") + p.name;
  return list;
}

}  // namespace

OfflineInstallation* ActiveOfflineInstallation() { return Active().get(); }

std::string FindEntryIgnoringCase(const std::string& folder, const std::string& name) {
  struct stat st;
  if (lstat((folder + "/" + name).c_str(), &st) == 0) return name;
  std::string found;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (velmora::EqualsIgnoreCase(entry->d_name, name)) {
        found = entry->d_name;
        break;
      }
    }
    closedir(dir);
  }
  return found;
}

}  // namespace posix

Status OpenOfflineInstallation(const std::string& hostRoot, const std::string& userName, std::string* error) {
  using posix::OfflineHive;
  std::string ignored;
  if (!error) error = &ignored;
  std::string root = posix::WithoutTrailingSlashes(hostRoot);
  if (root.empty() || !posix::IsDirectory(root)) {
    *error = hostRoot + " is not a folder: give the root of a mounted Windows installation";
    return kPathNotFound;
  }
  std::string software = posix::Walk(root, {"Windows", "System32", "config", "SOFTWARE"});
  if (software.empty()) {
    *error =
        root + " is not the root of a Windows installation: it has no Windows\\System32\\config\\SOFTWARE";
    return kPathNotFound;
  }

  bool anyUsersFolder = false;
  std::vector<posix::Profile> profiles = posix::AllUserProfiles(root, &anyUsersFolder);
  if (!anyUsersFolder) {
    *error = "the Windows installation " + root +
             " has no Users (or Documents and Settings) folder, so it has no "
             "user's registry to work on";
    return kPathNotFound;
  }
  const posix::Profile* chosen = nullptr;
  if (!userName.empty()) {
    for (const posix::Profile& p : profiles)
      if (velmora::EqualsIgnoreCase(p.name, userName)) chosen = &p;
    if (!chosen) {
      *error = "the Windows installation " + root + " has no user profile \"" + userName +
               "\" with a registry hive" +
               (profiles.empty() ? std::string() : " (its users: " + posix::NameList(profiles) + ")");
      return kFileNotFound;
    }
  } else if (profiles.size() == 1) {
    chosen = &profiles.front();
  } else if (profiles.empty()) {
    *error = "the Windows installation " + root + " has no user profile with a registry hive (NTUSER.DAT)";
    return kFileNotFound;
  } else {
    *error = "the Windows installation " + root + " has several users: " + posix::NameList(profiles) +
             "; choose one with --user NAME";
    return kInvalidParameter;
  }

  auto installation = std::make_unique<posix::OfflineInstallation>();
  installation->root = root;
  installation->userName = chosen->name;
  installation->profilePath = "C:\\" + chosen->parent + "\\" + chosen->name;
  if (!installation->software.Open(software, OfflineHive::Kind::kSoftware, error)) return kBadRegistryFile;
  if (!installation->user.Open(chosen->hive, OfflineHive::Kind::kUser, error)) return kBadRegistryFile;
  posix::Active() = std::move(installation);
  posix::ForgetRegistryHives();
  return kSuccess;
}

std::vector<std::string> OfflineUserNames(const std::string& hostRoot) {
  bool anyUsersFolder = false;
  std::vector<std::string> names;
  const std::string root = posix::WithoutTrailingSlashes(hostRoot);
  if (root.empty() || !posix::IsDirectory(root)) return names;
  for (const posix::Profile& p : posix::AllUserProfiles(root, &anyUsersFolder)) names.push_back(p.name);
  return names;
}

bool OfflineInstallationActive() { return posix::Active() != nullptr; }

std::string OfflineInstallationRoot() { return posix::Active() ? posix::Active()->root : std::string(); }
std::string OfflineUserName() { return posix::Active() ? posix::Active()->userName : std::string(); }
std::string OfflineProfilePath() { return posix::Active() ? posix::Active()->profilePath : std::string(); }

std::string OfflineWriteRefusal(bool machineHive) {
  posix::OfflineInstallation* active = posix::Active().get();
  if (!active) return "";
  return machineHive ? active->software.WriteRefusal() : active->user.WriteRefusal();
}

std::vector<std::string> OfflineHiveBackups() {
  std::vector<std::string> backups;
  if (posix::OfflineInstallation* active = posix::Active().get()) {
    for (const posix::OfflineHive* hive : {&active->software, &active->user})
      backups.insert(backups.end(), hive->backups().begin(), hive->backups().end());
  }
  return backups;
}

void CloseOfflineInstallation() { posix::Active().reset(); }

}  // namespace platform
