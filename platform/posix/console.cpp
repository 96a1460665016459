#include "platform/console.h"

#include <unistd.h>

namespace platform {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void UseBinaryStandardOutput() {}  // POSIX streams never translate line ends

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace platform
