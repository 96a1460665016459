#include "platform/posix/registry_hive.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_set>

#include "base/names.h"
#include "base/path.h"

namespace platform::posix {

namespace {

constexpr std::uint32_t kNone = 0;
constexpr std::uint32_t kSz = 1;
constexpr std::uint32_t kExpandSz = 2;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kMultiSz = 7;

inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
constexpr std::array<bool, 256> kHexDigits = [] {
  std::array<bool, 256> digits{};
  for (unsigned char c : std::string_view("0123456789abcdefABCDEF")) digits[c] = true;
  return digits;
}();
bool IsHexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// FoldUnit with its ASCII case inline: nearly every name is ASCII.
char16_t Fold(char16_t c) {
  if (c >= 0x80) return FoldUnit(c);
  return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c;
}

// Lower-case letters for four ASCII units at once, one in each 16 bits.
std::uint64_t FoldAsciiUnits(std::uint64_t units) {
  constexpr std::uint64_t kLanes = 0x0001000100010001ull;
  std::uint64_t fromA = units + kLanes * (0x80 - 'A');      // bit 7 set from 'A' on
  std::uint64_t pastZ = units + kLanes * (0x80 - 'Z' - 1);  // bit 7 set past 'Z'
  std::uint64_t upper = fromA & ~pastZ & (kLanes * 0x80);
  return units | (upper >> 2);
}

// Four units, not all ASCII, folded one by one.
std::uint64_t FoldWideUnits(std::uint64_t units) {
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
std::uint64_t HashFolded(const Unit* units, std::size_t size) {
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

inline std::size_t SkipSpaces(std::string_view s, std::size_t i) {
  while (i < s.size() && IsSpace(s[i])) ++i;
  return i;
}

// The index of the first byte from |from| on that is a zero byte, a backslash,
// |stop| or, when |stopAtHigh|, above 0x7f; the size of |s| when there is none.
// Text has few of them: eight bytes are looked at in one step.
std::size_t FindSpecial(std::string_view s, std::size_t from, char stop, bool stopAtHigh) {
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

std::uint64_t NowFileTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 10000000u + static_cast<std::uint64_t>(now.tv_nsec) / 100u +
         116444736000000000ull;
}

std::string HexNumber(const char* format, unsigned value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string KeyPathText(const HiveNode* node) {
  std::vector<std::u16string> path = Hive::PathOf(node);
  std::string text;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i) text += "\\\\";
    text += EscapeRegistryText(path[i], "[]");
  }
  return text;
}

std::string TimeLine(std::uint64_t filetime) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "#time=%x%08x\n", static_cast<unsigned>(filetime >> 32),
                static_cast<unsigned>(filetime & 0xFFFFFFFFu));
  return buffer;
}

std::string KeyLine(const HiveNode* node, std::uint64_t filetime) {
  unsigned seconds = static_cast<unsigned>((filetime - 116444736000000000ull) / 10000000u);
  return "[" + KeyPathText(node) + "] " + std::to_string(seconds) + "\n";
}

void AppendUtf16Le(std::string* out, const std::u16string& units) {
  for (char16_t u : units) {
    out->push_back(static_cast<char>(u & 0xFF));
    out->push_back(static_cast<char>(u >> 8));
  }
}

std::u16string Utf16LeUnits(const std::string& data, std::size_t count) {
  std::u16string units(count, u'\0');
  for (std::size_t i = 0; i < count; ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                     static_cast<unsigned char>(data[2 * i + 1]) << 8);
  return units;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

// The chain of keys from the root's child down to |node|.
void ChainOf(const HiveNode* node, std::vector<const HiveNode*>* chain) {
  chain->clear();
  for (; node && node->parent; node = node->parent) chain->push_back(node);
  std::reverse(chain->begin(), chain->end());
}

// Wine's file order of two keys: a parent first, then its subkeys by name.
int CompareChains(const std::vector<const HiveNode*>& a, const std::vector<const HiveNode*>& b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    int order = CompareNames(a[i]->name, b[i]->name);
    if (order) return order;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Whether a value repeats in |values| (which it may reorder).
bool HasRepeats(std::vector<std::uint64_t>* values) {
  constexpr std::size_t kFew = 8;  // compared pair by pair
  if (values->size() <= kFew) {
    for (std::size_t i = 0; i < values->size(); ++i) {
      for (std::size_t j = i + 1; j < values->size(); ++j) {
        if ((*values)[i] == (*values)[j]) return true;
      }
    }
    return false;
  }
  std::sort(values->begin(), values->end());
  return std::adjacent_find(values->begin(), values->end()) != values->end();
}

// Reads the lines of a file one by one, keeping each line's exact bytes.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  // The next line with its line break, false at the end.
  bool Next(std::string_view* raw) {
    if (at_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', at_);
    end = end == std::string_view::npos ? text_.size() : end + 1;
    *raw = std::string_view(text_.data() + at_, end - at_);
    at_ = end;
    ++line_;
    return true;
  }
  int line() const { return line_; }
  std::size_t offset() const { return at_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 0;
};

// The line without its line break (and a carriage return before it).
inline std::string_view Content(std::string_view raw) {
  if (!raw.empty() && raw.back() == '\n') raw.remove_suffix(1);
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  return raw;
}

// Comma-separated hex bytes from |s| at |i|, as Wine reads them; false on a
// number above 0xff.
bool ParseHexBytes(const std::string& s, std::size_t* i, std::string* out) {
  while (*i < s.size() && IsHexDigit(s[*i])) {
    const char* start = s.c_str() + *i;
    char* end = nullptr;
    unsigned long value = std::strtoul(start, &end, 16);
    if (end == start || value > 0xFF) return false;
    out->push_back(static_cast<char>(value));
    *i += static_cast<std::size_t>(end - start);
    *i = SkipSpaces(s, *i);
    if (*i < s.size() && s[*i] == ',') ++*i;
    *i = SkipSpaces(s, *i);
  }
  return true;
}

// Parses the value that starts on |first| (the line without leading blanks);
// hex data continued with a backslash pulls further lines from |reader|.
bool ParseValue(std::string_view first, LineReader* reader, HiveValue* value, std::string* raw,
                std::string* message) {
  std::string_view s = Content(first);
  std::size_t i;
  if (s[0] == '@') {
    value->name.clear();
    i = 1;
  } else {
    std::size_t used = UnescapeRegistryText(s.substr(1), '"', &value->name);
    if (used == std::string_view::npos) {
      *message = "malformed value name";
      return false;
    }
    i = 1 + used;
  }
  i = SkipSpaces(s, i);
  if (i >= s.size() || s[i] != '=') {
    *message = "malformed value name";
    return false;
  }
  i = SkipSpaces(s, i + 1);
  std::string_view rest = s.substr(i);

  struct Tag {
    std::string_view text;
    std::uint32_t type;
    bool string;
  };
  value->type = kNone;  // |value| may hold the type of an earlier line
  static const Tag kTags[] = {{"\"", kSz, true},
                              {"str:\"", kSz, true},
                              {"str(2):\"", kExpandSz, true},
                              {"str(7):\"", kMultiSz, true},
                              {"hex:", kBinary, false},
                              {"dword:", kDword, false}};
  for (const Tag& tag : kTags) {
    if (rest.substr(0, tag.text.size()) != tag.text) continue;
    rest.remove_prefix(tag.text.size());
    value->type = tag.type;
    if (tag.string) {
      std::u16string units;
      if (UnescapeRegistryText(rest, '"', &units) == std::string_view::npos) {
        *message = "unterminated string";
        return false;
      }
      units.push_back(u'\0');
      value->data.clear();
      AppendUtf16Le(&value->data, units);
      return true;
    }
    if (tag.type == kDword) {
      std::string digits(rest);
      std::uint32_t number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
      value->data.assign(reinterpret_cast<const char*>(&number), 4);
      return true;
    }
    break;  // hex:
  }
  if (value->type != kBinary) {
    if (rest.substr(0, 4) != "hex(") {
      *message = "unknown value type";
      return false;
    }
    std::string digits(rest.substr(4));
    char* end = nullptr;
    unsigned long type = std::strtoul(digits.c_str(), &end, 16);
    if (end == digits.c_str() || std::string_view(end).substr(0, 2) != "):") {
      *message = "malformed hex type";
      return false;
    }
    value->type = static_cast<std::uint32_t>(type);
    rest.remove_prefix(4 + static_cast<std::size_t>(end - digits.c_str()) + 2);
  }
  value->data.clear();
  std::string line(rest);
  for (;;) {
    std::size_t at = 0;
    if (!ParseHexBytes(line, &at, &value->data)) {
      *message = "malformed hex data";
      return false;
    }
    at = SkipSpaces(line, at);
    if (at == line.size()) return true;
    if (line[at] != '\\') {
      *message = "malformed hex data";
      return false;
    }
    std::string_view next;
    if (!reader->Next(&next)) {
      *message = "hex data continued past the end of the file";
      return false;
    }
    raw->append(next);
    std::string_view content = Content(next);
    line.assign(content.substr(SkipSpaces(content, 0)));
  }
}

// ---- the quick check of Parse ---------------------------------------------------
// A value line is "plain" when its form is one that ParseValue is sure to accept:
// a name read to its closing quote, '=', and a string, dword or hex value whose
// bytes are two-digit numbers. Any other line is handed to ParseValue itself.

// End of escaped text that ends with an unescaped '"', as UnescapeRegistryText
// reads it (a zero byte or the end of the text before it fails): npos on failure,
// else the index of the quote.
std::size_t QuotedEnd(std::string_view s, std::size_t from) {
  for (std::size_t at = from;;) {
    std::size_t quote = s.find('"', at);
    if (quote == std::string_view::npos) return quote;
    // Backslashes before the quote pair up from the first: an odd one escapes it.
    std::size_t backslashes = 0;
    while (quote - backslashes > from && s[quote - backslashes - 1] == '\\') ++backslashes;
    if (backslashes % 2 == 0) {
      bool zero = s.substr(from, quote - from).find('\0') != std::string_view::npos;
      return zero ? std::string_view::npos : quote;
    }
    at = quote + 1;
  }
}

// Two-digit hex bytes separated by commas. Returns 0 when the line is done, 1 when
// a backslash continues the data on the next line, -1 for any other form.
int PlainHexLine(std::string_view v) {
  std::size_t p = 0;
  while (p + 3 <= v.size() && v[p + 2] == ',' && IsHexDigit(v[p]) && IsHexDigit(v[p + 1])) p += 3;
  // What is left: nothing, a backslash, or a last byte with or without one.
  if (p == v.size()) return 0;
  if (v[p] == '\\') return 1;
  if (p + 1 >= v.size() || !IsHexDigit(v[p]) || !IsHexDigit(v[p + 1])) return -1;
  p += 2;
  if (p == v.size()) return 0;
  return v[p] == '\\' ? 1 : -1;
}

inline bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && std::memcmp(s.data(), prefix.data(), prefix.size()) == 0;
}

// Checks the value that starts on |first| (as ParseValue gets it) and reads its
// continuation lines from |reader|. False when the form is not plain; |reader| is
// then where it was. On success |nameHash| is the hash of the folded name.
bool PlainValue(std::string_view first, LineReader* reader, std::u16string* scratch,
                std::uint64_t* nameHash) {
  std::string_view s = Content(first);
  std::size_t i;
  std::uint64_t hash;
  if (s[0] == '@') {
    hash = HashFolded(u"", 0);
    i = 1;
  } else {
    std::size_t end = FindSpecial(s, 1, '"', true);
    if (end < s.size() && s[end] == '"') {
      // ASCII without escapes: the bytes are the units.
      hash = HashFolded(reinterpret_cast<const unsigned char*>(s.data()) + 1, end - 1);
    } else {
      end = QuotedEnd(s, 1);
      if (end == std::string_view::npos) return false;
      if (UnescapeRegistryText(s.substr(1), '"', scratch) == std::string_view::npos) return false;
      hash = HashFolded(scratch->data(), scratch->size());
    }
    i = end + 1;
  }
  i = SkipSpaces(s, i);
  if (i >= s.size() || s[i] != '=') return false;
  std::string_view rest = s;
  rest.remove_prefix(SkipSpaces(s, i + 1));
  *nameHash = hash;

  for (std::string_view tag : {std::string_view("\""), std::string_view("str:\""),
                               std::string_view("str(2):\""), std::string_view("str(7):\"")}) {
    if (StartsWith(rest, tag)) return QuotedEnd(rest, tag.size()) != std::string_view::npos;
  }
  if (StartsWith(rest, "hex:")) {
    rest.remove_prefix(4);
  } else if (StartsWith(rest, "dword:")) {
    return true;
  } else if (StartsWith(rest, "hex(")) {
    std::size_t p = 4;
    while (p < rest.size() && IsHexDigit(rest[p])) ++p;
    if (p == 4 || rest.substr(p, 2) != "):") return false;
    rest.remove_prefix(p + 2);
  } else {
    return false;
  }
  LineReader start = *reader;
  for (int state = PlainHexLine(rest); state != 0; state = PlainHexLine(rest)) {
    std::string_view next;
    if (state < 0 || !reader->Next(&next)) {
      *reader = start;
      return false;
    }
    std::string_view content = Content(next);
    rest = content.substr(SkipSpaces(content, 0));
  }
  return true;
}

}  // namespace

char16_t FoldUnit(char16_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c;
  // The system's upper case; no letter above ASCII has its capital in ASCII, so
  // this is one class per name as Wine has it.
  return velmora::UpperCaseUnit(c);
}

std::u16string FoldName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = Fold(c);
  return folded;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    int d = static_cast<int>(Fold(a[i])) - static_cast<int>(Fold(b[i]));
    if (d) return d;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string EscapeRegistryText(std::u16string_view text, std::string_view escaped) {
  static const char kEscapes[33] = ".......abtnvfr.............e....";
  std::string out;
  out.reserve(text.size());
  char buffer[16];
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    bool hasNext = i + 1 < text.size();
    if (c > 127) {
      if (hasNext && text[i + 1] < 128 && IsHexDigit(static_cast<char>(text[i + 1])))
        std::snprintf(buffer, sizeof buffer, "\\x%04x", static_cast<unsigned>(c));
      else
        std::snprintf(buffer, sizeof buffer, "\\x%x", static_cast<unsigned>(c));
      out += buffer;
    } else if (c < 32) {
      if (kEscapes[c] != '.') {
        out += '\\';
        out += kEscapes[c];
      } else {
        bool octalNext = hasNext && text[i + 1] >= '0' && text[i + 1] <= '7';
        std::snprintf(buffer, sizeof buffer, octalNext ? "\\%03o" : "\\%o", static_cast<unsigned>(c));
        out += buffer;
      }
    } else {
      char ch = static_cast<char>(c);
      if (ch == '\\' || escaped.find(ch) != std::string_view::npos) out += '\\';
      out += ch;
    }
  }
  return out;
}

namespace {

// Copies the run of bytes that stand for themselves (ASCII other than a zero
// byte, a backslash and |end|) from |p| on; returns where the run ends.
std::size_t CopyPlainRun(std::string_view s, std::size_t p, char end, char16_t** out) {
  std::size_t run = FindSpecial(s, p, end, true);
  char16_t* to = *out;
  for (; p + 8 <= run; p += 8, to += 8) {
    unsigned char bytes[8];  // a copy the units cannot overlap: widened in one step
    std::memcpy(bytes, s.data() + p, sizeof bytes);
    for (std::size_t k = 0; k < 8; ++k) to[k] = bytes[k];
  }
  for (; p < run; ++p) *to++ = static_cast<unsigned char>(s[p]);
  *out = to;
  return run;
}

// The unit of a one-letter escape ("\n" and the like), 0 for other letters.
char16_t LetterEscape(char c) {
  switch (c) {
    case 'a':
      return 7;
    case 'b':
      return 8;
    case 'e':
      return 27;
    case 'f':
      return 12;
    case 'n':
      return 10;
    case 'r':
      return 13;
    case 't':
      return 9;
    case 'v':
      return 11;
    default:
      return 0;
  }
}

// Decodes the UTF-8 sequence that starts at |p|; returns the index after the
// bytes it used. Malformed bytes give no units, as Wine drops them.
std::size_t ReadUtf8(std::string_view s, std::size_t p, char16_t** out) {
  auto at = [&](std::size_t k) -> unsigned char {
    return k < s.size() ? static_cast<unsigned char>(s[k]) : 0;
  };
  unsigned char ch = at(p++);
  int length = ch >= 0xF0 && ch <= 0xF4 ? 3 : ch >= 0xE0 ? 2 : ch >= 0xC2 && ch < 0xE0 ? 1 : 0;
  if (ch > 0xF4) length = 0;
  static const char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
  static const unsigned char kMask[4] = {0x7F, 0x1F, 0x0F, 0x07};
  char32_t code = ch & kMask[length];
  bool valid = length > 0;
  for (int k = 0; valid && k < length; ++k) {
    unsigned char next = at(p) ^ 0x80;
    if (next >= 0x40) {
      valid = false;
      break;
    }
    code = (code << 6) | next;
    ++p;
  }
  if (!valid || code < kMinimum[length] || code > 0x10FFFF) return p;
  if (code <= 0xFFFF) {
    *(*out)++ = static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    *(*out)++ = static_cast<char16_t>(0xD800 | (code >> 10));
    *(*out)++ = static_cast<char16_t>(0xDC00 | (code & 0x3FF));
  }
  return p;
}

// Decodes the escape whose backslash is at |p| (a zero byte after it excepted),
// writing its units to |out|; returns the index after it.
std::size_t ReadEscape(std::string_view s, std::size_t p, char16_t** out) {
  auto at = [&](std::size_t k) -> unsigned char {
    return k < s.size() ? static_cast<unsigned char>(s[k]) : 0;
  };
  char c = s[++p];
  if (char16_t unit = LetterEscape(c)) {
    *(*out)++ = unit;
    return p + 1;
  }
  if (c == 'x') {
    ++p;
    if (!IsHexDigit(static_cast<char>(at(p)))) {
      *(*out)++ = u'x';
      return p;
    }
    unsigned value = 0;
    for (int k = 0; k < 4 && IsHexDigit(static_cast<char>(at(p))); ++k) value = value * 16 + HexValue(s[p++]);
    *(*out)++ = static_cast<char16_t>(value);
    return p;
  }
  if (c >= '0' && c <= '7') {
    unsigned value = static_cast<unsigned>(c - '0');
    ++p;
    for (int k = 0; k < 2 && at(p) >= '0' && at(p) <= '7'; ++k) value = value * 8 + (s[p++] - '0');
    *(*out)++ = static_cast<char16_t>(value);
    return p;
  }
  // Any other escaped character stands for itself, a UTF-8 sequence included.
  if (static_cast<unsigned char>(c) >= 0x80) return ReadUtf8(s, p, out);
  *(*out)++ = static_cast<unsigned char>(c);
  return p + 1;
}

// An escape that gives a backslash: where it ends in the escaped text and in
// the text it gives, and whether it is the two bytes "\\", which end where they
// end whatever follows them.
struct EscapedBackslash {
  std::size_t source;
  std::size_t units;
  bool twoBytes;
};

// UnescapeRegistryText adding to the units already in |text|; notes in |marks|,
// when given, each escape that gives a backslash.
std::size_t UnescapeAppending(std::string_view s, char end, std::u16string* text,
                              std::vector<EscapedBackslash>* marks) {
  // No byte gives more than one unit (a four-byte sequence gives two), so the
  // text is sized once and cut to what was written.
  const std::size_t kept = text->size();
  text->resize(kept + s.size());
  char16_t* const begin = text->data();
  char16_t* out = begin + kept;
  std::size_t p = 0;
  for (;;) {
    p = CopyPlainRun(s, p, end, &out);
    if (p == s.size() || s[p] == '\0' || s[p] == end) break;
    if (s[p] != '\\') {
      p = ReadUtf8(s, p, &out);
    } else if (p + 1 < s.size() && s[p + 1] != '\0') {
      std::size_t start = p;
      char16_t* written = out;
      p = ReadEscape(s, p, &out);
      if (marks && out != written && out[-1] == u'\\')
        marks->push_back({p, static_cast<std::size_t>(out - begin), p - start == 2 && s[start + 1] == '\\'});
    } else {
      ++p;  // a backslash with nothing after it
      break;
    }
  }
  text->resize(static_cast<std::size_t>(out - begin));
  char stop = p < s.size() ? s[p] : '\0';
  return stop == end ? p + 1 : std::string_view::npos;
}

// How many bytes two texts share at their start.
std::size_t SharedStart(std::string_view a, std::string_view b) {
  std::size_t limit = std::min(a.size(), b.size());
  std::size_t k = 0;
  for (; k + 8 <= limit; k += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a.data() + k, 8);
    std::memcpy(&y, b.data() + k, 8);
    if (x != y) break;
  }
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

// The keys of the key lines of a file, one line after the other. Wine writes a
// parent before its subkeys, so a path mostly starts with the names of the path
// before it: the start they share is not decoded again, and the keys of the
// names they share are kept instead of being looked up.
class KeyPathSteps {
 public:
  // Reads the path of a key line from |source|, the text after its '[', and
  // splits it at its backslashes (empty names left out). Returns the bytes read
  // with the closing ']', npos when there is none.
  std::size_t Read(std::string_view source) {
    // Up to a two-byte escaped backslash, a start of the text that the line
    // before shares decodes as it did there.
    std::size_t shared = SharedStart(source, previousSource_);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < previousMarks_.size() && previousMarks_[k].source <= shared; ++k) {
      if (previousMarks_[k].twoBytes) kept = k + 1;
    }
    EscapedBackslash from = kept ? previousMarks_[kept - 1] : EscapedBackslash{0, 0, true};
    path_.assign(previousPath_, 0, from.units);
    marks_.assign(previousMarks_.begin(), previousMarks_.begin() + static_cast<std::ptrdiff_t>(kept));
    std::size_t used = UnescapeAppending(source.substr(from.source), ']', &path_, &marks_);
    if (used == std::string_view::npos) return used;
    for (std::size_t k = kept; k < marks_.size(); ++k) marks_[k].source += from.source;
    source_ = source;
    Split(from.units);
    return from.source + used;
  }
  // How many first names are those of the path before, whose keys Node() gives.
  // The keys of the other names are to be added in order.
  std::size_t Same() const { return nodes_.size(); }
  std::size_t NameCount() const { return names_.size(); }
  std::u16string_view Name(std::size_t k) const { return View(path_, names_[k]); }
  HiveNode* Node(std::size_t k) const { return nodes_[k]; }
  void Add(HiveNode* node) { nodes_.push_back(node); }
  // Done with the line: its path becomes the path before the next one.
  void Keep() {
    previousSource_ = source_;
    previousPath_.swap(path_);
    previousNames_.swap(names_);
    previousMarks_.swap(marks_);
  }

