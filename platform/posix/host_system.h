// What the systems the Linux build manages share: a Windows seen through the
// host's files, its drives mapped to host folders.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/managed_system.h"
#include "platform/posix/file_bytes.h"

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
  // What stat(2) said of a host path, links followed.
  struct Status {
    bool exists = false;
    struct stat st {};
  };
  // Hashes a path and a part of one alike: the folder of a path is looked up
  // without a copy of its own.
  struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
  };
  // A folder missing within the scope is kept marked; a name looked up in it is
  // not marked itself, its folder's mark answers for it.
  std::unordered_map<std::string, Listing, PathHash, std::equal_to<>> folders;
  std::unordered_map<std::string, Status> exact;        // host path as written -> its status
  std::unordered_map<std::string, std::string> mapped;  // Windows path -> host path
  std::unordered_map<std::string, bool> drives;         // drive link -> exists
  // The file last opened for its resources, and its host path: a program's
  // version and its icon are read through one open.
  std::string openPath;
  std::unique_ptr<FileBytes> openFile;
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
  // stat(2) of the host path |host|. Within a scope the answer comes from what
  // the scope learnt (the path found missing by the walk that mapped it, an
  // earlier answer) and is kept for later questions; outside one the file
  // system is asked.
  bool StatHost(const std::string& host, struct stat* st);
  // StatHost of the host path of |windowsPath| (false when it maps to none),
  // without a copy of that path when a scope keeps it.
  bool StatWindows(const std::string& windowsPath, struct stat* st);
  // False when the running scope knows that nothing is at |host| (its walk found
  // a folder on its way missing or its folder's listing without it, or stat
  // failed for it), so that opening it would fail; true otherwise, asking nothing
  // of the file system.
  bool MayExist(const std::string& host);
  // Keeps, within a scope, the names a search found in the host folder |folder|
  // as its listing (a folder listed before keeps its first listing).
  void NoteListing(const std::string& folder, const std::vector<std::string>& names);
  // Hands over the file at |host| when it was the last one kept by KeepOpenFile
  // in the running scope; else null. The caller owns it until it keeps it again.
  std::unique_ptr<FileBytes> TakeOpenFile(const std::string& host);
  // Keeps |file|, opened from |host|, for the next reader of the same path within
  // the running scope (replacing the file kept before); outside a scope it is closed.
  void KeepOpenFile(const std::string& host, std::unique_ptr<FileBytes> file);
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
  // The kept host path of a path on a drive, mapped when first asked (the lock is
  // held, within a scope); it stays in place until the look-ups are dropped.
  const std::string& MappedOnDrive(const std::string& windowsPath);
  const std::string& MappedOnDrive(std::string&& windowsPath);  // the path made for the look-up
  std::string MatchComponent(const std::string& folder, const std::string& component);
  bool DriveExists(const std::string& base);
  const PathLookups::Listing& ListingOf(const std::string& folder);
  bool KnownMissing(const std::string& host) const;   // the lock is held, within a scope
  bool MarkedMissing(std::string_view host) const;    // by its own mark or its folder's
  bool InMissingFolder(std::string_view host) const;  // its folder is marked missing
  void DropLookups();                                 // the lock is held
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
