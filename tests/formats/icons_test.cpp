#include "formats/icons.h"

#include <gtest/gtest.h>

#include <memory>

#include "formats/byte_source.h"
#include "tests/support/icon_writer.h"
#include "tests/support/pe_builder.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

using IconHandle = std::shared_ptr<formats::IconBitmap>;

std::string Fixture(const std::string& name) { return test::ReadFile(test::FixturePath(name)); }

// Icon number |index| of the file whose bytes are |bytes|; null when it has none.
IconHandle Extract(const std::string& bytes, int index) {
  auto icon = std::make_shared<formats::IconBitmap>();
  formats::MemoryBytes file(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (formats::FindIcon(file, index, icon.get()) != formats::IconSearch::kFound) return nullptr;
  return icon;
}

// The pixels a decoder must give for a picture stored in a DIB of |bitCount|:
// without an alpha channel only "transparent or not" survives, through the mask.
std::vector<std::uint32_t> Expected(const std::vector<std::uint32_t>& picture, int bitCount) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t p : picture) {
    std::uint32_t alpha = p >> 24;
    if (bitCount < 32) alpha = alpha ? 0xFF : 0;
    out.push_back((alpha << 24) | (p & 0xFFFFFF));
  }
  return out;
}

TEST(IconsTest, DecodesDibsOfEveryDepth) {
  struct Case {
    int size, bitCount, colors;
  } cases[] = {{16, 1, 2},  {32, 1, 2},   {16, 4, 16},  {20, 4, 16},  {16, 8, 16},
               {33, 8, 12}, {16, 24, 16}, {17, 24, 16}, {16, 32, 16}, {48, 32, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << "px " << c.bitCount << "bpp");
    std::vector<std::uint32_t> picture = test::Pattern(c.size, c.size, c.colors, c.size, c.bitCount == 32);
    std::string dib = test::DibImage(c.size, c.size, c.bitCount, picture);
    formats::IconBitmap image;
    ASSERT_TRUE(
        formats::DecodeIconImage(reinterpret_cast<const std::uint8_t*>(dib.data()), dib.size(), &image));
    EXPECT_EQ(image.width, c.size);
    EXPECT_EQ(image.height, c.size);
    EXPECT_TRUE(image.png.empty());
    EXPECT_EQ(image.pixels, Expected(picture, c.bitCount));
  }
}

TEST(IconsTest, ThirtyTwoBitImagesWithoutAlphaUseTheMask) {
  std::vector<std::uint32_t> picture = test::Pattern(16, 16, 16, 1, false);
  std::string dib = test::DibImage(16, 16, 32, picture);
  // Clear the alpha bytes of the XOR bitmap; the AND mask still marks transparency.
  for (std::size_t i = 40 + 3; i < 40 + 16 * 16 * 4; i += 4) dib[i] = 0;
  formats::IconBitmap image;
  ASSERT_TRUE(
      formats::DecodeIconImage(reinterpret_cast<const std::uint8_t*>(dib.data()), dib.size(), &image));
  EXPECT_EQ(image.pixels, Expected(picture, 24));

  // Without the mask at all, every pixel is opaque.
  std::string noMask = test::DibImage(16, 16, 24, picture).substr(0, 40 + 16 * 16 * 3);
  ASSERT_TRUE(
      formats::DecodeIconImage(reinterpret_cast<const std::uint8_t*>(noMask.data()), noMask.size(), &image));
  for (std::uint32_t p : image.pixels) EXPECT_EQ(p >> 24, 0xFFu);
}

TEST(IconsTest, RejectsDataItCannotDecode) {
  std::string dib = test::DibImage(16, 16, 8, test::Pattern(16, 16, 16, 2, false));
  formats::IconBitmap image;
  auto decode = [&](const std::string& bytes) {
    return formats::DecodeIconImage(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                                    &image);
  };
  std::size_t bitsEnd = 40 + 256 * 4 + 16 * 16;
  for (std::size_t cut = 0; cut < bitsEnd; ++cut) EXPECT_FALSE(decode(dib.substr(0, cut))) << cut;
  auto with = [&](std::size_t at, std::uint32_t value, int bytes) {
    std::string copy = dib;
    test::PatchLe(&copy, at, value, bytes);
    return copy;
  };
  EXPECT_FALSE(decode(with(4, 100000, 4)));      // absurd width
  EXPECT_FALSE(decode(with(4, 0xFFFFFFF0, 4)));  // negative width
  EXPECT_FALSE(decode(with(8, 0x7FFFFFFF, 4)));  // absurd height
  EXPECT_FALSE(decode(with(14, 16, 2)));         // 16 bits per pixel
  EXPECT_FALSE(decode(with(16, 1, 4)));          // RLE compression
  EXPECT_FALSE(decode(with(0, 0x7FFFFFFF, 4)));  // header size beyond the data
  EXPECT_FALSE(decode(std::string("\x89PNG\r\n\x1a\n", 8)));
  EXPECT_FALSE(formats::DecodeIconImage(nullptr, 0, &image));
}

