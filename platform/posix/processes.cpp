// Running processes, read from /proc.
#include "platform/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/host_file.h"
#include "platform/posix/path_util.h"
#include "platform/posix/prefix.h"
#include "platform/process_status.h"

namespace platform {

namespace {

// Reads a small file of /proc whole (at most 1 MB); false when it cannot be read.
bool ReadProcFile(const std::string& path, std::string* bytes) {
  return posix::ReadHostFile(path, bytes, nullptr, nullptr, 1u << 20);
}

std::string ProcPath(std::uint32_t pid, const char* leaf) {
  return "/proc/" + std::to_string(pid) + "/" + leaf;
}

// A pid that names exactly one process; 0 and values that kill() would read as
// process groups or "every process" are refused.
bool UsablePid(std::uint32_t pid) { return pid > 0 && pid <= static_cast<std::uint32_t>(INT_MAX); }

std::string_view BaseName(std::string_view path) {
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string WithoutExe(std::string_view name) {
  if (name.size() >= 4 && velmora::EqualsIgnoreCase(name.substr(name.size() - 4), ".exe")) {
    name.remove_suffix(4);
  }
  return std::string(name);
}

// Wine's loader leaves the Windows path of the program in argv[0].
bool LooksLikeWindowsPath(std::string_view text) {
  if (text.find('\\') != std::string_view::npos) return true;
  return text.size() >= 2 && text[1] == ':' &&
         ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
}

bool IsWineLoader(std::string_view exeBase) {
  return exeBase == "wine" || exeBase == "wine64" || exeBase == "wine-preloader" ||
         exeBase == "wine64-preloader";
}

std::string ExecutableBase(std::uint32_t pid) {
  char buffer[PATH_MAX];
  ssize_t n = readlink(ProcPath(pid, "exe").c_str(), buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  std::string_view target(buffer, static_cast<std::size_t>(n));
  constexpr std::string_view kDeleted = " (deleted)";
  if (target.size() > kDeleted.size() && target.substr(target.size() - kDeleted.size()) == kDeleted) {
    target.remove_suffix(kDeleted.size());
  }
  return std::string(BaseName(target));
}

// The name of the program a process runs; |wine| tells whether Wine runs it.
std::string ProcessName(std::uint32_t pid, bool* wine) {
  *wine = false;
  std::string cmdline;
  ReadProcFile(ProcPath(pid, "cmdline"), &cmdline);
  std::string_view argv0(cmdline.c_str());  // up to the first zero

  std::string comm;
  ReadProcFile(ProcPath(pid, "comm"), &comm);
  while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();

  // Kernel threads and zombies have no command line: their name is all they have.
  if (argv0.empty()) return WithoutExe(comm);
  if (LooksLikeWindowsPath(argv0)) {
    *wine = true;
    return WithoutExe(BaseName(argv0));
  }

  std::string exe = ExecutableBase(pid);
  if (!exe.empty()) {
    // A Wine process started with a host path still names its program in argv[0].
    if (IsWineLoader(exe)) {
      *wine = true;
      return WithoutExe(BaseName(argv0));
    }
    return WithoutExe(exe);
  }
  // Another user's process: the link is unreadable. argv[0] may have been
  // rewritten by the program, so trust it only where it agrees with comm (which
  // the kernel truncates to 15 characters).
  std::string_view fromArgv = BaseName(argv0);
  if (!comm.empty() && fromArgv.substr(0, comm.size()) == comm) return WithoutExe(fromArgv);
  return WithoutExe(comm.empty() ? fromArgv : std::string_view(comm));
}

// The numeric fields of a "Name:  value" line of /proc/<pid>/status.
bool StatusField(const std::string& status, std::string_view field,
                 std::vector<unsigned long long>* numbers) {
  numbers->clear();
  std::size_t at = 0;
  while (at < status.size()) {
    std::size_t end = status.find('\n', at);
    if (end == std::string::npos) end = status.size();
    std::string_view line(status.data() + at, end - at);
    if (line.size() > field.size() && line.substr(0, field.size()) == field && line[field.size()] == ':') {
      std::string rest(line.substr(field.size() + 1));
      const char* p = rest.c_str();
      for (;;) {
        char* next = nullptr;
        errno = 0;
        unsigned long long value = std::strtoull(p, &next, 10);
        if (next == p || errno != 0) break;
        numbers->push_back(value);
        p = next;
      }
      return !numbers->empty();
    }
    at = end + 1;
  }
  return false;
}

// The variable |name| of a process's environment as it started; false when the
// environment cannot be read (another user's process) or lacks it.
bool EnvironmentVariable(std::uint32_t pid, std::string_view name, std::string* value) {
  std::string environment;
  if (!ReadProcFile(ProcPath(pid, "environ"), &environment)) return false;
  std::size_t at = 0;
  while (at < environment.size()) {
    std::size_t end = environment.find('\0', at);
    if (end == std::string::npos) end = environment.size();
    std::string_view entry(environment.data() + at, end - at);
    if (entry.size() > name.size() && entry.substr(0, name.size()) == name && entry[name.size()] == '=') {
      value->assign(entry.substr(name.size() + 1));
      return true;
    }
    at = end + 1;
  }
  return false;
}

std::string CanonicalPath(const std::string& path) {
  std::string real = posix::RealPath(path);
  return real.empty() ? path : real;
}

// The prefix a Wine process runs in, canonical: Wine takes it from WINEPREFIX,
// else ~/.wine. "" when the environment cannot be read (another user's process)
// or names neither.
std::string PrefixOfWineProcess(std::uint32_t pid) {
  std::string own;
  if (!EnvironmentVariable(pid, "WINEPREFIX", &own) || own.empty()) {
    if (!EnvironmentVariable(pid, "HOME", &own)) return "";
    own += "/.wine";
  }
  return CanonicalPath(own);
}

}  // namespace

std::shared_ptr<const HostProcessTable> HostProcessTable::Read() {
  std::vector<std::uint32_t> pids;
  if (DIR* dir = opendir("/proc")) {
    while (dirent* entry = readdir(dir)) {
      const char* name = entry->d_name;
      if (*name == 0) continue;
      bool numeric = true;
      for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9') {
          numeric = false;
          break;
        }
      }
      if (!numeric) continue;
      unsigned long value = std::strtoul(name, nullptr, 10);
      if (value > 0 && value <= INT_MAX) pids.push_back(static_cast<std::uint32_t>(value));
    }
    closedir(dir);
  }
  std::sort(pids.begin(), pids.end());

