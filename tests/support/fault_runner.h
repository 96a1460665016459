// Runs a program of the build with the fault injector (fault_shim.c) preloaded,
// for the tests that break its file changes one at a time. Linux only.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora::test {

struct FaultOutcome {
  int status = -1;   // exit status; 137 when killed
  std::string out;   // standard output and error together
  long changes = 0;  // file changes the process made or tried
  bool hit = false;  // the fault happened
};

// What to break: |kind| "enospc", "eio" or "kill" ("" for a plain run) at the
// |at|-th file change, counted from the start or, when |whenArmed|, from the
// program's call of velmora_fault_arm().
struct FaultPlan {
  std::string kind;
  long at = 0;
  bool whenArmed = false;
};

// Runs |program| with |args| from the root folder, after the shell words
// |environment|; the injector's count is written to |report|.
inline FaultOutcome RunUnderFault(const std::string& program, const std::string& environment,
                                  const std::vector<std::string>& args, const std::string& report,
                                  const FaultPlan& fault = {}) {
  std::filesystem::remove(report);
  std::string command = "cd / && " + environment + " ";
  if (!fault.kind.empty()) {
    command += "VELMORA_FAULT=" + fault.kind + " VELMORA_FAULT_AT=" + std::to_string(fault.at) +
               " VELMORA_FAULT_REPORT=" + ShellQuote(report) +
               " LD_PRELOAD=" + ShellQuote(VELMORA_FAULT_SHIM) +
               " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ";
    if (fault.whenArmed) command += "VELMORA_FAULT_WHEN_ARMED=1 ";
  }
  CommandOutput run = RunAndCapture(command + ShellCommand(program, args));
  FaultOutcome outcome;
  outcome.status = run.status;
  outcome.out = std::move(run.out);
  if (std::filesystem::exists(report)) {
    std::string text = ReadFile(report);
    outcome.changes = std::atol(text.c_str());
    outcome.hit = text.find("hit") != std::string::npos;
  }
  return outcome;
}

}  // namespace velmora::test
