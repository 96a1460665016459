// The check of a whole registry file before anything is read from it: every
// line as strict as decoding it would be, in one pass over the bytes with no
// allocation but the list of key lines. Line breaks are found 64 bytes at a
// time, escaped text is scanned 16 or 64 bytes at a time and the usual hex form
// 64, and hex data is checked as the number reader of the full parse reads it.
// With AVX2 (chosen when the program starts) the steps of 64 bytes take two
// vectors rather than four.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Where the compiler can build code for AVX2 beside the rest, the scan has a
// second form built for it, taken when the processor has AVX2.
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VELMORA_CHECK_AVX2 1
#include <immintrin.h>
#endif

#include "formats/registry_hive.h"
#include "formats/registry_lexing.h"

namespace formats {

namespace registry_detail {

namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

inline constexpr std::array<bool, 256> kSpaces = [] {
  std::array<bool, 256> spaces{};
  for (unsigned char c : std::string_view(" \t\n\r\v\f")) spaces[c] = true;
  return spaces;
}();

// The first byte from |at| on that is not a blank (as IsSpace), or |end|.
inline std::size_t Skip(const char* t, std::size_t at, std::size_t end) {
  while (at < end && kSpaces[static_cast<unsigned char>(t[at])]) ++at;
  return at;
}

inline bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && std::memcmp(s.data(), prefix.data(), prefix.size()) == 0;
}

#if defined(__SSE2__)
// The places of |stop|, backslashes and zero bytes among the first |count| of
// the 16 bytes at |p|, and through |high| those of the bytes above 0x7f.
inline std::uint32_t SpecialBytes(const char* p, std::size_t count, char stop, std::uint32_t* high) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i hits = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(stop)), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
      _mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
  const std::uint32_t wanted = count >= 16 ? 0xFFFFu : (1u << count) - 1;
  *high = static_cast<std::uint32_t>(_mm_movemask_epi8(bytes)) & wanted;
  return static_cast<std::uint32_t>(_mm_movemask_epi8(hits)) & wanted;
}
#endif

// Escaped text read from |from| to an unescaped |stop| in |s|, as
// UnescapeRegistryText reads it: a backslash escapes the byte after it (the
// further bytes of an escape are digits or UTF-8, never special), and a zero
// byte or the end of |s| before |stop| fails. With |plain|, also whether the text
// is ASCII whose only escapes are the separators "\\" between names, none empty.
// The |readable| bytes from the start of |s| may be read (16 at a time) though
// those past its end do not count: a short text near the end of its line is
// scanned in one step, not byte by byte.
class EscapedText {
 public:
  EscapedText(std::string_view s, std::size_t readable, std::size_t from, char stop)
      : s_(s), readable_(readable), from_(from), stop_(stop) {}

  // The place of |stop|, or npos. Out of line: the scan inlines all it calls,
  // and most texts are told by the steps over 64 bytes before they get here.
  [[gnu::noinline]] std::size_t End(bool* plain) {
    const char* t = s_.data();
    std::size_t p = from_;
    nameStart_ = from_;
#if defined(__SSE2__)
    bool escaped = false;  // the first byte of the next 16 is escaped
    for (; p < s_.size() && p + 16 <= readable_; p += 16) {
      std::uint32_t high;
      std::uint32_t special = SpecialBytes(t + p, s_.size() - p, stop_, &high);
      if (escaped) {
        if (!Escape(p - 1)) return kNotFound;
        special &= ~1u;
        escaped = false;
      }
      while (special) {
        unsigned k = static_cast<unsigned>(std::countr_zero(special));
        char c = t[p + k];
        if (c == stop_) {
          if (high & ((1u << k) - 1)) simple_ = false;
          return Found(p + k, plain);
        }
        if (c == '\0') return kNotFound;
        if (k == 15) {
          escaped = true;
          break;
        }
        if (!Escape(p + k)) return kNotFound;
        special &= ~(3u << k);
      }
      if (high) simple_ = false;
    }
    if (escaped) {
      if (!Escape(p - 1)) return kNotFound;
      ++p;
    }
#endif
    for (;;) {
      p = FindSpecial(s_, p, stop_, plain != nullptr);
      if (p >= s_.size() || t[p] == '\0') return kNotFound;
      if (t[p] == stop_) return Found(p, plain);
      if (t[p] != '\\') {  // a byte above 0x7f
        simple_ = false;
        ++p;
        continue;
      }
      if (!Escape(p)) return kNotFound;
      p += 2;
    }
  }

