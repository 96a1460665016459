#include "tools/velmora-cli/json_writer.h"

#include <cstdio>

namespace velmora::cli {

namespace {

// Length of the valid UTF-8 sequence at |i|, 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (c >= 0xF5 || length == 0 || i + length > s.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char buffer[8];
    switch (c) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (std::size_t length = Utf8SequenceLength(text, i)) {
      out.append(text, i, length);
      i += length - 1;
    } else {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    }
  }
  out += "\"";
  return out;
}

}  // namespace velmora::cli
