// Windows paths to host paths and back, through the drives of a system.
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/names.h"
#include "platform/files.h"
#include "platform/posix/host_system.h"
#include "platform/posix/path_util.h"

namespace platform {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string HostCurrentDirectory() {
  char buffer[PATH_MAX];
  if (!getcwd(buffer, sizeof buffer)) return "/";
  return buffer;
}

// Splits a path into components, dropping empty ones and "."; ".." pops.
std::vector<std::string> Components(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  auto flush = [&] {
    if (current.empty() || current == ".") {
    } else if (current == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(current);
    }
    current.clear();
  };
  for (char c : text) {
    if (IsSeparator(c)) {
      flush();
    } else {
      current += c;
    }
  }
  flush();
  return parts;
}

struct DriveRoot {
  char letter;
  std::string hostRoot;  // canonical host folder of the drive
};

template <typename DriveHostRoot>
std::vector<DriveRoot> DriveRoots(DriveHostRoot driveHostRoot) {
  std::vector<DriveRoot> roots;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    std::string link = driveHostRoot(letter);
    // Most letters name no drive: one look at the link itself says so, where
    // resolving it would read every link on the way to it first.
    struct stat st;
    if (link.empty() || lstat(link.c_str(), &st) != 0) continue;
    char resolved[PATH_MAX];
    if (realpath(link.c_str(), resolved)) roots.push_back({letter, resolved});
  }
  return roots;
}

// Makes an absolute, normalised host path without touching the file system
// beyond the current directory.
std::string AbsoluteHostPath(const std::string& hostPath) {
  std::string full =
      !hostPath.empty() && hostPath[0] == '/' ? hostPath : HostCurrentDirectory() + "/" + hostPath;
  std::string out;
  for (const std::string& part : Components(full)) out += "/" + part;
  return out.empty() ? "/" : out;
}

}  // namespace

namespace posix {

namespace {

void AddName(PathLookups::Listing& listing, std::string name) {
  listing.byFolded.try_emplace(velmora::NameKey(name), name);
  listing.names.insert(std::move(name));
}

}  // namespace

const PathLookups::Listing& HostSystem::ListingOf(const std::string& folder) {
  auto [it, fresh] = lookups_.folders.try_emplace(folder);
  PathLookups::Listing& listing = it->second;
  if (!fresh) return listing;
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    listing.missing = errno == ENOENT || errno == ENOTDIR;
    return listing;
  }
  listing.readable = true;
  while (dirent* entry = readdir(dir)) AddName(listing, entry->d_name);
  closedir(dir);
  return listing;
}

void HostSystem::NoteListing(const std::string& folder, const std::vector<std::string>& names) {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  if (lookups_.depth == 0) return;
  auto [it, fresh] = lookups_.folders.try_emplace(folder);
  if (!fresh) return;
  it->second.readable = true;
  for (const std::string& name : names) AddName(it->second, name);
}

bool HostSystem::KnownMissing(const std::string& host) const {
  // The walk that mapped |host| within the scope left its answer: a stat of the
  // name as written, or a mark of the path or of its folder when a folder on its
  // way is missing or its folder's listing lacks the name.
  if (MarkedMissing(host)) return true;
  auto known = lookups_.exact.find(host);
  return known != lookups_.exact.end() && !known->second.exists;
}

bool HostSystem::MarkedMissing(std::string_view host) const {
  auto it = lookups_.folders.find(host);
  if (it != lookups_.folders.end()) return it->second.missing;
  return InMissingFolder(host);
}

bool HostSystem::InMissingFolder(std::string_view host) const {
  const std::size_t slash = host.rfind('/');
  if (slash == std::string_view::npos) return false;
  auto folder = lookups_.folders.find(slash == 0 ? host.substr(0, 1) : host.substr(0, slash));
  return folder != lookups_.folders.end() && folder->second.missing;
}

