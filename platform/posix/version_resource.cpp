// Version resources of PE files of the prefix, read by formats/version_resource.
#include "platform/version_resource.h"

#include <utility>

#include "formats/version_resource.h"
#include "platform/managed_system.h"
#include "platform/posix/file_bytes.h"

namespace platform {

namespace {

std::vector<std::uint8_t> BuildBlock(ManagedSystem& system, const std::string& path) {
  posix::FileBytes file;
  if (!file.Open(system.HostPathFromWindows(path))) return {};
  return formats::VersionInfoBlock(file);
}

}  // namespace

std::uint32_t version::InfoSize(ManagedSystem& system, const std::string& path) {
  return static_cast<std::uint32_t>(BuildBlock(system, path).size());
}

bool version::ReadInfo(ManagedSystem& system, const std::string& path, std::uint32_t size,
                       std::vector<std::uint8_t>* block) {
  block->clear();
  if (size == 0) return false;
  std::vector<std::uint8_t> built = BuildBlock(system, path);
  if (built.empty()) return false;
  if (built.size() > size) built.resize(size);
  *block = std::move(built);
  return true;
}

bool version::QueryValue(const std::vector<std::uint8_t>& block, const std::string& subBlock,
                         const void** value, std::uint32_t* length) {
  return formats::QueryVersionValue(block, subBlock, value, length);
}

}  // namespace platform
