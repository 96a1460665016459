#include "entries/process_info.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "platform/managed_system.h"
#include "platform/process_status.h"

namespace velmora {

ProcessSnapshot::ProcessSnapshot(platform::ManagedSystem& system) {
  std::vector<platform::ProcessEntry> processes = system.ListProcesses();
  for (platform::ProcessEntry& process : processes) {
    for (char& c : process.name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');  // as ToLowerAscii
    }
  }
  // Sorted by name, the platform's order kept among the processes of one name.
  std::stable_sort(
      processes.begin(), processes.end(),
      [](const platform::ProcessEntry& a, const platform::ProcessEntry& b) { return a.name < b.name; });
  names_.reserve(processes.size());
  ids_.reserve(processes.size());
  for (platform::ProcessEntry& process : processes) {
    names_.push_back(std::move(process.name));
    ids_.push_back(process.pid);
  }
}

std::vector<std::uint32_t> ProcessSnapshot::FindProcessIds(const std::string& processName) const {
  const std::span<const std::uint32_t> ids = ProcessIds(processName);
  return std::vector<std::uint32_t>(ids.begin(), ids.end());
}

std::span<const std::uint32_t> ProcessSnapshot::ProcessIds(std::string_view processName) const {
  if (names_.empty()) return {};
  const std::string wanted = ToLowerAscii(processName);
  const auto [first, last] = std::equal_range(names_.begin(), names_.end(), wanted);
  return std::span<const std::uint32_t>(ids_.data() + (first - names_.begin()),
                                        static_cast<std::size_t>(last - first));
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
  for (std::uint32_t pid : processes.ProcessIds(ProcessNameIn(programPath))) {
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
