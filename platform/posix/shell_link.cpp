// The IShellLinkA-like accessors of ShellLink, and the helpers the reader and the
// writer share. Load is in shell_link_read.cpp, Save in shell_link_write.cpp.
#include "platform/shell_link.h"

#include <sys/stat.h>

#include <cctype>

#include "platform/files.h"
#include "platform/posix/shell_link_format.h"
#include "platform/text_encoding.h"

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

HResult ShellLink::SetPath(const std::string& path) {
  target = path;
  targetExpandable.clear();
  relativePath.clear();  // Save derives it from the link's own place
  struct stat st;
  std::string host = path.empty() ? "" : HostPathFromWindows(path);
  if (!host.empty() && stat(host.c_str(), &st) == 0) fileAttributes = S_ISDIR(st.st_mode) ? 0x10 : 0x20;
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

namespace posix::lnk {

bool Windows1252FromUtf8(const std::string& text, std::string* out) {
  // Characters of 0x80-0x9F; the five holes map to the Latin-1 code points.
  static const char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  out->clear();
  bool exact = true;
  for (char16_t unit : Utf16FromUtf8(text)) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
      out->push_back(static_cast<char>(unit));
      continue;
    }
    int found = -1;
    for (int i = 0; i < 32; ++i) {
      if (kHigh[i] == unit) found = i;
    }
    if (found >= 0) {
      out->push_back(static_cast<char>(0x80 + found));
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      // second half of a pair: its first half already gave the '?'
    } else {
      out->push_back('?');
      exact = false;
    }
  }
  return exact;
}

bool IsDrivePath(const std::string& path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path.size() == 2 || path[2] == '\\' || path[2] == '/');
}

bool IsUncPath(const std::string& path) {
  return path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.';
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& relative) {
  if (IsDrivePath(relative) || IsUncPath(relative)) return relative;
  std::vector<std::string> parts = SplitPath(folder);
  std::string head;
  std::size_t fixed = 0;  // parts ".." never removes
  if (IsDrivePath(folder)) {
    head = folder.substr(0, 2) + "\\";
    parts.erase(parts.begin());
  } else if (IsUncPath(folder)) {
    head = "\\\\";
    fixed = std::min<std::size_t>(parts.size(), 2);  // server and share
  }
  for (const std::string& part : SplitPath(relative)) {
    if (part == ".") continue;
    if (part == "..") {
      if (parts.size() > fixed) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out = head;
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "\\" : "") + parts[i];
  return out;
}

std::string RelativePathBetween(const std::string& folder, const std::string& target) {
  if (!IsDrivePath(folder) || !IsDrivePath(target) ||
      std::tolower(static_cast<unsigned char>(folder[0])) != std::tolower(static_cast<unsigned char>(target[0]))) {
    return "";
  }
  std::vector<std::string> from = SplitPath(folder.substr(2));
  std::vector<std::string> to = SplitPath(target.substr(2));
  if (to.empty()) return "";
  auto same = [](const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
  };
  std::size_t common = 0;
  while (common < from.size() && common + 1 < to.size() && same(from[common], to[common])) ++common;
  std::string out;
  for (std::size_t i = common; i < from.size(); ++i) out += "..\\";
  if (out.empty()) out = ".\\";
  for (std::size_t i = common; i < to.size(); ++i) out += to[i] + (i + 1 < to.size() ? "\\" : "");
  return out;
}

}  // namespace posix::lnk

}  // namespace platform
