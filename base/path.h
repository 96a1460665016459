// Splitting Windows paths and registry key paths into their components.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The non-empty components of |path| between any of the |separators|: empty
// components (doubled, leading or trailing separators) are dropped.
template <typename Char>
std::vector<std::basic_string<Char>> SplitPath(std::basic_string_view<Char> path,
                                               std::basic_string_view<Char> separators) {
  std::vector<std::basic_string<Char>> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t cut = path.find_first_of(separators, start);
    if (cut == std::basic_string_view<Char>::npos) cut = path.size();
    if (cut > start) parts.emplace_back(path.substr(start, cut - start));
    start = cut + 1;
  }
  return parts;
}

// A registry key path: components between backslashes.
inline std::vector<std::u16string> SplitKeyPath(std::u16string_view path) {
  return SplitPath(path, std::u16string_view(u"\\"));
}
// A file path: components between backslashes or slashes.
inline std::vector<std::string> SplitFilePath(std::string_view path) {
  return SplitPath(path, std::string_view("\\/"));
}

}  // namespace velmora
