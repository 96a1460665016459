// Shared pieces of the shell-link reader and writer: the layout's constants and
// the text and path helpers both sides need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace formats::lnk {

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {20D04FE0-3AEA-1069-A2D8-08002B30309D}, the My Computer folder.
constexpr std::uint8_t kMyComputerClsid[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                               0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

enum LinkFlags : std::uint32_t {
  kHasIdList = 0x1,
  kHasLinkInfo = 0x2,
  kHasName = 0x4,
  kHasRelativePath = 0x8,
  kHasWorkingDir = 0x10,
  kHasArguments = 0x20,
  kHasIconLocation = 0x40,
  kIsUnicode = 0x80,
  kForceNoLinkInfo = 0x100,
  kHasExpString = 0x200,
};

constexpr std::uint32_t kEnvironmentBlock = 0xA0000001;
constexpr std::uint32_t kEnvironmentBlockSize = 0x314;
constexpr std::uint32_t kFileEntryExtension = 0xBEEF0004;

// 8-bit text in code page 1252; false when some character has no byte there
// (it is written as '?').
bool Windows1252FromUtf8(const std::string& text, std::string* out);

// Windows-path helpers.
bool IsDrivePath(const std::string& path);      // "X:\..." (or "X:")
bool IsUncPath(const std::string& path);        // "\\server\share..."
std::string FolderOf(const std::string& path);  // text before the last '\' or '/'
// |relative| taken from |folder|, with "." and ".." applied.
std::string JoinPath(const std::string& folder, const std::string& relative);
// The relative path from |folder| to |target| when both are on the same drive, else "".
std::string RelativePathBetween(const std::string& folder, const std::string& target);

}  // namespace formats::lnk