 private:
  // The backslash at |p| escapes the byte after it, which must be there and not zero.
  bool Escape(std::size_t p) {
    if (p + 1 >= s_.size() || s_[p + 1] == '\0') return false;
    if (s_[p + 1] != '\\' || p == nameStart_) simple_ = false;
    nameStart_ = p + 2;
    return true;
  }
  std::size_t Found(std::size_t p, bool* plain) {
    if (plain) *plain = simple_ && p > nameStart_;
    return p;
  }

  std::string_view s_;
  std::size_t readable_;
  std::size_t from_;
  char stop_;
  std::size_t nameStart_ = 0;
  bool simple_ = true;
};

// The steps over 64 bytes at once, in the widest vectors the code is built for
// (Sse2, or Portable without them); Avx2 beside them where the processor has
// it. The scan is built once for each (ScanLines).
#if defined(__SSE2__)
// The places of |stop| or zero bytes, of backslashes and of bytes above 0x7f
// among 64 bytes.
struct Classified {
  std::uint64_t stops;
  std::uint64_t backslashes;
  std::uint64_t high;
};

struct Sse2 {
  // Classified of the 64 bytes at |p|, 16 at a time.
  static Classified Classify64(const char* p, char stop) {
    const __m128i stopByte = _mm_set1_epi8(stop);
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i zero = _mm_setzero_si128();
    Classified found{0, 0, 0};
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(b, stopByte), _mm_cmpeq_epi8(b, zero));
      found.stops |= Mask(ends) << (16 * k);
      found.backslashes |= Mask(_mm_cmpeq_epi8(b, backslash)) << (16 * k);
      found.high |= Mask(b) << (16 * k);
    }
    return found;
  }
  // The line breaks among the 64 bytes at |p|.
  static std::uint64_t Breaks64(const char* p) {
    const __m128i newline = _mm_set1_epi8('\n');
    std::uint64_t breaks = 0;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k)
      breaks |= Mask(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k)), newline))
                << (16 * k);
    return breaks;
  }

 private:
  static std::uint64_t Mask(__m128i bytes) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(bytes))};
  }
};
using Baseline = Sse2;

#if defined(VELMORA_CHECK_AVX2)
// The steps of Sse2, 32 bytes at a time.
struct Avx2 {
  [[gnu::target("avx2")]] static Classified Classify64(const char* p, char stop) {
    const __m256i stopByte = _mm256_set1_epi8(stop);
    const __m256i backslash = _mm256_set1_epi8('\\');
    const __m256i zero = _mm256_setzero_si256();
    Classified found{0, 0, 0};
#pragma GCC unroll 2
    for (int k = 0; k < 2; ++k) {
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * k));
      const __m256i ends = _mm256_or_si256(_mm256_cmpeq_epi8(b, stopByte), _mm256_cmpeq_epi8(b, zero));
      const __m256i slashes = _mm256_cmpeq_epi8(b, backslash);
      found.stops |= Mask(ends) << (32 * k);
      found.backslashes |= Mask(slashes) << (32 * k);
      found.high |= Mask(b) << (32 * k);
    }
    return found;
  }
  // The hex digits among the 64 bytes at |p|, and through |commas| the commas.
  [[gnu::target("avx2")]] static std::uint64_t HexDigits64(const char* p, std::uint64_t* commas) {
    // Each range in one signed compare, as in HexDigits16.
    const __m256i digitsFrom = _mm256_set1_epi8(static_cast<char>(0x80 - '0'));
    const __m256i digitsBelow = _mm256_set1_epi8(static_cast<char>(0x80 + 10));
    const __m256i lettersFrom = _mm256_set1_epi8(static_cast<char>(0x80 - 'a'));
    const __m256i lettersBelow = _mm256_set1_epi8(static_cast<char>(0x80 + 6));
    std::uint64_t hex = 0;
    *commas = 0;
#pragma GCC unroll 2
    for (int k = 0; k < 2; ++k) {
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * k));
      const __m256i lower = _mm256_or_si256(b, _mm256_set1_epi8(0x20));
      const __m256i digits = _mm256_cmpgt_epi8(digitsBelow, _mm256_add_epi8(b, digitsFrom));
      const __m256i letters = _mm256_cmpgt_epi8(lettersBelow, _mm256_add_epi8(lower, lettersFrom));
      hex |= Mask(_mm256_or_si256(digits, letters)) << (32 * k);
      *commas |= Mask(_mm256_cmpeq_epi8(b, _mm256_set1_epi8(','))) << (32 * k);
    }
    return hex;
  }
  [[gnu::target("avx2")]] static std::uint64_t Breaks64(const char* p) {
    const __m256i newline = _mm256_set1_epi8('\n');
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return Mask(_mm256_cmpeq_epi8(low, newline)) | Mask(_mm256_cmpeq_epi8(high, newline)) << 32;
  }

 private:
  [[gnu::target("avx2")]] static std::uint64_t Mask(__m256i bytes) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes))};
  }
};

