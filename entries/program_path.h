// From a command line to the program it starts.
#pragma once

#include <functional>
#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

// A command split as Windows' process creation splits it.
struct ProgramCommand {
  std::string program;    // the program file, or the text's best reading when none is found
  std::string arguments;  // what follows the program, without the blanks between
  bool found = false;     // |program| names an existing file
};

// Finds the program of |command| as Windows does when it starts it: a quoted
// path ends at its closing quote; otherwise the shortest run of blank-separated
// words that names an existing file is the program. A name without an extension
// gets ".exe"; a bare name (no folder) is looked for in the system folder, the
// Windows folder and the folders of PATH. With |expand| (a REG_EXPAND_SZ command)
// %VARIABLES% are expanded first. When nothing on disk decides, the quoted path,
// or else the text rule of ProgramPathByText, is the program.
ProgramCommand SplitProgramCommand(platform::ManagedSystem& system, const std::string& command,
                                   bool expand = false);
// The same, asking |isFile| whether a path names an existing file (a pass keeps
// the answers for the commands that name the same programs).
ProgramCommand SplitProgramCommand(platform::ManagedSystem& system, const std::string& command, bool expand,
                                   const std::function<bool(const std::string&)>& isFile);

// Whether |path| names an existing file (not a folder): the question the search
// for a program asks.
bool ProgramFileExists(platform::ManagedSystem& system, const std::string& path);

// SplitProgramCommand(command, expand).program.
std::string ExtractProgramPath(platform::ManagedSystem& system, const std::string& command,
                               bool expand = false);

// The program path by text alone: the text before the last quote (less its first
// character when it still holds a quote), cut at the first slash and at a last
// hyphen not followed by ".exe", trimmed.
std::string ProgramPathByText(const std::string& command);

}  // namespace velmora