 private:
  struct Span {
    std::size_t at;
    std::size_t size;
  };
  static std::u16string_view View(const std::u16string& path, Span span) {
    return std::u16string_view(path).substr(span.at, span.size);
  }
  static bool SameUnits(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
  }
  std::u16string_view PreviousName(std::size_t k) const { return View(previousPath_, previousNames_[k]); }

  // Every backslash of the path comes from an escape: the names lie between the
  // marks. Those that end before |shared| units are the names of the path before.
  void Split(std::size_t shared) {
    names_.clear();
    std::size_t start = 0;
    std::size_t same = 0;
    for (const EscapedBackslash& mark : marks_) {
      std::size_t separator = mark.units - 1;
      if (separator > start) {
        names_.push_back({start, separator - start});
        if (separator < shared) ++same;
      }
      start = separator + 1;
    }
    if (path_.size() > start) names_.push_back({start, path_.size() - start});
    same = std::min(same, nodes_.size());
    while (same < names_.size() && same < nodes_.size() && SameUnits(Name(same), PreviousName(same))) ++same;
    nodes_.resize(same);
  }

  std::string_view source_, previousSource_;
  std::u16string path_, previousPath_;
  std::vector<Span> names_, previousNames_;
  std::vector<EscapedBackslash> marks_, previousMarks_;
  std::vector<HiveNode*> nodes_;  // the keys of the names of the path before
};

}  // namespace

