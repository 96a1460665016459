// System services: the single-instance lock, the system version, starting programs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

class ManagedSystem;

// CreateMutexA with initial ownership: a named lock that the system releases when
// the process ends. Returns kSuccess when this process now holds it,
// kAlreadyExists when another process holds it, another status on failure. The
// lock is kept for the life of the process.
Status CreateNamedMutex(const std::string& name);

// A named lock held while this object lives; it is released when the object goes.
class NamedLock {
 public:
  virtual ~NamedLock() = default;
};
// The lock of CreateNamedMutex, held by *lock rather than by the process: kSuccess
// when *lock now holds it, kAlreadyExists when another holder (another process,
// or another NamedLock of this one) has it, another status on failure.
Status TakeNamedLock(const std::string& name, std::unique_ptr<NamedLock>* lock);

// The version of a managed system (ManagedSystem::QueryVersion), as GetVersionExA
// gives it to the programs of that system.
struct OsVersionInfo {
  std::uint32_t size = 148;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
  std::uint32_t platformId = 0;  // 2 = VER_PLATFORM_WIN32_NT
  std::string csdVersion;
};
// Starts a program with an argument vector (no shell ever sees it). The first
// element is a host path or a Windows path; Windows executables run through Wine.
bool LaunchProgram(ManagedSystem& system, const std::vector<std::string>& argv);
// Opens a document or program as ShellExecuteA "open" would.
bool ShellOpen(ManagedSystem& system, const std::string& windowsPath);
// Has the desktop's file manager show |windowsPath|, falling back to opening its folder.
bool ShowInFileManager(ManagedSystem& system, const std::string& windowsPath);

// Ends the process at once with the given Windows exit code (259 becomes 3 on Linux).
[[noreturn]] void TerminateCurrentProcess(std::uint32_t exitCode);

}  // namespace platform
