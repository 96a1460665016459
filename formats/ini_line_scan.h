// The line breaks, '=' signs and zero bytes of an INI text, found 16 bytes at a
// time: a line of the usual length costs a few steps of a scan that makes no call
// and takes no branch per byte.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace formats::ini_text {

// The place of the first byte at or after |from| (at most |size|) among the |size|
// bytes at |t| that is |a| or |b|; |size| when there is none.
inline std::size_t FindEither(const char* t, std::size_t size, std::size_t from, char a, char b) {
#if defined(__SSE2__)
  const __m128i wantA = _mm_set1_epi8(a), wantB = _mm_set1_epi8(b);
  const auto marks = [&](const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB))));
  };
  for (; size - from >= 16; from += 16)
    if (const unsigned found = marks(t + from))
      return from + static_cast<std::size_t>(std::countr_zero(found));
  if (from == size) return size;
  // The last bytes, fewer than 16, followed by |a|: what is found there first is
  // the text's end.
  char tail[16];
  std::memset(tail, a, sizeof tail);
  std::memcpy(tail, t + from, size - from);
  return std::min(from + static_cast<std::size_t>(std::countr_zero(marks(tail))), size);
#else
  for (; from < size; ++from)
    if (t[from] == a || t[from] == b) break;
  return from;
#endif
}

// The places that the rules of a line depend on, for the line of a text that
// starts at a given place: its end (its '\n', or the text's size), its first '='
// and the first zero byte after that '=' (npos where there is none).
struct ScannedLine {
  std::size_t end;
  std::size_t equals;
  std::size_t zero;
};
inline ScannedLine ScanLine(std::string_view text, std::size_t start) {
  constexpr std::size_t kNone = std::string_view::npos;
  const char* t = text.data();
  const std::size_t size = text.size();
  ScannedLine line{FindEither(t, size, start, '\n', '='), kNone, kNone};
  if (line.end < size && t[line.end] == '=') {
    line.equals = line.end;
    line.end = FindEither(t, size, line.equals + 1, '\n', '\0');
    if (line.end < size && t[line.end] == '\0') {
      line.zero = line.end;
      line.end = FindEither(t, size, line.zero + 1, '\n', '\n');
    }
  }
  return line;
}

}  // namespace formats::ini_text
