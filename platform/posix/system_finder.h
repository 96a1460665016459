// Finding the Windows systems of this machine: the Wine prefixes that plain Wine,
// Steam, Bottles, Lutris, Heroic and PlayOnLinux keep in a home folder, the
// program's own prefix, and Windows installations on mounted disks. Only reads:
// none of those programs' files is created or changed.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

enum class SystemKind { kWine, kVelmora, kSteam, kBottles, kLutris, kHeroic, kPlayOnLinux, kOffline };

// "wine", "velmora", "steam", "bottles", "lutris", "heroic", "playonlinux", "offline".
const char* SystemKindName(SystemKind kind);

struct FoundSystem {
  std::string name;  // as its program shows it: the game, the bottle, the folder
  SystemKind kind = SystemKind::kWine;
  // The prefix folder, or an installation's root (the folder that holds Windows),
  // with every link resolved: two ways to one folder give one system.
  std::string path;
  // Why it was found but cannot be managed ("no user.reg", ...); "" when it can.
  std::string problem;
};

// Where to look. Empty XDG folders mean their defaults under |home|
// (~/.local/share, ~/.config), as does a relative one.
struct FinderInput {
  std::string home;
  std::string xdgDataHome;
  std::string xdgConfigHome;
  std::string winePrefix;  // WINEPREFIX, "" when unset
  std::string mountInfo;   // the text of /proc/self/mountinfo
};

// The input of this process: HOME (else the user's entry in the password
// database), XDG_DATA_HOME, XDG_CONFIG_HOME, WINEPREFIX and its mount table.
FinderInput FinderInputFromEnvironment();

// Every system found, each once, ordered by kind (in the order of SystemKind),
// then by name. A damaged file of a launcher, a link loop or a folder that cannot
// be read leaves out what it would have named (or the system is listed with its
// problem); nothing of it is fatal.
std::vector<FoundSystem> FindSystems(const FinderInput& input);

}  // namespace platform::posix
