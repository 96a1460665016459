// The environment Windows programs of a system see, and %NAME% expansion over it.
#include "platform/environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/managed_system.h"
#include "platform/posix/host_system.h"
#include "platform/posix/path_util.h"
#include "platform/posix/prefix.h"
#include "platform/posix/system_environment.h"
#include "platform/registry.h"

extern char** environ;

namespace platform {

namespace {

constexpr const char* kCurrentVersionNt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kMachineEnvironment =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kUserEnvironment = "Environment";
constexpr const char* kComputerName = "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

}  // namespace

class posix::SystemEnvironment {
 public:
  const std::string* Find(std::string_view name) const {
    for (const auto& [key, value] : vars_) {
      if (velmora::EqualsIgnoreCase(key, name)) return &value;
    }
    return nullptr;
  }
  // Replaces the value of a variable of that name (keeping its spelling) or adds one.
  void Set(const std::string& name, std::string value) {
    if (name.empty()) return;
    for (auto& [key, existing] : vars_) {
      if (velmora::EqualsIgnoreCase(key, name)) {
        existing = std::move(value);
        return;
      }
    }
    vars_.emplace_back(name, std::move(value));
  }
  std::string Value(std::string_view name) const {
    const std::string* v = Find(name);
    return v ? *v : std::string();
  }

