#include "platform/posix/system_finder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <tuple>

#include "base/text.h"
#include "platform/posix/host_file.h"
#include "platform/posix/host_user.h"
#include "platform/posix/launcher_files.h"
#include "platform/posix/path_util.h"

namespace platform::posix {

namespace {

// The launchers' files are small; anything larger is not one of theirs.
constexpr std::size_t kMaxFileBytes = 8u << 20;

// A regular file only: opening a pipe that someone named bottle.yml would block.
bool ReadSmallFile(const std::string& path, std::string* text) {
  text->clear();
  return IsFile(path) && ReadHostFile(path, text, nullptr, nullptr, kMaxFileBytes);
}

// The entries of a folder, sorted; none when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* folder = opendir(dir.c_str());
  if (!folder) return names;
  while (const dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(folder);
  std::sort(names.begin(), names.end());
  return names;
}

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A path as the launchers write it: absolute, or "~/..." or "$HOME/..."; other
// relative paths name nothing.
std::string HostPath(const std::string& path, const std::string& home) {
  if (path.empty()) return "";
  if (path == "~" || path == "$HOME") return home;
  if (path.rfind("~/", 0) == 0) return home + path.substr(1);
  if (path.rfind("$HOME/", 0) == 0) return home + path.substr(5);
  return path[0] == '/' ? path : "";
}

// A folder that a Proton-style launcher made holds the prefix in "pfx".
std::string PrefixIn(const std::string& dir) {
  if (!IsFile(dir + "/system.reg") && IsFile(dir + "/pfx/system.reg")) return dir + "/pfx";
  return dir;
}

// |components| below |dir|, each found without regard to case (as Windows names
// them); "" when one is missing.
std::string FindIgnoringCase(const std::string& dir, const std::vector<std::string>& components) {
  std::string path = dir == "/" ? "" : dir;
  for (const std::string& component : components) {
    std::string exact = path + "/" + component;
    struct stat st;
    if (lstat(exact.c_str(), &st) == 0) {
      path = exact;
      continue;
    }
    std::string match;
    for (const std::string& name : FolderEntries(path.empty() ? "/" : path)) {
      if (velmora::EqualsIgnoreCase(name, component)) {
        match = name;
        break;
      }
    }
    if (match.empty()) return "";
    path += "/" + match;
  }
  return path;
}

// Why a prefix folder cannot be managed, or "" when it can.
std::string PrefixProblem(const std::string& dir) {
  if (access(dir.c_str(), R_OK | X_OK) != 0) return "the folder cannot be read";
  if (!IsFile(dir + "/system.reg")) return "no system.reg";
  if (!IsFile(dir + "/user.reg")) return "no user.reg";
  if (access((dir + "/system.reg").c_str(), R_OK) != 0 || access((dir + "/user.reg").c_str(), R_OK) != 0)
    return "its registry files cannot be read";
  return "";
}

class Finder {
 public:
  explicit Finder(const FinderInput& input) : input_(input) {
    home_ = input.home;
    while (home_.size() > 1 && home_.back() == '/') home_.pop_back();
    data_ = !input.xdgDataHome.empty() && input.xdgDataHome[0] == '/' ? input.xdgDataHome
                                                                      : home_ + "/.local/share";
    config_ = !input.xdgConfigHome.empty() && input.xdgConfigHome[0] == '/' ? input.xdgConfigHome
                                                                            : home_ + "/.config";
  }

  // The specific launchers come first: a prefix that several ways reach (a bottle
  // named by WINEPREFIX) keeps the kind and name of its own program.
  std::vector<FoundSystem> Run() {
    FindVelmora();
    FindSteam();
    FindBottles();
    FindLutris();
    FindHeroic();
    FindPlayOnLinux();
    FindWine();
    FindOffline();
    std::stable_sort(found_.begin(), found_.end(), [](const FoundSystem& a, const FoundSystem& b) {
      return std::make_tuple(static_cast<int>(a.kind), velmora::ToLowerAscii(a.name), a.path) <
             std::make_tuple(static_cast<int>(b.kind), velmora::ToLowerAscii(b.name), b.path);
    });
    return std::move(found_);
  }

