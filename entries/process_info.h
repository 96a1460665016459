// Process figures of an entry's program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entries/task.h"

namespace velmora {

// Ids of the running processes of that name (letter case ignored), in the
// platform's stable order.
std::vector<std::uint32_t> FindProcessIds(const std::string& processName);
// The process name of a program path: the part after the last backslash without a
// final ".lnk", then without a final ".exe" (either in any letter case).
std::string ProcessNameOfProgram(const std::string& programPath);
// Sets memoryKB, peakMemoryKB and processProtected from the first process of the
// program that can be queried.
void ReadProcessInfo(const std::string& programPath, Task& task);

}  // namespace velmora
