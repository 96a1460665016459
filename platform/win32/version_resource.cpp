// Version resources through GetFileVersionInfoW, which finds a file's resource as
// Windows does (its language files included). The resource it hands out is made
// into the block of formats/version_resource, whose strings are already UTF-8, so
// a query hands out text that lives in the block itself.
#include "platform/version_resource.h"

#include <windows.h>

#include <algorithm>

#include "formats/version_resource.h"
#include "platform/win32/wide.h"

namespace platform {

std::vector<std::uint8_t> version::Block(ManagedSystem&, const std::string& path) {
  std::wstring wide = win32::Wide(path);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size < 2) return {};
  std::vector<std::uint8_t> info(size, 0);
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, info.data())) return {};
  // The resource as the file holds it comes first (its first word is its length);
  // what follows is the reader's own spare room.
  std::size_t length = std::min<std::size_t>(size, info[0] | (info[1] << 8));
  return formats::VersionBlockOfResource(std::string(info.begin(), info.begin() + length));
}

}  // namespace platform
