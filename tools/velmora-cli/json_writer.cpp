#include "tools/velmora-cli/json_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace velmora::cli {

namespace {

// Length of the valid UTF-8 sequence at |i|, 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (c >= 0xF5 || length == 0 || i + length > s.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool IsPlain(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }

// The bytes of |word| that are not plain (below 0x20, 0x7F and above, a quote
// or a backslash) marked by their high bit. The lowest mark is always exact;
// a mark above it may not be.
[[gnu::always_inline]] inline std::uint64_t NotPlainMarks(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  auto anyZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  const std::uint64_t below = (word - kOnes * 0x20) & ~word & kHigh;
  return (word & kHigh) | below | anyZero(word ^ (kOnes * '"')) | anyZero(word ^ (kOnes * '\\')) |
         anyZero(word ^ (kOnes * 0x7F));
}

// Writes the literal of |text| at |at|, which has room for 6 bytes a byte of
// |text| and 2 more; returns where it ends.
char* WriteJsonString(char* at, std::string_view text) {
  *at++ = '"';
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end) {
    // Printable ASCII without quote or backslash goes as it is, eight bytes at a
    // step: each word is stored whole (the room allows it) and kept up to its
    // first byte that is not plain.
    if constexpr (std::endian::native == std::endian::little) {
      while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        std::memcpy(at, &word, sizeof word);
        if (const std::uint64_t marks = NotPlainMarks(word)) {
          const std::size_t plain = static_cast<std::size_t>(std::countr_zero(marks) >> 3);
          p += plain;
          at += plain;
          break;
        }
        p += 8;
        at += 8;
      }
    }
    while (p != end && IsPlain(static_cast<unsigned char>(*p))) *at++ = *p++;
    if (p == end) break;
    const unsigned char c = static_cast<unsigned char>(*p);
    const char escape = c == '"'    ? '"'
                        : c == '\\' ? '\\'
                        : c == '\n' ? 'n'
                        : c == '\r' ? 'r'
                        : c == '\t' ? 't'
                                    : 0;
    if (escape) {
      at[0] = '\\';
      at[1] = escape;
      at += 2;
      ++p;
      continue;
    }
    const std::size_t i = static_cast<std::size_t>(p - text.data());
    const std::size_t length = c < 0x20 || c == 0x7F ? 0 : Utf8SequenceLength(text, i);
    if (length) {
      std::memcpy(at, p, length);
      at += length;
      p += length;
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      std::memcpy(at, "\\u00", 4);
      at[4] = kHex[c >> 4];
      at[5] = kHex[c & 0xF];
      at += 6;
      ++p;
    }
  }
  *at++ = '"';
  return at;
}

}  // namespace

void AppendJsonString(std::string* out, std::string_view text) {
  const std::size_t start = out->size();
  out->resize(start + 6 * text.size() + 2);
  char* end = WriteJsonString(out->data() + start, text);
  out->resize(static_cast<std::size_t>(end - out->data()));
}

void JsonText::String(std::string_view text) {
  char* at = Room(6 * text.size() + 2);
  size_ = static_cast<std::size_t>(WriteJsonString(at, text) - buffer_.data());
}

void JsonText::Number(long long value) {
  char* at = Room(24);
  size_ = static_cast<std::size_t>(std::to_chars(at, at + 24, value).ptr - buffer_.data());
}

void JsonText::Grow(std::size_t count) {
  buffer_.resize(std::max({std::size_t{4096}, 2 * buffer_.size(), size_ + count}));
}

std::string JsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendJsonString(&out, text);
  return out;
}

}  // namespace velmora::cli
