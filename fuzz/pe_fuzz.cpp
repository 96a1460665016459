// libFuzzer target: PE images and icon files, held in memory, through the version
// and icon readers and the icon image decoder.
#include <cstdint>
#include <vector>

#include "formats/byte_source.h"
#include "formats/icons.h"
#include "formats/version_resource.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const formats::MemoryBytes file(data, size);
  std::vector<std::uint8_t> block = formats::VersionInfoBlock(file);
  if (!block.empty()) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    for (const char* sub : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\FileVersion",
                            "\\StringFileInfo\\040904E4\\ProductName", "\\StringFileInfo"}) {
      if (formats::QueryVersionValue(block, sub, &value, &length) && length) {
        FUZZ_CHECK(static_cast<const std::uint8_t*>(value) >= block.data() &&
                   static_cast<const std::uint8_t*>(value) < block.data() + block.size());
        volatile std::uint8_t last = static_cast<const std::uint8_t*>(value)[length - 1];
        (void)last;
      }
    }
  }
  for (int index : {0, 1, -1, -128}) {
    formats::IconBitmap icon;
    if (formats::FindIcon(file, index, &icon) == formats::IconSearch::kFound && icon.png.empty()) {
      FUZZ_CHECK(icon.pixels.size() ==
                 static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height));
    }
  }
  formats::IconBitmap image;
  if (formats::DecodeIconImage(data, size, &image) && image.png.empty()) {
    FUZZ_CHECK(image.pixels.size() ==
               static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  }
  return 0;
}