// Whether the processor has AVX2, asked once when the program starts.
const bool kHasAvx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();
#endif
#else
struct Portable {
  static std::uint64_t Breaks64(const char* p) {
    std::uint64_t breaks = 0;
    for (int k = 0; k < 64; ++k) breaks |= std::uint64_t{p[k] == '\n'} << k;
    return breaks;
  }
};
using Baseline = Portable;
#endif

#if defined(__SSE2__)
// EscapedText(s, readable, from, stop).End(plain) where |stop| stands among the
// 128 bytes from |from| and every backslash before it is one of a pair "\\" (an
// escaped backslash, the separator of key names), as in nearly every line: told
// from masks of 64 bytes at a time (by |Simd|), with no step per escape.
// Npos for any other text, which End() then reads: a zero byte, a lone or
// longer run of backslashes, no |stop| in reach.
// With |kPlain|, |plain| is given and the bytes above 0x7f are looked at.
template <class Simd, bool kPlain>
inline std::size_t StopWithinBlock(std::string_view s, std::size_t readable, std::size_t from, char stop,
                                   bool* plain) {
  if (from >= s.size() || from + 64 > readable) return kNotFound;
  const std::size_t left = s.size() - from;
  // Two halves of 64 bytes, the second read only when the first has no stop.
  const Classified first = Simd::Classify64(s.data() + from, stop);
  std::uint64_t stops = first.stops;
  if (left < 64) stops &= (std::uint64_t{1} << left) - 1;
  if (stops) {
    const unsigned k = static_cast<unsigned>(std::countr_zero(stops));
    // A zero byte counts as a stop: it ends the text there, which End() refuses.
    if (s[from + k] != stop) return kNotFound;
    // The backslashes before the stop, each run of them a pair: the first of
    // each run and the one after it.
    const std::uint64_t before = (std::uint64_t{1} << k) - 1;
    const std::uint64_t runs = first.backslashes & before;
    const std::uint64_t pairs = runs & ~(runs << 1);
    if (runs != (pairs | (pairs << 1))) return kNotFound;
    // ASCII, no separator first or last, none right after another (a run of
    // four is no pair).
    if constexpr (kPlain)
      *plain = k > 0 && !(first.high & before) && !(pairs & 1) && !((runs >> (k - 1)) & 1);
    return from + k;
  }
  // The same tests on both halves, a run that goes on into the second carried over.
  if (left <= 64 || from + 128 > readable) return kNotFound;
  const Classified second = Simd::Classify64(s.data() + from + 64, stop);
  stops = second.stops;
  if (left < 128) stops &= (std::uint64_t{1} << (left - 64)) - 1;
  if (!stops) return kNotFound;
  const unsigned k = static_cast<unsigned>(std::countr_zero(stops));  // in the second half
  if (s[from + 64 + k] != stop) return kNotFound;
  const std::uint64_t before = (std::uint64_t{1} << k) - 1;
  const std::uint64_t runs0 = first.backslashes;
  const std::uint64_t runs1 = second.backslashes & before;
  const std::uint64_t pairs0 = runs0 & ~(runs0 << 1);
  const std::uint64_t pairs1 = runs1 & ~((runs1 << 1) | (runs0 >> 63));
  if (runs0 != (pairs0 | (pairs0 << 1)) || runs1 != (pairs1 | (pairs1 << 1) | (pairs0 >> 63)))
    return kNotFound;
  if constexpr (kPlain) {
    const bool lastIsSeparator = (k > 0 ? runs1 >> (k - 1) : runs0 >> 63) & 1;
    *plain = !first.high && !(second.high & before) && !(pairs0 & 1) && !lastIsSeparator;
  }
  return from + 64 + k;
}
#endif

