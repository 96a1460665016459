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

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/text_encoding.h"

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

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Fold(c);
  return out;
}

// The text of a file as the program's 8-bit text: UTF-16 files (with their byte
// order mark) are converted, a UTF-8 mark is dropped, everything else is taken
// byte for byte.
std::string DecodedText(const std::string& bytes) {
  auto starts = [&](const char* mark, std::size_t n) { return bytes.size() >= n && std::memcmp(bytes.data(), mark, n) == 0; };
  if (starts("\xEF\xBB\xBF", 3)) return bytes.substr(3);
  if (starts("\xFF\xFE", 2)) {
    return Utf8FromUtf16(Utf16FromLittleEndian(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2, (bytes.size() - 2) / 2));
  }
  if (starts("\xFE\xFF", 2)) {
    std::string swapped;
    swapped.reserve(bytes.size() - 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      swapped.push_back(bytes[i + 1]);
      swapped.push_back(bytes[i]);
    }
    return Utf8FromUtf16(Utf16FromLittleEndian(reinterpret_cast<const std::uint8_t*>(swapped.data()), swapped.size() / 2));
  }
  return bytes;
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
  std::shared_ptr<const IniDocument> document;
  // The pass (path look-up generation) in which the file was last checked: within
  // it the file is not checked again.
  std::uint64_t checkedIn = 0;
};

std::unordered_map<std::string, CachedFile>& Cache() {
  static std::unordered_map<std::string, CachedFile> cache;
  return cache;
}

std::string MapPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  if (path.find_first_of("\\/") == std::string::npos) {
    // A bare file name lies in the Windows folder.
    std::string windows = EnvironmentValue("SystemRoot");
    if (windows.empty()) windows = "C:\\windows";
    return HostPathFromWindows(windows + "\\" + path);
  }
  return HostPathFromWindows(path);
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

// The parsed document of |path|, or null when the file cannot be read.
std::shared_ptr<const IniDocument> DocumentOf(const std::string& path) {
  CachedFile& file = Cache()[path];
  const std::string& prefix = PrefixDir();
  if (file.prefixDir != prefix) {
    file = CachedFile();
    file.prefixDir = prefix;
  }
  const std::uint64_t generation = PathLookupGeneration();
  if (generation != 0 && file.checkedIn == generation) return file.document;
  file.checkedIn = generation;

  struct stat st;
  bool found = !file.hostPath.empty() && stat(file.hostPath.c_str(), &st) == 0;
  if (!found) {
    // Map again: the file may have appeared under a name of other letter case.
    file.hostPath = MapPath(path);
    found = !file.hostPath.empty() && stat(file.hostPath.c_str(), &st) == 0;
  }
  if (!found || !S_ISREG(st.st_mode)) {
    file.parsed = false;
    file.document.reset();
    return nullptr;
  }
  if (file.parsed && !file.racy && file.identity == FileIdentity::Of(st)) return file.document;

  timespec readStart{};
  clock_gettime(CLOCK_REALTIME_COARSE, &readStart);
  std::string bytes;
  if (!ReadHostFile(file.hostPath, &bytes, &st)) {
    file.parsed = false;
    file.document.reset();
    return nullptr;
  }
  file.document = std::make_shared<const IniDocument>(std::move(bytes));
  file.parsed = true;
  file.identity = FileIdentity::Of(st);
  file.racy = RacyStamp(st.st_mtim, readStart) || RacyStamp(st.st_ctim, readStart);
  return file.document;
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

std::uint64_t IniDocument::HashOf(std::uint32_t section, std::string_view key) {
  std::uint64_t hash = 1469598103934665603ull ^ section;
  for (char c : key) hash = (hash ^ static_cast<unsigned char>(Fold(c))) * 1099511628211ull;
  return hash ^ (hash >> 29);
}

const IniDocument::Entry* IniDocument::Lookup(std::uint32_t section, std::string_view key,
                                              std::uint64_t hash) const {
  if (slots_.empty()) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    std::uint32_t slot = slots_[at];
    if (slot == 0) return nullptr;
    const Entry& entry = entries_[slot - 1];
    if (entry.hash != hash || entry.section != section || entry.key.size() != key.size()) continue;
    bool same = true;
    for (std::size_t i = 0; same && i < key.size(); ++i) same = Fold(entry.key[i]) == Fold(key[i]);
    if (same) return &entry;
  }
}

