// libFuzzer target: PE images and icon files, held in memory, through the version
// and icon readers and the icon image decoder.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/icons.h"
#include "platform/version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> block = platform::version::InfoFromBytes(data, size);
  if (!block.empty()) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    for (const char* sub : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\FileVersion",
                            "\\StringFileInfo\\040904E4\\ProductName", "\\StringFileInfo"}) {
      if (platform::version::QueryValue(block, sub, &value, &length) && length) {
        FUZZ_CHECK(static_cast<const std::uint8_t*>(value) >= block.data() &&
                   static_cast<const std::uint8_t*>(value) < block.data() + block.size());
        volatile std::uint8_t last = static_cast<const std::uint8_t*>(value)[length - 1];
        (void)last;
      }
    }
  }
  for (int index : {0, 1, -1, -128}) {
    platform::IconHandle icon = platform::icons::ExtractFromBytes(data, size, index);
    if (icon && !icon->notAnIconFile && icon->png.empty()) {
      FUZZ_CHECK(icon->pixels.size() ==
                 static_cast<std::size_t>(icon->width) * static_cast<std::size_t>(icon->height));
    }
  }
  platform::IconImage image;
  if (platform::icons::DecodeImage(data, size, &image) && image.png.empty()) {
    FUZZ_CHECK(image.pixels.size() ==
               static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  }
  return 0;
}
