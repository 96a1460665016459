// Readers of the files in which the Linux launchers of Windows programs record
// their Wine prefixes, over text (the finder in system_finder.h reads the files).
// Each gives up quietly on text it cannot read: damaged input means "nothing
// found here", never a crash.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::posix {

// The libraries of a Steam folder, from its steamapps/libraryfolders.vdf (Valve's
// key-value text, formats/valve_key_values.h). Today's layout:
//   "libraryfolders" { "0" { "path" "/home/anna/.local/share/Steam" "apps" {...} }
//                      "1" { "path" "/mnt/games/SteamLibrary" ... } }
// and the older one: "LibraryFolders" { "TimeNextStatsReport" "..." "1" "/mnt/games/SteamLibrary" }.
// Empty for a damaged file.
std::vector<std::string> SteamLibraryPaths(std::string_view text);

// The "name" of an appmanifest_<appid>.acf:
//   "AppState" { "appid" "620" "name" "Portal 2" "installdir" "Portal 2" ... }
// "" when there is none or the file is damaged.
std::string SteamAppName(std::string_view text);

// The scalar value at a path of mapping keys in a YAML document (keys compare
// exactly), e.g. {"game", "prefix"} for
//   game:
//     exe: /home/anna/Games/gog/drive_c/game.exe
//     prefix: /home/anna/Games/gog
// False when the text is not YAML, the path is missing, or leads to a list,
// a mapping or an alias.
bool YamlScalarAt(std::string_view text, const std::vector<std::string>& keys, std::string* value);

// The string value at a path of object keys in a JSON document; false when the
// text is not JSON or the path is missing or not a string.
bool JsonStringAt(std::string_view text, const std::vector<std::string>& keys, std::string* value);

// The prefixes of a game configuration of the launcher that keeps one JSON file
// per game (GamesConfig/<app name>.json):
//   { "<app name>": { "winePrefix": "/home/anna/Games/Heroic/Prefixes/Celeste", ... },
//     "version": "v0", "explicit": true }
// Each top-level object's "winePrefix" string, with its key; empty for a text
// that is not JSON.
std::vector<std::pair<std::string, std::string>> GameConfigPrefixes(std::string_view text);

// The name of the game whose "configpath" (the stem of its games/<stem>.yml) is
// |configStem| in a Lutris database (SQLite, table "games"); false when the file
// is not such a database, is damaged, or has no such game. The file is opened
// read-only and immutable: nothing is written beside it.
bool LutrisGameName(const std::string& databasePath, const std::string& configStem, std::string* name);

// One line of /proc/self/mountinfo:
//   36 35 98:0 / /mnt/windows rw,noatime shared:1 - ntfs3 /dev/sda3 rw,uid=1000
// (the mount point with "\040"-style escapes undone).
struct MountEntry {
  std::string mountPoint;
  std::string fileSystem;
};
// Lines that do not have the fields above are passed over.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

}  // namespace platform::posix
