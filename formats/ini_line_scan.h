// The line breaks, '=' signs and zero bytes of an INI text, found 64 bytes at a
// time: the walk over a text of many short lines makes no call and takes no
// branch per byte.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace formats::ini_text {

// The places of line breaks, '=' signs and zero bytes among |size| bytes (at
// most 64) at |p|, one bit each.
struct LineMarks {
  std::uint64_t newline;
  std::uint64_t equals;
  std::uint64_t zero;
};

inline LineMarks MarksOf64(const char* p) {
#if defined(__SSE2__)
  const auto block = [p](unsigned k) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
  };
  const __m128i b0 = block(0), b1 = block(1), b2 = block(2), b3 = block(3);
  const auto places = [&](char c) {
    const __m128i wanted = _mm_set1_epi8(c);
    const auto bits = [&](__m128i bytes, unsigned k) {
      return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)))}
             << (16 * k);
    };
    return bits(b0, 0) | bits(b1, 1) | bits(b2, 2) | bits(b3, 3);
  };
  return LineMarks{places('\n'), places('='), places('\0')};
#else
  LineMarks marks{0, 0, 0};
  for (unsigned k = 0; k < 64; ++k) {
    marks.newline |= std::uint64_t{p[k] == '\n'} << k;
    marks.equals |= std::uint64_t{p[k] == '='} << k;
    marks.zero |= std::uint64_t{p[k] == '\0'} << k;
  }
  return marks;
#endif
}

// The last bytes of a text, fewer than 64.
inline LineMarks MarksOfTail(const char* p, std::size_t size) {
  char tail[64];
  std::memset(tail, 1, sizeof tail);
  std::memcpy(tail, p, size);
  LineMarks marks = MarksOf64(tail);
  const std::uint64_t kept = (std::uint64_t{1} << size) - 1;
  return LineMarks{marks.newline & kept, marks.equals & kept, marks.zero & kept};
}

// Calls line(start, end, equals, zero) for every line of |text| in turn: the
// places of its first byte, of its end (its '\n', or the text's size), of its
// first '=' and of the first zero byte after that '=' (npos where there is none).
template <typename Line>
void ForEachScannedLine(std::string_view text, Line line) {
  constexpr std::size_t kNone = std::string_view::npos;
  constexpr std::uint64_t kAll = ~std::uint64_t{0};
  std::size_t start = 0, equals = kNone, zero = kNone;
  std::uint64_t afterEquals = kAll;  // in this block, the bits past the line's '='
  for (std::size_t block = 0; block < text.size(); block += 64) {
    const LineMarks marks = text.size() - block >= 64 ? MarksOf64(text.data() + block)
                                                      : MarksOfTail(text.data() + block, text.size() - block);
    std::uint64_t from = start > block ? kAll << (start - block) : kAll;
    for (;;) {
      const std::uint64_t newline = marks.newline & from;
      const std::uint64_t within = (newline ? (newline & (0 - newline)) - 1 : kAll) & from;
      if (equals == kNone) {
        if (const std::uint64_t found = marks.equals & within) {
          const std::uint64_t first = found & (0 - found);
          equals = block + static_cast<std::size_t>(std::countr_zero(first));
          afterEquals = ~((first << 1) - 1);
        }
      }
      if (equals != kNone && zero == kNone) {
        if (const std::uint64_t found = marks.zero & within & afterEquals)
          zero = block + static_cast<std::size_t>(std::countr_zero(found));
      }
      if (!newline) break;
      const auto at = static_cast<unsigned>(std::countr_zero(newline));
      line(start, block + at, equals, zero);
      start = block + at + 1;
      equals = zero = kNone;
      afterEquals = kAll;
      if (at == 63) break;
      from = kAll << (at + 1);
    }
    afterEquals = kAll;
  }
  if (start < text.size()) line(start, text.size(), equals, zero);
}

}  // namespace formats::ini_text
