// Reading the version resource of a program file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/icons.h"

namespace velmora {

struct FixedFileInfo {
  std::uint32_t signature = 0;
  std::uint32_t structVersion = 0;
  std::uint32_t fileVersionMS = 0;
  std::uint32_t fileVersionLS = 0;
  std::uint32_t productVersionMS = 0;
  std::uint32_t productVersionLS = 0;
  std::uint32_t fileFlagsMask = 0;
  std::uint32_t fileFlags = 0;
  std::uint32_t fileOS = 0;
  std::uint32_t fileType = 0;
  std::uint32_t fileSubtype = 0;
  std::uint32_t fileDateMS = 0;
  std::uint32_t fileDateLS = 0;
};

// The version resource of one file as the platform delivered it.
struct VersionResource {
  std::uint32_t size = 0;  // 0: no resource (or no readable file)
  bool read = false;       // the resource itself could be read
  std::vector<std::uint8_t> block;
};
VersionResource LoadVersionResource(platform::ManagedSystem& system, const std::string& path);

class ModuleVersion {
 public:
  ModuleVersion() = default;
  virtual ~ModuleVersion() = default;

  bool ReadVersionInfo(platform::ManagedSystem& system, const std::string& path);
  // ReadVersionInfo over a resource loaded before: the same outcome and state.
  bool UseVersionResource(const VersionResource& resource);
  std::string GetVersionString(const std::string& name) const;

  static const char* const kFieldNames[8];

  FixedFileInfo fixedInfo;
  std::vector<std::uint8_t> versionBlock;
  bool hasBlock = false;
  std::uint16_t language = 0;
  std::uint16_t codePage = 1252;
};

// Icon number |index| of the file at |path| after environment expansion.
platform::IconHandle ExtractFileIcon(platform::ManagedSystem& system, const std::string& path, int index);

}  // namespace velmora