 private:
  // Adds the prefix folder |path| unless it is missing, not a folder, or already
  // found another way. With |needRegistry| only a folder holding system.reg
  // counts (a folder that merely looks like one of the places).
  void AddPrefix(const std::string& path, SystemKind kind, const std::string& name, bool needRegistry) {
    if (path.empty()) return;
    std::string real = RealPath(path);
    if (real.empty() || !IsDirectory(real)) return;
    if (needRegistry && !IsFile(real + "/system.reg")) return;
    if (!seen_.insert(real).second) return;
    FoundSystem system;
    system.name = name.empty() ? BaseName(real) : name;
    system.kind = kind;
    system.path = real;
    system.problem = PrefixProblem(real);
    found_.push_back(std::move(system));
  }

  // Velmora's own prefix, when it has made one.
  void FindVelmora() { AddPrefix(data_ + "/velmora/prefix", SystemKind::kVelmora, "Velmora", false); }

  // Steam keeps one prefix per game, steamapps/compatdata/<appid>/pfx, in each of
  // its libraries: its own folder and those listed in its libraryfolders.vdf.
  // A game's name is in steamapps/appmanifest_<appid>.acf of the library that
  // holds the game, which need not be the one that holds its prefix.
  void FindSteam() {
    const std::string roots[] = {data_ + "/Steam", home_ + "/.local/share/Steam", home_ + "/.steam/steam",
                                 home_ + "/.steam/root",
                                 home_ + "/.var/app/com.valvesoftware.Steam/.local/share/Steam"};
    std::vector<std::string> libraries;
    std::set<std::string> seenLibraries;
    auto addLibrary = [&](const std::string& path) {
      std::string real = RealPath(path);
      if (real.empty() || !IsDirectory(real + "/steamapps")) return false;
      if (!seenLibraries.insert(real).second) return false;
      libraries.push_back(real);
      return true;
    };
    for (const std::string& root : roots) {
      if (!addLibrary(root)) continue;
      const std::string steam = libraries.back();
      std::string text;
      for (const char* list : {"/steamapps/libraryfolders.vdf", "/config/libraryfolders.vdf"}) {
        if (!ReadSmallFile(steam + list, &text)) continue;
        for (const std::string& library : SteamLibraryPaths(text)) addLibrary(HostPath(library, home_));
      }
    }
    for (const std::string& library : libraries) {
      const std::string compatdata = library + "/steamapps/compatdata";
      for (const std::string& appid : FolderEntries(compatdata)) {
        if (!AllDigits(appid) || !IsDirectory(compatdata + "/" + appid + "/pfx")) continue;
        std::string name;
        for (const std::string& holder : libraries) {
          std::string text;
          if (ReadSmallFile(holder + "/steamapps/appmanifest_" + appid + ".acf", &text))
            name = velmora::TrimWhiteSpace(SteamAppName(text));
          if (!name.empty()) break;
        }
        if (name.empty()) name = "Steam app " + appid;
        AddPrefix(compatdata + "/" + appid + "/pfx", SystemKind::kSteam, name, false);
      }
    }
  }

  // Bottles keeps each bottle, a prefix, in bottles/bottles/<folder> with its
  // settings in bottle.yml beside the registry ("Name: Office", "Path: Office",
  // "Custom_Path: false", "Arch: win64", ...). A bottle kept elsewhere leaves a
  // placeholder.yml there whose "Path" names its folder.
  void FindBottles() {
    for (const std::string& dir :
         {data_ + "/bottles/bottles", home_ + "/.var/app/com.usebottles.bottles/data/bottles/bottles"}) {
      for (const std::string& entry : FolderEntries(dir)) {
        std::string bottle = dir + "/" + entry;
        std::string text;
        std::string moved;
        if (ReadSmallFile(bottle + "/placeholder.yml", &text) && YamlScalarAt(text, {"Path"}, &moved) &&
            !HostPath(moved, home_).empty())
          bottle = HostPath(moved, home_);
        std::string name;
        if (ReadSmallFile(bottle + "/bottle.yml", &text)) {
          YamlScalarAt(text, {"Name"}, &name);
        } else if (!IsFile(bottle + "/system.reg")) {
          continue;  // neither a bottle nor a prefix
        }
        name = velmora::TrimWhiteSpace(name);
        AddPrefix(bottle, SystemKind::kBottles, name.empty() ? entry : name, false);
      }
    }
  }

