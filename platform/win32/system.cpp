// System services over the Win32 API: the named mutex, the true system version,
// starting programs and ending the process.
#include "platform/system.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>

#include "platform/win32/com.h"
#include "platform/win32/live_windows.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

using win32::Wide;

// One argument as the C runtime's command-line parser reads it back.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
      out += c;
      backslashes = 0;
    } else {
      out.append(backslashes, L'\\');
      out += c;
      backslashes = 0;
    }
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);

}  // namespace

namespace {

// The mutex is released, and its handle closed, when the lock goes.
class MutexLock : public NamedLock {
 public:
  explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexLock() override {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }

 private:
  HANDLE mutex_;
};

}  // namespace

Status TakeNamedLock(const std::string& name, std::unique_ptr<NamedLock>* lock) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, Wide(name).c_str());
  DWORD error = GetLastError();
  if (!mutex) return static_cast<Status>(error);
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return kAlreadyExists;
  }
  *lock = std::make_unique<MutexLock>(mutex);
  return kSuccess;
}

Status CreateNamedMutex(const std::string& name) {
  // The lock stays held for the life of the process; the system releases the
  // mutex when the process ends.
  std::unique_ptr<NamedLock> lock;
  Status status = TakeNamedLock(name, &lock);
  if (status == kSuccess) static_cast<void>(lock.release());
  return status;
}

// GetVersionExA reports the version in the program's manifest (at most 6.2 without
// one) rather than the system's; RtlGetVersion of ntdll reports the true one.
bool win32::LiveWindows::QueryVersion(OsVersionInfo* info) {
  if (!info || (info->size != 148 && info->size != 156)) return false;
  std::uint32_t size = info->size;
  *info = OsVersionInfo();
  info->size = size;
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                             : nullptr;
  if (!rtlGetVersion || rtlGetVersion(&version) != 0) return false;
  info->majorVersion = version.dwMajorVersion;
  info->minorVersion = version.dwMinorVersion;
  info->buildNumber = version.dwBuildNumber;
  info->platformId = version.dwPlatformId;
  info->csdVersion = win32::Narrow(version.szCSDVersion, wcsnlen(version.szCSDVersion, 128)).substr(0, 127);
  return true;
}

bool LaunchProgram(ManagedSystem&, const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  std::wstring commandLine;
  for (const std::string& argument : argv) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += Quoted(Wide(argument));
  }
  std::wstring program = Wide(argv[0]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool ShellOpen(ManagedSystem&, const std::string& windowsPath) {
  win32::ComScope com;  // the handler of the file's type may be a COM object
  HINSTANCE result =
      ShellExecuteW(nullptr, L"open", Wide(windowsPath).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool ShowInFileManager(ManagedSystem& system, const std::string& windowsPath) {
  std::wstring windows(MAX_PATH, L'\0');
  UINT length = GetWindowsDirectoryW(windows.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return ShellOpen(system, windowsPath);
  windows.resize(length);
  std::string explorer = win32::Narrow(windows) + "\\explorer.exe";
  if (LaunchProgram(system, {explorer, "/select," + windowsPath})) return true;
  std::size_t cut = windowsPath.find_last_of('\\');
  return cut != std::string::npos && ShellOpen(system, windowsPath.substr(0, cut));
}

void TerminateCurrentProcess(std::uint32_t exitCode) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  ExitProcess(exitCode);
}

}  // namespace platform
