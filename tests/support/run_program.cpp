#include "tests/support/run_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/test_support.h"

namespace velmora::test {

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ShellCommand(const std::string& program, const std::vector<std::string>& args) {
  std::string out = ShellQuote(program);
  for (const std::string& arg : args) out += " " + ShellQuote(arg);
  return out;
}

int ExitStatus(int waitStatus) {
  if (waitStatus == -1) return -1;
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

CommandOutput RunAndCapture(const std::string& commandLine, Errors errors) {
  CommandOutput result;
  std::string path = (std::filesystem::temp_directory_path() / "velmora-output-XXXXXX").string();
  int fd = mkstemp(path.data());
  if (fd < 0) return result;
  close(fd);
  const std::string command =
      "(" + commandLine + ") >" + ShellQuote(path) + (errors == Errors::kMerged ? " 2>&1" : " 2>/dev/null");
  result.status = ExitStatus(std::system(command.c_str()));
  result.out = ReadFile(path);
  std::remove(path.c_str());
  return result;
}

}  // namespace velmora::test
