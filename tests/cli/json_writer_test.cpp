// The JSON string writer against a byte-at-a-time reading of the same rules, for
// every byte value at every place of the eight-byte steps the writer takes.
#include "tools/velmora-cli/json_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace velmora::cli {
namespace {

// Plain ASCII as it is; quote, backslash and the named controls escaped; other
// controls and DEL as \u00XX; valid UTF-8 sequences as they are; any other byte
// as its Latin-1 character.
std::string Expected(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    char escaped[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n' || c == '\r' || c == '\t') {
      out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                           : c >= 0xE0 && c <= 0xEF ? 3
                           : c >= 0xF0 && c <= 0xF4 ? 4
                                                    : 0;
      for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = 0;
      }
      if (length) {
        out.append(text, i, length);
        i += length - 1;
        continue;
      }
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    }
  }
  return out + "\"";
}

TEST(JsonString, EscapesEveryByteWhereverItStands) {
  for (std::size_t length = 1; length <= 19; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (int byte = 0; byte < 256; ++byte) {
        std::string text(length, 'a');
        text[at] = static_cast<char>(byte);
        ASSERT_EQ(JsonString(text), Expected(text))
            << "length " << length << ", byte " << byte << " at " << at;
      }
    }
  }
  // Two bytes that are not plain in one step: the first one decides where the
  // plain run ends.
  const unsigned char kEdges[] = {0x00, 0x1F, 0x20, '"', '\\', 0x7E, 0x7F, 0x80, 0xC3, 0xFF};
  for (std::size_t first = 0; first < 16; ++first) {
    for (std::size_t second = first + 1; second < 16; ++second) {
      for (unsigned char a : kEdges) {
        for (unsigned char b : kEdges) {
          std::string text(16, 'z');
          text[first] = static_cast<char>(a);
          text[second] = static_cast<char>(b);
          ASSERT_EQ(JsonString(text), Expected(text))
              << int{a} << " at " << first << ", " << int{b} << " at " << second;
        }
      }
    }
  }
  // Sequences of several bytes across a step, cut short at the end, and next to
  // each other.
  for (const std::string& text :
       {std::string("abcdef\xC3\xA9gh"), std::string("abcdefg\xE2\x82\xAC"), std::string("abcdefgh\xE2\x82"),
        std::string("\xF0\x9F\x98\x80\"\\\x7F\x01")}) {
    EXPECT_EQ(JsonString(text), Expected(text));
  }
  std::string appended = "x";
  AppendJsonString(&appended, "");
  EXPECT_EQ(appended, "x\"\"");
}

}  // namespace
}  // namespace velmora::cli
