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

// The length of the run of plain bytes at the start of |text|, eight at a step.
std::size_t PlainRun(std::string_view text) {
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    for (; i + 8 <= text.size(); i += 8) {
      std::memcpy(&word, text.data() + i, sizeof word);
      if (const std::uint64_t marks = NotPlainMarks(word)) return i + (std::countr_zero(marks) >> 3);
    }
    if (text.size() >= 8) {
      // The last eight bytes, of which those before |i| are plain: the first
      // mark is at |i| or after it.
      std::memcpy(&word, text.data() + text.size() - 8, sizeof word);
      const std::uint64_t marks = NotPlainMarks(word);
      return marks ? text.size() - 8 + (std::countr_zero(marks) >> 3) : text.size();
    }
  }
  while (i < text.size() && IsPlain(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}

// Writes the literal of |text| at |at|, which has room for 6 bytes a byte of
// |text| and 2 more; returns where it ends.
char* WriteJsonString(char* at, std::string_view text) {
  *at++ = '"';
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A run of printable ASCII without quote or backslash goes as it is.
    if (std::size_t plain = PlainRun(text.substr(i))) {
      std::memcpy(at, text.data() + i, plain);
      at += plain;
      i += plain;
      if (i == text.size()) break;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    const char* escape = nullptr;
    switch (c) {
      case '"':
        escape = "\\\"";
        break;
      case '\\':
        escape = "\\\\";
        break;
      case '\n':
        escape = "\\n";
        break;
      case '\r':
        escape = "\\r";
        break;
      case '\t':
        escape = "\\t";
        break;
      default:
        break;
    }
    if (escape) {
      *at++ = escape[0];
      *at++ = escape[1];
      continue;
    }
    std::size_t length = c < 0x20 || c == 0x7F ? 0 : Utf8SequenceLength(text, i);
    if (length) {
      std::memcpy(at, text.data() + i, length);
      at += length;
      i += length - 1;
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      std::memcpy(at, "\\u00", 4);
      at[4] = kHex[c >> 4];
      at[5] = kHex[c & 0xF];
      at += 6;
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
