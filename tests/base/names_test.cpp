#include "base/names.h"

#include <gtest/gtest.h>

namespace {

using velmora::NameKey;
using velmora::SameName;

// Pairs that Wine 8's registry takes as one name, or as two (each checked with
// Wine's reg tool: a value written under one name, looked up by the other).
TEST(NamesTest, NamesCompareAsWineComparesThem) {
  EXPECT_TRUE(SameName("Ünïcödé", "üNÏCÖDÉ"));
  EXPECT_TRUE(SameName("Привет", "пРИВЕТ"));
  EXPECT_TRUE(SameName("ÿ", "Ÿ"));
  EXPECT_TRUE(SameName("ᾀ", "ᾈ"));
  EXPECT_TRUE(SameName("ⓐ", "Ⓐ"));
  EXPECT_TRUE(SameName("ａ", "Ａ"));
  EXPECT_FALSE(SameName("ı", "I"));
  EXPECT_FALSE(SameName("ſ", "S"));
  EXPECT_FALSE(SameName("ǅ", "Ǆ"));
  EXPECT_FALSE(SameName("ß", "ẞ"));
  EXPECT_FALSE(SameName("𐐨", "𐐀"));  // outside the BMP
  // ASCII names keep their lower-cased form, so keys and their order stay.
  EXPECT_EQ(NameKey("LMRUN Foo_Bar"), "lmrun foo_bar");
  EXPECT_EQ(NameKey("Café"), NameKey("CAFÉ"));
}

}  // namespace
