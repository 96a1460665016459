// Truncated and damaged PE and icon files: every reader gives a defined answer.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/byte_source.h"
#include "formats/icons.h"
#include "formats/version_resource.h"
#include "tests/support/icon_writer.h"
#include "tests/support/pe_builder.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

std::vector<std::uint8_t> Block(const std::string& bytes) {
  return formats::VersionInfoBlock(
      formats::MemoryBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// Whether |bytes| hold icon number |index|, checking the image found.
bool HasIcon(const std::string& bytes, int index) {
  formats::IconBitmap icon;
  formats::MemoryBytes file(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (formats::FindIcon(file, index, &icon) != formats::IconSearch::kFound) return false;
  EXPECT_EQ(icon.pixels.size(), icon.png.empty() ? std::size_t(icon.width) * icon.height : 0u);
  return true;
}

// Runs every reader over the bytes of a file; returns how many of them found something.
int ReadEverything(const std::string& bytes) {
  int found = 0;
  std::vector<std::uint8_t> block = Block(bytes);
  if (!block.empty()) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    for (const char* sub : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\CompanyName",
                            "\\StringFileInfo\\040904b0\\FileVersion"}) {
      if (formats::QueryVersionValue(block, sub, &value, &length)) {
        ++found;
        EXPECT_LE(static_cast<const std::uint8_t*>(value) + length, block.data() + block.size()) << sub;
      }
    }
  }
  for (int index : {0, 1, 2, -7}) {
    if (HasIcon(bytes, index)) ++found;
  }
  return found;
}

// Reads the bytes cut at each of |cuts|.
void ReadCuts(const std::string& bytes, const std::vector<std::size_t>& cuts) {
  for (std::size_t cut : cuts) ReadEverything(bytes.substr(0, cut));
}

TEST(PeDamageTest, TruncatedExecutables) {
  std::string bytes = test::ReadFile(test::FixturePath("version_app.exe"));
  ASSERT_GT(ReadEverything(bytes), 6);
  // Every length through the headers and around the resource section, a sample elsewhere.
  std::uint32_t peOffset =
      static_cast<std::uint8_t>(bytes[0x3C]) | (static_cast<std::uint8_t>(bytes[0x3D]) << 8);
  std::size_t sections = peOffset + 24 +
                         (static_cast<std::uint8_t>(bytes[peOffset + 20]) |
                          (static_cast<std::uint8_t>(bytes[peOffset + 21]) << 8));
  std::size_t rsrcStart = 0, rsrcEnd = 0;
  for (std::size_t at = sections; at + 40 <= bytes.size() && bytes[at] != 0; at += 40) {
    if (bytes.compare(at, 5, ".rsrc") == 0) {
      std::string field = bytes.substr(at + 16, 8);
      auto u32 = [&](std::size_t i) {
        return std::size_t(std::uint8_t(field[i])) | std::size_t(std::uint8_t(field[i + 1])) << 8 |
               std::size_t(std::uint8_t(field[i + 2])) << 16 | std::size_t(std::uint8_t(field[i + 3])) << 24;
      };
      rsrcEnd = u32(4) + u32(0);
      rsrcStart = u32(4);
    }
  }
  ASSERT_GT(rsrcEnd, rsrcStart);
  std::vector<std::size_t> cuts;
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    if (cut < sections + 400 || (cut >= rsrcStart && cut <= rsrcEnd) || cut % 101 == 0) cuts.push_back(cut);
  }
  ReadCuts(bytes, cuts);

  // The same for a whole .ico file.
  std::string ico = test::ReadFile(test::FixturePath("app.ico"));
  cuts.clear();
  for (std::size_t cut = 0; cut < ico.size(); ++cut) cuts.push_back(cut);
  ReadCuts(ico, cuts);
}

TEST(PeDamageTest, RandomDamageToResources) {
  std::vector<test::TestResource> resources = test::IconResources(
      1, u"MAIN", {test::Dib(16, 4, 16, 1), test::Dib(32, 32, 16, 2), test::Png(24, 3)}, 1);
  std::string version = test::ReadFile(test::FixturePath("version_app.exe"));
  std::vector<std::uint8_t> block = Block(version);
  ASSERT_FALSE(block.empty());
  resources.push_back(
      {16, u"", 1, 0x409, std::string(block.begin(), block.begin() + (block[0] | (block[1] << 8)))});
  std::string image = test::BuildPe(true, resources);
  ASSERT_EQ(ReadEverything(image), 5);  // four queries, icon 0

  std::uint32_t state = 2024;
  auto next = [&] { return state = state * 1103515245u + 12345u; };
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = image;
    int changes = 1 + next() % 6;
    for (int i = 0; i < changes; ++i) {
      std::size_t at =
          test::kTestResourceFileOffset + (next() >> 4) % (damaged.size() - test::kTestResourceFileOffset);
      if (next() % 4 == 0) at = (next() >> 4) % test::kTestResourceFileOffset;  // sometimes the headers
      damaged[at] = static_cast<char>(next() % 3 == 0 ? 0xFF : next() >> 16);
    }
    ReadEverything(damaged);
  }
}

