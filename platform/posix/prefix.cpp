// Choosing the Wine prefix, making a minimal one, and seeing whether a
// wineserver owns it.
#include "platform/posix/prefix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/utf16.h"
#include "formats/registry_hive.h"
#include "platform/posix/host_file.h"
#include "platform/posix/host_user.h"
#include "platform/posix/path_util.h"
#include "platform/posix/unique_fd.h"
#include "platform/registry.h"
#include "platform/startup.h"

namespace platform {

namespace {

using posix::IsDirectory;
using posix::IsFile;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string LoginName() {
  std::string name = posix::ReadHostUserEntry().name;
  if (!name.empty()) return name;
  std::string user = Env("USER");
  return user.empty() ? "user" : user;
}

Status MakeFolders(const std::string& path) {
  if (path.empty()) return kInvalidParameter;
  std::string partial;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    partial = path.substr(0, slash);
    at = slash + 1;
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
      int error = errno;
      SetLastErrorDetail("cannot create the folder " + partial + ": " + std::strerror(error));
      return posix::StatusFromErrno(error);
    }
  }
  if (!IsDirectory(path)) {
    SetLastErrorDetail(path + " is not a folder");
    return kPathNotFound;
  }
  return kSuccess;
}

Status WriteNewFile(const std::string& path, const std::string& text) {
  posix::AtomicWriteFailure failure;
  if (posix::WriteFileAtomically(path, text, true, &failure, nullptr, 0666)) return kSuccess;
  SetLastErrorDetail("cannot write " + path + ": " + std::strerror(failure.error));
  return failure.error ? posix::StatusFromErrno(failure.error) : kWriteFault;
}

Status Link(const std::string& target, const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) return kSuccess;  // a drive the user set up stays
  if (symlink(target.c_str(), path.c_str()) != 0) {
    int error = errno;
    SetLastErrorDetail("cannot create " + path + ": " + std::strerror(error));
    return posix::StatusFromErrno(error);
  }
  return kSuccess;
}

// Builds a registry file from (key, value name, type, text) rows in Wine's form.
struct Row {
  const char* key;
  const char* name;  // null: the key alone
  std::uint32_t type;
  std::string text;
};

std::string RegistryFile(const std::string& branch, const std::vector<Row>& rows) {
  formats::Hive hive;
  hive.Reset("WINE REGISTRY Version 2\n;; All keys relative to " + branch + "\n\n#arch=win64\n");
  for (const Row& row : rows) {
    std::vector<std::u16string> path;
    std::u16string key = velmora::Utf16FromUtf8(row.key);
    std::size_t start = 0;
    while (start <= key.size()) {
      std::size_t slash = key.find(u'\\', start);
      if (slash == std::u16string::npos) slash = key.size();
      path.push_back(key.substr(start, slash - start));
      start = slash + 1;
    }
    formats::HiveNode* node = hive.Create(path);
    if (!row.name) continue;
    std::string data;
    if (row.type == 4) {
      std::uint32_t number = static_cast<std::uint32_t>(std::stoul(row.text));
      data.assign(reinterpret_cast<const char*>(&number), 4);
    } else {
      for (char16_t unit : velmora::Utf16FromUtf8(row.text)) {
        data.push_back(static_cast<char>(unit & 0xFF));
        data.push_back(static_cast<char>(unit >> 8));
      }
      data.append(2, '\0');
    }
    hive.SetValue(node, velmora::Utf16FromUtf8(row.name), row.type, std::move(data));
  }
  return hive.Serialize();
}

constexpr std::uint32_t kSz = 1;
constexpr std::uint32_t kExpandSz = 2;

