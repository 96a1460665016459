// The text rules of INI files shared by the INI readers: blanks, letter case,
// the decoding of a file's bytes and the copying out of a value.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "formats/ini_line_scan.h"

namespace formats::ini_text {

// Blanks as the C library's isspace() sees them in the "C" locale; bytes above
// 0x7F are never blanks.
inline bool IsBlank(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';  // \t \n \v \f \r
}
// Without the blanks of the "C" locale at either end (inline: the parser calls it
// three times a line).
inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}
// ASCII letters in lower case.
inline char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// The steps of FoldedHash, for a reader that hashes words of its own making.
// Eight bytes with their ASCII letters in lower case: per byte, its low seven bits
// plus a bias set the high bit from 'A' on, and from past 'Z' on; no sum carries
// into the next byte.
inline std::uint64_t FoldWord(std::uint64_t x) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  std::uint64_t low = x & (0x7F * kOnes);
  std::uint64_t fromA = low + (0x80 - 'A') * kOnes;
  std::uint64_t pastZ = low + (0x80 - 'Z' - 1) * kOnes;
  std::uint64_t upper = fromA & ~pastZ & ~x & (0x80 * kOnes);
  return x | (upper >> 2);  // 0x80 >> 2 is the case bit 0x20
}
inline std::uint64_t MixWord(std::uint64_t hash, std::uint64_t word) {
  hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
  return hash ^ (hash >> 32);
}
inline std::uint64_t FinishHash(std::uint64_t hash) {
  hash = (hash ^ (hash >> 33)) * 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 33);
}
// A hash of |text| with its ASCII letters in lower case, so that names equal but
// for the case of their letters hash alike: seed ^ size, then every eight bytes in
// the machine's order folded and mixed in, the last ones padded with zero bytes.
// Bytes above 0x7F are taken as they are.
inline std::uint64_t FoldedHash(std::uint64_t seed, std::string_view text) {
  std::uint64_t hash = seed ^ text.size();
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    hash = MixWord(hash, FoldWord(word));
  }
  if (at < text.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + at, text.size() - at);
    hash = MixWord(hash, FoldWord(word));
  }
  return FinishHash(hash);
}
// |a| and |b| equal but for the case of their ASCII letters.
inline bool EqualFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (std::memcmp(a.data(), b.data(), a.size()) == 0) return true;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}
std::string Folded(std::string_view text);

// The rules of the line of |text| that starts at |start| (below the text's size),
// as the readers take them: section(name) for a "[name]" line (the name trimmed,
// its letter case as written), key(key, value) for a line that holds a value: the
// key trimmed and never empty, the value trimmed, ended at a zero byte and without
// one pair of surrounding quotes. Blank lines, comments (';') and lines without '='
// hold nothing. Returns where the next line starts (past the text's size after
// the last one).
template <typename Section, typename Key>
std::size_t WalkLine(std::string_view text, std::size_t start, Section& section, Key& key) {
  const char* t = text.data();
  const auto [lineEnd, equals, zero] = ScanLine(text, start);
  std::size_t end = lineEnd;
  // The usual line first: "key=value", ended by "\n" or "\r\n", with nothing to
  // trim around the key or the value, no zero byte after the '=' and no quote
  // opening the value. It holds what the rules below find in it.
  if (zero == std::string_view::npos && equals != std::string_view::npos && equals > start &&
      !IsBlank(t[start]) && t[start] != ';' && t[start] != '[' && !IsBlank(t[equals - 1])) {
    const std::size_t valueStart = equals + 1;
    std::size_t valueEnd = end;
    if (valueEnd > valueStart && t[valueEnd - 1] == '\r') --valueEnd;
    if (valueEnd == valueStart || (!IsBlank(t[valueStart]) && !IsBlank(t[valueEnd - 1]) &&
                                   t[valueStart] != '"' && t[valueStart] != '\'')) {
      key(std::string_view(t + start, equals - start),
          std::string_view(t + valueStart, valueEnd - valueStart));
      return lineEnd + 1;
    }
  }
  while (start < end && IsBlank(t[start])) ++start;
  while (end > start && IsBlank(t[end - 1])) --end;
  if (start == end || t[start] == ';') return lineEnd + 1;
  if (t[start] == '[') {
    const std::string_view line(t + start, end - start);
    std::size_t close = line.rfind(']');
    if (close != std::string_view::npos) {
      section(Trim(line.substr(1, close - 1)));
      return lineEnd + 1;
    }
  }
  // Blanks are neither '=' nor zero bytes: the line's first '=' lies within
  // its trimmed text, and so does the first zero byte after it.
  if (equals == std::string_view::npos) return lineEnd + 1;  // a key without value holds nothing
  std::string_view name = Trim(std::string_view(t + start, equals - start));
  if (name.empty()) return lineEnd + 1;
  std::size_t valueStart = equals + 1;
  while (valueStart < end && IsBlank(t[valueStart])) ++valueStart;
  // A value is read as text: it ends at a zero byte.
  std::string_view value(t + valueStart, (zero != std::string_view::npos ? zero : end) - valueStart);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  key(name, value);
  return lineEnd + 1;
}
// WalkLine over every line of |text| in turn.
template <typename Section, typename Key>
void ForEachLine(std::string_view text, Section section, Key key) {
  for (std::size_t start = 0; start < text.size();) start = WalkLine(text, start, section, key);
}
// The text of a file as the program's 8-bit text: UTF-16 files (with their byte
// order mark) are converted, a UTF-8 mark is dropped, everything else is taken
// byte for byte (and then without a copy).
std::string DecodedText(std::string bytes);
// What a buffer of |size| bytes (size > 0) receives of |text|: the text up to its
// first zero byte, cut to size - 1.
std::string_view Delivered(std::string_view text, std::uint32_t size);
// Delivered(text, size) into |buffer|, zero-terminated; the count copied.
std::uint32_t CopyOut(std::string_view text, char* buffer, std::uint32_t size);

}  // namespace formats::ini_text
