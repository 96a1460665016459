#include "entries/module_version.h"

#include <cstdio>
#include <cstring>

#include "platform/environment.h"
#include "platform/version_resource.h"

namespace velmora {

const char* const ModuleVersion::kFieldNames[8] = {"CompanyName",  "FileDescription", "FileVersion",
                                                   "InternalName", "LegalCopyright",  "OriginalFilename",
                                                   "ProductName",  "ProductVersion"};

// What version::InfoSize and then version::ReadInfo of that size give, from one
// reading of the file rather than two.
VersionResource LoadVersionResource(platform::ManagedSystem& system, const std::string& path) {
  VersionResource resource;
  resource.block = platform::version::Block(system, path);
  resource.size = static_cast<std::uint32_t>(resource.block.size());
  resource.read = resource.size != 0;
  return resource;
}

bool ModuleVersion::ReadVersionInfo(platform::ManagedSystem& system, const std::string& path) {
  return UseVersionResource(LoadVersionResource(system, path));
}

bool ModuleVersion::UseVersionResource(const VersionResource& resource) {
  codePage = 1252;
  fixedInfo = FixedFileInfo{};
  if (resource.size == 0) return false;
  versionBlock.clear();
  hasBlock = false;
  if (!resource.read) return false;
  versionBlock = resource.block;
  hasBlock = true;

  const void* value = nullptr;
  std::uint32_t length = 0;
  if (!platform::version::QueryValue(versionBlock, "\\", &value, &length) || !value) return false;
  std::memcpy(&fixedInfo, value, std::min<std::size_t>(length, sizeof fixedInfo));

  if (platform::version::QueryValue(versionBlock, "\\VarFileInfo\\Translation", &value, &length) && value &&
      length >= 4) {
    const auto* words = static_cast<const std::uint8_t*>(value);
    language = static_cast<std::uint16_t>(words[0] | (words[1] << 8));
    codePage = static_cast<std::uint16_t>(words[2] | (words[3] << 8));
  }
  return fixedInfo.signature == 0xFEEF04BD;
}

std::string ModuleVersion::GetVersionString(const std::string& name) const {
  if (!hasBlock) return "";
  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04x%04x\\", language, codePage);
  const void* value = nullptr;
  std::uint32_t length = 0;
  if (!platform::version::QueryValue(versionBlock, prefix + name, &value, &length) || !value) return "";
  const char* text = static_cast<const char*>(value);
  return std::string(text, strnlen(text, length));
}

platform::IconHandle ExtractFileIcon(platform::ManagedSystem& system, const std::string& path, int index) {
  std::string source = path.substr(0, 259);
  std::string expanded;
  platform::env::Expand(system, source, &expanded, 260);
  if (expanded.empty()) expanded = source;
  return platform::icons::Extract(system, expanded, index);
}

}  // namespace velmora