  // Lutris keeps one configuration per game, games/<slug>-<number>.yml, whose
  // "game:" section names the prefix of a Wine game:
  //   game:
  //     exe: /home/anna/Games/gog/drive_c/GOG Games/Game/game.exe
  //     prefix: /home/anna/Games/gog
  //   wine:
  //     version: lutris-7.2
  // Its database pga.db (SQLite) holds the game's name in table "games", in the
  // row whose "configpath" is the file's stem.
  void FindLutris() {
    const std::string flatpak = home_ + "/.var/app/net.lutris.Lutris";
    const std::string databases[] = {data_ + "/lutris/pga.db", flatpak + "/data/lutris/pga.db"};
    for (const std::string& dir : {config_ + "/lutris/games", data_ + "/lutris/games",
                                   flatpak + "/config/lutris/games", flatpak + "/data/lutris/games"}) {
      for (const std::string& entry : FolderEntries(dir)) {
        if (!velmora::EndsWith(entry, ".yml")) continue;
        std::string text;
        std::string prefix;
        if (!ReadSmallFile(dir + "/" + entry, &text) || !YamlScalarAt(text, {"game", "prefix"}, &prefix))
          continue;
        const std::string stem = entry.substr(0, entry.size() - 4);
        std::string name;
        for (const std::string& database : databases) {
          if (IsFile(database) && LutrisGameName(database, stem, &name)) break;
        }
        AddPrefix(HostPath(prefix, home_), SystemKind::kLutris, name.empty() ? stem : name, false);
      }
    }
  }

  // Heroic keeps one configuration per game, GamesConfig/<app name>.json, with the
  // game's "winePrefix"; config.json's "defaultSettings" names the default prefix
  // ("winePrefix") and the folder of per-game prefixes ("defaultWinePrefix",
  // ~/Games/Heroic/Prefixes unless changed, each game's prefix named by its
  // title). A prefix made for Proton holds the Wine prefix in "pfx".
  void FindHeroic() {
    std::vector<std::string> prefixFolders = {home_ + "/Games/Heroic/Prefixes"};
    for (const std::string& dir :
         {config_ + "/heroic", home_ + "/.var/app/com.heroicgameslauncher.hgl/config/heroic"}) {
      std::string text;
      for (const std::string& entry : FolderEntries(dir + "/GamesConfig")) {
        if (!velmora::EndsWith(entry, ".json") || !ReadSmallFile(dir + "/GamesConfig/" + entry, &text))
          continue;
        for (const auto& [app, prefix] : GameConfigPrefixes(text)) {
          const std::string path = HostPath(prefix, home_);
          if (!path.empty()) AddPrefix(PrefixIn(path), SystemKind::kHeroic, BaseName(path), false);
        }
      }
      if (ReadSmallFile(dir + "/config.json", &text)) {
        std::string value;
        if (JsonStringAt(text, {"defaultSettings", "defaultWinePrefix"}, &value) &&
            !HostPath(value, home_).empty())
          prefixFolders.push_back(HostPath(value, home_));
        if (JsonStringAt(text, {"defaultSettings", "winePrefix"}, &value) && !HostPath(value, home_).empty())
          AddPrefix(PrefixIn(HostPath(value, home_)), SystemKind::kHeroic, BaseName(value), false);
      }
    }
    for (const std::string& folder : prefixFolders) {
      for (const std::string& entry : FolderEntries(folder))
        AddPrefix(PrefixIn(folder + "/" + entry), SystemKind::kHeroic, entry, true);
    }
  }