std::size_t EscapedEnd(std::string_view s, std::size_t readable, std::size_t from, char stop) {
  return EscapedText(s, readable, from, stop).End(nullptr);
}

// EscapedEnd(s, readable, from, '"'), inline where the quote stands among the 64
// bytes from |from| with no backslash or zero byte before it (most value names
// and strings), else from masks of the 128 bytes where it can.
template <class Simd>
inline std::size_t QuotedEnd(std::string_view s, std::size_t readable, std::size_t from) {
#if defined(__SSE2__)
  if (from + 64 <= readable) {
    // The first quote, backslash or zero byte, 16 bytes at a time: a quote
    // before the end of |s| ends the text.
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      const std::size_t p = from + 16 * k;
      if (p >= s.size()) break;
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + p));
      const auto special = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
          _mm_cmpeq_epi8(bytes, _mm_setzero_si128()))));
      if (special) {
        const std::size_t quote = p + static_cast<std::size_t>(std::countr_zero(special));
        if (quote < s.size() && s[quote] == '"') return quote;
        break;
      }
    }
    if (std::size_t found = StopWithinBlock<Simd, false>(s, readable, from, '"', nullptr); found != kNotFound)
      return found;
  }
#endif
  return EscapedEnd(s, readable, from, '"');
}

template <class Simd>
std::size_t KeyPathEnd(std::string_view s, std::size_t readable, std::size_t from, bool* plain) {
#if defined(__SSE2__)
  if (std::size_t found = StopWithinBlock<Simd, true>(s, readable, from, ']', plain); found != kNotFound)
    return found;
#endif
  return EscapedText(s, readable, from, ']').End(plain);
}

// The end of the number of "hex(N):" as strtoul reads it in base 16 from
// |from|: blanks, a sign, a "0x" before a digit, then digits; npos without one.
std::size_t HexTypeEnd(const char* t, std::size_t from, std::size_t end) {
  std::size_t p = Skip(t, from, end);
  if (p < end && (t[p] == '+' || t[p] == '-')) ++p;
  if (p + 2 < end && t[p] == '0' && (t[p + 1] == 'x' || t[p + 1] == 'X') && IsHexDigit(t[p + 2])) p += 2;
  std::size_t digits = p;
  while (p < end && IsHexDigit(t[p])) ++p;
  return p == digits ? kNotFound : p;
}

#if defined(__SSE2__)
// The hex digits among the 16 bytes at |p|, and through |commas| the commas.
inline std::uint64_t HexDigits16(const char* p, std::uint64_t* commas) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Each range in one signed compare: moved so that its first byte is -128.
  auto within = [](__m128i b, char first, char last) {
    return _mm_cmplt_epi8(_mm_add_epi8(b, _mm_set1_epi8(static_cast<char>(0x80 - first))),
                          _mm_set1_epi8(static_cast<char>(0x80 + (last - first) + 1)));
  };
  const __m128i lower = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
  const __m128i hex = _mm_or_si128(within(bytes, '0', '9'), within(lower, 'a', 'f'));
  *commas = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(','))));
  return static_cast<std::uint32_t>(_mm_movemask_epi8(hex));
}