std::size_t UnescapeRegistryText(std::string_view s, char end, std::u16string* text) {
  text->clear();
  return UnescapeAppending(s, end, text, nullptr);
}

std::string FormatValue(const HiveValue& value) {
  std::string out;
  if (!value.name.empty()) {
    out = "\"" + EscapeRegistryText(value.name, "\"") + "\"=";
  } else {
    out = "@=";
  }
  std::size_t count = out.size();
  const std::string& data = value.data;
  switch (value.type) {
    case kSz:
    case kExpandSz:
    case kMultiSz:
      // Only properly terminated strings are written as strings.
      if (data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
          data[data.size() - 2] == 0) {
        if (value.type != kSz) out += HexNumber("str(%x):", value.type);
        out += '"';
        out += EscapeRegistryText(Utf16LeUnits(data, data.size() / 2 - 1), "\"");
        out += "\"\n";
        return out;
      }
      break;
    case kDword:
      if (data.size() == 4) {
        std::uint32_t number = static_cast<unsigned char>(data[0]) |
                               static_cast<unsigned char>(data[1]) << 8 |
                               static_cast<unsigned char>(data[2]) << 16 |
                               static_cast<std::uint32_t>(static_cast<unsigned char>(data[3])) << 24;
        out += HexNumber("dword:%08x\n", number);
        return out;
      }
      break;
  }
  std::string tag = value.type == kBinary ? "hex:" : HexNumber("hex(%x):", value.type);
  out += tag;
  count += tag.size();
  char digits[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(data[i]));
    out += digits;
    count += 2;
    if (i + 1 < data.size()) {
      out += ',';
      if (++count > 76) {
        out += "\\\n  ";
        count = 2;
      }
    }
  }
  out += '\n';
  return out;
}

