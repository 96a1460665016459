// The text rules of INI files on their own: folding and hashing of names.
#include "formats/ini_text.h"

#include <gtest/gtest.h>

#include <string>

namespace formats::ini_text {
namespace {

// The folded hash works on eight bytes at once: every pair of bytes, at every
// place of a word and in the tail, must hash and compare alike exactly when the
// two fold to the same letter.
TEST(IniTextFolding, BytesHashAlikeExactlyWhenTheyFoldAlike) {
  for (std::size_t place : {0u, 3u, 7u, 8u, 10u}) {
    std::string a = "Mixed.Case.Name";
    std::string b = a;
    for (int x = 0; x < 256; ++x) {
      a[place] = static_cast<char>(x);
      for (int y = 0; y < 256; ++y) {
        b[place] = static_cast<char>(y);
        const bool alike = Fold(a[place]) == Fold(b[place]);
        ASSERT_EQ(EqualFolded(a, b), alike) << place << " " << x << " " << y;
        if (alike) {
          ASSERT_EQ(FoldedHash(5, a), FoldedHash(5, b)) << place << " " << x << " " << y;
        }
      }
    }
  }
  EXPECT_NE(FoldedHash(0, "ab"), FoldedHash(0, std::string("ab\0", 3))) << "the length counts";
}

}  // namespace
}  // namespace formats::ini_text
