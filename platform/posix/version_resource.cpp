// Version resources of PE files of the prefix, read by formats/version_resource.
#include "platform/version_resource.h"

#include "formats/version_resource.h"
#include "platform/managed_system.h"
#include "platform/posix/resource_file.h"

namespace platform {

std::vector<std::uint8_t> version::Block(ManagedSystem& system, const std::string& path) {
  posix::ResourceFile file(system, path);
  if (!file) return {};
  return formats::VersionInfoBlock(*file);
}

}  // namespace platform