namespace {

// Subkeys from which on a key keeps an index of them.
constexpr std::size_t kIndexedChildren = 8;

}  // namespace

std::size_t FoldedNameHash::operator()(std::u16string_view name) const {
  return static_cast<std::size_t>(HashFolded(name.data(), name.size()));
}

HiveNode* ChildIndex::Find(std::u16string_view name, std::size_t hash) const {
  if (slots_.empty()) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (!slot.node) return nullptr;
    if (slot.hash == hash && SameName(slot.node->name, name)) return slot.node;
  }
}

void ChildIndex::Add(HiveNode* child, std::size_t hash) {
  if ((count_ + 1) * 4 > slots_.size() * 3) {
    std::vector<Slot> old(std::max<std::size_t>(32, slots_.size() * 2));
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.node) Place(slot);
    }
  }
  Place({hash, child});
  ++count_;
}

void ChildIndex::Place(Slot slot) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = slot.hash & mask;
  while (slots_[at].node) at = (at + 1) & mask;
  slots_[at] = slot;
}

void ChildIndex::Clear() {
  slots_ = {};
  count_ = 0;
}

HiveNode* HiveNode::Child(std::u16string_view wanted) const {
  if (!index.Empty()) return index.Find(wanted, FoldedNameHash()(wanted));
  for (HiveNode* child : children) {
    if (SameName(child->name, wanted)) return child;
  }
  return nullptr;
}

