// The IShellLinkA-like accessors of ShellLink, the same on every backend. Load
// and Save are the backend's.
#include "platform/shell_link.h"

#include "platform/files.h"

namespace platform {

namespace {

// At most |capacity|-1 bytes of |text|, not cutting a UTF-8 sequence in two.
std::string Truncated(const std::string& text, std::uint32_t capacity) {
  if (capacity == 0) return "";
  std::size_t limit = capacity - 1;
  if (text.size() <= limit) return text;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

}  // namespace

HResult ShellLink::Resolve() const { return target.empty() ? kFail : kOk; }

HResult ShellLink::GetPath(std::string* path, std::uint32_t capacity) const {
  *path = Truncated(target, capacity);
  return target.empty() ? kFalse : kOk;
}

HResult ShellLink::GetDescription(std::string* text, std::uint32_t capacity) const {
  *text = Truncated(description, capacity);
  return kOk;
}

HResult ShellLink::SetPath(ManagedSystem& system, const std::string& path) {
  target = path;
  targetExpandable.clear();
  relativePath.clear();  // Save derives it from the link's own place
  if (!path.empty() && files::Exists(system, path))
    fileAttributes = files::DirectoryExists(system, path) ? 0x10 : 0x20;
  return kOk;
}

HResult ShellLink::SetDescription(const std::string& text) {
  description = text;
  return kOk;
}

HResult ShellLink::SetArguments(const std::string& text) {
  arguments = text;
  return kOk;
}

HResult ShellLink::SetWorkingDirectory(const std::string& path) {
  workingDirectory = path;
  return kOk;
}

HResult ShellLink::SetIconLocation(const std::string& path, int index) {
  iconLocation = path;
  iconIndex = index;
  return kOk;
}

}  // namespace platform