// How many groups of two hex digits and a comma stand in a row among the
// first kBits bytes whose hex digits and commas are those given.
template <int kBits>
inline unsigned HexGroupsIn(std::uint64_t hex, std::uint64_t commas) {
  constexpr std::uint64_t kCommas = [] {  // every third byte from the third
    std::uint64_t every = 0;
    for (int k = 2; k < kBits; k += 3) every |= std::uint64_t{1} << k;
    return every;
  }();
  const std::uint64_t wrong = ((hex ^ ~kCommas) | (commas ^ kCommas)) & (~std::uint64_t{0} >> (64 - kBits));
  return static_cast<unsigned>(wrong ? std::countr_zero(wrong) : kBits) / 3;
}

// HexGroupsIn the first 16 * kChunks - 1 bytes at |p| (all 16 * kChunks are read).
template <int kChunks>
inline unsigned HexGroups(const char* p) {
  std::uint64_t hex = 0, commas = 0;
#pragma GCC unroll 4
  for (int k = 0; k < kChunks; ++k) {
    std::uint64_t someCommas;
    hex |= HexDigits16(p + 16 * k, &someCommas) << (16 * k);
    commas |= someCommas << (16 * k);
  }
  return HexGroupsIn<16 * kChunks - 1>(hex, commas);
}

// The groups of two hex digits and a comma in a row from |p|, those within the
// |left| bytes from it (the 64 bytes at |p| may be read): 16 bytes at a time, no
// more of them than |left| asks for.
inline std::size_t HexGroupsBefore(Sse2, const char* p, std::size_t left) {
  unsigned groups;
  if (left >= 48) {
    groups = HexGroups<4>(p);
  } else if (left >= 32) {
    groups = HexGroups<3>(p);
  } else if (left >= 16) {
    groups = HexGroups<2>(p);
  } else {
    groups = HexGroups<1>(p);
  }
  return std::min<std::size_t>(groups, left / 3);
}

#if defined(VELMORA_CHECK_AVX2)
// The same from all 64 bytes at once.
inline std::size_t HexGroupsBefore(Avx2, const char* p, std::size_t left) {
  std::uint64_t commas;
  const std::uint64_t hex = Avx2::HexDigits64(p, &commas);
  return std::min<std::size_t>(HexGroupsIn<63>(hex, commas), left / 3);
}
#endif
#endif

// Hex bytes from |p| as the full parse reads them (strtoul, then blanks, one
// comma, blanks); where they end, or npos on a number above 0xff.
// The |readable| bytes from the start of |t| may be read, 64 at a time, though
// those from |end| on do not count.
template <class Simd>
std::size_t HexBytesEnd(const char* t, std::size_t p, std::size_t end, std::size_t readable) {
  while (p < end && IsHexDigit(t[p])) {
#if defined(__SSE2__)
    // Fewer than two groups are read as fast one by one.
    if (end - p >= 6 && p + 64 <= readable) {
      if (const std::size_t groups = HexGroupsBefore(Simd{}, t + p, end - p)) {
        p = Skip(t, p + 3 * groups, end);
        continue;
      }
    }
#endif
    if (p + 2 < end && IsHexDigit(t[p + 1]) && t[p + 2] == ',') {
      p += 3;  // the usual form: two digits and a comma
    } else {
      std::size_t q = p;
      if (t[q] == '0' && q + 2 < end && (t[q + 1] == 'x' || t[q + 1] == 'X') && IsHexDigit(t[q + 2])) q += 2;
      while (q < end && t[q] == '0') ++q;
      std::size_t digits = q;
      while (q < end && IsHexDigit(t[q])) ++q;
      if (q - digits > 2) return kNotFound;
      p = Skip(t, q, end);
      if (p < end && t[p] == ',') ++p;
    }
    p = Skip(t, p, end);
  }
  return p;
}