bool HostSystem::StatHost(const std::string& host, struct stat* st) {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  if (lookups_.depth == 0) return stat(host.c_str(), st) == 0;
  auto known = lookups_.exact.find(host);
  if (known == lookups_.exact.end()) {
    // A path the walk that mapped it marked missing stays answered by that mark,
    // with no status of its own to keep (a program in a folder that is not
    // there is the common case of a missing file).
    if (MarkedMissing(host)) return false;
    known = lookups_.exact.try_emplace(host).first;
    known->second.exists = stat(host.c_str(), &known->second.st) == 0;
  }
  const PathLookups::Status& status = known->second;
  if (status.exists) *st = status.st;
  return status.exists;
}

bool HostSystem::MayExist(const std::string& host) {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  return lookups_.depth == 0 || !KnownMissing(host);
}

std::unique_ptr<FileBytes> HostSystem::TakeOpenFile(const std::string& host) {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  if (!lookups_.openFile || lookups_.openPath != host) return nullptr;
  return std::move(lookups_.openFile);
}

void HostSystem::KeepOpenFile(const std::string& host, std::unique_ptr<FileBytes> file) {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  if (lookups_.depth == 0) return;
  lookups_.openPath = host;
  lookups_.openFile = std::move(file);
}

bool HostSystem::DriveExists(const std::string& base) {
  if (lookups_.depth > 0) {
    auto it = lookups_.drives.find(base);
    if (it != lookups_.drives.end()) return it->second;
  }
  struct stat st;
  bool exists = stat(base.c_str(), &st) == 0;
  if (lookups_.depth > 0) lookups_.drives.emplace(base, exists);
  return exists;
}

// Looks |component| up in |folder| as Wine does: the exact name first, then a
// case-insensitive match among the folder's entries.
std::string HostSystem::MatchComponent(const std::string& folder, const std::string& component) {
  // A name with no letters (the numbered data folders under the program's) has
  // no other spelling: the exact look-up decides, and the folder, which may be a
  // large one (/tmp, /usr/bin), is not listed for it.
  const bool onlySpelling = std::none_of(component.begin(), component.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x80 || std::isalpha(static_cast<unsigned char>(c));
  });
  if (lookups_.depth > 0) {
    // A folder not listed yet is asked for the exact name first, once per scope,
    // and listed only for a name it does not hold as written: large host folders
    // on the way (the program's, /tmp, /usr/bin) are not read whole for one name.
    auto listed = lookups_.folders.find(folder);
    if (listed == lookups_.folders.end() && InMissingFolder(folder)) {
      // A folder in a missing one, met for the first time: it is marked, for
      // the names looked up in it and under it, and costs no look-up either.
      lookups_.folders.try_emplace(folder).first->second.missing = true;
      return component;
    }
    if (listed == lookups_.folders.end()) {
      std::string exact = folder == "/" ? "/" + component : folder + "/" + component;
      // Its status is kept for the questions that follow (does the file exist,
      // is it a folder): links are followed, and a dangling one, which the
      // listing below still finds by name, is a name that leads nowhere.
      auto [known, fresh] = lookups_.exact.try_emplace(std::move(exact));
      if (fresh) known->second.exists = stat(known->first.c_str(), &known->second.st) == 0;
      if (known->second.exists) return component;
      if (onlySpelling) return Absent(folder, component);
    }
    const PathLookups::Listing& listing =
        listed != lookups_.folders.end() ? listed->second : ListingOf(folder);
    // A name in a missing folder is answered by the folder's mark.
    if (listing.missing) return component;
    if (listing.readable) {
      if (listing.names.count(component)) return component;
      auto it = listing.byFolded.find(velmora::NameKey(component));
      return it == listing.byFolded.end() ? Absent(folder, component) : it->second;
    }
  }
  std::string exact = folder == "/" ? "/" + component : folder + "/" + component;
  struct stat st;
  if (lstat(exact.c_str(), &st) == 0 || onlySpelling) return component;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return component;
  std::string found = component;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (velmora::SameName(name, component)) {
      found = name;
      break;
    }
  }
  closedir(dir);
  return found;
}

const std::string& HostSystem::Absent(const std::string& folder, const std::string& component) {
  // Kept as a folder known to be missing: a name looked up in it later is
  // answered without asking the file system (a program in a folder that is not
  // there costs no look-up of its own).
  std::string path;
  path.reserve(folder.size() + 1 + component.size());
  if (folder != "/") path.append(folder);
  path.append(1, '/').append(component);
  auto [listing, fresh] = lookups_.folders.try_emplace(std::move(path));
  if (fresh) listing->second.missing = true;
  return component;
}