Hive::Hive() = default;

void Hive::Reset(std::string header) {
  text_.clear();
  header_ = std::move(header);
  trailer_.clear();
  blocks_.clear();
  root_.children.clear();
  nodes_.Clear();
  blockPool_.Clear();
  root_.index.Clear();
  root_.block = nullptr;
}

bool Hive::Parse(std::string_view input, HiveParseError* error) {
  return ParseOwned(std::string(input), error);
}

bool Hive::ParseOwned(std::string&& input, HiveParseError* error) {
  Reset("");
  text_ = std::move(input);
  const std::string_view text(text_);
  LineReader reader(text);
  std::string_view raw;
  auto fail = [&](int line, std::string message) {
    if (error) *error = HiveParseError{line, std::move(message)};
    Reset("");
    text_.clear();
    return false;
  };
  if (!reader.Next(&raw) || Content(raw) != "WINE REGISTRY Version 2")
    return fail(1, "not a Wine registry file (first line is not \"WINE REGISTRY Version 2\")");

  std::size_t contentEnd = reader.offset();  // after the last line that is not blank
  HiveBlock* block = nullptr;
  std::size_t spanStart = 0;
  std::vector<std::uint64_t> names;  // hashes of the value names of the current span
  std::vector<HiveBlock*> merged;    // blocks that must be decoded before use
  KeyPathSteps keys;
  std::u16string scratch;
  HiveValue checked;

  auto closeSpan = [&]() {
    if (!block) return;
    std::string_view span = text.substr(spanStart, contentEnd - spanStart);
    if (block->span.data() == nullptr) {
      block->span = span;
    } else {
      block->laterSpans.push_back(span);
    }
    // Two values of the same name (or of the same hash) merge: decoded at once.
    if (HasRepeats(&names)) merged.push_back(block);
    names.clear();
  };

  for (std::size_t lineStart = reader.offset(); reader.Next(&raw); lineStart = reader.offset()) {
    std::string_view content = Content(raw);
    std::size_t start = SkipSpaces(content, 0);
    char first = start < content.size() ? content[start] : '\0';
    std::string_view line = content;
    line.remove_prefix(start);
    int lineNumber = reader.line();
    switch (first) {
      case '[': {
        if (keys.Read(line.substr(1)) == std::string_view::npos)
          return fail(lineNumber, "malformed key name");
        closeSpan();
        std::string_view lead = text.substr(contentEnd, lineStart - contentEnd);
        if (!block) header_.assign(text.substr(0, contentEnd));
        std::size_t same = keys.Same();
        HiveNode* node = same ? keys.Node(same - 1) : &root_;
        for (std::size_t k = same; k < keys.NameCount(); ++k) {
          node = ChildOrNew(node, keys.Name(k));
          keys.Add(node);
        }
        keys.Keep();
        contentEnd = reader.offset();
        spanStart = contentEnd;
        if (node->block) {
          // The same key a second time: its lines join the first block, as Wine
          // merges them.
          block = node->block;
          if (block->laterSpans.empty()) merged.push_back(block);
          break;
        }
        HiveBlock* fresh = blockPool_.New();
        fresh->lead = lead;
        fresh->keyLine = raw;
        fresh->node = node;
        fresh->decoded = false;
        node->block = fresh;
        block = fresh;
        blocks_.push_back(fresh);
        break;
      }
      case '@':
      case '"': {
        if (!block) return fail(lineNumber, "value outside of any key");
        std::uint64_t hash = 0;
        if (!PlainValue(line, &reader, &scratch, &hash)) {
          std::string valueText(raw);
          std::string message;
          if (!ParseValue(line, &reader, &checked, &valueText, &message)) return fail(lineNumber, message);
          hash = FoldedNameHash()(checked.name);
        }
        names.push_back(hash);
        contentEnd = reader.offset();
        break;
      }
      case '#':
      case ';':
        contentEnd = reader.offset();
        break;
      case '\0':
        break;
      default:
        return fail(lineNumber, "unrecognised line");
    }
  }
  if (!block) {
    header_.assign(text);
  } else {
    closeSpan();
    trailer_.assign(text.substr(contentEnd));
  }
  for (HiveBlock* b : merged) Decode(b);
  return true;
}

