// Shared set-up of the fuzz targets: a throw-away prefix, and a file on the Z:
// drive that each input is written to before the readers, which take paths, run.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/startup.h"

namespace velmora::fuzz {

inline const std::string& InputPath() {
  static const std::string path = [] {
    char folder[] = "/tmp/velmora-fuzz-XXXXXX";
    if (!mkdtemp(folder)) abort();
    setenv("WINEPREFIX", (std::string(folder) + "/prefix").c_str(), 1);
    if (platform::InitSystem() != 0) abort();
    return platform::files::WindowsPathFromHost(std::string(folder) + "/input.bin");
  }();
  return path;
}

inline void WriteInput(const std::uint8_t* data, std::size_t size) {
  std::ofstream out(platform::files::HostPathFromWindows(InputPath()), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace velmora::fuzz
