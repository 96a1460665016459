// Shell links of the prefix: the file around formats/shell_link, whose reader and
// writer do the format.
#include "platform/shell_link.h"

#include <sys/stat.h>

#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/posix/file_bytes.h"

namespace platform {

HResult ShellLink::Load(ManagedSystem& system, const std::string& path) {
  *this = ShellLink();
  posix::FileBytes file;
  if (!file.Open(system.HostPathFromWindows(path)) || file.size() > formats::kMaxShellLinkFile) return kFail;
  std::string bytes;
  if (!file.Read(0, static_cast<std::size_t>(file.size()), &bytes)) return kFail;
  return formats::ReadShellLink(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), path, this)
             ? kOk
             : kFail;
}

HResult ShellLink::Save(ManagedSystem& system, const std::string& path) const {
  // The header records the target's attributes and size as the disk has them.
  std::uint32_t fileSize = 0;
  std::uint32_t attributes = fileAttributes;
  struct stat st;
  std::string host = target.empty() ? "" : system.HostPathFromWindows(target);
  if (!host.empty() && stat(host.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      attributes = 0x10;
    } else {
      attributes &= ~0x10u;
      if (attributes == 0) attributes = 0x20;
    }
    if (S_ISREG(st.st_mode))
      fileSize = st.st_size > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<std::uint32_t>(st.st_size);
  }
  std::string bytes;
  if (!formats::WriteShellLink(*this, path, attributes, fileSize, &bytes)) return kFail;
  return files::WriteAtomic(system, path, bytes) == kSuccess ? kOk : kFail;
}

}  // namespace platform
