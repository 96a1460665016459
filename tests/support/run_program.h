// Running a command line of the test through the shell and capturing what it
// prints. Linux only.
#pragma once

#include <string>
#include <vector>

namespace velmora::test {

// |text| as one word of a POSIX shell.
std::string ShellQuote(const std::string& text);
// |program| and |args|, each quoted as one word.
std::string ShellCommand(const std::string& program, const std::vector<std::string>& args);

// The exit status in a status of wait() or system(): 128 plus the signal's
// number when a signal ended the process, as a shell reports it; -1 for the -1
// of a process that could not be started.
int ExitStatus(int waitStatus);

struct CommandOutput {
  int status = -1;  // ExitStatus of the shell; -1 when it could not be started
  std::string out;  // what it printed
};

enum class Errors { kMerged, kDropped };

// Runs |commandLine| in a shell and captures its standard output, with standard
// error merged into it or dropped. The output goes to a file, not a pipe: a
// process the command leaves running (a service beside a persistent wineserver)
// would hold a pipe open for ever.
CommandOutput RunAndCapture(const std::string& commandLine, Errors errors = Errors::kMerged);

}  // namespace velmora::test
