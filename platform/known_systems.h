// The Windows systems of this machine beside the one in use: on Linux every Wine
// prefix that plain Wine, Steam, Bottles, Lutris, Heroic and PlayOnLinux keep,
// the program's own prefix, and Windows installations on mounted disks. The
// Windows build runs on one system only and finds none.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/managed_system.h"

namespace platform {

struct KnownSystem {
  std::string name;  // as its program shows it: the game, the bottle, the folder
  // "wine", "velmora", "steam", "bottles", "lutris", "heroic", "playonlinux" or "offline".
  std::string kind;
  std::string path;     // the prefix folder or the installation's root, links resolved
  std::string problem;  // why it cannot be opened ("no user.reg"); "" when it can
};

// Every system found, each once, ordered by kind, then by name.
std::vector<KnownSystem> FindKnownSystems();

// The system whose folder is the host path |path| (any spelling of it: links,
// extra slashes): one of |found|, else a Wine prefix (a folder holding system.reg)
// that the search did not reach, named by its folder. False otherwise.
bool KnownSystemAt(const std::string& path, const std::vector<KnownSystem>& found, KnownSystem* system);

// Opens |system| ready to be read: a Wine prefix, or an offline installation with
// the user |userName| ("" for its only one). Nothing is created: a prefix without
// its registry files is refused. False with |error| saying why.
bool OpenKnownSystem(const KnownSystem& system, const std::string& userName,
                     std::unique_ptr<ManagedSystem>* opened, std::string* error);

}  // namespace platform
