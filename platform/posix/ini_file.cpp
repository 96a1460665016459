// INI files, parsed once and served from memory until they change on disk.
#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/utf16.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/posix/prefix.h"

namespace platform {

namespace {

// Blanks as the C library's isspace() sees them in the "C" locale; bytes above
// 0x7F are never blanks.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

void AppendFolded(std::string* out, std::string_view text) {
  for (char c : text) out->push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
}

// Look-up key of a value: section and key, trimmed and case-folded, joined by a
// zero byte (which neither can hold).
std::string LookupKey(std::string_view section, std::string_view key) {
  std::string out;
  out.reserve(section.size() + key.size() + 1);
  AppendFolded(&out, Trim(section));
  out.push_back('\0');
  AppendFolded(&out, Trim(key));
  return out;
}

using IniValues = std::unordered_map<std::string, std::string>;

// The text of a file as the program's 8-bit text: UTF-16 files (with their byte
// order mark) are converted, a UTF-8 mark is dropped, everything else is taken
// byte for byte.
std::string DecodedText(const std::string& bytes) {
  auto starts = [&](const char* mark, std::size_t n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), mark, n) == 0;
  };
  if (starts("\xEF\xBB\xBF", 3)) return bytes.substr(3);
  if (starts("\xFF\xFE", 2)) {
    return velmora::Utf8FromUtf16(velmora::Utf16FromLittleEndian(
        reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2, (bytes.size() - 2) / 2));
  }
  if (starts("\xFE\xFF", 2)) {
    std::string swapped;
    swapped.reserve(bytes.size() - 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      swapped.push_back(bytes[i + 1]);
      swapped.push_back(bytes[i]);
    }
    return velmora::Utf8FromUtf16(velmora::Utf16FromLittleEndian(
        reinterpret_cast<const std::uint8_t*>(swapped.data()), swapped.size() / 2));
  }
  return bytes;
}

void Parse(const std::string& text, IniValues* values) {
  values->clear();
  std::string section;  // folded name of the current section; "" before the first
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line = Trim(std::string_view(text.data() + at, end - at));
    at = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        section.clear();
        AppendFolded(&section, Trim(line.substr(1, close - 1)));
        continue;
      }
    }
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;  // a key without value holds nothing
    std::string_view key = Trim(line.substr(0, equals));
    if (key.empty()) continue;
    std::string_view value = Trim(line.substr(equals + 1));
    // A value is read as text: it ends at a zero byte.
    std::size_t zero = value.find('\0');
    if (zero != std::string_view::npos) value = value.substr(0, zero);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    std::string lookup;
    lookup.reserve(section.size() + key.size() + 1);
    lookup += section;
    lookup.push_back('\0');
    AppendFolded(&lookup, key);
    values->emplace(std::move(lookup), std::string(value));  // the first line wins
  }
}

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  timespec changed{};

  static FileIdentity Of(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  }
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

bool NotBefore(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

// True when |stamp| falls in the clock tick of |readStart| or just after it, so
// that a write following our read could carry the same stamp. A stamp far in the
// future cannot be repeated by a later write and is not racy.
bool RacyStamp(const timespec& stamp, const timespec& readStart) {
  timespec limit = readStart;
  limit.tv_sec += 1;
  return NotBefore(stamp, readStart) && !NotBefore(stamp, limit);
}

struct CachedFile {
  std::string prefixDir;  // the prefix the host path was mapped through
  std::string hostPath;   // empty until mapped
  bool parsed = false;
  FileIdentity identity;
  // The file was changed in the same clock tick as it was read: a later write in
  // that tick would leave the identity unchanged, so the copy is not trusted.
  bool racy = false;
  IniValues values;
};

std::unordered_map<std::string, CachedFile>& Cache() {
  static std::unordered_map<std::string, CachedFile> cache;
  return cache;
}

std::string MapPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  if (path.find_first_of("\\/") == std::string::npos) {
    // A bare file name lies in the Windows folder.
    std::string windows = env::Value("SystemRoot");
    if (windows.empty()) windows = "C:\\windows";
    return files::HostPathFromWindows(windows + "\\" + path);
  }
  return files::HostPathFromWindows(path);
}

bool ReadHostFile(const std::string& hostPath, std::string* bytes, struct stat* st) {
  int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    close(fd);
    return false;
  }
  bytes->clear();
  bytes->reserve(static_cast<std::size_t>(st->st_size));
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes->append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return ok;
}

// The parsed values of |path|, or null when the file cannot be read.
const IniValues* ValuesOf(const std::string& path) {
  CachedFile& file = Cache()[path];
  const std::string& prefix = PrefixDir();
  if (file.prefixDir != prefix) {
    file = CachedFile();
    file.prefixDir = prefix;
  }

  struct stat st;
  bool found = !file.hostPath.empty() && stat(file.hostPath.c_str(), &st) == 0;
  if (!found) {
    // Map again: the file may have appeared under a name of other letter case.
    file.hostPath = MapPath(path);
    found = !file.hostPath.empty() && stat(file.hostPath.c_str(), &st) == 0;
  }
  if (!found || !S_ISREG(st.st_mode)) {
    file.parsed = false;
    file.values.clear();
    return nullptr;
  }
  if (file.parsed && !file.racy && file.identity == FileIdentity::Of(st)) return &file.values;

  timespec readStart{};
  clock_gettime(CLOCK_REALTIME_COARSE, &readStart);
  std::string bytes;
  if (!ReadHostFile(file.hostPath, &bytes, &st)) {
    file.parsed = false;
    file.values.clear();
    return nullptr;
  }
  Parse(DecodedText(bytes), &file.values);
  file.parsed = true;
  file.identity = FileIdentity::Of(st);
  file.racy = RacyStamp(st.st_mtim, readStart) || RacyStamp(st.st_ctim, readStart);
  return &file.values;
}

std::uint32_t CopyOut(std::string_view text, char* buffer, std::uint32_t size) {
  if (!buffer || size == 0) return 0;
  std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  std::size_t count = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), count);
  buffer[count] = 0;
  return static_cast<std::uint32_t>(count);
}

}  // namespace

std::uint32_t ini::ReadString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, char* buffer, std::uint32_t size,
                              const std::string& path) {
  if (Trim(key).empty() || path.empty()) return CopyOut(defaultValue, buffer, size);
  const IniValues* values = ValuesOf(path);
  if (!values) return CopyOut(defaultValue, buffer, size);
  auto it = values->find(LookupKey(section, key));
  return CopyOut(it == values->end() ? std::string_view(defaultValue) : std::string_view(it->second), buffer,
                 size);
}

void ini::ClearCache() { Cache().clear(); }

}  // namespace platform
