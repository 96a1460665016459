// Shell links (.lnk files) in Microsoft's shell-link binary format, as Windows and
// Wine read and write them. The operations mirror IShellLinkA/IPersistFile.
#pragma once

#include <cstdint>
#include <string>

#include "formats/shell_link.h"
#include "platform/status.h"

namespace platform {

class ManagedSystem;

// The fields of the link are those of formats::ShellLinkData (target,
// description, arguments, ...); the backend reads and writes the file.
class ShellLink : public formats::ShellLinkData {
 public:
  // IPersistFile::Load: parses the file. kFail for a missing, truncated or
  // malformed file; the object is then empty.
  HResult Load(ManagedSystem& system, const std::string& path);
  // IShellLinkA::Resolve: checks that the link has a target. Never shows a dialog.
  HResult Resolve() const;
  // IShellLinkA::GetPath with SLGP_RAWPATH: the target as stored (environment
  // references unexpanded), at most capacity-1 characters. kFalse and "" when the
  // link has no path target.
  HResult GetPath(std::string* path, std::uint32_t capacity) const;
  HResult GetDescription(std::string* text, std::uint32_t capacity) const;

  HResult SetPath(ManagedSystem& system, const std::string& path);
  HResult SetDescription(const std::string& text);
  HResult SetArguments(const std::string& text);
  HResult SetWorkingDirectory(const std::string& path);
  HResult SetIconLocation(const std::string& path, int index);
  // IPersistFile::Save: writes the link atomically.
  HResult Save(ManagedSystem& system, const std::string& path) const;
};

}  // namespace platform
