#include "entries/process_info.h"

#include "base/text.h"
#include "platform/managed_system.h"
#include "platform/process_status.h"

namespace velmora {

ProcessSnapshot::ProcessSnapshot(platform::ManagedSystem& system) {
  for (const platform::ProcessEntry& process : system.ListProcesses()) {
    idsByName_[ToLowerAscii(process.name)].push_back(process.pid);
  }
}

std::vector<std::uint32_t> ProcessSnapshot::FindProcessIds(const std::string& processName) const {
  const std::vector<std::uint32_t>* ids = ProcessIds(processName);
  return ids ? *ids : std::vector<std::uint32_t>{};
}

const std::vector<std::uint32_t>* ProcessSnapshot::ProcessIds(std::string_view processName) const {
  if (idsByName_.empty()) return nullptr;
  auto it = idsByName_.find(ToLowerAscii(processName));
  return it == idsByName_.end() ? nullptr : &it->second;
}

bool ProcessSnapshot::Memory(std::uint32_t pid, std::uint64_t* workingSet, std::uint64_t* peak) {
  auto [it, fresh] = figures_.try_emplace(pid);
  Figures& figures = it->second;
  if (fresh) {
    // The control is asked about right after the memory: one reading gives both.
    const platform::ProcessStatus status = platform::QueryProcessStatus(pid);
    figures.queried = status.memoryRead;
    figures.workingSet = status.workingSet;
    figures.peak = status.peakWorkingSet;
    figures.controlled = status.fullyControlled ? 1 : 0;
  }
  *workingSet = figures.workingSet;
  *peak = figures.peak;
  return figures.queried;
}

bool ProcessSnapshot::FullyControlled(std::uint32_t pid) {
  Figures& figures = figures_[pid];
  if (figures.controlled < 0) figures.controlled = platform::CanFullyControl(pid) ? 1 : 0;
  return figures.controlled == 1;
}

std::vector<std::uint32_t> FindProcessIds(platform::ManagedSystem& system, const std::string& processName) {
  return ProcessSnapshot(system).FindProcessIds(processName);
}

std::string_view ProcessNameIn(std::string_view programPath) {
  std::string_view name = programPath;
  std::size_t slash = name.rfind('\\');
  if (slash != std::string_view::npos) name = name.substr(slash + 1);
  // Windows file names ignore letter case, so CTFMON.EXE runs as ctfmon.
  if (EndsWithIgnoreCase(name, ".lnk")) name.remove_suffix(4);
  if (EndsWithIgnoreCase(name, ".exe")) name.remove_suffix(4);
  return name;
}

std::string ProcessNameOfProgram(const std::string& programPath) {
  return std::string(ProcessNameIn(programPath));
}

void ReadProcessInfo(const std::string& programPath, Task& task, ProcessSnapshot& processes) {
  const std::vector<std::uint32_t>* ids = processes.ProcessIds(ProcessNameIn(programPath));
  if (!ids) return;
  for (std::uint32_t pid : *ids) {
    std::uint64_t workingSet = 0, peak = 0;
    if (!processes.Memory(pid, &workingSet, &peak)) continue;
    task.memoryKB = static_cast<int>(workingSet / 1024);
    task.peakMemoryKB = static_cast<int>(peak / 1024);
    if (!processes.FullyControlled(pid)) task.processProtected = 1;
    return;
  }
}

void ReadProcessInfo(platform::ManagedSystem& system, const std::string& programPath, Task& task) {
  ProcessSnapshot processes(system);
  ReadProcessInfo(programPath, task, processes);
}

}  // namespace velmora
