// Shell links (.lnk files) in Microsoft's shell-link binary format, as Windows and
// Wine read and write them. The operations mirror IShellLinkA/IPersistFile.
#pragma once

#include <cstdint>
#include <string>

#include "platform/status.h"

namespace platform {

class ShellLink {
 public:
  // IPersistFile::Load: parses the file. kFail for a missing, truncated or
  // malformed file; the object is then empty.
  HResult Load(const std::string& path);
  // The same for the bytes of a link file held in memory; |path| names the file
  // they came from (a relative target is taken relative to its folder).
  HResult LoadFromBytes(const std::uint8_t* data, std::size_t size, const std::string& path);
  // IShellLinkA::Resolve: checks that the link has a target. Never shows a dialog.
  HResult Resolve() const;
  // IShellLinkA::GetPath with SLGP_RAWPATH: the target as stored (environment
  // references unexpanded), at most capacity-1 characters. kFalse and "" when the
  // link has no path target.
  HResult GetPath(std::string* path, std::uint32_t capacity) const;
  HResult GetDescription(std::string* text, std::uint32_t capacity) const;

  HResult SetPath(const std::string& path);
  HResult SetDescription(const std::string& text);
  HResult SetArguments(const std::string& text);
  HResult SetWorkingDirectory(const std::string& path);
  HResult SetIconLocation(const std::string& path, int index);
  // IPersistFile::Save: writes the link atomically.
  HResult Save(const std::string& path) const;
  // The bytes Save would write to |path|.
  HResult SaveToBytes(const std::string& path, std::string* bytes) const;

  // Everything a link holds that the program reads or writes.
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

}  // namespace platform
