// A name pattern of the "SPC" section (MatchNamePattern in database/rating.h),
// taken apart once to be matched against many names: the parts between its
// stars that a name must hold in order, and two cheap tests that turn most names
// away before any part is searched for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class NamePattern {
 public:
  // |pattern| as the section gives it, in any letter case.
  explicit NamePattern(std::string_view pattern);

  // The bytes a name holds, one bit per byte's low six bits: a name can hold the
  // parts of a pattern only where it holds every byte of them.
  static std::uint64_t BytesOf(std::string_view text);

  // MatchNamePattern(pattern, name) for a |name| already in lower case whose
  // BytesOf is |bytes|.
  bool Matches(std::string_view name, std::uint64_t bytes) const {
    if (name.size() < length_ || (bytes_ & ~bytes) != 0) return false;
    return FindsParts(name);
  }

 private:
  bool FindsParts(std::string_view name) const;

  std::string lower_;  // the pattern in lower case
  // The parts a name must hold, in order, none overlapping the one before: each
  // non-empty piece between stars, except a last piece ".exe" (the rest of a
  // pattern being ".exe" matches anything).
  struct Part {
    std::uint32_t at;
    std::uint32_t size;
  };
  std::vector<Part> parts_;
  std::size_t length_ = 0;   // the parts' sizes added up
  std::uint64_t bytes_ = 0;  // BytesOf all the parts
};

}  // namespace velmora