// The lines of a file one after the other. The line breaks of 64 bytes are
// found at once, into a mask that the lines after carry on from: most lines are
// shorter than that, and no byte is looked at twice.
template <class Simd>
class Lines {
 public:
  explicit Lines(std::string_view text, std::size_t from = 0)
      : t_(text.data()), size_(text.size()), at_(from), block_(from / 64 * 64) {
    if (block_ < size_) breaks_ = BreaksIn(block_) & (~std::uint64_t{0} << (from - block_));
  }
  bool More() const { return at_ < size_; }
  // Steps to the next line: its start, its end with the line break, and the
  // end of its content (without "\n" and a "\r" before it).
  void Next(std::size_t* start, std::size_t* end, std::size_t* content) {
    *start = at_;
    std::size_t c = size_;  // the last line may have no break
    *end = size_;
    if (breaks_ || BreaksInLaterBlock()) {
      c = block_ + static_cast<std::size_t>(std::countr_zero(breaks_));
      breaks_ &= breaks_ - 1;
      *end = c + 1;
    }
    if (c > *start && t_[c - 1] == '\r') --c;
    *content = c;
    at_ = *end;
    ++line_;
  }
  std::size_t Offset() const { return at_; }
  int Line() const { return line_; }

 private:
  // Steps to the next block with a line break; false at the end of the text.
  bool BreaksInLaterBlock() {
    while (block_ + 64 < size_) {
      block_ += 64;
      if ((breaks_ = BreaksIn(block_))) return true;
    }
    return false;
  }
  // The line breaks among the 64 bytes from |p| (those of the text only).
  std::uint64_t BreaksIn(std::size_t p) const {
    if (p + 64 <= size_) return Simd::Breaks64(t_ + p);
    std::uint64_t breaks = 0;  // the last bytes, one by one
    for (std::size_t k = 0; p + k < size_; ++k) breaks |= std::uint64_t{t_[p + k] == '\n'} << k;
    return breaks;
  }

  const char* t_;
  std::size_t size_;
  std::size_t at_;
  std::size_t block_;         // the start of the 64 bytes that |breaks_| covers
  std::uint64_t breaks_ = 0;  // the line breaks there from |at_| on
  int line_ = 0;
};

// Checks the value whose text is [s, content) on the current line, taking its
// continuation lines from |lines|; the reason it fails, or null.
template <class Simd>
const char* CheckValue(std::string_view text, std::size_t s, std::size_t content, Lines<Simd>* lines) {
  const char* t = text.data();
  // The value's own reader strips a "\r" once more.
  std::size_t e = content;
  if (e > s && t[e - 1] == '\r') --e;
  const std::string_view v(t, e);
  std::size_t i = s + 1;
  if (t[s] == '"') {
    std::size_t quote = QuotedEnd<Simd>(v, text.size(), s + 1);
    if (quote == kNotFound) return "malformed value name";
    i = quote + 1;
  }
  // Mostly "=" straight after the name, with no blank to skip.
  if (i >= e || t[i] != '=') {
    i = Skip(t, i, e);
    if (i >= e || t[i] != '=') return "malformed value name";
  }
  ++i;
  if (i < e && kSpaces[static_cast<unsigned char>(t[i])]) i = Skip(t, i, e);
  const std::string_view rest(t + i, e - i);
  // The type is told by its first byte: the usual ones are checked without a
  // compare of each tag in turn.
  std::size_t tag = 0;
  if (rest.empty()) return "unknown value type";
  if (rest[0] == '"') {
    tag = 1;
  } else if (rest[0] == 's') {
    for (std::string_view form :
         {std::string_view("str:\""), std::string_view("str(2):\""), std::string_view("str(7):\"")}) {
      if (StartsWith(rest, form)) tag = form.size();
    }
  } else if (rest[0] == 'd' && StartsWith(rest, "dword:")) {
    return nullptr;
  }
  if (tag) return QuotedEnd<Simd>(v, text.size(), i + tag) == kNotFound ? "unterminated string" : nullptr;
  std::size_t data;
  if (StartsWith(rest, "hex:")) {
    data = i + 4;
  } else if (StartsWith(rest, "hex(")) {
    std::size_t end = HexTypeEnd(t, i + 4, e);
    if (end == kNotFound || end + 2 > e || t[end] != ')' || t[end + 1] != ':') return "malformed hex type";
    data = end + 2;
  } else {
    return "unknown value type";
  }
  for (;;) {
    std::size_t p = HexBytesEnd<Simd>(t, data, e, text.size());
    if (p == kNotFound) return "malformed hex data";
    p = Skip(t, p, e);
    if (p == e) return nullptr;
    if (t[p] != '\\') return "malformed hex data";
    if (!lines->More()) return "hex data continued past the end of the file";
    std::size_t start, end;
    lines->Next(&start, &end, &e);
    data = Skip(t, start, e);
  }
}

}  // namespace

