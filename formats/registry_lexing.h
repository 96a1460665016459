// The pieces of Wine's registry text that the reader, the key tree and the writer
// of a hive share: value types, character classes, the fast folding and hashing
// of names, the scan for special bytes, and the check of a whole file.
// Not for use outside formats/.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "formats/registry_hive.h"
#include "formats/registry_text.h"

namespace formats::registry_detail {

inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kMultiSz = 7;

inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
inline constexpr std::array<bool, 256> kHexDigits = [] {
  std::array<bool, 256> digits{};
  for (unsigned char c : std::string_view("0123456789abcdefABCDEF")) digits[c] = true;
  return digits;
}();
inline bool IsHexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }

// FoldUnit with its ASCII case inline: nearly every name is ASCII.
inline char16_t Fold(char16_t c) {
  if (c >= 0x80) return FoldUnit(c);
  return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c;
}

// Lower-case letters for four ASCII units at once, one in each 16 bits.
inline std::uint64_t FoldAsciiUnits(std::uint64_t units) {
  constexpr std::uint64_t kLanes = 0x0001000100010001ull;
  std::uint64_t fromA = units + kLanes * (0x80 - 'A');      // bit 7 set from 'A' on
  std::uint64_t pastZ = units + kLanes * (0x80 - 'Z' - 1);  // bit 7 set past 'Z'
  std::uint64_t upper = fromA & ~pastZ & (kLanes * 0x80);
  return units | (upper >> 2);
}

// Four units, not all ASCII, folded one by one.
inline std::uint64_t FoldWideUnits(std::uint64_t units) {
  char16_t each[4];
  std::memcpy(each, &units, sizeof units);
  for (char16_t& unit : each) unit = Fold(unit);
  std::memcpy(&units, each, sizeof units);
  return units;
}

// The hash of a name as Wine compares names, from its UTF-16 units or from its
// bytes when it is ASCII: four folded units at a time, the last ones padded
// with zero units, which the length tells apart from units of the name.
template <typename Unit>
inline std::uint64_t HashFolded(const Unit* units, std::size_t size) {
  constexpr std::uint64_t kAboveAscii = 0xFF80FF80FF80FF80ull;
  std::uint64_t hash = size;
  char16_t four[4];
  auto mix = [&hash, &four] {
    std::uint64_t word;
    std::memcpy(&word, four, sizeof word);
    word = word & kAboveAscii ? FoldWideUnits(word) : FoldAsciiUnits(word);
    hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
    hash ^= hash >> 32;
  };
  std::size_t k = 0;
  for (; k + 4 <= size; k += 4) {
    for (std::size_t i = 0; i < 4; ++i) four[i] = units[k + i];
    mix();
  }
  if (k < size) {
    for (std::size_t i = 0; i < 4; ++i) four[i] = k + i < size ? units[k + i] : 0;
    mix();
  }
  return hash;
}

// The index of the first byte from |from| on that is a zero byte, a backslash,
// |stop| or, when |stopAtHigh|, above 0x7f; the size of |s| when there is none.
// Text has few of them: eight bytes are looked at in one step.
inline std::size_t FindSpecial(std::string_view s, std::size_t from, char stop, bool stopAtHigh) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighs = kOnes * 0x80;
  // The high bit of each zero byte; those above the first zero byte may be wrong.
  auto zeroBytes = [](std::uint64_t word) { return (word - kOnes) & ~word & kHighs; };
  std::size_t p = from;
  if constexpr (std::endian::native == std::endian::little) {
    const std::uint64_t backslashes = kOnes * '\\';
    const std::uint64_t stops = kOnes * static_cast<unsigned char>(stop);
    for (; p + 8 <= s.size(); p += 8) {
      std::uint64_t word;
      std::memcpy(&word, s.data() + p, 8);
      std::uint64_t hits = zeroBytes(word) | zeroBytes(word ^ backslashes) | zeroBytes(word ^ stops);
      if (stopAtHigh) hits |= word & kHighs;
      if (hits) return p + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
    }
  }
  for (; p < s.size(); ++p) {
    unsigned char c = static_cast<unsigned char>(s[p]);
    if (c == 0 || c == '\\' || c == static_cast<unsigned char>(stop) || (stopAtHigh && c >= 0x80)) break;
  }
  return p;
}

// The check of a whole file (CheckRegistryText); on success, when |keys| is
// given, it receives the key lines, |headerEnd| where the lines before the first
// key end and |trailerStart| where those after the last block start. With
// |runBeside|, a large text is checked in two parts at once, to the same result.
bool ScanRegistryText(std::string_view text, HiveParseError* error, std::vector<HiveKeyLine>* keys,
                      std::size_t* headerEnd, std::size_t* trailerStart, RunBeside runBeside = nullptr);

// CheckRegistryText with the vector steps of the processor the program was built
// for and never wider ones, whatever this processor has: the form that runs where
// there is no AVX2, held to the same verdicts on any machine by the tests.
bool CheckRegistryTextWithBaselineSteps(std::string_view text, HiveParseError* error);

}  // namespace formats::registry_detail
