// What the list of entries asks about one running process, read at once.
#pragma once

#include <cstdint>

namespace platform {

struct ProcessStatus {
  bool memoryRead = false;  // the memory figures could be queried
  std::uint64_t workingSet = 0;
  std::uint64_t peakWorkingSet = 0;
  bool fullyControlled = false;
};

// QueryProcessMemory and CanFullyControl of |pid| together, from one reading of
// the process's state rather than one each.
ProcessStatus QueryProcessStatus(std::uint32_t pid);

}  // namespace platform