void Hive::Decode(HiveBlock* block) const {
  if (block->decoded) return;
  block->decoded = true;
  std::unordered_map<std::u16string, std::size_t> valuesOfBlock;  // folded name -> item
  std::vector<std::string_view> spans{block->span};
  spans.insert(spans.end(), block->laterSpans.begin(), block->laterSpans.end());
  for (std::string_view span : spans) {
    LineReader reader(span);
    std::string_view raw;
    std::string pending;  // blank lines not yet given to an item
    auto flushPending = [&]() {
      if (pending.empty()) return;
      block->items.push_back(HiveItem{HiveItem::kOther, pending, {}});
      pending.clear();
    };
    while (reader.Next(&raw)) {
      std::string_view content = Content(raw);
      std::size_t start = SkipSpaces(content, 0);
      char first = start < content.size() ? content[start] : '\0';
      std::string_view line = content.substr(start);
      if (first == '\0') {
        pending.append(raw);
        continue;
      }
      flushPending();
      if (first != '@' && first != '"') {
        bool time = line.substr(0, 6) == "#time=";
        block->items.push_back(HiveItem{time ? HiveItem::kTime : HiveItem::kOther, std::string(raw), {}});
        continue;
      }
      HiveItem item;
      item.kind = HiveItem::kValue;
      std::string valueText(raw);
      std::string message;
      if (!ParseValue(line, &reader, &item.value, &valueText, &message)) {
        // Parse accepted this line, so this does not happen; the text stays as it was.
        block->items.push_back(HiveItem{HiveItem::kOther, std::move(valueText), {}});
        continue;
      }
      std::u16string folded = FoldName(item.value.name);
      auto known = valuesOfBlock.find(folded);
      if (known != valuesOfBlock.end()) {
        // A value named twice: the later data wins, under the first spelling.
        HiveValue& earlier = block->items[known->second].value;
        earlier.type = item.value.type;
        earlier.data = std::move(item.value.data);
        earlier.text.clear();
        continue;
      }
      item.value.text = std::move(valueText);
      valuesOfBlock.emplace(std::move(folded), block->items.size());
      block->items.push_back(std::move(item));
    }
    flushPending();
  }
  block->span = {};
  block->laterSpans.clear();
}