std::string MachineRegistry() {
  const char* nt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  const char* cv = "Software\\Microsoft\\Windows\\CurrentVersion";
  const char* shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const char* env = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
  const char* profiles = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  const std::string startMenu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
  std::vector<Row> rows = {
      {nt, "CSDVersion", kSz, "Service Pack 3"},
      {nt, "CurrentBuildNumber", kSz, "2600"},
      {nt, "CurrentVersion", kSz, "5.1"},
      {nt, "ProductName", kSz, "Microsoft Windows XP"},
      {nt, "SystemRoot", kSz, "C:\\windows"},
      {profiles, "ProgramData", kSz, "C:\\ProgramData"},
      {profiles, "Public", kSz, "C:\\users\\Public"},
      {cv, "CommonFilesDir", kSz, "C:\\Program Files\\Common Files"},
      {cv, "ProgramFilesDir", kSz, "C:\\Program Files"},
      {shell, "Common AppData", kSz, "C:\\ProgramData"},
      {shell, "Common Desktop", kSz, "C:\\users\\Public\\Desktop"},
      {shell, "Common Programs", kSz, startMenu + "\\Programs"},
      {shell, "Common Start Menu", kSz, startMenu},
      {shell, "Common Startup", kSz, startMenu + "\\Programs\\StartUp"},
      {"Software\\Microsoft\\Windows\\CurrentVersion\\Run", nullptr, 0, ""},
      {"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", nullptr, 0, ""},
      {"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", kSz, "VELMORA"},
      {env, "ComSpec", kExpandSz, "%SystemRoot%\\system32\\cmd.exe"},
      {env, "NUMBER_OF_PROCESSORS", kSz, "1"},
      {env, "OS", kSz, "Windows_NT"},
      {env, "PATH", kExpandSz, "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\system32\\wbem"},
      {env, "PATHEXT", kSz, ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
      {env, "TEMP", kExpandSz, "%SystemRoot%\\temp"},
      {env, "TMP", kExpandSz, "%SystemRoot%\\temp"},
      {env, "windir", kExpandSz, "%SystemRoot%"},
  };
  return RegistryFile("REGISTRY\\\\Machine", rows);
}

std::string ShellFolderRows(const std::string& user, std::vector<Row>* rows) {
  const char* shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const std::string home = "C:\\users\\" + user;
  const std::string roaming = home + "\\AppData\\Roaming";
  const std::string startMenu = roaming + "\\Microsoft\\Windows\\Start Menu";
  rows->push_back({shell, "AppData", kSz, roaming});
  rows->push_back({shell, "Desktop", kSz, home + "\\Desktop"});
  rows->push_back({shell, "Local AppData", kSz, home + "\\AppData\\Local"});
  rows->push_back({shell, "Personal", kSz, home + "\\Documents"});
  rows->push_back({shell, "Programs", kSz, startMenu + "\\Programs"});
  rows->push_back({shell, "Start Menu", kSz, startMenu});
  rows->push_back({shell, "Startup", kSz, startMenu + "\\Programs\\StartUp"});
  return home;
}

std::string UserRegistry(const std::string& user) {
  std::vector<Row> rows;
  std::string home = ShellFolderRows(user, &rows);
  rows.push_back({"Environment", "TEMP", kExpandSz, home + "\\AppData\\Local\\Temp"});
  rows.push_back({"Environment", "TMP", kExpandSz, home + "\\AppData\\Local\\Temp"});
  rows.push_back({"Software\\Microsoft\\Windows\\CurrentVersion\\Run", nullptr, 0, ""});
  rows.push_back({"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", nullptr, 0, ""});
  return RegistryFile("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", rows);
}

std::string DefaultUserRegistry(const std::string& user) {
  std::vector<Row> rows;
  ShellFolderRows(user, &rows);
  return RegistryFile("REGISTRY\\\\User\\\\.Default", rows);
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char* cwd = getcwd(nullptr, 0);
  std::string base = cwd ? cwd : "/";
  std::free(cwd);
  return base + "/" + path;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Uses |dir| as the prefix; |create| makes a minimal one there when it holds no
// registry (the program's own prefix only). Any other folder must be a prefix
// already: a missing or incomplete one is refused, naming what is missing, and
// nothing is written. |chosen| receives its real path.
Status Choose(const std::string& dir, bool create, std::string* chosen) {
  if (create) {
    if (!IsFile(dir + "/system.reg")) {
      Status status = CreateMinimalPrefix(dir);
      if (status != kSuccess) return status;
    }
  } else if (!IsDirectory(dir)) {
    SetLastErrorDetail(dir + " does not exist: name the folder of an existing Wine prefix");
    return kPathNotFound;
  } else {
    for (const char* file : {"system.reg", "user.reg"}) {
      if (IsFile(dir + "/" + file)) continue;
      SetLastErrorDetail(dir + " is not a complete Wine prefix: it has no " + std::string(file) +
                         " (let Wine finish it with wineboot, or name another prefix)");
      return kFileNotFound;
    }
  }
  *chosen = posix::RealPath(dir);
  if (chosen->empty()) *chosen = dir;
  return kSuccess;
}

// The server's lock file holds a write lock on its first byte while it lives.
bool LockHeld(const std::string& lockPath, int* pid) {
  posix::UniqueFd fd(open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  bool held = fcntl(fd.get(), F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  fd.reset();
  if (held && pid) *pid = lock.l_pid;
  return held;
}

}  // namespace

namespace posix {

Status WinePrefix::Prepare() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return PrepareLocked();
}

Status WinePrefix::PrepareLocked() {
  if (!user_.empty()) return kSuccess;
  std::string chosen = dir_.empty() ? WithoutTrailingSlashes(Env("WINEPREFIX")) : dir_;
  bool ownPrefix = false;  // only the program's own prefix is ever made
  if (chosen.empty()) {
    std::string home = posix::HostHomeFolder();
    if (!home.empty() && IsFile(home + "/.wine/system.reg")) {
      chosen = home + "/.wine";
    } else {
      std::string data = Env("XDG_DATA_HOME");
      if (data.empty() || data[0] != '/') {
        if (home.empty()) {
          SetLastErrorDetail("no WINEPREFIX, no home folder and no XDG_DATA_HOME: nowhere to keep a prefix");
          return kPathNotFound;
        }
        data = home + "/.local/share";
      }
      chosen = data + "/velmora/prefix";
      ownPrefix = true;
    }
  }
  std::string real;
  Status status = Choose(Absolute(chosen), ownPrefix, &real);
  if (status != kSuccess) return status;
  dir_ = real;
  user_ = LoginName();
  return kSuccess;
}

std::string WinePrefix::Dir() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return user_.empty() ? std::string() : dir_;
}

std::string WinePrefix::UserName() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  PrepareLocked();
  return user_;
}

// The profile lies on the drive of the Windows folder, as Wine makes it.
std::string WinePrefix::ProfilePath() {
  std::string systemRoot;
  UniqueKey key;
  if (reg::OpenKey(LocalMachine(), "Software\\Microsoft\\Windows NT\\CurrentVersion", kKeyRead, key.out()) ==
      kSuccess)
    reg::QueryString(key.get(), "SystemRoot", &systemRoot);
  std::string drive = systemRoot.size() >= 2 && systemRoot[1] == ':' ? systemRoot.substr(0, 2) : "C:";
  return drive + "\\users\\" + UserName();
}

std::string WinePrefix::Name() const {
  std::string dir = Dir();
  return dir.empty() ? "the Wine prefix" : "the Wine prefix " + dir;
}

std::string WinePrefix::ReadMayLag() {
  int pid = 0;
  if (!WineServerRunning(&pid)) return "";
  return "a wineserver (pid " + std::to_string(pid) + ") is running for the prefix " + Dir() +
         "; what it holds in memory reaches the registry files only from time to time, so what is "
         "shown may lag its latest changes";
}

std::string WinePrefix::DriveHostRoot(char letter) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  PrepareLocked();
  return user_.empty() ? "" : dir_ + "/dosdevices/" + letter + ":";
}

