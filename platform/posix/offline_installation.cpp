// Choosing an offline Windows installation and its user.
#include "platform/posix/offline_installation.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "base/text.h"
#include "platform/posix/path_util.h"
#include "platform/posix/system_environment.h"
#include "platform/registry.h"

namespace platform {

namespace posix {

namespace {

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

OfflineInstallation::OfflineInstallation(std::string root, std::string userName, std::string profilePath)
    : root_(std::move(root)), userName_(std::move(userName)), profilePath_(std::move(profilePath)) {}

bool OfflineInstallation::OpenHives(const std::string& softwareHive, const std::string& userHive,
                                    std::string* error) {
  return software_.Open(softwareHive, OfflineHive::Kind::kSoftware, error) &&
         user_.Open(userHive, OfflineHive::Kind::kUser, error);
}

void OfflineInstallation::OpenSystemHive(const std::string& systemHive) {
  std::string ignored;
  if (!systemHive.empty()) system_.Open(systemHive, OfflineHive::Kind::kSystem, &ignored);
}

std::string OfflineInstallation::Name() const {
  return "the Windows installation " + root_ + " (user " + userName_ + ")";
}

// A 64-bit Windows keeps the machine's keys of 32-bit programs in SOFTWARE's
// Wow6432Node; a 32-bit Windows has no such key.
bool OfflineInstallation::Has32BitView() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return software_.Find({"Wow6432Node"}) != 0;
}

// Every change writes the user's hive (the store lives there); a change of a
// machine key writes SOFTWARE too.
WriteRefusal OfflineInstallation::FirstRefusal(std::initializer_list<const OfflineHive*> hives) {
  WriteRefusal refusal;
  for (const OfflineHive* hive : hives) {
    refusal.reason = hive->WriteRefusal();
    if (!refusal.reason.empty()) {
      refusal.refused = true;
      return refusal;
    }
  }
  return refusal;
}

WriteRefusal OfflineInstallation::CheckWritesAllowed(bool machineHive) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return machineHive ? FirstRefusal({&user_, &software_}) : FirstRefusal({&user_});
}

// The services are in the SYSTEM hive; without it there are none to change.
WriteRefusal OfflineInstallation::CheckServiceWritesAllowed() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return system_.IsOpen() ? FirstRefusal({&user_, &system_}) : FirstRefusal({&user_});
}

std::vector<std::string> OfflineInstallation::HiveBackups() const {
  std::vector<std::string> backups;
  for (const OfflineHive* hive : {&software_, &user_, &system_})
    backups.insert(backups.end(), hive->backups().begin(), hive->backups().end());
  return backups;
}

std::string OfflineInstallation::StartupFolder(bool common) {
  std::string folder;
  UniqueKey key;
  if (reg::OpenKey(common ? LocalMachine() : CurrentUser(),
                   "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", kKeyRead,
                   key.out()) == kSuccess &&
      reg::QueryString(key.get(), common ? "Common Startup" : "Startup", &folder) != kSuccess)
    folder.clear();
  if (folder.empty()) {
    // Before Vista the Start Menu lay in the profile folder itself.
    const bool xp = velmora::EqualsIgnoreCase(profilePath_.substr(0, 26), "C:\\Documents and Settings\\");
    folder = std::string(common ? "%ALLUSERSPROFILE%"
                         : xp   ? "%USERPROFILE%"
                                : "%APPDATA%") +
             (xp ? "" : "\\Microsoft\\Windows") + "\\Start Menu\\Programs\\Startup";
  }
  return ExpandInSystem(*this, folder);
}

std::string OfflineInstallation::DriveHostRoot(char letter) {
  return letter == 'c' ? root_ : letter == 'z' ? "/" : "";
}

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

Status OpenOfflineSystem(const std::string& hostRoot, const std::string& userName,
                         std::unique_ptr<ManagedSystem>* system, std::string* error) {
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

  auto installation = std::make_unique<posix::OfflineInstallation>(
      root, chosen->name, "C:\\" + chosen->parent + "\\" + chosen->name);
  if (!installation->OpenHives(software, chosen->hive, error)) return kBadRegistryFile;
  installation->OpenSystemHive(posix::Walk(root, {"Windows", "System32", "config", "SYSTEM"}));
  *system = std::move(installation);
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

}  // namespace platform
