#include "platform/console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/win32/wide.h"

namespace platform {

bool StandardInputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void UseBinaryStandardOutput() {
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

void BufferStandardOutput() {
  // The C library sizes a buffer it makes itself by the file alone (4 KB for a
  // pipe), whatever size is asked for: the buffer is given. It is standard
  // output's, for the whole run, as standard output is the process's.
  static char buffer[std::size_t{64} << 10];
  if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_CHAR)
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(win32::Narrow(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return arguments;
}

}  // namespace platform
