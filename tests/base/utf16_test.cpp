#include "base/utf16.h"

#include <gtest/gtest.h>

namespace {

using namespace velmora;

TEST(TextEncodingTest, Utf8AndUtf16RoundTripEveryPlane) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  std::u16string units = Utf16FromUtf8(text);
  EXPECT_EQ(units, (std::u16string{u'A', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf8FromUtf16(units), text);
  EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8(std::string("a\0b", 3))), std::string("a\0b", 3));
}

TEST(TextEncodingTest, MalformedInputIsKeptRatherThanDropped) {
  // Stray bytes, truncated and overlong sequences and encoded surrogates are
  // each taken byte by byte as Latin-1.
  EXPECT_EQ(Utf16FromUtf8("\xFF"
                          "a"),
            (std::u16string{0xFF, u'a'}));
  EXPECT_EQ(Utf16FromUtf8("\xC3"), std::u16string{0xC3});
  EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), (std::u16string{0xC0, 0xAF}));
  EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), (std::u16string{0xED, 0xA0, 0x80}));
  EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80").size(), 4u);  // past U+10FFFF

  EXPECT_EQ(Utf8FromUtf16(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf8FromUtf16(std::u16string{0xDC00}), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromUtf16(std::u16string{0xDE00, 0xD83D}),
            "\xEF\xBF\xBD\xEF\xBF\xBD");  // pair in the wrong order

  // ValidUtf8 gives the text those units stand for.
  EXPECT_EQ(ValidUtf8("\xAE"
                      "a\xE2\x82\xAC"),
            "\xC2\xAE"
            "a\xE2\x82\xAC");
  EXPECT_EQ(ValidUtf8("plain \xF0\x9F\x98\x80"), "plain \xF0\x9F\x98\x80");
  EXPECT_EQ(ValidUtf8(ValidUtf8("\xC0\xAF")), ValidUtf8("\xC0\xAF"));
  // A stray byte after a long ASCII run, taken over as well as copied.
  EXPECT_EQ(ValidUtf8(std::string("sixteen letters!\xAE")), "sixteen letters!\xC2\xAE");
  const std::string stray = "sixteen letters!\xAE";
  EXPECT_EQ(ValidUtf8(stray), "sixteen letters!\xC2\xAE");
}

TEST(TextEncodingTest, LittleEndianUnitsNeedNoAlignment) {
  const std::uint8_t bytes[] = {0, 0x41, 0x00, 0xAC, 0x20};
  EXPECT_EQ(Utf16FromLittleEndian(bytes + 1, 2), (std::u16string{u'A', 0x20AC}));
  EXPECT_TRUE(Utf16FromLittleEndian(bytes, 0).empty());
  // Straight to UTF-8, a high surrogate with nothing after it included.
  const std::uint8_t units[] = {0, 0x41, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8};
  EXPECT_EQ(Utf8FromLittleEndian(units + 1, 5), "A\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromLittleEndian(units + 1, 1), "A");
}

TEST(TextEncodingTest, Windows1252IncludingItsHoles) {
  EXPECT_EQ(Utf8FromWindows1252("\x80\x9F\xE9"
                                "a"),
            "\xE2\x82\xAC\xC5\xB8\xC3\xA9"
            "a");                                                  // € Ÿ é a
  EXPECT_EQ(Utf8FromWindows1252("\x81\x8D"), "\xC2\x81\xC2\x8D");  // holes become the C1 controls
}

}  // namespace
