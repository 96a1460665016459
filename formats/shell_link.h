// Shell links (.lnk files) in Microsoft's shell-link binary format, read from and
// written to bytes as Windows and Wine read and write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace formats {

// Everything a link holds that the program reads or writes.
struct ShellLinkData {
  std::string target;            // LinkInfo / environment block / IDList / relative path
  std::string targetExpandable;  // the environment block's target, if any
  std::string description;
  std::string relativePath;
  std::string workingDirectory;
  std::string arguments;
  std::string iconLocation;
  int iconIndex = 0;
  int showCommand = 1;
  std::uint32_t fileAttributes = 0x20;
};

// The largest link file read.
constexpr std::size_t kMaxShellLinkFile = 4 << 20;

// Parses the bytes of a link file; |linkPath| is the Windows path of the file (a
// relative target is taken relative to its folder). False for bytes that are no
// link, a damaged one or more than kMaxShellLinkFile; |link| is then empty.
bool ReadShellLink(const std::uint8_t* data, std::size_t size, const std::string& linkPath,
                   ShellLinkData* link);

// The bytes of |link| saved at |linkPath| (a Windows path): the header records
// |attributes| and |fileSize| of the target as the file system has them. False
// when a string is longer than a link holds.
bool WriteShellLink(const ShellLinkData& link, const std::string& linkPath, std::uint32_t attributes,
                    std::uint32_t fileSize, std::string* bytes);

}  // namespace formats
