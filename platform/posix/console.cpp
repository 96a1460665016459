#include "platform/console.h"

#include <unistd.h>

#include <cstdio>

namespace platform {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void UseBinaryStandardOutput() {}  // POSIX streams never translate line ends

void BufferStandardOutput() {
  if (isatty(STDOUT_FILENO) != 1) std::setvbuf(stdout, nullptr, _IOFBF, std::size_t{64} << 10);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace platform
