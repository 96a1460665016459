// The commands of velmora-cli: each is a name, its usage, what it writes and how
// it runs; main() starts and shuts down the application around every one of them.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "changes/startup_parameters.h"

namespace velmora::cli {

using Operands = std::vector<std::string>;

// What a command writes decides how it starts.
enum class Writes {
  kNothing,    // reads the system only: takes no lock, runs on any system version
  kOwnRecord,  // writes Velmora's own records only: takes the system's lock, any version
  kSystem,     // changes the system: takes its lock, refused on an unsupported version
};

struct Command {
  const char* name;
  const char* operands;  // shown after the name in the usage: "LOCATION NAME"
  const char* help;      // lines that explain it, without indentation
  Writes writes;
  // What is wrong with |operands| (the words after the name), "" when they fit.
  // Checked before the system is opened.
  std::string (*check)(const Operands& operands);
  // Runs on the model of a started application. Returns the exit status: 0 done
  // (or nothing had to change), 1 a failure said on |err|.
  int (*run)(const Operands& operands, StartupParameters& model, std::ostream& out, std::ostream& err);
  // A command about the machine's systems rather than one of them runs here
  // instead, with no system opened and no start-up; null for the others.
  int (*runAlone)(const Operands& operands, std::ostream& out, std::ostream& err) = nullptr;
};

extern const Command kListCommand;
extern const Command kSystemsCommand;
extern const Command kSeenCommand;
extern const Command kExportCommand;
extern const Command kDisableCommand;
extern const Command kEnableCommand;
extern const Command kRemoveCommand;
extern const Command kAddCommand;
extern const Command kProfileCommand;

// What |command| writes when given |operands|: "profile list" only reads.
Writes WritesOf(const Command& command, const Operands& operands);

// The command named |name|, or null.
const Command* FindCommand(const std::string& name);

// The whole usage text (--help), made from the commands.
std::string UsageText();
// The usage of one command, with what its operands mean.
std::string CommandUsage(const Command& command);

}  // namespace velmora::cli
