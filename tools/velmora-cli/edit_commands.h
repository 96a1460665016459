// "velmora-cli disable|enable|remove LOCATION NAME" and "add LOCATION NAME COMMAND".
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "changes/startup_parameters.h"

namespace velmora::cli {

bool IsEditCommand(const std::string& command);

// |args| holds the command word and its operands. Reads the six locations and the
// store into |model| (which a started application owns, so that the
// single-instance lock is held), makes the edit, takes the snapshot and applies at
// once, printing what changed to |out|. Returns 0 when done or when nothing had to
// change, 1 on a failure (printed to |err|), 2 on wrong usage.
int RunEditCommand(const std::vector<std::string>& args, StartupParameters& model, std::ostream& out,
                   std::ostream& err);

// A location tag ("CU Run") or number "0"-"5"; tags also match without regard to
// letter case. -1 for anything else.
int ParseLocationArgument(const std::string& text);

// Shared by the edit and profile commands.
// False (with a message) when the registry that a change of |location| (-1: of
// any location) writes may not be written now.
bool CheckWritablePrefix(std::ostream& err, int location = -1);
// ScanAllLocations and ReadDisabledTasks into an emptied model.
void ReadModel(StartupParameters& model);
// Takes the snapshot, applies, prints the failures; 0 or 1.
int ApplyNow(StartupParameters& model, std::ostream& err);

}  // namespace velmora::cli