IniDocument::IniDocument(std::string bytes) : text_(DecodedText(bytes)) {
  const std::string& text = text_;
  std::uint32_t section = sections_.emplace("", 0).first->second;  // before the first section
  entries_.reserve(text.size() / 24);
  std::size_t at = 0;
  while (at < text.size()) {
    const char* lineStart = text.data() + at;
    const void* newline = std::memchr(lineStart, '\n', text.size() - at);
    std::size_t end = newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - text.data()) : text.size();
    std::string_view line = Trim(std::string_view(lineStart, end - at));
    at = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        auto next = static_cast<std::uint32_t>(sections_.size());
        section = sections_.emplace(Folded(Trim(line.substr(1, close - 1))), next).first->second;
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
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    entries_.push_back(Entry{HashOf(section, key), section, key, value});
  }
  // The table of keys; of several lines of one key the first wins.
  std::size_t capacity = 16;
  while (capacity < entries_.size() * 2) capacity *= 2;
  slots_.assign(capacity, 0);
  const std::size_t mask = capacity - 1;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    if (Lookup(entry.section, entry.key, entry.hash)) continue;
    entries_[kept] = entry;
    std::size_t at = entry.hash & mask;
    while (slots_[at] != 0) at = (at + 1) & mask;
    slots_[at] = static_cast<std::uint32_t>(++kept);
  }
  entries_.resize(kept);
}

const std::string_view* IniDocument::Find(std::string_view section, std::string_view key) const {
  auto folded = sections_.find(Folded(Trim(section)));
  if (folded == sections_.end()) return nullptr;
  std::string_view trimmed = Trim(key);
  const Entry* entry = Lookup(folded->second, trimmed, HashOf(folded->second, trimmed));
  return entry ? &entry->value : nullptr;
}

std::uint32_t IniDocument::Get(std::string_view section, std::string_view key, const std::string& defaultValue,
                               char* buffer, std::uint32_t size) const {
  if (Trim(key).empty()) return CopyOut(defaultValue, buffer, size);
  const std::string_view* value = Find(section, key);
  return CopyOut(value ? *value : std::string_view(defaultValue), buffer, size);
}

std::uint32_t GetPrivateProfileString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue, char* buffer,
                                      std::uint32_t size, const std::string& path) {
  if (Trim(key).empty() || path.empty()) return CopyOut(defaultValue, buffer, size);
  std::shared_ptr<const IniDocument> document = DocumentOf(path);
  if (!document) return CopyOut(defaultValue, buffer, size);
  return document->Get(section, key, defaultValue, buffer, size);
}

std::shared_ptr<const IniDocument> IniDocumentOf(const std::string& path) {
  if (path.empty()) return nullptr;
  return DocumentOf(path);
}

void RememberIniFile(const std::string& path, const std::string& bytes) {
  CachedFile& file = Cache()[path];
  file = CachedFile();
  file.prefixDir = PrefixDir();
  file.hostPath = MapPath(path);
  struct stat st;
  if (file.hostPath.empty() || stat(file.hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::size_t>(st.st_size) != bytes.size()) {
    file.hostPath.clear();  // not what we think it is: read it when asked
    return;
  }
  file.document = std::make_shared<const IniDocument>(bytes);
  file.parsed = true;
  file.identity = FileIdentity::Of(st);
  // Written by this process just now: the same-tick rule guards against writers
  // we do not know of, and the scratch copy has none.
  file.racy = false;
}

void ClearIniCache() { Cache().clear(); }

}  // namespace platform
