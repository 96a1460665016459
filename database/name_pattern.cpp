#include "database/name_pattern.h"

#include "base/text.h"

namespace velmora {

NamePattern::NamePattern(std::string_view pattern) : lower_(ToLowerAscii(pattern)) {
  const std::string_view text = lower_;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t star = text.find('*', begin);
    const std::string_view piece = text.substr(begin, star == std::string_view::npos ? star : star - begin);
    // The matcher stops with a match when what is left of the pattern is ".exe":
    // that is the last piece, reached only once all the others were found.
    if (star == std::string_view::npos && piece == ".exe") break;
    if (!piece.empty()) {
      parts_.push_back(Part{static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(piece.size())});
      length_ += piece.size();
      bytes_ |= BytesOf(piece);
    }
    if (star == std::string_view::npos) break;
    begin = star + 1;
  }
}

std::uint64_t NamePattern::BytesOf(std::string_view text) {
  std::uint64_t bytes = 0;
  for (const char c : text) bytes |= std::uint64_t{1} << (static_cast<unsigned char>(c) & 63);
  return bytes;
}

bool NamePattern::FindsParts(std::string_view name) const {
  // Each part at its first place after the one before, as the matcher takes it.
  for (const Part& part : parts_) {
    const std::size_t at = name.find(std::string_view(lower_).substr(part.at, part.size));
    if (at == std::string_view::npos) return false;
    name.remove_prefix(at + part.size);
  }
  return true;
}

}  // namespace velmora
