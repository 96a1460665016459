// Files, folders and paths. Every path here is a Windows path (drive letter,
// backslashes) of the system given; the backend maps it to the host through
// that system's drives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace platform {

class ManagedSystem;

constexpr int kMaxPath = 260;

namespace files {

// Host path of a Windows path, components matched without regard to case as Wine
// does. Components that do not exist are appended as written. Empty when the drive
// is unknown.
std::string HostPathFromWindows(ManagedSystem& system, const std::string& windowsPath);
// Windows path of a host path: through the drive whose target contains it, else Z:.
std::string WindowsPathFromHost(ManagedSystem& system, const std::string& hostPath);

// While a PathLookupScope lives, what the path look-ups learn of the file system
// is kept and used again: each folder is listed at most once to match components
// without regard to case, each drive is checked once, and whether a path exists
// (and is a folder) is asked once; a path under a folder found missing, or not in
// a folder's listing, is known missing without asking. A pass over many entries
// holds one. Scopes nest (an inner one joins the outer one); every change through
// this interface (files written, moved, deleted, folders created) drops what was
// kept.
class PathLookupScope {
 public:
  explicit PathLookupScope(ManagedSystem& system);
  ~PathLookupScope();
  PathLookupScope(const PathLookupScope&) = delete;
  PathLookupScope& operator=(const PathLookupScope&) = delete;

 private:
  ManagedSystem& system_;  // the system whose look-ups the scope keeps
};
// A number that stays the same while nothing kept by the running scope was
// dropped, and changes otherwise; 0 outside every scope. A file checked within one
// generation need not be checked again within it.
std::uint64_t PathLookupGeneration(ManagedSystem& system);
// Drops what the running scope kept (called by every change of the file system).
void ForgetPathLookups(ManagedSystem& system);

// Windows path of the running executable (GetModuleFileNameA).
std::string ExecutablePath(ManagedSystem& system);
// Full path of a possibly relative Windows path; "" and kInvalidParameter for "".
Status FullPath(ManagedSystem& system, const std::string& path, std::string* fullPath);
// C:\windows\system32 of the prefix.
std::string SystemDirectory(ManagedSystem& system);

bool Exists(ManagedSystem& system, const std::string& path);  // a file or a folder
bool DirectoryExists(ManagedSystem& system, const std::string& path);
// Exists and not a folder, asked of the file system once.
bool FileExists(ManagedSystem& system, const std::string& path);
Status ReadWholeFile(ManagedSystem& system, const std::string& path, std::string* bytes);
// The first |most| bytes of a file (all of a shorter one).
Status ReadFileStart(ManagedSystem& system, const std::string& path, std::size_t most, std::string* bytes);
// True when the file holds exactly |bytes|; it is read piece by piece, not whole.
bool FileHolds(ManagedSystem& system, const std::string& path, const std::string& bytes);
// The size of a file and the time it was last written, in the backend's own unit
// (nanoseconds, or the system's 100 ns ticks); false when it is missing or not a
// file.
bool FileStamp(ManagedSystem& system, const std::string& path, std::uint64_t* size, std::uint64_t* modified);
// Gives a file the last-write time |modified| that FileStamp told of another.
Status SetFileModified(ManagedSystem& system, const std::string& path, std::uint64_t modified);
// Writes to a temporary file in the same folder, flushes, renames over |path|.
Status WriteAtomic(ManagedSystem& system, const std::string& path, const std::string& bytes);
// The same without flushing to disk: for scratch files that a crash may lose.
Status WriteScratchFile(ManagedSystem& system, const std::string& path, const std::string& bytes);
Status RemoveFile(ManagedSystem& system, const std::string& path);
Status MakeDirectory(ManagedSystem& system,
                     const std::string& path);  // one level; kAlreadyExists when present
Status MakeDirectories(ManagedSystem& system, const std::string& path);                // with parents
Status Rename(ManagedSystem& system, const std::string& from, const std::string& to);  // replaces |to|

// The same for files named by host paths, for the tools that run outside any
// prefix (on Windows a host path is a Windows path).
Status ReadHostFile(const std::string& hostPath, std::string* bytes);
Status WriteHostFileAtomic(const std::string& hostPath, const std::string& bytes);
Status WriteHostScratchFile(const std::string& hostPath, const std::string& bytes);

}  // namespace files

// Find-first/find-next, in the files of a system, over a pattern "folder\*.*", "folder\*.lnk" or a plain
// path. Wildcards '*' and '?' are allowed in the last component only; "*.*" matches every name. The folder's
// "." and ".." references are reported like Windows reports them.
struct FoundItem {
  std::string name;      // file name with extension
  std::string fullPath;  // folder of the pattern + "\" + name
  bool isDirectory = false;
  bool isDots = false;  // "." or ".."
  std::uint64_t size = 0;
};

class FolderSearch {
 public:
  explicit FolderSearch(ManagedSystem& system);
  ~FolderSearch();
  FolderSearch(const FolderSearch&) = delete;
  FolderSearch& operator=(const FolderSearch&) = delete;

  // Starts a search; false when nothing matches (or the folder is missing).
  bool FindFirst(const std::string& pattern);
  // Moves to the next item; false at the end.
  bool FindNext();
  const FoundItem& Current() const;
  void Close();

 private:
  struct State;
  ManagedSystem& system_;
  std::unique_ptr<State> state_;
};

namespace files {

// True when a search for |path| finds any item.
bool PathFindsItem(ManagedSystem& system, const std::string& path);

}  // namespace files

}  // namespace platform
