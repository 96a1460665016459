// Shared set-up of the fuzz targets: a throw-away prefix with a program folder,
// and a file on the Z: drive for the readers that take paths.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/program.h"
#include "base/program_context.h"
#include "fuzz/fuzz_check.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/posix/prefix.h"

namespace velmora::fuzz {

// The prefix the targets work on (WorkDir makes it, WINEPREFIX names it).
inline platform::ManagedSystem& System() {
  static platform::ManagedSystem* system = platform::DefaultSystem().release();
  return *system;
}

// The host folder that holds the prefix, the program folder and the input file.
inline const std::string& WorkDir() {
  static const std::string dir = [] {
    char folder[] = "/tmp/velmora-fuzz-XXXXXX";
    if (!mkdtemp(folder)) abort();
    const std::string prefix = std::string(folder) + "/prefix";
    setenv("WINEPREFIX", prefix.c_str(), 1);
    if (platform::CreateMinimalPrefix(prefix) != 0 || System().Prepare() != 0) abort();
    std::string program = std::string(folder) + "/program";
    if (mkdir(program.c_str(), 0755) != 0) abort();
    Program().programDir = platform::files::WindowsPathFromHost(System(), program);
    Program().programFiles = &System();
    return std::string(folder);
  }();
  return dir;
}

inline const std::string& InputPath() {
  static const std::string path = platform::files::WindowsPathFromHost(System(), WorkDir() + "/input.bin");
  return path;
}

inline void WriteHostFile(const std::string& hostPath, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) abort();
}

inline void WriteInput(const std::uint8_t* data, std::size_t size) {
  WriteHostFile(platform::files::HostPathFromWindows(System(), InputPath()), data, size);
}

}  // namespace velmora::fuzz
