// What the commands that change entries and profiles share.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "changes/startup_parameters.h"
#include "tools/velmora-cli/command.h"

namespace velmora::cli {

// A location tag ("CU Run") or number "0"-"7"; tags also match without regard to
// letter case. -1 for anything else.
int ParseLocationArgument(const std::string& text);

// The check of "LOCATION NAME" (|count| 2) or "LOCATION NAME COMMAND" (3).
std::string CheckLocationOperands(const Operands& operands, std::size_t count);

// False (with a message) when the registry that a change of |location| (-1: of
// any location) writes may not be written now.
bool CheckWritablePrefix(platform::ManagedSystem& system, std::ostream& err, int location = -1);
// ScanAllLocations and ReadDisabledTasks into an emptied model.
void ReadModel(StartupParameters& model);
// Takes the snapshot, applies, prints the failures; 0 or 1.
int ApplyNow(StartupParameters& model, std::ostream& err);

// The location of checked operands, once the system is known to have it and to
// take changes there; with the model read. -1 after saying why not.
int EditedLocation(const Operands& operands, StartupParameters& model, std::ostream& err);
// The entry NAME of a location; in a Startup folder "Foo" also finds "Foo.lnk".
// Null after saying that there is none, or that the entry cannot be changed
// (|verb| names the change).
const Task* FindEntry(const StartupParameters& model, int location, const std::string& name, const char* verb,
                      std::ostream& err);
// Applies and prints |done| (its first letter made a capital); 0 or 1.
int ApplyAndReport(StartupParameters& model, std::string done, std::ostream& out, std::ostream& err);

// "enable" and "disable": makes the entry NAME of LOCATION |wanted| (1 enabled).
int SwitchEntry(const Operands& operands, int wanted, StartupParameters& model, std::ostream& out,
                std::ostream& err);

}  // namespace velmora::cli
