#include "platform/console.h"

#include <unistd.h>

#include <cstdio>

namespace platform {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void UseBinaryStandardOutput() {}  // POSIX streams never translate line ends

void BufferStandardOutput() {
  // The C library sizes a buffer it makes itself by the file alone (4 KB for a
  // pipe), whatever size is asked for: the buffer is given. It is standard
  // output's, for the whole run, as standard output is the process's.
  static char buffer[std::size_t{64} << 10];
  if (isatty(STDOUT_FILENO) != 1) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace platform