TEST(PeDamageTest, HostileStructures) {
  std::vector<test::TestResource> icons = test::IconResources(1, u"", {test::Dib(16, 8, 16, 1)}, 1);
  std::string good = test::BuildPe(false, icons);
  ASSERT_TRUE(HasIcon(good, 0));
  const std::size_t rsrc = test::kTestResourceFileOffset;
  auto with = [&](std::size_t at, std::uint32_t value, int bytes) {
    std::string copy = good;
    test::PatchLe(&copy, at, value, bytes);
    return copy;
  };
  // Root directory: its first entry (RT_ICON) at rsrc+16, second (RT_GROUP_ICON) at rsrc+24.
  EXPECT_FALSE(HasIcon(with(rsrc + 28, 0x80000000u, 4), 0));  // group names = the root itself
  EXPECT_FALSE(HasIcon(with(rsrc + 28, 0x8FFFFFF0u, 4), 0));  // outside the section
  EXPECT_FALSE(HasIcon(with(rsrc + 14, 0xFFFF, 2), 0));       // more entries than bytes
  EXPECT_FALSE(HasIcon(with(rsrc + 24, 0x80001000u, 4), 0));  // a name far away
  EXPECT_FALSE(HasIcon(with(0x3C, 0xFFFFFF00u, 4), 0));       // e_lfanew past the end
  EXPECT_FALSE(HasIcon(with(0x46, 0xFFFF, 2), 0));            // section count
  EXPECT_FALSE(HasIcon(with(0x54, 0, 2), 0));                 // no optional header

  // Data entries: the group directory is the last resource, so its entry is the last one.
  std::string section = test::ResourceSection(icons, test::kTestResourceRva);
  std::size_t groupEntry = section.rfind(std::string("\x00\x00\x01\x00\x01\x00", 6));
  ASSERT_NE(groupEntry, std::string::npos);
  std::size_t iconData = section.find(std::string("\x28\x00\x00\x00\x10\x00\x00\x00", 8));
  ASSERT_NE(iconData, std::string::npos);
  // Find the data entries by the RVAs they hold.
  auto entryOf = [&](std::size_t dataOffset) {
    std::string rva;
    test::PutLe(&rva, test::kTestResourceRva + static_cast<std::uint32_t>(dataOffset), 4);
    return section.find(rva);
  };
  std::size_t groupDataEntry = entryOf(groupEntry);
  std::size_t iconDataEntry = entryOf(iconData);
  ASSERT_NE(groupDataEntry, std::string::npos);
  ASSERT_NE(iconDataEntry, std::string::npos);
  EXPECT_FALSE(HasIcon(with(rsrc + iconDataEntry + 4, 0x7FFFFFFF, 4), 0));  // huge size
  EXPECT_FALSE(HasIcon(with(rsrc + iconDataEntry, 0x00FFFFF0, 4), 0));      // RVA nowhere
  // A count beyond the data: the entries that are there still count.
  EXPECT_TRUE(HasIcon(with(rsrc + groupEntry + 4, 0xFFFF, 2), 0));
  EXPECT_FALSE(HasIcon(with(rsrc + groupEntry + 6 + 12, 99, 2), 0)) << "missing RT_ICON";
  EXPECT_FALSE(HasIcon(with(rsrc + groupEntry + 2, 2, 2), 0)) << "a cursor group";

  // Version trees whose sizes lie.
  std::string fixedRecord(52, '\0');
  test::PatchLe(&fixedRecord, 0, 0xFEEF04BD, 4);
  std::string root;
  test::PutLe(&root, 0, 2);
  test::PutLe(&root, 52, 2);
  test::PutLe(&root, 0, 2);
  for (char16_t c : std::u16string(u"VS_VERSION_INFO")) test::PutLe(&root, c, 2);
  test::PutLe(&root, 0, 4);
  root += fixedRecord;
  for (std::uint32_t length : {0u, 3u, 20u, 0xFFFFu}) {
    std::string tree = root;
    test::PatchLe(&tree, 0, length, 2);
    std::vector<std::uint8_t> block = Block(test::BuildPe(true, {{16, u"", 1, 0x409, tree}}));
    ASSERT_FALSE(block.empty());
    const void* value = nullptr;
    std::uint32_t size = 0;
    bool ok = formats::QueryVersionValue(block, "\\", &value, &size);
    EXPECT_EQ(ok, length == 0xFFFFu) << length;  // the key alone needs 38 bytes
    if (ok) {
      EXPECT_LE(static_cast<const std::uint8_t*>(value) + size, block.data() + block.size());
    }
    EXPECT_FALSE(formats::QueryVersionValue(block, "\\StringFileInfo", &value, &size));
  }
  std::string noZero = root.substr(0, 6) + std::string(40, 'A');
  test::PatchLe(&noZero, 0, static_cast<std::uint32_t>(noZero.size()), 2);
  std::vector<std::uint8_t> block = Block(test::BuildPe(true, {{16, u"", 1, 0x409, noZero}}));
  ASSERT_FALSE(block.empty());
  const void* value = nullptr;
  std::uint32_t size = 0;
  EXPECT_FALSE(formats::QueryVersionValue(block, "\\", &value, &size));
}

}  // namespace
}  // namespace velmora
