// The shell runner the command-line tests start their programs with.
#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::test {
namespace {

TEST(RunProgram, ArgumentsReachTheProgramWordForWord) {
  CommandOutput run = RunAndCapture(
      ShellCommand("printf", {"[%s]", "it's", "two words", "", "$HOME", "a\\b", "\"q\"", "*", "x;exit 9"}));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "[it's][two words][][$HOME][a\\b][\"q\"][*][x;exit 9]");
}

TEST(RunProgram, StatusOutputAndErrors) {
  const std::string script = "printf 'out\\0put'; echo err >&2; exit 3";
  CommandOutput merged = RunAndCapture(script);
  EXPECT_EQ(merged.status, 3);
  EXPECT_EQ(merged.out, std::string("out\0puterr\n", 11));
  CommandOutput dropped = RunAndCapture(script, Errors::kDropped);
  EXPECT_EQ(dropped.status, 3);
  EXPECT_EQ(dropped.out, std::string("out\0put", 7));
  // A program ended by a signal reads as a shell reports it.
  EXPECT_EQ(RunAndCapture("sh -c 'kill -9 $$'").status, 137);
}

}  // namespace
}  // namespace velmora::test
