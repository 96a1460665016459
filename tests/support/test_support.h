// Shared helpers of the tests: temporary folders and prefixes.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/managed_system.h"

namespace velmora::test {

// A fresh folder under the system's temporary folder, removed with its contents
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // A folder in this one for a program's XDG_RUNTIME_DIR, made on the first call.
  // The single-instance lock lives there: programs the tests start without one
  // would share the user's lock with every other test that runs at the time.
  std::string RuntimeDir() const;

 private:
  std::string path_;
};

// A minimal Windows XP prefix in a temporary folder, made the current prefix
// (WINEPREFIX set, caches reset). XDG_RUNTIME_DIR points into the folder so that
// single-instance locks of different tests never meet.
class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  const std::string& dir() const { return dir_.path(); }
  std::string prefix() const { return dir_.path() + "/prefix"; }
  std::string HostPath(const std::string& relative) const { return prefix() + "/" + relative; }

 private:
  TempDir dir_;
};

// The Windows the tests of the core run against, made ready for one test and put
// back afterwards. On Linux it is a fresh minimal prefix (TempPrefix). In the
// Windows build it is the live system the test program runs on, which must be a
// Wine prefix of its own (scripts/wine-run.sh gives each test program a copy):
// the startup locations, the StartupApproved marks, the program's own keys and
// its application-data folder are recorded when it is made and returned to that
// state when it goes, so the tests of one program do not see each other's entries.
// Either way the machine's and the user's Run and RunOnce keys exist.
#ifdef _WIN32
class TestSystem {
 public:
  TestSystem();
  ~TestSystem();
  TestSystem(const TestSystem&) = delete;
  TestSystem& operator=(const TestSystem&) = delete;

  struct Saved;

 private:
  std::unique_ptr<Saved> saved_;
};
#else
using TestSystem = TempPrefix;
#endif

namespace detail {

// The test program's system: its prefix (the default system of the build, made
// on first use), or one the test put in its place.
struct SystemSlot {
  std::mutex mutex;
  std::unique_ptr<platform::ManagedSystem> prefix;
  std::unique_ptr<platform::ManagedSystem> owned;
  platform::ManagedSystem* current = nullptr;
};

inline SystemSlot& TheSystemSlot() {
  static SystemSlot* slot = new SystemSlot;
  return *slot;
}

}  // namespace detail

// The system the test works on: the one its TempPrefix or TestSystem made ready,
// or the offline installation UseOfflineSystem opened. Tests hand it to what they
// make (a model, the application) as the program hands over the system it chose.
inline platform::ManagedSystem& System() {
  detail::SystemSlot& slot = detail::TheSystemSlot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (!slot.current) {
    if (!slot.prefix) slot.prefix = platform::DefaultSystem();
    slot.current = slot.prefix.get();
  }
  return *slot.current;
}
// Makes |system| (owned by the caller, alive while it is worked on) the test's
// system; null goes back to the test's prefix.
inline void WorkOn(platform::ManagedSystem* system) {
  detail::SystemSlot& slot = detail::TheSystemSlot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  slot.owned.reset();
  slot.current = system;
}
// Opens the offline installation at |hostRoot| (OpenOfflineSystem) as the system
// of the test; without success nothing changes and |error| says why.
inline platform::Status UseOfflineSystem(const std::string& hostRoot, const std::string& userName,
                                         std::string* error) {
  std::unique_ptr<platform::ManagedSystem> system;
  platform::Status status = platform::OpenOfflineSystem(hostRoot, userName, &system, error);
  if (status == platform::kSuccess) {
    detail::SystemSlot& slot = detail::TheSystemSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.owned = std::move(system);
    slot.current = slot.owned.get();
  }
  return status;
}
// Closes it: the test works on its prefix again.
inline void CloseOfflineSystem() { WorkOn(nullptr); }

#ifndef _WIN32
// What the tests of the prefix ask of the test's system: it prepared, its folder
// and user ("" when it is no prefix), whether its wineserver runs.
platform::Status InitPrefix();
std::string PrefixDir();
std::string PrefixUserName();
bool WineServerRunning(int* pid = nullptr);
// Forgets the prefix chosen (the next use chooses again) and works on it.
void ResetPrefixForTesting();
#endif

std::string ReadFile(const std::string& hostPath);
void WriteFile(const std::string& hostPath, const std::string& bytes);
// Runs a shell command line built by the test itself; returns its exit status.
// (RunAndCapture in run_program.h also captures what it prints.)
int RunCommand(const std::string& commandLine);
// Whether Wine's programs (wine, wineboot, wineserver) are on PATH, asked once
// per test program. The Linux build only: a test that starts Wine with it is
// listed in VELMORA_WINE_TESTS of tests/CMakeLists.txt, which labels it "wine".
bool WineAvailable();
#ifndef _WIN32
// A prefix that Wine booted, made once per test program (WineAvailable); a
// minimal prefix of Velmora's own where Wine is missing.
const std::string& WineMadePrefix();
// A copy at |path| of that prefix's registry files, drives and folders (not the
// files of its drive), as a launcher keeps a prefix; with |entry| (when given)
// in the user's Run key, running |command|.
void CopyWineMadePrefix(const std::string& path, const std::string& entry = "",
                        const std::string& command = "C:\\windows\\system32\\notepad.exe");
#endif
std::string FixturePath(const std::string& name);  // built PE fixtures
std::string SourcePath(const std::string& relative);

}  // namespace velmora::test
