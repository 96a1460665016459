// The help file and the updater: where they are and how they are started.
#pragma once

#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

// HelpFileDir() + "\" + the language name + ".chm" (creates the help folder when
// it is missing, as HelpFileDir does).
std::string HelpFilePath(platform::ManagedSystem& system);
// Shows the help file in a viewer of its own window. Native viewers are tried
// first (xchm, then kchmviewer), then the desktop's handler of the file. Wine's
// own viewer is not used: while it runs, its wineserver owns the prefix's
// registry and Velmora could not apply changes. False when the help file is
// missing or no viewer could be started.
bool OpenHelpFile(platform::ManagedSystem& system);

// programDir + "\" + EncodeFileName("Update") + "\Update.exe".
std::string UpdaterPath();
// Starts the updater as a separate process and returns at once; false when it
// could not be started.
bool StartUpdater(platform::ManagedSystem& system);

}  // namespace velmora