WriteRefusal WinePrefix::CheckWritesAllowed(bool) {
  WriteRefusal refusal;
  int pid = 0;
  if (WineServerRunning(&pid)) {
    refusal.refused = true;
    refusal.reason = "a wineserver (pid " + std::to_string(pid) + ") is running for the prefix " + Dir() +
                     " and owns its registry";
    refusal.advice =
        "Close the prefix's programs or run `wineserver -k`, then try again; or change the prefix now with "
        "the "
        "Windows build, velmora-cli.exe, run under Wine in it (it goes through the running wineserver).";
  }
  return refusal;
}

bool WinePrefix::WineServerRunning(int* pid) const {
  if (pid) *pid = 0;
  const std::string prefixDir = Dir();
  if (prefixDir.empty()) return false;
  struct stat st;
  if (stat(prefixDir.c_str(), &st) != 0) return false;
  char serverDir[64];
  std::snprintf(serverDir, sizeof serverDir, "/server-%lx-%lx/lock", static_cast<unsigned long>(st.st_dev),
                static_cast<unsigned long>(st.st_ino));
  // Upstream Wine keeps the server folder under /tmp/.wine-<uid>.
  if (LockHeld("/tmp/.wine-" + std::to_string(getuid()) + serverDir, pid)) return true;
  // Debian's Wine names its folder in the prefix's "wineserver" file.
  posix::UniqueFd fd(open((prefixDir + "/wineserver").c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  char name[256];
  ssize_t n = read(fd.get(), name, sizeof name - 1);
  fd.reset();
  if (n <= 0) return false;
  std::string folder(name, static_cast<std::size_t>(n));
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r' || folder.back() == ' '))
    folder.pop_back();
  if (folder.empty() || folder.find('/') != std::string::npos || folder == "." || folder == "..")
    return false;
  return LockHeld("/tmp/" + folder + serverDir, pid);
}

}  // namespace posix

posix::WinePrefix* AsPrefix(ManagedSystem& system) { return dynamic_cast<posix::WinePrefix*>(&system); }

std::string PrefixDir(ManagedSystem& system) {
  posix::WinePrefix* prefix = AsPrefix(system);
  return prefix ? prefix->Dir() : std::string();
}

std::string PrefixUserName(ManagedSystem& system) {
  posix::WinePrefix* prefix = AsPrefix(system);
  return prefix ? prefix->UserName() : std::string();
}

bool WineServerRunning(ManagedSystem& system, int* pid) {
  posix::WinePrefix* prefix = AsPrefix(system);
  if (!prefix) {
    if (pid) *pid = 0;
    return false;
  }
  return prefix->WineServerRunning(pid);
}

std::unique_ptr<ManagedSystem> DefaultSystem() { return std::make_unique<posix::WinePrefix>(); }

Status CreateMinimalPrefix(const std::string& hostDir) {
  const std::string dir = WithoutTrailingSlashes(Absolute(hostDir));
  const std::string user = LoginName();
  const std::string drive = dir + "/drive_c";
  const std::string home = drive + "/users/" + user;
  const std::string roamingStartMenu = home + "/AppData/Roaming/Microsoft/Windows/Start Menu";
  const std::string commonStartMenu = drive + "/ProgramData/Microsoft/Windows/Start Menu";
  const std::string folders[] = {
      dir + "/dosdevices",
      drive + "/windows/system32",
      drive + "/windows/temp",
      drive + "/Program Files/Common Files",
      drive + "/ProgramData",
      commonStartMenu + "/Programs/StartUp",
      drive + "/users/Public/Desktop",
      home + "/Desktop",
      home + "/Documents",
      home + "/AppData/Local/Temp",
      roamingStartMenu + "/Programs/StartUp",
  };
  for (const std::string& folder : folders) {
    Status status = MakeFolders(folder);
    if (status != kSuccess) return status;
  }
  Status status = Link("../drive_c", dir + "/dosdevices/c:");
  if (status == kSuccess) status = Link("/", dir + "/dosdevices/z:");
  if (status != kSuccess) return status;

  // Registry files already there are the user's and stay as they are.
  struct File {
    const char* name;
    std::string text;
  };
  const File files[] = {{"system.reg", MachineRegistry()},
                        {"user.reg", UserRegistry(user)},
                        {"userdef.reg", DefaultUserRegistry(user)}};
  for (const File& file : files) {
    std::string path = dir + "/" + file.name;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) continue;
    status = WriteNewFile(path, file.text);
    if (status != kSuccess) return status;
  }
  return kSuccess;
}

}  // namespace platform