std::string Hive::Serialize() const {
  std::string out;
  std::size_t estimate = header_.size() + trailer_.size();
  for (const auto& block : blocks_) {
    estimate += block->lead.size() + block->keyLine.size() + 64 * block->items.size();
    estimate += block->span.size();
    for (std::string_view span : block->laterSpans) estimate += span.size();
  }
  out.reserve(estimate);
  // A file read without a newline at its end has a last line without one: what
  // follows it now must start a line of its own, or the two would run together.
  auto append = [&out](std::string_view piece) {
    if (!piece.empty() && !out.empty() && out.back() != '\n') out += '\n';
    out += piece;
  };
  append(header_);
  for (const auto& block : blocks_) {
    append(block->lead);
    if (!block->decoded) {
      append(block->keyLine);
      append(block->span);  // an undecoded block has no later spans
      continue;
    }
    bool fresh = block->touched || block->keyLine.empty();
    append(fresh ? KeyLine(block->node, block->modified) : block->keyLine);
    bool hasTime = false;
    for (const HiveItem& item : block->items) hasTime |= item.kind == HiveItem::kTime;
    if (fresh && !hasTime) append(TimeLine(block->modified));
    for (const HiveItem& item : block->items) {
      switch (item.kind) {
        case HiveItem::kValue:
          append(item.value.text.empty() ? FormatValue(item.value) : item.value.text);
          break;
        case HiveItem::kTime:
          append(fresh ? TimeLine(block->modified) : item.text);
          break;
        case HiveItem::kOther:
          append(item.text);
          break;
      }
    }
  }
  append(trailer_);
  return out;
}

HiveNode* Hive::Find(const std::vector<std::u16string>& path) {
  HiveNode* node = &root_;
  for (const std::u16string& part : path) {
    node = node->Child(part);
    if (!node) return nullptr;
  }
  return node;
}

HiveNode* Hive::Create(const std::vector<std::u16string>& path) {
  HiveNode* node = &root_;
  bool created = false;
  for (const std::u16string& part : path) {
    HiveNode* child = node->Child(part);
    if (!child) {
      child = AddChild(node, part, true, FoldedNameHash()(part));
      created = true;
    }
    node = child;
  }
  // A new key is written as a block of its own; its new parents are implied.
  if (created) EnsureBlock(node);
  return node;
}

std::vector<std::u16string> Hive::PathOf(const HiveNode* node) {
  std::vector<std::u16string> path;
  for (; node && node->parent; node = node->parent) path.push_back(node->name);
  std::reverse(path.begin(), path.end());
  return path;
}

std::vector<const HiveValue*> Hive::Values(const HiveNode* node) const {
  std::vector<const HiveValue*> values;
  if (!node || !node->block) return values;
  Decode(node->block);
  for (const HiveItem& item : node->block->items) {
    if (item.kind == HiveItem::kValue) values.push_back(&item.value);
  }
  return values;
}

