#include "platform/posix/hive_index_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include "formats/registry_index.h"
#include "platform/posix/host_file.h"
#include "platform/posix/host_user.h"

namespace platform::posix {

namespace {

constexpr std::string_view kSuffix = ".idx";
constexpr long kSecond = 1000000000;  // in nanoseconds
constexpr long kFineTick = kSecond / 10;
constexpr long kCoarseTick = 2 * kSecond;
constexpr std::size_t kLargestIndex = 64 << 20;

// The user's cache folder: $XDG_CACHE_HOME, else ~/.cache.
std::string CacheBase() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return cache;
  const std::string home = HostHomeFolder();
  return home.empty() ? "" : home + "/.cache";
}

std::string IndexPath(const std::string& folder, const std::string& path) {
  char name[17];
  std::snprintf(name, sizeof name, "%016llx",
                static_cast<unsigned long long>(std::hash<std::string>{}(path)));
  return folder + "/" + name + std::string(kSuffix);
}

// What makes a file this file in this version: its path (the index's name is
// only a hash of it) and its status.
std::string Stamp(const std::string& path, const struct stat& st) {
  std::string stamp = path;
  stamp.push_back('\0');
  for (long long number :
       {static_cast<long long>(st.st_dev), static_cast<long long>(st.st_ino),
        static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
        static_cast<long long>(st.st_mtim.tv_nsec), static_cast<long long>(st.st_ctim.tv_sec),
        static_cast<long long>(st.st_ctim.tv_nsec)}) {
    stamp += std::to_string(number);
    stamp.push_back(' ');
  }
  return stamp;
}

// Whether |time|, plus |tick|, is at or before |moment|.
bool SettledBefore(const timespec& time, long tick, const timespec& moment) {
  const long long from = static_cast<long long>(time.tv_sec) * kSecond + time.tv_nsec + tick;
  return from <= static_cast<long long>(moment.tv_sec) * kSecond + moment.tv_nsec;
}

// The indexes' folder, made (private) with |base| and the folder between them
// where missing: never a folder above |base|, which may be one that is gone (a
// temporary home removed).
std::string MakeFolder(const std::string& base) {
  const std::string velmora = base + "/velmora";
  const std::string folder = velmora + "/registry-index";
  for (const std::string* made : {&base, &velmora, &folder}) {
    if (mkdir(made->c_str(), 0700) != 0 && errno != EEXIST) return "";
  }
  return folder;
}

// Removes the oldest indexes while there are more than kKeptIndexes.
void RemoveOldest(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() > kSuffix.size() && name.substr(name.size() - kSuffix.size()) == kSuffix)
      names.emplace_back(name);
  }
  std::vector<std::pair<timespec, std::string>> kept;
  if (names.size() > kKeptIndexes) {
    for (std::string& name : names) {
      struct stat st;
      if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        kept.emplace_back(st.st_mtim, std::move(name));
    }
  }
  if (kept.size() > kKeptIndexes) {
    const auto extra = static_cast<std::ptrdiff_t>(kept.size() - kKeptIndexes);
    std::nth_element(kept.begin(), kept.begin() + extra, kept.end(), [](const auto& a, const auto& b) {
      return a.first.tv_sec != b.first.tv_sec ? a.first.tv_sec < b.first.tv_sec
                                              : a.first.tv_nsec < b.first.tv_nsec;
    });
    for (auto it = kept.begin(); it != kept.begin() + extra; ++it)
      unlinkat(dirfd(dir), it->second.c_str(), 0);
  }
  closedir(dir);
}

}  // namespace

bool SameFileVersion(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool LoadKeptHiveIndex(const std::string& path, const struct stat& opened, std::string_view text,
                       formats::HiveIndex* index) {
  const std::string base = CacheBase();
  if (base.empty()) return false;
  const std::string folder = base + "/velmora/registry-index";
  std::string bytes;
  if (!ReadHostFile(IndexPath(folder, path), &bytes, nullptr, nullptr, kLargestIndex)) return false;
  if (!formats::DecodeHiveIndex(bytes, Stamp(path, opened), text, index)) return false;
  // A write during the read moved the change time on.
  struct stat now;
  return stat(path.c_str(), &now) == 0 && SameFileVersion(now, opened);
}

bool SettledForIndex(const struct stat& opened, const timespec& readStarted) {
  const bool wholeSeconds = opened.st_mtim.tv_nsec == 0 && opened.st_ctim.tv_nsec == 0;
  const long tick = wholeSeconds ? kCoarseTick : kFineTick;
  return SettledBefore(opened.st_mtim, tick, readStarted) && SettledBefore(opened.st_ctim, tick, readStarted);
}

void KeepHiveIndex(const std::string& path, const struct stat& opened, const timespec& readStarted,
                   const formats::HiveIndex& index, std::size_t textSize) {
  if (!SettledForIndex(opened, readStarted)) return;
  const std::string base = CacheBase();
  const std::string folder = base.empty() ? "" : MakeFolder(base);
  if (folder.empty()) return;
  AtomicWriteFailure failure;
  if (!WriteFileAtomically(IndexPath(folder, path),
                           formats::EncodeHiveIndex(index, Stamp(path, opened), textSize), false, &failure,
                           nullptr, 0600))
    return;
  RemoveOldest(folder);
}

}  // namespace platform::posix