TEST(IconsTest, ChoosesTheImageFor16x16Lists) {
  auto pick = [&](const std::string& name, const std::vector<test::IcoEntry>& entries) {
    return Extract(test::IcoFile(entries), 0);
  };
  // The fixture: 32 x 32 8-bit, 16 x 16 8-bit, 16 x 16 32-bit, 48 x 48 PNG.
  IconHandle app = Extract(Fixture("app.ico"), 0);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->width, 16);
  EXPECT_EQ(app->pixels, Expected(test::Pattern(16, 16, 16, 3, true), 32));

  IconHandle dibOverPng = pick("both.ico", {test::Png(16, 1), test::Dib(16, 32, 16, 2)});
  ASSERT_NE(dibOverPng, nullptr);
  EXPECT_TRUE(dibOverPng->png.empty());
  EXPECT_EQ(dibOverPng->pixels, Expected(test::Pattern(16, 16, 16, 2, true), 32));

  IconHandle smallestLarger =
      pick("larger.ico", {test::Dib(48, 8, 16, 1), test::Dib(20, 4, 16, 2), test::Dib(24, 8, 16, 3)});
  ASSERT_NE(smallestLarger, nullptr);
  EXPECT_EQ(smallestLarger->width, 20);

  IconHandle largestSmaller = pick("small.ico", {test::Dib(8, 4, 16, 1), test::Dib(12, 24, 16, 2)});
  ASSERT_NE(largestSmaller, nullptr);
  EXPECT_EQ(largestSmaller->width, 12);

  // An image that does not decode gives way to the next best.
  test::IcoEntry broken{16, 16, 32, std::string(200, 'x')};
  IconHandle fallback = pick("broken.ico", {broken, test::Dib(32, 8, 16, 4)});
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback->width, 32);

  IconHandle png = Extract(Fixture("png_only.ico"), 0);
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->width, 16);
  EXPECT_TRUE(png->pixels.empty());
  EXPECT_EQ(png->png, test::PngImage(16, 16, test::Pattern(16, 16, 16, 7, true)));

  EXPECT_EQ(pick("nothing.ico", {broken}), nullptr);
  EXPECT_EQ(Extract(Fixture("app.ico"), 1), nullptr);  // an icon file holds one icon
}

TEST(IconsTest, IconsOfExecutablesByNumberAndById) {
  std::string exe = Fixture("version_app.exe");
  // Named groups come first (ZAPP = app.ico), then IDs ascending: 3 (png_only.ico), 7 (mono.ico).
  IconHandle first = Extract(exe, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->pixels, Expected(test::Pattern(16, 16, 16, 3, true), 32));
  IconHandle second = Extract(exe, 1);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(second->png.empty());
  IconHandle third = Extract(exe, 2);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->width, 32);  // no 16 x 16 image: the 1-bit 32 x 32 one
  EXPECT_EQ(third->pixels, Expected(test::Pattern(32, 32, 2, 6, false), 1));
  EXPECT_EQ(Extract(exe, 3), nullptr);

  IconHandle byId = Extract(exe, -7);
  ASSERT_NE(byId, nullptr);
  EXPECT_EQ(byId->pixels, third->pixels);
  EXPECT_NE(Extract(exe, -3), nullptr);
  EXPECT_EQ(Extract(exe, -5), nullptr);

  // A 32-bit image made by hand: same rules.
  std::vector<test::TestResource> resources =
      test::IconResources(2, u"", {test::Dib(32, 4, 16, 1), test::Dib(16, 24, 16, 2)}, 1);
  IconHandle pe32 = Extract(test::BuildPe(false, resources), 0);
  ASSERT_NE(pe32, nullptr);
  EXPECT_EQ(pe32->pixels, Expected(test::Pattern(16, 16, 16, 2, false), 24));
}

}  // namespace
}  // namespace velmora
