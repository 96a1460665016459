// Process figures of an entry's program.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "entries/task.h"

namespace platform {
class ManagedSystem;
}

namespace velmora {

// The running processes as one reading of the process list found them, with the
// memory figures and the control of each process read at most once. A pass over
// many entries holds one, so that the list is read once and looked up per entry.
class ProcessSnapshot {
 public:
  explicit ProcessSnapshot(platform::ManagedSystem& system);  // reads its process list
  virtual ~ProcessSnapshot() = default;

  // Ids of the processes of that name (letter case ignored), in the platform's
  // stable order.
  std::vector<std::uint32_t> FindProcessIds(const std::string& processName) const;
  // The same ids without a copy; empty when no process has that name.
  std::span<const std::uint32_t> ProcessIds(std::string_view processName) const;
  // Memory figures in bytes; false when the process cannot be queried.
  bool Memory(std::uint32_t pid, std::uint64_t* workingSet, std::uint64_t* peak);
  bool FullyControlled(std::uint32_t pid);

 private:
  struct Figures {
    bool queried = false;
    std::uint64_t workingSet = 0;
    std::uint64_t peak = 0;
    int controlled = -1;  // -1 not yet asked
  };
  // The processes by lower-cased name, in the platform's order within a name:
  // names_[i] is the name of ids_[i]. Two lists, not a map of lists: a system's
  // listing reads one, and building a map took a few allocations per process.
  std::vector<std::string> names_;
  std::vector<std::uint32_t> ids_;
  std::unordered_map<std::uint32_t, Figures> figures_;
};

// Ids of the running processes of that name (letter case ignored), in the
// platform's stable order.
std::vector<std::uint32_t> FindProcessIds(platform::ManagedSystem& system, const std::string& processName);
// The process name of a program path: the part after the last backslash without a
// final ".lnk", then without a final ".exe" (either in any letter case).
std::string ProcessNameOfProgram(const std::string& programPath);
// The same name, as a part of |programPath|.
std::string_view ProcessNameIn(std::string_view programPath);
// Sets memoryKB, peakMemoryKB and processProtected from the first process of the
// program that can be queried: from |processes|, or from a fresh reading of the
// process list.
void ReadProcessInfo(const std::string& programPath, Task& task, ProcessSnapshot& processes);
void ReadProcessInfo(platform::ManagedSystem& system, const std::string& programPath, Task& task);

}  // namespace velmora
