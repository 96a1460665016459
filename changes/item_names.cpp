#include "changes/item_names.h"

#include "platform/files.h"

namespace velmora::changes {

bool IsSafeItemName(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  bool onlyDotsAndBlanks = true;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?') return false;
    if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
  }
  return !onlyDotsAndBlanks;
}

bool ItemPathInFolder(platform::ManagedSystem& system, const std::string& folder, const std::string& name,
                      std::string* path, std::string* why) {
  auto refuse = [&](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  if (!IsSafeItemName(name))
    return refuse("the name \"" + name + "\" is not a plain file name of the folder");
  if (folder.empty()) return refuse("the folder is unknown");
  std::string candidate = folder;
  while (candidate.size() > 3 && candidate.back() == '\\') candidate.pop_back();
  candidate += candidate.back() == '\\' ? name : "\\" + name;
  std::string hostFolder = platform::files::HostPathFromWindows(system, folder);
  std::string hostItem = platform::files::HostPathFromWindows(system, candidate);
  if (hostFolder.empty() || hostItem.empty())
    return refuse("the folder " + folder + " is not on a known drive");
  // Host paths are Linux paths on a prefix, and the Windows paths themselves on
  // Windows.
  const char separator = hostFolder[0] == '/' ? '/' : '\\';
  while (hostFolder.size() > 1 && hostFolder.back() == separator) hostFolder.pop_back();
  std::string expectedStart = hostFolder.back() == separator ? hostFolder : hostFolder + separator;
  if (hostItem.size() <= expectedStart.size() ||
      hostItem.compare(0, expectedStart.size(), expectedStart) != 0 ||
      hostItem.find(separator, expectedStart.size()) != std::string::npos) {
    return refuse("the name \"" + name + "\" leads out of " + folder);
  }
  *path = candidate;
  return true;
}

}  // namespace velmora::changes
