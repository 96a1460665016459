#include "tools/velmora-cli/reg_file.h"

#include <cstdio>

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

std::string HexBytes(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i) out += ',';
    out += buffer;
  }
  return out;
}

// The data part of a value line ("=..." without the "="); false when it cannot be written.
bool DataText(const RegFileValue& value, std::string* out) {
  switch (value.type) {
    case platform::kRegSz: {
      std::string ansi;
      if (!Utf8ToWindows1252(StringText(value.data), &ansi) || HasControl(ansi)) return false;
      *out = Quoted(ansi);
      return true;
    }
    case platform::kRegExpandSz: {
      std::string ansi;
      if (!Utf8ToWindows1252(StringText(value.data), &ansi)) return false;
      *out = "hex(2):" + HexBytes(ansi + std::string(1, '\0'));
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
        std::string ansi;
        if (!Utf8ToWindows1252(item, &ansi)) return false;
        bytes += ansi + std::string(1, '\0');
        if (zero == std::string::npos) break;
        start = zero + 1;
      }
      *out = "hex(7):" + HexBytes(bytes + std::string(1, '\0'));
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
      *out = (value.type == platform::kRegBinary ? std::string("hex:")
                                                 : "hex(" + std::to_string(value.type) + "):") +
             HexBytes(value.data);
      return true;
  }
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
  std::string out = "REGEDIT4\r\n";
  for (const RegFileKey& key : keys) {
    std::string path;
    if (!Utf8ToWindows1252(key.path, &path) || HasControl(path)) {
      *error = "the key " + key.path + " cannot be written in a REGEDIT4 file";
      return false;
    }
    out += "\r\n[" + path + "]\r\n";
    for (const std::string& comment : key.comments) {
      std::string ansi;
      // A comment is only information: what cannot be written is replaced.
      if (!Utf8ToWindows1252(comment, &ansi)) ansi = "(an entry whose name the ANSI code page cannot hold)";
      for (char& c : ansi) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
      }
      out += "; " + ansi + "\r\n";
    }
    for (const RegFileValue& value : key.values) {
      std::string name, data;
      if (!Utf8ToWindows1252(value.name, &name) || HasControl(name) || !DataText(value, &data)) {
        *error =
            "the value \"" + value.name + "\" of " + key.path +
            " cannot be written in a REGEDIT4 file (a character outside the ANSI code page, or a control "
            "character)";
        return false;
      }
      out += (value.name.empty() ? std::string("@") : Quoted(name)) + "=" + data + "\r\n";
    }
  }
  *text = out + "\r\n";
  return true;
}

}  // namespace velmora::cli
