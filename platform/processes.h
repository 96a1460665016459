// Running processes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  std::uint32_t pid = 0;
  std::string name;  // executable base name without a final ".exe" (any case)
};

// The processes of a system: ManagedSystem::ListProcesses().

// Current and peak resident memory in bytes; false when the process cannot be
// queried (gone, or not readable by this user).
bool QueryProcessMemory(std::uint32_t pid, std::uint64_t* workingSet, std::uint64_t* peakWorkingSet);
// True when the current user may end the process.
bool CanFullyControl(std::uint32_t pid);
// Asks the process to end (polite) or ends it (forced). False when refused.
bool SignalProcess(std::uint32_t pid, bool forced);
bool ProcessAlive(std::uint32_t pid);

}  // namespace platform
