#include "base/utf16.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace velmora {

namespace {

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Length of the well-formed UTF-8 sequence at |i| and its code point; 0 when the
// bytes there are not one (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t* code) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    unsigned char next = byte(i + k);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

// The code points of Windows-1252's 0x80-0x9F row; 0 marks its five holes,
// which are taken as the Latin-1 control characters of the same number.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

namespace {

bool IsValidUtf8(const std::string& text) {
  // ASCII, as nearly all text is, eight bytes at a step.
  std::size_t ascii = 0;
  for (std::uint64_t eight; ascii + 8 <= text.size(); ascii += 8) {
    std::memcpy(&eight, text.data() + ascii, sizeof eight);
    if (eight & 0x8080808080808080ull) break;
  }
  for (std::size_t i = ascii; i < text.size();) {
    char32_t code;
    std::size_t length = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : DecodeUtf8(text, i, &code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
  return IsValidUtf8(text) ? text : Utf8FromUtf16(Utf16FromUtf8(text));
}

std::string ValidUtf8(std::string&& text) {
  return IsValidUtf8(text) ? std::move(text) : Utf8FromUtf16(Utf16FromUtf8(text));
}

std::u16string Utf16FromUtf8(std::string_view text) {
  // The ASCII start of the text (nearly always all of it) is widened in one
  // step into room made at once, not unit by unit.
  std::size_t ascii = 0;
  while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  std::u16string out(ascii, u'\0');
  for (std::size_t i = 0; i < ascii; ++i) out[i] = static_cast<unsigned char>(text[i]);
  if (ascii == text.size()) return out;
  out.reserve(text.size());
  for (std::size_t i = ascii; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    char32_t code;
    std::size_t length = DecodeUtf8(text, i, &code);
    if (length == 0) {
      out.push_back(c);  // a stray byte: its Latin-1 character
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 | (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}

namespace {

// UTF-8 of |count| UTF-16 units, unit(i) the i-th: the length is counted first,
// then the bytes are written into a string made at that size.
template <typename Unit>
std::string Utf8FromUnits(std::size_t count, Unit unit) {
  auto pairs = [&](char32_t c, std::size_t i) {
    return c >= 0xD800 && c <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF;
  };
  std::size_t length = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char32_t c = unit(i);
    if (c < 0x80) {
      ++length;
    } else if (c < 0x800) {
      length += 2;
    } else if (pairs(c, i)) {
      length += 4;
      ++i;
    } else {
      length += 3;  // unpaired surrogates as U+FFFD
    }
  }
  std::string out(length, '\0');
  char* to = out.data();
  if (length == count) {  // all ASCII
    for (std::size_t i = 0; i < count; ++i) to[i] = static_cast<char>(unit(i));
    return out;
  }
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = unit(i);
    if (c < 0x80) {
      *to++ = static_cast<char>(c);
      continue;
    }
    if (pairs(c, i)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      *to++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      *to++ = static_cast<char>(0xE0 | (c >> 12));
      *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      *to++ = static_cast<char>(0xF0 | (c >> 18));
      *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *to++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

}  // namespace

std::string Utf8FromUtf16(const std::u16string& text) {
  return Utf8FromUnits(text.size(), [&text](std::size_t i) { return text[i]; });
}

std::string Utf8FromLittleEndian(const std::uint8_t* bytes, std::size_t count) {
  return Utf8FromUnits(count, [bytes](std::size_t i) {
    return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  });
}

std::u16string Utf16FromLittleEndian(const std::uint8_t* bytes, std::size_t count) {
  std::u16string out(count, u'\0');
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return out;
}

std::string Utf8FromWindows1252(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char byte : text) {
    unsigned char c = static_cast<unsigned char>(byte);
    char32_t code = c;
    if (c >= 0x80 && c <= 0x9F && kWindows1252High[c - 0x80] != 0) code = kWindows1252High[c - 0x80];
    AppendUtf8(&out, code);
  }
  return out;
}

}  // namespace velmora