void HostSystem::EnterLookupScope() {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  if (lookups_.depth++ == 0) lookups_.generation = ++lookups_.lastGeneration;
}

void HostSystem::LeaveLookupScope() {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  if (--lookups_.depth == 0) {
    DropLookups();
    lookups_.generation = 0;
  }
}

void HostSystem::DropLookups() {
  lookups_.folders.clear();
  lookups_.exact.clear();
  lookups_.mapped.clear();
  lookups_.drives.clear();
  lookups_.openPath.clear();
  lookups_.openFile.reset();
}

std::uint64_t HostSystem::LookupGeneration() { return lookups_.generation.load(); }

void HostSystem::ForgetLookups() {
  NoteChange();
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  if (lookups_.depth == 0) return;
  DropLookups();
  lookups_.generation = ++lookups_.lastGeneration;
}

std::string HostSystem::HostPathFromWindows(const std::string& windowsPath) {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  // Within a scope the walk for a path on a drive gives what it gave before (the
  // listings it reads are kept), and an entry's program is asked about several
  // times: found, opened for its version, its icon.
  const bool onDrive = windowsPath.size() >= 2 && windowsPath[1] == ':';
  if (lookups_.depth == 0 || !onDrive) return MapWindowsPath(windowsPath);
  return MappedOnDrive(windowsPath);
}

bool HostSystem::StatWindows(const std::string& windowsPath, struct stat* st) {
  std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
  const bool onDrive = windowsPath.size() >= 2 && windowsPath[1] == ':';
  if (lookups_.depth == 0 || !onDrive) {
    const std::string host = HostPathFromWindows(windowsPath);
    return !host.empty() && StatHost(host, st);
  }
  const std::string& host = MappedOnDrive(windowsPath);
  return !host.empty() && StatHost(host, st);
}

const std::string& HostSystem::MappedOnDrive(const std::string& windowsPath) {
  auto [known, fresh] = lookups_.mapped.try_emplace(windowsPath);
  // A reference, not the iterator: the walk below adds the path's folders to the
  // table, which may grow and move its iterators (never its elements).
  std::string& host = known->second;
  if (fresh) host = MapThroughFolder(known->first);
  return host;
}

const std::string& HostSystem::MappedOnDrive(std::string&& windowsPath) {
  // A path made for this look-up becomes the key itself when it is new.
  auto [known, fresh] = lookups_.mapped.try_emplace(std::move(windowsPath));
  std::string& host = known->second;
  if (fresh) host = MapThroughFolder(known->first);
  return host;
}

std::string HostSystem::MapThroughFolder(const std::string& windowsPath) {
  // A path in its plain form ("X:\a\b", no empty, "." or ".." name) is its
  // folder's host path, kept like any other, and its last name matched in that
  // folder: the programs of one folder walk the path to it once.
  const std::string& path = windowsPath;
  if (path.size() < 4 || !std::isalpha(static_cast<unsigned char>(path[0])) || !IsSeparator(path[2]))
    return MapWindowsPath(path);
  std::size_t last = 2;
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    const std::string_view name = std::string_view(path).substr(last + 1, i - last - 1);
    if (name.empty() || name == "." || name == "..") return MapWindowsPath(path);
    if (i < path.size()) last = i;
  }
  if (last == 2) return MapWindowsPath(path);  // a name in the drive's root
  // Kept in the table until the look-ups are dropped, which the walk below never does.
  const std::string& folder = MappedOnDrive(path.substr(0, last));
  if (folder.empty()) return "";
  const std::string name = MatchComponent(folder, path.substr(last + 1));
  std::string host;
  host.reserve(folder.size() + 1 + name.size());
  return host.append(folder).append(1, '/').append(name);
}

