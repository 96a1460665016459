// The file a resource reader (version, icon) reads: within a path look-up scope
// it is opened once for both readers, and a file the scope knows to be missing is
// not opened at all.
#pragma once

#include <memory>
#include <string>

#include "platform/posix/file_bytes.h"

namespace platform {
class ManagedSystem;
}

namespace platform::posix {

class HostSystem;

class ResourceFile {
 public:
  // Opens the file at the Windows path |path| of |system|, or takes it over from
  // the reader before when that one read the same file.
  ResourceFile(ManagedSystem& system, const std::string& path);
  // Keeps the file open for the next reader within the scope.
  ~ResourceFile();
  ResourceFile(const ResourceFile&) = delete;
  ResourceFile& operator=(const ResourceFile&) = delete;

  explicit operator bool() const { return file_ != nullptr; }
  const FileBytes& operator*() const { return *file_; }

 private:
  HostSystem& system_;
  std::string host_;
  std::unique_ptr<FileBytes> file_;
};

}  // namespace platform::posix
