// Version resources of PE files of the prefix, read by formats/version_resource.
#include "platform/version_resource.h"

#include "formats/version_resource.h"
#include "platform/managed_system.h"
#include "platform/posix/file_bytes.h"

namespace platform {

std::vector<std::uint8_t> version::Block(ManagedSystem& system, const std::string& path) {
  posix::FileBytes file;
  if (!file.Open(system.HostPathFromWindows(path))) return {};
  return formats::VersionInfoBlock(file);
}

}  // namespace platform
