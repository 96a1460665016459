// Icons of PE files and .ico files of the prefix, read by formats/icons.
#include "platform/icons.h"

#include <utility>

#include "platform/managed_system.h"
#include "platform/posix/resource_file.h"

namespace platform {

bool icons::DecodeImage(const std::uint8_t* data, std::size_t size, IconImage* image) {
  return formats::DecodeIconImage(data, size, image);
}

IconHandle icons::Extract(ManagedSystem& system, const std::string& path, int index) {
  posix::ResourceFile file(system, path);
  if (!file) return icons::NotAnIconFileResult();
  auto image = std::make_shared<IconImage>();
  switch (formats::FindIcon(*file, index, image.get())) {
    case formats::IconSearch::kFound:
      return image;
    case formats::IconSearch::kNoIcon:
      return nullptr;
    default:
      return icons::NotAnIconFileResult();
  }
}

}  // namespace platform