  auto table = std::make_shared<HostProcessTable>();
  table->rows_.reserve(pids.size());
  for (std::uint32_t pid : pids) {
    Row row;
    row.process.pid = pid;
    row.process.name = ProcessName(pid, &row.wine);
    if (row.process.name.empty()) continue;  // ended while we looked
    if (row.wine) row.prefix = PrefixOfWineProcess(pid);
    table->rows_.push_back(std::move(row));
  }
  return table;
}

std::vector<ProcessEntry> posix::WinePrefix::ListProcesses() {
  // Programs of other prefixes are not this system's, even with the same name.
  const std::string dir = Dir();
  return ProcessTable()->Of(dir.empty() ? std::string() : CanonicalPath(dir));
}

namespace {

// The memory figures of a process from its status text; false for kernel threads
// and zombies, which have no memory lines.
bool MemoryOf(const std::string& status, std::uint64_t* workingSet, std::uint64_t* peakWorkingSet) {
  std::vector<unsigned long long> rss, hwm;
  if (!StatusField(status, "VmRSS", &rss) || !StatusField(status, "VmHWM", &hwm)) return false;
  if (workingSet) *workingSet = static_cast<std::uint64_t>(rss[0]) * 1024;
  if (peakWorkingSet) *peakWorkingSet = static_cast<std::uint64_t>(std::max(hwm[0], rss[0])) * 1024;
  return true;
}

// CanFullyControl once the process answered a signal; |status| is null when its
// status text could not be read.
bool ControlledBySelf(const std::string* status) {
  uid_t self = geteuid();
  if (self == 0) return true;
  if (!status) return false;
  std::vector<unsigned long long> uids;  // real, effective, saved, file system
  if (!StatusField(*status, "Uid", &uids) || uids.size() < 2) return false;
  // A set-user-id program started by this user may be signalled but runs with
  // rights the user lacks: like an elevated process, it is not fully ours.
  return uids[0] == self && uids[1] == self;
}

}  // namespace

bool QueryProcessMemory(std::uint32_t pid, std::uint64_t* workingSet, std::uint64_t* peakWorkingSet) {
  if (!UsablePid(pid)) return false;
  std::string status;
  if (!ReadProcFile(ProcPath(pid, "status"), &status)) return false;
  return MemoryOf(status, workingSet, peakWorkingSet);
}

bool CanFullyControl(std::uint32_t pid) {
  if (!UsablePid(pid)) return false;
  if (kill(static_cast<pid_t>(pid), 0) != 0) return false;
  if (geteuid() == 0) return true;
  std::string status;
  if (!ReadProcFile(ProcPath(pid, "status"), &status)) return false;
  return ControlledBySelf(&status);
}

ProcessStatus QueryProcessStatus(std::uint32_t pid) {
  ProcessStatus result;
  if (!UsablePid(pid)) return result;
  std::string status;
  const bool read = ReadProcFile(ProcPath(pid, "status"), &status);
  result.memoryRead = read && MemoryOf(status, &result.workingSet, &result.peakWorkingSet);
  result.fullyControlled =
      kill(static_cast<pid_t>(pid), 0) == 0 && ControlledBySelf(read ? &status : nullptr);
  return result;
}

bool SignalProcess(std::uint32_t pid, bool forced) {
  if (!UsablePid(pid)) return false;
  return kill(static_cast<pid_t>(pid), forced ? SIGKILL : SIGTERM) == 0;
}

bool ProcessAlive(std::uint32_t pid) {
  if (!UsablePid(pid)) return false;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  // A zombie has ended; only its exit status waits to be collected.
  std::string stat;
  if (!ReadProcFile(ProcPath(pid, "stat"), &stat)) return false;
  std::size_t paren = stat.rfind(')');
  if (paren == std::string::npos || paren + 2 >= stat.size()) return true;
  char state = stat[paren + 2];
  return state != 'Z' && state != 'X';
}

}  // namespace platform
