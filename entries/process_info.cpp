#include "entries/process_info.h"

#include "base/text.h"
#include "platform/processes.h"

namespace velmora {

std::vector<std::uint32_t> FindProcessIds(const std::string& processName) {
  std::vector<std::uint32_t> ids;
  for (const platform::ProcessEntry& process : platform::ListProcesses()) {
    if (EqualsIgnoreCase(process.name, processName)) ids.push_back(process.pid);
  }
  return ids;
}

std::string ProcessNameOfProgram(const std::string& programPath) {
  std::string name = programPath;
  std::size_t slash = name.rfind('\\');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  // Windows file names ignore letter case, so CTFMON.EXE runs as ctfmon.
  if (EndsWithIgnoreCase(name, ".lnk")) name.resize(name.size() - 4);
  if (EndsWithIgnoreCase(name, ".exe")) name.resize(name.size() - 4);
  return name;
}

void ReadProcessInfo(const std::string& programPath, Task& task) {
  std::vector<std::uint32_t> ids = FindProcessIds(ProcessNameOfProgram(programPath));
  for (std::uint32_t pid : ids) {
    std::uint64_t workingSet = 0, peak = 0;
    if (!platform::QueryProcessMemory(pid, &workingSet, &peak)) continue;
    task.memoryKB = static_cast<int>(workingSet / 1024);
    task.peakMemoryKB = static_cast<int>(peak / 1024);
    if (!platform::CanFullyControl(pid)) task.processProtected = 1;
    return;
  }
}

}  // namespace velmora
