// Running processes through a Tool Help snapshot and the process-status API.
#include "platform/processes.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <memory>

#include "platform/process_status.h"
#include "platform/win32/live_windows.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

std::string WithoutExe(std::string name) {
  if (name.size() >= 4) {
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    if (tail == ".exe") name.resize(name.size() - 4);
  }
  return name;
}

class ProcessHandle {
 public:
  ProcessHandle(std::uint32_t pid, DWORD access) : handle_(pid ? OpenProcess(access, FALSE, pid) : nullptr) {}
  ~ProcessHandle() {
    if (handle_) CloseHandle(handle_);
  }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

struct WindowSearch {
  DWORD pid;
  bool found = false;
};

BOOL CALLBACK CloseWindowsOf(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->pid && PostMessageW(window, WM_CLOSE, 0, 0)) search->found = true;
  return TRUE;
}

}  // namespace

std::shared_ptr<const HostProcessTable> HostProcessTable::Read() {
  auto table = std::make_shared<HostProcessTable>();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return table;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == 0) continue;  // the idle process
    Row row;
    row.process = ProcessEntry{
        entry.th32ProcessID, WithoutExe(win32::Narrow(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH)))};
    table->rows_.push_back(std::move(row));
  }
  CloseHandle(snapshot);
  std::sort(table->rows_.begin(), table->rows_.end(),
            [](const Row& a, const Row& b) { return a.process.pid < b.process.pid; });
  return table;
}

std::vector<ProcessEntry> win32::LiveWindows::ListProcesses() { return ProcessTable()->Of(""); }

bool QueryProcessMemory(std::uint32_t pid, std::uint64_t* workingSet, std::uint64_t* peakWorkingSet) {
  ProcessHandle process(pid, PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ);
  if (!process.get()) return false;
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) return false;
  *workingSet = counters.WorkingSetSize;
  *peakWorkingSet = counters.PeakWorkingSetSize;
  return true;
}

bool CanFullyControl(std::uint32_t pid) {
  ProcessHandle process(pid, PROCESS_ALL_ACCESS);
  return process.get() != nullptr;
}

ProcessStatus QueryProcessStatus(std::uint32_t pid) {
  ProcessStatus status;
  status.memoryRead = QueryProcessMemory(pid, &status.workingSet, &status.peakWorkingSet);
  status.fullyControlled = CanFullyControl(pid);
  return status;
}

// Polite: asks the process's windows to close; forced: TerminateProcess.
bool SignalProcess(std::uint32_t pid, bool forced) {
  if (!forced) {
    WindowSearch search{pid};
    EnumWindows(CloseWindowsOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  ProcessHandle process(pid, PROCESS_TERMINATE);
  return process.get() && TerminateProcess(process.get(), 1);
}

bool ProcessAlive(std::uint32_t pid) {
  ProcessHandle process(pid, PROCESS_QUERY_LIMITED_INFORMATION);
  if (!process.get()) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

}  // namespace platform