  // PlayOnLinux: one prefix per program, named by its folder.
  void FindPlayOnLinux() {
    const std::string dir = home_ + "/.PlayOnLinux/wineprefix";
    for (const std::string& entry : FolderEntries(dir))
      AddPrefix(dir + "/" + entry, SystemKind::kPlayOnLinux, entry, false);
  }

  // Plain Wine: WINEPREFIX and ~/.wine as named; other ~/.wine* folders and
  // winetricks' $XDG_DATA_HOME/wineprefixes/* when they hold a registry.
  void FindWine() {
    if (!input_.winePrefix.empty() && input_.winePrefix[0] == '/')
      AddPrefix(input_.winePrefix, SystemKind::kWine, "", false);
    AddPrefix(home_ + "/.wine", SystemKind::kWine, "", false);
    for (const std::string& entry : FolderEntries(home_)) {
      if (entry.rfind(".wine", 0) == 0 && entry != ".wine")
        AddPrefix(home_ + "/" + entry, SystemKind::kWine, entry, true);
    }
    const std::string prefixes = data_ + "/wineprefixes";
    for (const std::string& entry : FolderEntries(prefixes))
      AddPrefix(prefixes + "/" + entry, SystemKind::kWine, entry, true);
  }

  // Windows installations: mounted file systems of the kinds Windows is installed
  // on whose root holds Windows/System32/config/SOFTWARE (letters in any case).
  // Other file systems (network, virtual) are never searched: a dead network
  // mount could hang the search.
  void FindOffline() {
    static const char* const kWindowsFileSystems[] = {"ntfs", "ntfs3", "fuseblk", "vfat", "msdos"};
    for (const MountEntry& mount : ParseMountInfo(input_.mountInfo)) {
      bool windowsKind = false;
      for (const char* kind : kWindowsFileSystems) windowsKind = windowsKind || mount.fileSystem == kind;
      if (!windowsKind) continue;
      const std::string hive =
          FindIgnoringCase(mount.mountPoint, {"Windows", "System32", "config", "SOFTWARE"});
      if (hive.empty() || !IsFile(hive)) continue;
      std::string real = RealPath(mount.mountPoint);
      if (real.empty() || !seen_.insert(real).second) continue;
      FoundSystem system;
      system.name = "Windows on " + mount.mountPoint;
      system.kind = SystemKind::kOffline;
      system.path = real;
      if (access(hive.c_str(), R_OK) != 0) system.problem = "the SOFTWARE hive cannot be read";
      found_.push_back(std::move(system));
    }
  }

  const FinderInput& input_;
  std::string home_;
  std::string data_;
  std::string config_;
  std::set<std::string> seen_;
  std::vector<FoundSystem> found_;
};

}  // namespace

const char* SystemKindName(SystemKind kind) {
  switch (kind) {
    case SystemKind::kWine:
      return "wine";
    case SystemKind::kVelmora:
      return "velmora";
    case SystemKind::kSteam:
      return "steam";
    case SystemKind::kBottles:
      return "bottles";
    case SystemKind::kLutris:
      return "lutris";
    case SystemKind::kHeroic:
      return "heroic";
    case SystemKind::kPlayOnLinux:
      return "playonlinux";
    case SystemKind::kOffline:
      return "offline";
  }
  return "wine";
}

FinderInput FinderInputFromEnvironment() {
  auto env = [](const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
  };
  FinderInput input;
  input.home = HostHomeFolder();
  input.xdgDataHome = env("XDG_DATA_HOME");
  input.xdgConfigHome = env("XDG_CONFIG_HOME");
  input.winePrefix = env("WINEPREFIX");
  ReadHostFile("/proc/self/mountinfo", &input.mountInfo, nullptr, nullptr, kMaxFileBytes);
  return input;
}

std::vector<FoundSystem> FindSystems(const FinderInput& input) {
  if (input.home.empty() || input.home[0] != '/') {
    // Without a home folder only what the input names itself can be found.
    FinderInput rootless = input;
    rootless.home = "/nonexistent";
    return Finder(rootless).Run();
  }
  return Finder(input).Run();
}

}  // namespace platform::posix
