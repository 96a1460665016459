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

void AppendJsonString(std::string* out, const std::string& text) {
  out->push_back('"');
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A run of printable ASCII without quote or backslash goes as it is.
    std::size_t plain = i;
    while (plain < text.size()) {
      unsigned char c = static_cast<unsigned char>(text[plain]);
      if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') break;
      ++plain;
    }
    if (plain > i) {
      out->append(text, i, plain - i);
      i = plain;
      if (i == text.size()) break;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    char buffer[8];
    switch (c) {
      case '"':
        *out += "\\\"";
        continue;
      case '\\':
        *out += "\\\\";
        continue;
      case '\n':
        *out += "\\n";
        continue;
      case '\r':
        *out += "\\r";
        continue;
      case '\t':
        *out += "\\t";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      *out += buffer;
    } else if (std::size_t length = Utf8SequenceLength(text, i)) {
      out->append(text, i, length);
      i += length - 1;
    } else {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      *out += buffer;
    }
  }
  out->push_back('"');
}

std::string JsonString(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendJsonString(&out, text);
  return out;
}

}  // namespace velmora::cli
