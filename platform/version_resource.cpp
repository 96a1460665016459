// The version operations on top of each backend's version::Block.
#include "platform/version_resource.h"

#include <utility>

#include "formats/version_resource.h"

namespace platform {

std::uint32_t version::InfoSize(ManagedSystem& system, const std::string& path) {
  return static_cast<std::uint32_t>(Block(system, path).size());
}

bool version::ReadInfo(ManagedSystem& system, const std::string& path, std::uint32_t size,
                       std::vector<std::uint8_t>* block) {
  if (!block) return false;
  block->clear();
  if (size == 0) return false;
  std::vector<std::uint8_t> built = Block(system, path);
  if (built.empty()) return false;
  if (built.size() > size) built.resize(size);
  *block = std::move(built);
  return true;
}

bool version::QueryValue(const std::vector<std::uint8_t>& block, const std::string& subBlock,
                         const void** value, std::uint32_t* length) {
  if (!value) return false;
  std::uint32_t ignored = 0;
  return formats::QueryVersionValue(block, subBlock, value, length ? length : &ignored);
}

}  // namespace platform
