// Find-first/find-next over a folder of the prefix.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/folder_listing.h"
#include "platform/managed_system.h"
#include "platform/posix/host_system.h"
#include "platform/posix/path_util.h"

namespace platform {

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows wildcard matching without regard to case: '*' any run, '?' one character.
bool WildcardMatch(const std::string& mask, const std::string& name) {
  if (mask == "*" || mask == "*.*") return true;
  std::size_t m = 0, n = 0, starM = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || FoldCase(mask[m]) == FoldCase(name[n]))) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && (mask[m] == '*' || mask[m] == '.')) {
    // A trailing ".*" or "." matches names without an extension, as on Windows.
    ++m;
  }
  return m == mask.size();
}

bool HasWildcard(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return c == '*' || c == '?'; });
}

}  // namespace

bool files::ListMatchingItems(ManagedSystem& system, const std::string& pattern,
                              std::vector<FoundItem>* items) {
  // The last separator, in one backward walk.
  std::size_t cut = pattern.size();
  while (cut > 0 && pattern[cut - 1] != '\\' && pattern[cut - 1] != '/') --cut;
  cut = cut == 0 ? std::string::npos : cut - 1;
  std::string folder = cut == std::string::npos ? "" : pattern.substr(0, cut);
  std::string mask = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  if (mask.empty()) return false;
  std::string hostFolder = system.HostPathFromWindows(
      folder.empty() ? "." : (folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder));
  if (hostFolder.empty()) return false;

  if (!HasWildcard(mask)) {
    std::string host = system.HostPathFromWindows(pattern);
    struct stat st;
    if (host.empty() || !posix::AsHost(system).StatHost(host, &st)) return false;
    std::size_t slash = host.find_last_of('/');
    FoundItem item;
    item.name = slash == std::string::npos ? host : host.substr(slash + 1);
    item.fullPath = folder.empty() ? item.name : folder + "\\" + item.name;
    item.isDirectory = S_ISDIR(st.st_mode);
    item.size = static_cast<std::uint64_t>(st.st_size);
    items->push_back(item);
    return true;
  }
  DIR* dir = opendir(hostFolder.c_str());
  if (!dir) return false;
  // Every name is read, matching or not: within a path look-up scope they are
  // kept as the folder's listing, so that the items found are opened and asked
  // about afterwards without looking each one up again.
  std::vector<std::string> names;
  std::vector<unsigned char> types;
  while (dirent* entry = readdir(dir)) {
    names.emplace_back(entry->d_name);
    types.push_back(entry->d_type);
  }
  closedir(dir);
  posix::HostSystem& host = posix::AsHost(system);
  host.NoteListing(hostFolder, names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (!WildcardMatch(mask, name)) continue;
    FoundItem item;
    item.name = name;
    item.fullPath = folder.empty() ? name : folder + "\\" + name;
    item.isDots = name == "." || name == "..";
    struct stat st;
    if (host.StatHost(hostFolder + "/" + name, &st)) {
      item.isDirectory = S_ISDIR(st.st_mode);
      item.size = static_cast<std::uint64_t>(st.st_size);
    } else {
      item.isDirectory = types[i] == DT_DIR;
    }
    items->push_back(item);
  }
  return true;
}

}  // namespace platform
