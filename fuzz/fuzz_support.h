// Shared set-up of the fuzz targets: a throw-away prefix with a program folder,
// and a file on the Z: drive for the readers that take paths.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

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

// The host folder that holds the prefix, the program folder and the input file:
// in memory where the machine has /dev/shm, as the targets write files per input.
// The program's context of the targets: its folder is the one WorkDir makes.
inline ProgramContext& Context() {
  static ProgramContext context;
  return context;
}

inline const std::string& WorkDir() {
  static const std::string dir = [] {
    struct stat shm;
    std::string pattern = stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) && access("/dev/shm", W_OK) == 0
                              ? "/dev/shm/velmora-fuzz-XXXXXX"
                              : "/tmp/velmora-fuzz-XXXXXX";
    char* folder = pattern.data();
    if (!mkdtemp(folder)) abort();
    const std::string prefix = std::string(folder) + "/prefix";
    setenv("WINEPREFIX", prefix.c_str(), 1);
    if (platform::CreateMinimalPrefix(prefix) != 0 || System().Prepare() != 0) abort();
    std::string program = std::string(folder) + "/program";
    if (mkdir(program.c_str(), 0755) != 0) abort();
    Context().programDir = platform::files::WindowsPathFromHost(System(), program);
    Context().programFiles = &System();
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

inline std::string ReadHostFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Little-endian 32-bit numbers in a byte string.
inline void PutU32(std::string* bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

inline std::uint32_t GetU32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Sets the header checksum of a binary hive, so that mutations reach the readers
// instead of stopping at the checksum.
inline void SetHiveChecksum(std::string* bytes) {
  if (bytes->size() < 512 || bytes->compare(0, 4, "regf") != 0) return;
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 508; i += 4) sum ^= GetU32(*bytes, i);
  PutU32(bytes, 508, sum);
}

inline void WriteInput(const std::uint8_t* data, std::size_t size) {
  WriteHostFile(platform::files::HostPathFromWindows(System(), InputPath()), data, size);
}

}  // namespace velmora::fuzz
