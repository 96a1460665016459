// Reading a file of the host whole, and replacing one in one step.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace platform::posix {

struct HostReadFailure {
  int error = 0;          // errno of the step that failed
  const char* step = "";  // "open", "type" (not a regular file) or "read"
};

// Reads a regular file whole, at most |limit| bytes of it. |opened|, when given,
// receives the status of the file as opened.
bool ReadHostFile(const std::string& hostPath, std::string* bytes, HostReadFailure* failure = nullptr,
                  struct stat* opened = nullptr, std::size_t limit = std::numeric_limits<std::size_t>::max());

struct AtomicWriteFailure {
  int error = 0;          // errno of the step that failed
  const char* step = "";  // "create", "write", "flush" or "replace"
  std::string folder;     // the folder the new file was made in
};

// Writes |bytes| into a new file in the folder of |hostPath| (named
// ".velmora-<pid>-<n>.tmp", which scans of a folder pass over) and renames it over
// |hostPath|: a reader sees the old file or the new one, never a part, and a
// failure leaves the old file and no temporary one. Temporary files that
// processes killed mid-write left in that folder are removed first (never one
// of a process that still runs). The new file keeps the mode of
// the file it replaces (and its owner, where the process may give it away); a new
// file gets |newMode| less the umask. With |flush| the data and the rename reach
// the disk before it returns. |written|, when given, receives the status of the
// new file.
bool WriteFileAtomically(const std::string& hostPath, std::string_view bytes, bool flush,
                         AtomicWriteFailure* failure, struct stat* written = nullptr, mode_t newMode = 0644);

}  // namespace platform::posix