std::string HostSystem::MapWindowsPath(const std::string& windowsPath) {
  std::string path = windowsPath;
  // Device-path forms that name an ordinary path.
  if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\??\\", 0) == 0) path = path.substr(4);
  if (path.empty()) return "";

  std::string base;
  std::string rest;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    base = DriveHostRoot(letter);
    if (base.empty() || !DriveExists(base)) return "";
    rest = path.substr(2);
  } else if (IsSeparator(path[0]) && !(path.size() > 1 && IsSeparator(path[1]))) {
    // Root of the current drive: the program's drive is C:.
    base = DriveHostRoot('c');
    if (base.empty()) return "";
    rest = path;
  } else if (IsSeparator(path[0])) {
    return "";  // UNC paths name no local file
  } else {
    base = HostCurrentDirectory();
    rest = path;
  }

  std::string host = base;
  for (const std::string& part : Components(rest)) {
    host += "/" + MatchComponent(host, part);
  }
  return host;
}

std::string HostSystem::WindowsPathFromHost(const std::string& hostPath) {
  std::string absolute = AbsoluteHostPath(hostPath);
  // Resolve symbolic links of the existing part so that a path through a drive's
  // link finds that drive.
  char resolved[PATH_MAX];
  std::string canonical = absolute;
  if (realpath(absolute.c_str(), resolved)) canonical = resolved;

  const std::vector<DriveRoot> roots = DriveRoots([this](char letter) { return DriveHostRoot(letter); });
  const DriveRoot* best = nullptr;
  for (const DriveRoot& root : roots) {
    const std::string& r = root.hostRoot;
    bool inside = r == "/" || canonical == r || canonical.rfind(r + "/", 0) == 0;
    if (!inside) continue;
    if (!best || r.size() > best->hostRoot.size() ||
        (r.size() == best->hostRoot.size() && root.letter < best->letter)) {
      best = &root;
    }
  }
  std::string drive = "Z:";
  std::string tail = canonical;
  if (best) {
    drive = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(best->letter)))) + ":";
    tail = best->hostRoot == "/" ? canonical : canonical.substr(best->hostRoot.size());
  }
  std::string out = drive;
  for (char c : tail) out += c == '/' ? '\\' : c;
  if (out.size() == 2) out += '\\';
  return out;
}

}  // namespace posix

files::PathLookupScope::PathLookupScope(ManagedSystem& system) : system_(system) {
  posix::AsHost(system_).EnterLookupScope();
}
files::PathLookupScope::~PathLookupScope() { posix::AsHost(system_).LeaveLookupScope(); }
std::uint64_t files::PathLookupGeneration(ManagedSystem& system) {
  return posix::AsHost(system).LookupGeneration();
}
void files::ForgetPathLookups(ManagedSystem& system) { posix::AsHost(system).ForgetLookups(); }

std::string files::HostPathFromWindows(ManagedSystem& system, const std::string& windowsPath) {
  return system.HostPathFromWindows(windowsPath);
}

std::string files::WindowsPathFromHost(ManagedSystem& system, const std::string& hostPath) {
  return system.WindowsPathFromHost(hostPath);
}

std::string files::ExecutablePath(ManagedSystem& system) {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  buffer[n] = 0;
  return system.WindowsPathFromHost(buffer);
}

Status files::FullPath(ManagedSystem& system, const std::string& path, std::string* fullPath) {
  fullPath->clear();
  if (path.empty()) return kInvalidParameter;
  std::string drive;
  std::string rest;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    drive = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":";
    rest = path.substr(2);
  } else if (IsSeparator(path[0]) && path.size() > 1 && IsSeparator(path[1])) {
    // UNC: kept as it is, with backslashes.
    std::string out;
    for (char c : path) out += c == '/' ? '\\' : c;
    *fullPath = out;
    return kSuccess;
  } else if (IsSeparator(path[0])) {
    std::string cwd = system.WindowsPathFromHost(HostCurrentDirectory());
    drive = cwd.substr(0, 2);
    rest = path;
  } else {
    std::string cwd = system.WindowsPathFromHost(HostCurrentDirectory());
    drive = cwd.substr(0, 2);
    rest = cwd.substr(2) + "\\" + path;
  }
  std::string out = drive;
  std::vector<std::string> parts = Components(rest);
  for (const std::string& part : parts) out += "\\" + part;
  bool trailing = IsSeparator(path.back()) && !parts.empty();
  if (parts.empty() || trailing) out += "\\";
  *fullPath = out;
  return kSuccess;
}

}  // namespace platform
