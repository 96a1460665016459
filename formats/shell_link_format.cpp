// The helpers that the shell-link reader (shell_link_read.cpp) and writer
// (shell_link_write.cpp) share.
#include "formats/shell_link_format.h"

#include <algorithm>
#include <cctype>

#include "base/path.h"
#include "base/utf16.h"

namespace formats::lnk {

bool Windows1252FromUtf8(const std::string& text, std::string* out) {
  // Characters of 0x80-0x9F; the five holes map to the Latin-1 code points.
  static const char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  out->clear();
  bool exact = true;
  for (char16_t unit : velmora::Utf16FromUtf8(text)) {
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

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& relative) {
  if (IsDrivePath(relative) || IsUncPath(relative)) return relative;
  std::vector<std::string> parts = velmora::SplitFilePath(folder);
  std::string head;
  std::size_t fixed = 0;  // parts ".." never removes
  if (IsDrivePath(folder)) {
    head = folder.substr(0, 2) + "\\";
    parts.erase(parts.begin());
  } else if (IsUncPath(folder)) {
    head = "\\\\";
    fixed = std::min<std::size_t>(parts.size(), 2);  // server and share
  }
  for (const std::string& part : velmora::SplitFilePath(relative)) {
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
      std::tolower(static_cast<unsigned char>(folder[0])) !=
          std::tolower(static_cast<unsigned char>(target[0]))) {
    return "";
  }
  std::vector<std::string> from = velmora::SplitFilePath(folder.substr(2));
  std::vector<std::string> to = velmora::SplitFilePath(target.substr(2));
  if (to.empty()) return "";
  auto same = [](const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
        return false;
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

}  // namespace formats::lnk
