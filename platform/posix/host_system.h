// What the systems the Linux build manages share: a Windows seen through the
// host's files, its drives mapped to host folders.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/managed_system.h"

namespace platform::posix {

// What the running path look-up scope of a system keeps.
struct PathLookups {
  struct Listing {
    bool readable = false;
    bool missing = false;  // no such folder: nothing in it exists either
    std::unordered_set<std::string> names;
    std::unordered_map<std::string, std::string> byFolded;  // folded -> first name in listing order
  };
  int depth = 0;
  // Read without the look-up lock: a registry call asks for it while holding the
  // prefix's lock, which a path look-up takes inside the look-up lock.
  std::atomic<std::uint64_t> generation{0};
  std::uint64_t lastGeneration = 0;
  std::unordered_map<std::string, Listing> folders;
  std::unordered_map<std::string, bool> exact;          // host path as written -> exists
  std::unordered_map<std::string, std::string> mapped;  // Windows path -> host path
  std::unordered_map<std::string, bool> drives;         // drive link -> exists
};

struct IniFileCache;
class SystemEnvironment;

// The environment the system's programs see, built once and kept while what it
// was built from stays as it was (environment.cpp).
struct EnvironmentCache {
  std::mutex mutex;
  std::shared_ptr<const SystemEnvironment> environment;  // null until built
  std::uint64_t changes = 0;                             // the system's ChangeCount() then
  std::uint64_t generation = 0;                          // its path look-up generation then
  std::string registryFiles;                             // what the registry files were then
  std::vector<const char*> host;                         // the host environment's entries then
};

class HostSystem : public ManagedSystem {
 public:
  HostSystem();
  ~HostSystem() override;

  std::string HostPathFromWindows(const std::string& windowsPath) override;
  std::string WindowsPathFromHost(const std::string& hostPath) override;
  bool QueryVersion(OsVersionInfo* info) override;
  bool KeepsStartupApproved() override { return false; }

  // The path look-ups kept while a scope lives (files::PathLookupScope).
  void EnterLookupScope();
  void LeaveLookupScope();
  std::uint64_t LookupGeneration();
  void ForgetLookups();
  // Counts the changes made through this object: registry writes, and what
  // forgets the path look-ups. A cache built from the registry compares it.
  std::uint64_t ChangeCount() const { return changes_.load(); }
  void NoteChange() { ++changes_; }
  // The INI files read through this system (ini_file.cpp).
  IniFileCache& IniFiles() { return *iniFiles_; }
  EnvironmentCache& CachedEnvironment() { return environment_; }

 protected:
  // Host folder of drive |letter| (lower case); "" when the drive is unknown.
  virtual std::string DriveHostRoot(char letter) = 0;

 private:
  std::string MapWindowsPath(const std::string& windowsPath);    // the lock is held
  std::string MapThroughFolder(const std::string& windowsPath);  // within a scope, on a drive
  std::string MatchComponent(const std::string& folder, const std::string& component);
  bool DriveExists(const std::string& base);
  const PathLookups::Listing& ListingOf(const std::string& folder);
  // |component|, having learnt within a scope that |folder| holds no such name.
  const std::string& Absent(const std::string& folder, const std::string& component);

  std::recursive_mutex lookupMutex_;
  PathLookups lookups_;
  std::unique_ptr<IniFileCache> iniFiles_;
  EnvironmentCache environment_;
  std::atomic<std::uint64_t> changes_{0};
};

}  // namespace platform::posix

namespace platform::posix {

// |system| as what it is: every system of this build is one.
inline HostSystem& AsHost(ManagedSystem& system) { return static_cast<HostSystem&>(system); }

}  // namespace platform::posix
