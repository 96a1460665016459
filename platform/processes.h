// Running processes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// One process of a system, as ManagedSystem::ListProcesses() returns it.
struct ProcessEntry {
  std::uint32_t pid = 0;
  std::string name;  // executable base name without a final ".exe" (any case)
};

// One reading of the host's process table. Systems listed together share one
// (ManagedSystem::ShareProcessTable), each taking its own processes from it,
// rather than each reading the whole table again. It does not change once read,
// so threads may share it.
class HostProcessTable {
 public:
  struct Row {
    ProcessEntry process;
    bool wine = false;   // Wine runs it
    std::string prefix;  // the prefix a Wine process runs in, canonical; "" when unknown
  };

  static std::shared_ptr<const HostProcessTable> Read();

  // The processes of the prefix |prefix| (canonical; "" for every process), in
  // process-id order: a Wine process known to run in another prefix is left out.
  std::vector<ProcessEntry> Of(const std::string& prefix) const;

 private:
  std::vector<Row> rows_;  // in process-id order
};

// Current and peak resident memory in bytes; false when the process cannot be
// queried (gone, or not readable by this user).
bool QueryProcessMemory(std::uint32_t pid, std::uint64_t* workingSet, std::uint64_t* peakWorkingSet);
// True when the current user may end the process.
bool CanFullyControl(std::uint32_t pid);
// Asks the process to end (polite) or ends it (forced). False when refused.
bool SignalProcess(std::uint32_t pid, bool forced);
bool ProcessAlive(std::uint32_t pid);

}  // namespace platform