namespace {

// Where a scan of lines stands between two lines.
struct ScanState {
  bool inKey = false;
  std::size_t filled = 0;  // after the last line that is not blank
  std::size_t header = 0;  // where the lines before the first key end
};

// The lines of |text| from |lines|' place, until the end or until a line would
// start at |stop| exactly (then |*stopped| is set); false, with |*error|, at the
// first line that is not sound.
template <class Simd>
inline bool ScanLinesBy(std::string_view text, Lines<Simd>* scanned, std::size_t stop, ScanState* state,
                        HiveParseError* error, std::vector<HiveKeyLine>* keys, bool* stopped) {
  // The lines are stepped through in a copy, which can stay in registers; the
  // place reached is given back only at the end of a sound scan.
  Lines<Simd> own = *scanned;
  Lines<Simd>* lines = &own;
  auto fail = [error](int line, const char* message) {
    if (error) *error = HiveParseError{line, message};
    return false;
  };
  const char* t = text.data();
  std::size_t start, end, content;
  bool inKey = state->inKey;
  std::size_t filled = state->filled;
  while (lines->More()) {
    if (lines->Offset() == stop) {
      *stopped = true;
      break;
    }
    lines->Next(&start, &end, &content);
    std::size_t s = start;
    if (s < content && kSpaces[static_cast<unsigned char>(t[s])]) s = Skip(t, s, content);
    char first = s < content ? t[s] : '\0';
    switch (first) {
      case '[': {
        bool plain = false;
        std::size_t close = KeyPathEnd<Simd>(std::string_view(t, content), text.size(), s + 1, &plain);
        if (close == kNotFound) return fail(lines->Line(), "malformed key name");
        if (!inKey) state->header = filled;
        if (keys) {
          if (!keys->empty()) keys->back().bodyEnd = static_cast<std::uint32_t>(filled);
          keys->push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(s + 1),
                           static_cast<std::uint32_t>(close), static_cast<std::uint32_t>(end), 0, plain});
        }
        inKey = true;
        filled = end;
        break;
      }
      case '@':
      case '"': {
        if (!inKey) return fail(lines->Line(), "value outside of any key");
        int line = lines->Line();
        if (const char* message = CheckValue(text, s, content, lines)) return fail(line, message);
        filled = lines->Offset();
        break;
      }
      case '#':
      case ';':
        filled = end;
        break;
      case '\0':
        break;
      default:
        return fail(lines->Line(), "unrecognised line");
    }
  }
  *scanned = own;
  state->inKey = inKey;
  state->filled = filled;
  return true;
}

// ScanLinesBy built for each kind of vector, everything it calls inlined in it:
// the steps over 64 bytes are then inlined too, in the vectors of their kind.
[[gnu::flatten]] bool ScanLines(std::string_view text, Lines<Baseline>* lines, std::size_t stop,
                                ScanState* state, HiveParseError* error, std::vector<HiveKeyLine>* keys,
                                bool* stopped) {
  return ScanLinesBy(text, lines, stop, state, error, keys, stopped);
}
#if defined(VELMORA_CHECK_AVX2)
[[gnu::flatten, gnu::target("avx2")]] bool ScanLines(std::string_view text, Lines<Avx2>* lines,
                                                     std::size_t stop, ScanState* state,
                                                     HiveParseError* error, std::vector<HiveKeyLine>* keys,
                                                     bool* stopped) {
  return ScanLinesBy(text, lines, stop, state, error, keys, stopped);
}
#endif

// Where a large text is cut for a scan in two parts: the start of a key line
// near its middle, or none.
std::size_t CutPlace(std::string_view text) {
  constexpr std::size_t kLeastToCut = 256 << 10;  // below this a second thread costs more than it saves
  if (text.size() < kLeastToCut) return kNotFound;
  const std::size_t found = text.find("\n[", text.size() / 2);
  return found == kNotFound ? kNotFound : found + 1;
}

