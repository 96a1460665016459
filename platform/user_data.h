// Where the program keeps what it writes when its own folder is not the user's to
// write: a copy installed under /usr, or under Program Files on Windows.
#pragma once

#include <string>

namespace platform {
class ManagedSystem;
}

namespace platform::files {

// Windows path of this user's folder for the program's own files (not created
// here): $XDG_DATA_HOME/velmora, else ~/.local/share/velmora, on Linux;
// %LOCALAPPDATA%\Orlinsk\Velmora on Windows. "" when the user has none.
std::string UserDataFolder(ManagedSystem& system);

// True when the folder at the Windows path |path| exists and this user may create
// files in it: on Linux by its permission bits for every user (root included, so
// that a copy installed read-only stays read-only) on a file system mounted for
// writing; on Windows by creating a file there.
bool FolderTakesWrites(ManagedSystem& system, const std::string& path);

}  // namespace platform::files
