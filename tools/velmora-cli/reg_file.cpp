#include "tools/velmora-cli/reg_file.h"

#include <cstdio>

#include "base/text.h"
#include "base/utf16.h"
#include "platform/registry.h"

namespace velmora::cli {

namespace {

// Windows-1252 bytes 0x80-0x9F and the characters they stand for (0 = unused).
constexpr char32_t kHighControls[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                        0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool NextCodePoint(const std::string& text, std::size_t* i, char32_t* code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(*i);
  int length = lead < 0x80           ? 1
               : (lead >> 5) == 0x6  ? 2
               : (lead >> 4) == 0xE  ? 3
               : (lead >> 3) == 0x1E ? 4
                                     : 0;
  if (length == 0 || *i + length > text.size()) return false;
  char32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    if ((byte(*i + k) & 0xC0) != 0x80) return false;
    value = (value << 6) | (byte(*i + k) & 0x3F);
  }
  *i += length;
  *code = value;
  return true;
}

// The text of string data: up to its first zero.
std::string StringText(const std::string& data) { return data.substr(0, data.find('\0')); }

bool HasControl(const std::string& ansi) {
  for (unsigned char c : ansi) {
    if (c < 0x20 && c != '\t') return true;
  }
  return false;
}

std::string Quoted(const std::string& ansi) {
  std::string out = "\"";
  for (char c : ansi) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// How the file holds text: REGEDIT4 in the ANSI code page, or "Windows Registry
// Editor Version 5.00" in UTF-16 (built here as UTF-8, turned into UTF-16 whole).
enum class Form { kAnsi, kUnicode };

// |utf8| as the file's text holds it; false when it cannot.
bool InForm(const std::string& utf8, Form form, std::string* out) {
  if (form == Form::kAnsi) return Utf8ToWindows1252(utf8, out);
  char32_t code = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    if (!NextCodePoint(utf8, &i, &code)) return false;
  }
  *out = utf8;
  return true;
}

// The bytes of string data as the registry holds them in that form, with the
// terminating zero: ANSI bytes, or UTF-16 LE.
bool DataBytes(const std::string& utf8, Form form, std::string* out) {
  std::string text;
  if (!InForm(utf8, form, &text)) return false;
  if (form == Form::kAnsi) {
    *out = text + std::string(1, '\0');
    return true;
  }
  out->clear();
  for (char16_t unit : Utf16FromUtf8(text) + u'\0') {
    *out += static_cast<char>(unit & 0xFF);
    *out += static_cast<char>(unit >> 8);
  }
  return true;
}

// The data part of a value line ("=..." without the "="); false when it cannot be written.
bool DataText(const RegFileValue& value, Form form, std::string* out) {
  switch (value.type) {
    case platform::kRegSz: {
      std::string text, bytes;
      if (!InForm(StringText(value.data), form, &text)) return false;
      if (!HasControl(text)) {
        *out = Quoted(text);
        return true;
      }
      // A line break cannot stand between quotes: the text goes as its bytes.
      if (form == Form::kAnsi || !DataBytes(StringText(value.data), form, &bytes)) return false;
      *out = "hex(1):" + HexByteList(bytes);
      return true;
    }
    case platform::kRegExpandSz: {
      std::string bytes;
      if (!DataBytes(StringText(value.data), form, &bytes)) return false;
      *out = "hex(2):" + HexByteList(bytes);
      return true;
    }
    case platform::kRegMultiSz: {
      std::string bytes;
      std::size_t start = 0;
      while (start < value.data.size()) {
        std::size_t zero = value.data.find('\0', start);
        std::string item =
            value.data.substr(start, zero == std::string::npos ? std::string::npos : zero - start);
        if (item.empty()) break;
        std::string itemBytes;
        if (!DataBytes(item, form, &itemBytes)) return false;
        bytes += itemBytes;
        if (zero == std::string::npos) break;
        start = zero + 1;
      }
      std::string end;
      DataBytes("", form, &end);
      *out = "hex(7):" + HexByteList(bytes + end);
      return true;
    }
    case platform::kRegDword:
      if (value.data.size() == 4) {
        const auto b = [&](int k) {
          return static_cast<std::uint32_t>(static_cast<unsigned char>(value.data[k]));
        };
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
        *out = buffer;
        return true;
      }
      [[fallthrough]];
    default:
      // regedit reads the type number in hex: hex(b) is a REG_QWORD.
      if (value.type == platform::kRegBinary) {
        *out = "hex:" + HexByteList(value.data);
      } else {
        char type[16];
        std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
        *out = type + HexByteList(value.data);
      }
      return true;
  }
}

// The file in |form|; false with |error| naming what that form cannot hold.
bool TextInForm(const std::vector<RegFileKey>& keys, Form form, std::string* text, std::string* error) {
  std::string out = form == Form::kAnsi ? "REGEDIT4\r\n" : "Windows Registry Editor Version 5.00\r\n";
  for (const RegFileKey& key : keys) {
    std::string path;
    if (!InForm(key.path, form, &path) || HasControl(path)) {
      *error = "the key " + key.path + " cannot be written in a registry file";
      return false;
    }
    out += "\r\n[" + path + "]\r\n";
    for (const std::string& comment : key.comments) {
      std::string line;
      // A comment is only information: what cannot be written is replaced.
      if (!InForm(comment, form, &line)) line = "(an entry whose name is not valid text)";
      for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
      }
      out += "; " + line + "\r\n";
    }
    for (const RegFileValue& value : key.values) {
      std::string name, data;
      if (!InForm(value.name, form, &name) || HasControl(name) || !DataText(value, form, &data)) {
        *error = "the value \"" + value.name + "\" of " + key.path +
                 " cannot be written in a registry file (a control character in its name, or text that is "
                 "not valid)";
        return false;
      }
      out += (value.name.empty() ? std::string("@") : Quoted(name)) + "=" + data + "\r\n";
    }
  }
  out += "\r\n";
  if (form == Form::kAnsi) {
    *text = std::move(out);
    return true;
  }
  *text = "\xFF\xFE";
  for (char16_t unit : Utf16FromUtf8(out)) {
    *text += static_cast<char>(unit & 0xFF);
    *text += static_cast<char>(unit >> 8);
  }
  return true;
}

}  // namespace

bool Utf8ToWindows1252(const std::string& utf8, std::string* ansi) {
  ansi->clear();
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t code = 0;
    if (!NextCodePoint(utf8, &i, &code)) return false;
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      *ansi += static_cast<char>(code);
      continue;
    }
    bool found = false;
    for (int k = 0; k < 32 && !found; ++k) {
      if (kHighControls[k] == code && code != 0) {
        *ansi += static_cast<char>(0x80 + k);
        found = true;
      }
    }
    if (!found) return false;
  }
  return true;
}

bool RegFileText(const std::vector<RegFileKey>& keys, std::string* text, std::string* error) {
  std::string ansiError;
  return TextInForm(keys, Form::kAnsi, text, &ansiError) || TextInForm(keys, Form::kUnicode, text, error);
}

}  // namespace velmora::cli
