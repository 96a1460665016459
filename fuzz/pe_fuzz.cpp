// libFuzzer target: PE images and icon files through the version and icon readers.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/icons.h"
#include "platform/version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmora::fuzz::WriteInput(data, size);
  const std::string& path = velmora::fuzz::InputPath();
  std::uint32_t blockSize = platform::version::InfoSize(path);
  std::vector<std::uint8_t> block;
  if (blockSize && platform::version::ReadInfo(path, blockSize, &block)) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    for (const char* sub : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\FileVersion"}) {
      if (platform::version::QueryValue(block, sub, &value, &length) && length) {
        volatile std::uint8_t last = static_cast<const std::uint8_t*>(value)[length - 1];
        (void)last;
      }
    }
  }
  for (int index : {0, 1, -1}) platform::icons::Extract(path, index);
  platform::IconImage image;
  platform::icons::DecodeImage(data, size, &image);
  return 0;
}
