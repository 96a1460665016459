// The help file and the updater: where they are and how they are started.
#pragma once

#include <string>

#include "base/program_context.h"

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

// HelpFileDir(program) + "\" + the language name + ".chm" (creates the help folder
// when it is missing, as HelpFileDir does).
std::string HelpFilePath(const ProgramContext& program);
// Shows the help file in a viewer of its own window. Native viewers are tried
// first (xchm, then kchmviewer), then the desktop's handler of the file. Wine's
// own viewer is not used: while it runs, its wineserver owns the prefix's
// registry and Velmora could not apply changes. False when the help file is
// missing or no viewer could be started. The file is |program|'s, found and
// opened through its programFiles (false without one).
bool OpenHelpFile(const ProgramContext& program);

// programDir + "\" + EncodeFileName("Update") + "\Update.exe".
std::string UpdaterPath(const ProgramContext& program);
// Starts |program|'s updater through its programFiles as a separate process and
// returns at once; false when it could not be started or there is no programFiles.
bool StartUpdater(const ProgramContext& program);

}  // namespace velmora