const HiveValue* Hive::ValueAt(const HiveNode* node, std::size_t index) const {
  if (!node || !node->block) return nullptr;
  HiveBlock* block = node->block;
  Decode(block);
  if (!block->positionsKnown) {
    block->valuePositions.clear();
    for (std::size_t k = 0; k < block->items.size(); ++k) {
      if (block->items[k].kind == HiveItem::kValue) block->valuePositions.push_back(k);
    }
    block->positionsKnown = true;
  }
  if (index >= block->valuePositions.size()) return nullptr;
  return &block->items[block->valuePositions[index]].value;
}

const HiveValue* Hive::FindValue(const HiveNode* node, std::u16string_view name) const {
  if (!node || !node->block) return nullptr;
  Decode(node->block);
  for (const HiveItem& item : node->block->items) {
    if (item.kind == HiveItem::kValue && SameName(item.value.name, name)) return &item.value;
  }
  return nullptr;
}

void Hive::SetValue(HiveNode* node, const std::u16string& name, std::uint32_t type, std::string data) {
  HiveBlock* block = EnsureBlock(node);
  Decode(block);
  std::vector<HiveItem>& items = block->items;
  for (HiveItem& item : items) {
    if (item.kind == HiveItem::kValue && SameName(item.value.name, name)) {
      item.value.type = type;
      item.value.data = std::move(data);
      item.value.text.clear();
      Touch(block);
      return;
    }
  }
  // A new value goes where Wine's sorted order puts it.
  std::size_t at = items.size();
  std::size_t afterLastValue = items.size();
  bool anyValue = false;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (items[k].kind != HiveItem::kValue) continue;
    if (CompareNames(items[k].value.name, name) > 0) {
      at = k;
      break;
    }
    anyValue = true;
    afterLastValue = k + 1;
  }
  if (at == items.size() && anyValue) at = afterLastValue;
  HiveItem item;
  item.kind = HiveItem::kValue;
  item.value.name = name;
  item.value.type = type;
  item.value.data = std::move(data);
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
  block->positionsKnown = false;
  Touch(block);
}

bool Hive::DeleteValue(HiveNode* node, std::u16string_view name) {
  if (!node || !node->block) return false;
  Decode(node->block);
  std::vector<HiveItem>& items = node->block->items;
  for (auto it = items.begin(); it != items.end(); ++it) {
    if (it->kind == HiveItem::kValue && SameName(it->value.name, name)) {
      items.erase(it);
      node->block->positionsKnown = false;
      Touch(node->block);
      return true;
    }
  }
  return false;
}

void Hive::DeleteKey(HiveNode* node) {
  if (!node || node == &root_) return;
  std::unordered_set<const HiveBlock*> doomed;
  std::vector<const HiveNode*> stack{node};
  while (!stack.empty()) {
    const HiveNode* current = stack.back();
    stack.pop_back();
    if (current->block) doomed.insert(current->block);
    for (HiveNode* child : current->children) stack.push_back(child);
  }
  std::erase_if(blocks_, [&](HiveBlock* block) { return doomed.count(block) != 0; });

  HiveNode* parent = node->parent;
  std::erase_if(parent->children, [&](HiveNode* child) { return child == node; });
  parent->index.Clear();
  if (parent->children.size() > kIndexedChildren) {
    for (HiveNode* each : parent->children) parent->index.Add(each, FoldedNameHash()(each->name));
  }
  // A parent that only its subkeys implied keeps existing as a key of its own.
  if (parent != &root_ && !parent->block && parent->children.empty()) EnsureBlock(parent);
}

HiveNode* Hive::ChildOrNew(HiveNode* parent, std::u16string_view name) {
  if (parent->index.Empty()) {
    HiveNode* child = parent->Child(name);
    return child ? child : AddChild(parent, name, false, 0);
  }
  // One hash serves the search and the index.
  std::size_t hash = FoldedNameHash()(name);
  HiveNode* child = parent->index.Find(name, hash);
  return child ? child : AddChild(parent, name, false, hash);
}

HiveNode* Hive::AddChild(HiveNode* parent, std::u16string_view name, bool sorted, std::size_t hash) {
  HiveNode* raw = nodes_.New();
  raw->name = name;
  raw->parent = parent;
  auto at = parent->children.end();
  if (sorted) {
    at = std::find_if(parent->children.begin(), parent->children.end(),
                      [&](const HiveNode* other) { return CompareNames(other->name, name) > 0; });
  }
  parent->children.insert(at, raw);
  if (!parent->index.Empty()) {
    parent->index.Add(raw, hash);
  } else if (parent->children.size() > kIndexedChildren) {
    for (HiveNode* each : parent->children) parent->index.Add(each, FoldedNameHash()(each->name));
  }
  return raw;
}

HiveBlock* Hive::EnsureBlock(HiveNode* node) {
  if (node->block) return node->block;
  HiveBlock* block = blockPool_.New();
  block->lead = "\n";
  block->node = node;
  block->touched = true;
  block->modified = NowFileTime();
  // Wine writes a parent before its subkeys and siblings in sorted order.
  std::vector<const HiveNode*> chain, other;
  ChainOf(node, &chain);
  auto at = std::find_if(blocks_.begin(), blocks_.end(), [&](const HiveBlock* existing) {
    ChainOf(existing->node, &other);
    return CompareChains(other, chain) > 0;
  });
  node->block = block;
  blocks_.insert(at, block);
  return block;
}

void Hive::Touch(HiveBlock* block) {
  block->touched = true;
  block->modified = NowFileTime();
}

}  // namespace platform::posix
