#include <sstream>

#include "tools/velmora-cli/command.h"

namespace velmora::cli {

namespace {

const Command* const kCommands[] = {&kListCommand,   &kSystemsCommand, &kSeenCommand,
                                    &kExportCommand, &kDisableCommand, &kEnableCommand,
                                    &kRemoveCommand, &kAddCommand,     &kProfileCommand};

const char kSynopsis[] = "Usage: velmora-cli [--system NAME|PATH | --windows DIR] [--user NAME] ";

const char kIntroduction[] =
    "\n"
    "Shows and edits the programs that Windows starts at logon, in the Wine prefix\n"
    "$WINEPREFIX (else ~/.wine when it holds a registry, else Velmora's own prefix).\n"
    "\n"
    "  --system NAME|PATH\n"
    "                    works on a system of this machine instead (see\n"
    "                    \"systems\"): by its name, or by its folder\n"
    "  --windows DIR     works on the offline Windows installation mounted at DIR\n"
    "                    (DIR holds Windows\\System32\\config\\SOFTWARE) instead\n"
    "  --user NAME       its user whose registry (NTUSER.DAT) serves; needed when\n"
    "                    the installation has several users\n"
    "\n"
    "Commands:\n";

const char kLocations[] =
    "LOCATION is a tag (\"LM Run\", \"LM RunOnce\", \"LM Startup Folder\", \"CU Run\",\n"
    "\"CU RunOnce\", \"CU Startup Folder\") or its number 0-5; on a 64-bit system also\n"
    "\"LM Run (32-bit)\" (6) and \"LM RunOnce (32-bit)\" (7); \"LM RunServices\" (8),\n"
    "\"LM RunServicesOnce\" (9), on a 64-bit system \"LM RunServices (32-bit)\" (10)\n"
    "and \"LM RunServicesOnce (32-bit)\" (11); \"Services\" (12), which are disabled and\n"
    "enabled but not added or removed.\n";

const char kClosing[] =
    "Changes are refused while Velmora changes the same system (its window, or\n"
    "another command) or a wineserver runs for the prefix.\n"
    "\n"
    "Exit status: 0 success, 1 failure (with a message), 2 wrong usage.\n";

constexpr std::size_t kHelpColumn = 20;

// "  NAME OPERANDS" and the help lines beside it, from column 20 on.
void WriteCommand(const Command& command, std::ostream& out) {
  std::string head = std::string("  ") + command.name;
  if (*command.operands) head += std::string(" ") + command.operands;
  std::istringstream lines(command.help);
  std::string line;
  bool first = true;
  while (std::getline(lines, line)) {
    if (first && head.size() < kHelpColumn - 1) {
      out << head << std::string(kHelpColumn - head.size(), ' ') << line << "\n";
    } else {
      if (first) out << head << "\n";
      out << std::string(kHelpColumn, ' ') << line << "\n";
    }
    first = false;
  }
  if (first) out << head << "\n";
}

bool TakesLocation(const Command& command) {
  return std::string(command.operands).find("LOCATION") != std::string::npos;
}

}  // namespace

Writes WritesOf(const Command& command, const Operands& operands) {
  if (&command == &kProfileCommand && !operands.empty() && operands.front() == "list")
    return Writes::kNothing;
  return command.writes;
}

const Command* FindCommand(const std::string& name) {
  for (const Command* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

std::string UsageText() {
  std::ostringstream out;
  out << kSynopsis << "COMMAND [OPTIONS]\n" << kIntroduction;
  for (const Command* command : kCommands) WriteCommand(*command, out);
  out << "  --help            this text\n"
      << "  --version         the program's version\n\n"
      << kLocations << kClosing;
  return out.str();
}

std::string CommandUsage(const Command& command) {
  std::ostringstream out;
  out << kSynopsis << command.name << (*command.operands ? " " : "") << command.operands << "\n\n";
  WriteCommand(command, out);
  if (TakesLocation(command)) out << "\n" << kLocations;
  return out.str();
}

}  // namespace velmora::cli
