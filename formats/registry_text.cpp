// Names and escapes of Wine's registry text: the case folding and order of names
// and the escaping of text both ways.
#include "formats/registry_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/names.h"
#include "formats/registry_lexing.h"

namespace formats {

using namespace registry_detail;

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

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

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

}  // namespace

std::size_t UnescapeRegistryText(std::string_view s, char end, std::u16string* text) {
  // Most text is ASCII without escapes up to |end|: one unit per byte, sized exactly.
  const std::size_t plain = FindSpecial(s, 0, end, true);
  if (plain < s.size() && s[plain] == end) {
    text->resize(plain);
    char16_t* to = text->data();
    for (std::size_t p = 0; p < plain; ++p) to[p] = static_cast<unsigned char>(s[p]);
    return plain + 1;
  }
  // No byte gives more than one unit (a four-byte sequence gives two), so the
  // text is sized once and cut to what was written.
  text->resize(s.size());
  char16_t* const begin = text->data();
  char16_t* out = begin;
  std::size_t p = 0;
  for (;;) {
    p = CopyPlainRun(s, p, end, &out);
    if (p == s.size() || s[p] == '\0' || s[p] == end) break;
    if (s[p] != '\\') {
      p = ReadUtf8(s, p, &out);
    } else if (p + 1 < s.size() && s[p + 1] != '\0') {
      p = ReadEscape(s, p, &out);
    } else {
      ++p;  // a backslash with nothing after it
      break;
    }
  }
  text->resize(static_cast<std::size_t>(out - begin));
  char stop = p < s.size() ? s[p] : '\0';
  return stop == end ? p + 1 : std::string_view::npos;
}

std::size_t FoldedNameHash::operator()(std::u16string_view name) const {
  return static_cast<std::size_t>(HashFolded(name.data(), name.size()));
}

}  // namespace formats