// ScanRegistryText with the steps of |Simd|.
template <class Simd>
bool ScanRegistryTextBy(std::string_view text, HiveParseError* error, std::vector<HiveKeyLine>* keys,
                        std::size_t* headerEnd, std::size_t* trailerStart, RunBeside runBeside) {
  auto fail = [error](int line, const char* message) {
    if (error) *error = HiveParseError{line, message};
    return false;
  };
  // Key lines keep their offsets in 32 bits.
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) return fail(1, "file too large");
  Lines<Simd> lines(text);
  std::size_t start, end, content;
  if (!lines.More())
    return fail(1, "not a Wine registry file (first line is not \"WINE REGISTRY Version 2\")");
  lines.Next(&start, &end, &content);
  if (text.substr(0, content) != "WINE REGISTRY Version 2")
    return fail(1, "not a Wine registry file (first line is not \"WINE REGISTRY Version 2\")");
  ScanState state;
  state.filled = end;
  state.header = text.size();

  // A large text may be scanned in two parts at once, the second from a key
  // line near the middle. The parts agree with one scan from the start only if
  // that scan meets the cut between two lines (a value's continued lines could
  // swallow it): the first part checks that, and otherwise goes on alone to the
  // end. The second part starts inside a key, which the line at the cut opens
  // whatever came before it; what it found is taken only when the first part
  // ended cleanly at the cut, so an earlier fault is always the one reported.
  const std::size_t cut = runBeside ? CutPlace(text) : kNotFound;
  bool stopped = false;
  if (cut == kNotFound) {
    if (!ScanLines(text, &lines, kNotFound, &state, error, keys, &stopped)) return false;
  } else {
    Lines<Simd> second(text, cut);
    ScanState secondState;
    secondState.inKey = true;
    HiveParseError secondError;
    std::vector<HiveKeyLine> secondKeys;
    bool secondSound = false;
    bool firstSound = false;
    bool unused = false;
    if (keys) secondKeys.reserve(keys->capacity() / 2 + 1);
    runBeside(
        [&] {
          secondSound = ScanLines(text, &second, kNotFound, &secondState, &secondError,
                                  keys ? &secondKeys : nullptr, &unused);
        },
        [&] { firstSound = ScanLines(text, &lines, cut, &state, error, keys, &stopped); });
    if (!firstSound) return false;
    if (stopped) {
      if (!secondSound) {
        if (error) *error = HiveParseError{secondError.line + lines.Line(), secondError.message};
        return false;
      }
      // The key line at the cut ends the block before it and, if it is the
      // first key, the header.
      if (!state.inKey) state.header = state.filled;
      if (keys) {
        if (!keys->empty()) keys->back().bodyEnd = static_cast<std::uint32_t>(state.filled);
        keys->insert(keys->end(), secondKeys.begin(), secondKeys.end());
      }
      state.inKey = secondState.inKey;
      state.filled = secondState.filled;
    }
  }
  if (keys && !keys->empty()) keys->back().bodyEnd = static_cast<std::uint32_t>(state.filled);
  if (headerEnd) *headerEnd = state.header;
  if (trailerStart) *trailerStart = state.inKey ? state.filled : text.size();
  return true;
}

}  // namespace

bool ScanRegistryText(std::string_view text, HiveParseError* error, std::vector<HiveKeyLine>* keys,
                      std::size_t* headerEnd, std::size_t* trailerStart, RunBeside runBeside) {
#if defined(VELMORA_CHECK_AVX2)
  if (kHasAvx2) return ScanRegistryTextBy<Avx2>(text, error, keys, headerEnd, trailerStart, runBeside);
#endif
  return ScanRegistryTextBy<Baseline>(text, error, keys, headerEnd, trailerStart, runBeside);
}

bool CheckRegistryTextWithBaselineSteps(std::string_view text, HiveParseError* error) {
  return ScanRegistryTextBy<Baseline>(text, error, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace registry_detail

bool CheckRegistryText(std::string_view text, HiveParseError* error) {
  return registry_detail::ScanRegistryText(text, error, nullptr, nullptr, nullptr);
}

}  // namespace formats