 private:
  std::vector<std::pair<std::string, std::string>> vars_;
};

namespace {

using Environment = posix::SystemEnvironment;

// Replaces every %NAME% that |env| knows; an unknown reference and a lone '%'
// stay as written.
std::string Expand(std::string_view source, const Environment& env) {
  std::string out;
  std::size_t at = 0;
  while (at < source.size()) {
    std::size_t open = source.find('%', at);
    if (open == std::string_view::npos) {
      out.append(source.substr(at));
      break;
    }
    out.append(source.substr(at, open - at));
    std::size_t close = source.find('%', open + 1);
    if (close == std::string_view::npos) {
      out.append(source.substr(open));
      break;
    }
    std::string_view name = source.substr(open + 1, close - open - 1);
    const std::string* value = name.empty() ? nullptr : env.Find(name);
    if (value) {
      out.append(*value);
    } else {
      out.append(source.substr(open, close - open + 1));
    }
    at = close + 1;
  }
  return out;
}

std::string UpToZero(const std::string& data) {
  return data.substr(0, std::min(data.find('\0'), data.size()));
}

std::string ReadString(HKey root, const char* subKey, const char* name) {
  UniqueKey key;
  if (reg::OpenKey(root, subKey, kKeyRead, key.out()) != kSuccess) return "";
  std::string text;
  if (reg::QueryString(key.get(), name, &text) != kSuccess) text.clear();
  return text;
}

// Values of a registry environment key: plain strings first, then the
// expandable ones, expanded over everything known so far.
void OverlayRegistry(Environment* env, HKey root, const char* subKey, bool appendPath) {
  UniqueKey key;
  if (reg::OpenKey(root, subKey, kKeyRead, key.out()) != kSuccess) return;
  std::vector<RegistryValue> values;
  if (reg::ReadAllValues(key.get(), &values) != kSuccess) values.clear();
  for (int pass = 0; pass < 2; ++pass) {
    for (const RegistryValue& v : values) {
      bool expandable = v.type == kRegExpandSz;
      if ((pass == 0 && v.type != kRegSz) || (pass == 1 && !expandable)) continue;
      std::string value = UpToZero(v.data);
      if (expandable) value = Expand(value, *env);
      // A user's Path extends the system's rather than replacing it.
      if (appendPath && velmora::EqualsIgnoreCase(v.name, "Path")) {
        const std::string* system = env->Find("Path");
        if (system && !system->empty() && !value.empty()) value = *system + ";" + value;
      }
      env->Set(v.name, value);
    }
  }
}

// Host variables that Wine does not pass on under their own name.
bool HiddenHostVariable(std::string_view name) {
  static const char* const kHidden[] = {"PATH", "PWD", "HOME", "TEMP", "TMP", "SYSTEMROOT", "WINDIR"};
  if (name.size() >= 4 && velmora::EqualsIgnoreCase(name.substr(0, 4), "WINE")) return true;
  for (const char* hidden : kHidden) {
    if (velmora::EqualsIgnoreCase(name, hidden)) return true;
  }
  return false;
}

// A value of the registry, else |fallback|; expandable data is expanded.
std::string Located(const Environment& env, HKey root, const char* subKey, const char* name,
                    const std::string& fallback) {
  std::string value = ReadString(root, subKey, name);
  if (value.empty()) return fallback;
  return Expand(value, env);
}

// A folder of the user as the session sets it from User Shell Folders; the Shell
// Folders cache where that has no value, else |fallback|.
std::string UserFolder(const Environment& env, HKey user, const char* name, const std::string& fallback) {
  return Located(env, user, kUserShellFolders, name, Located(env, user, kShellFolders, name, fallback));
}

// The folder of the profile every user shares: ProfileList's ProgramData, or
// before Vista its All Users folder among the profiles.
std::string AllUsersProfile(const Environment& env, HKey machine, const std::string& profile,
                            const std::string& systemDrive) {
  std::string programData = Located(env, machine, kProfileList, "ProgramData", "");
  if (!programData.empty()) return programData;
  std::string profiles = Located(env, machine, kProfileList, "ProfilesDirectory", "");
  std::string allUsers = Located(env, machine, kProfileList, "AllUsersProfile", "");
  if (profiles.empty()) {
    const std::size_t slash = profile.rfind('\\');
    const std::string parent = slash == std::string::npos ? "" : profile.substr(0, slash);
    if (velmora::EqualsIgnoreCase(parent, systemDrive + "\\Documents and Settings")) profiles = parent;
  }
  if (!profiles.empty()) return profiles + "\\" + (allUsers.empty() ? "All Users" : allUsers);
  return systemDrive + "\\ProgramData";
}

Environment BuildEnvironment(ManagedSystem& system) {
  Environment env;
  system.Prepare();

  // Lowest layer: the host environment, which Wine hands to its programs.
  for (char** p = environ; p && *p; ++p) {
    const char* equals = std::strchr(*p, '=');
    if (!equals || equals == *p) continue;
    std::string name(*p, static_cast<std::size_t>(equals - *p));
    if (!HiddenHostVariable(name)) env.Set(name, equals + 1);
  }

  HKey machine = system.LocalMachine();
  HKey user = system.CurrentUser();
  std::string systemRoot = ReadString(machine, kCurrentVersionNt, "SystemRoot");
  if (systemRoot.empty()) systemRoot = "C:\\windows";
  std::string systemDrive = systemRoot.size() >= 2 && systemRoot[1] == ':' ? systemRoot.substr(0, 2) : "C:";
  env.Set("SystemRoot", systemRoot);
  env.Set("windir", systemRoot);
  env.Set("SystemDrive", systemDrive);
  env.Set("OS", "Windows_NT");
  std::string computer = ReadString(machine, kComputerName, "ComputerName");
  if (!computer.empty()) env.Set("COMPUTERNAME", computer);

  std::string programFiles =
      Located(env, machine, kCurrentVersion, "ProgramFilesDir", systemDrive + "\\Program Files");
  env.Set("ProgramFiles", programFiles);
  env.Set("CommonProgramFiles",
          Located(env, machine, kCurrentVersion, "CommonFilesDir", programFiles + "\\Common Files"));

  const std::string userName = system.UserName();
  std::string profile = system.ProfilePath();
  env.Set("USERNAME", userName);
  env.Set("USERPROFILE", profile);
  env.Set("HOMEDRIVE", systemDrive);
  env.Set("HOMEPATH", profile.substr(systemDrive.size()));

  const std::string allUsers = AllUsersProfile(env, machine, profile, systemDrive);
  env.Set("ALLUSERSPROFILE", allUsers);
  env.Set("ProgramData", Located(env, machine, kProfileList, "ProgramData", allUsers));
  env.Set("PUBLIC", Located(env, machine, kProfileList, "Public", systemDrive + "\\users\\Public"));
  env.Set("APPDATA", UserFolder(env, user, "AppData", profile + "\\AppData\\Roaming"));
  std::string localAppData = UserFolder(env, user, "Local AppData", profile + "\\AppData\\Local");
  env.Set("LOCALAPPDATA", localAppData);
  env.Set("TEMP", localAppData + "\\Temp");
  env.Set("TMP", localAppData + "\\Temp");

  OverlayRegistry(&env, machine, kMachineEnvironment, false);
  OverlayRegistry(&env, user, kUserEnvironment, true);
  return env;
}

// What the registry files of |system| are now (a Wine prefix reads them again
// when they change on disk): their paths and identities as one text.
std::string RegistryFilesNow(ManagedSystem& system) {
  const std::string dir = PrefixDir(system);
  if (dir.empty()) return "";  // an offline installation reads its hives once
  std::string stamp;
  for (const char* leaf : {"/system.reg", "/user.reg"}) {
    const std::string path = dir + leaf;
    struct stat st;
    stamp += path;
    if (stat(path.c_str(), &st) == 0) {
      for (auto number : {static_cast<long long>(st.st_dev), static_cast<long long>(st.st_ino),
                          static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
                          static_cast<long long>(st.st_mtim.tv_nsec)})
        stamp += ":" + std::to_string(number);
    }
    stamp += '\n';
  }
  return stamp;
}

// The entries of the host environment: a changed variable is a new entry, as
// setenv never writes over the text of one it set before.
std::vector<const char*> HostEntries() {
  std::vector<const char*> entries;
  for (char** p = environ; p && *p; ++p) entries.push_back(*p);
  return entries;
}

// The environment of |system|, built once and kept by the system until a write
// through it, a change of its registry files on disk or of the host environment.
// Within one generation of path look-ups the files are not looked at again, as
// the registry does not read them again then either.
std::shared_ptr<const Environment> EnvironmentOf(ManagedSystem& system) {
  system.Prepare();
  posix::HostSystem& host = posix::AsHost(system);
  posix::EnvironmentCache& cache = host.CachedEnvironment();
  const std::uint64_t changes = host.ChangeCount();
  const std::uint64_t generation = host.LookupGeneration();
  std::string files;
  bool filesRead = false;
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.environment && cache.changes == changes && cache.host == HostEntries()) {
      if (generation != 0 && generation == cache.generation) return cache.environment;
      files = RegistryFilesNow(system);
      filesRead = true;
      if (files == cache.registryFiles) {
        cache.generation = generation;
        return cache.environment;
      }
    }
  }
  // Built without the lock: the registry takes the system's own locks. What is
  // noted here was taken before the build, so a change during it is seen next time.
  if (!filesRead) files = RegistryFilesNow(system);
  std::vector<const char*> hostEntries = HostEntries();
  auto built = std::make_shared<const Environment>(BuildEnvironment(system));
  std::lock_guard<std::mutex> lock(cache.mutex);
  cache.environment = built;
  cache.changes = changes;
  cache.generation = generation;
  cache.registryFiles = std::move(files);
  cache.host = std::move(hostEntries);
  return built;
}

}  // namespace

std::uint32_t env::Expand(ManagedSystem& system, const std::string& source, std::string* out,
                          std::uint32_t capacity) {
  std::string expanded =
      source.find('%') == std::string::npos ? source : platform::Expand(source, *EnvironmentOf(system));
  std::size_t needed = expanded.size() + 1;
  if (out) {
    if (needed <= capacity) {
      *out = std::move(expanded);
    } else {
      out->clear();
    }
  }
  return static_cast<std::uint32_t>(needed);
}

std::string posix::ExpandInSystem(ManagedSystem& system, const std::string& source) {
  return source.find('%') == std::string::npos ? source : platform::Expand(source, *EnvironmentOf(system));
}

std::string env::Value(ManagedSystem& system, const std::string& name) {
  return EnvironmentOf(system)->Value(name);
}

}  // namespace platform
