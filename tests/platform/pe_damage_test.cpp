// Truncated and damaged PE and icon files: every reader gives a defined answer.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/icons.h"
#include "platform/version_resource.h"
#include "tests/support/icon_writer.h"
#include "tests/support/pe_builder.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace icons = platform::icons;

// Runs every reader over the file; returns how many of them found something.
int ReadEverything(const std::string& path) {
  int found = 0;
  std::uint32_t size = platform::version::InfoSize(path);
  std::vector<std::uint8_t> block;
  if (size && platform::version::ReadInfo(path, size, &block)) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    for (const char* sub : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\CompanyName",
                            "\\StringFileInfo\\040904b0\\FileVersion"}) {
      if (platform::version::QueryValue(block, sub, &value, &length)) {
        ++found;
        EXPECT_LE(static_cast<const std::uint8_t*>(value) + length, block.data() + block.size()) << sub;
      }
    }
  }
  for (int index : {0, 1, 2, -7}) {
    platform::IconHandle icon = icons::Extract(path, index);
    if (icon && !icon->notAnIconFile) {
      ++found;
      EXPECT_EQ(icon->pixels.size(), icon->png.empty() ? std::size_t(icon->width) * icon->height : 0u);
    }
  }
  return found;
}

class PeDamageTest : public ::testing::Test {
 protected:
  test::TempPrefix prefix_;
  std::string Put(const std::string& name, const std::string& bytes) {
    test::WriteFile(prefix_.HostPath("drive_c/" + name), bytes);
    return "C:\\" + name;
  }
  // Reads the file cut at each of |cuts| (descending, so one truncate serves each).
  void ReadCuts(const std::string& bytes, std::vector<std::size_t> cuts) {
    std::string path = Put("cut.exe", bytes);
    std::string host = platform::files::HostPathFromWindows(path);
    std::sort(cuts.rbegin(), cuts.rend());
    for (std::size_t cut : cuts) {
      ASSERT_EQ(truncate(host.c_str(), static_cast<off_t>(cut)), 0);
      ReadEverything(path);
    }
  }
};

TEST_F(PeDamageTest, TruncatedExecutables) {
  std::string bytes = test::ReadFile(test::FixturePath("version_app.exe"));
  ASSERT_GT(ReadEverything(platform::files::WindowsPathFromHost(test::FixturePath("version_app.exe"))), 6);
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

TEST_F(PeDamageTest, RandomDamageToResources) {
  std::vector<test::TestResource> resources = test::IconResources(
      1, u"MAIN", {test::Dib(16, 4, 16, 1), test::Dib(32, 32, 16, 2), test::Png(24, 3)}, 1);
  std::string version = test::ReadFile(test::FixturePath("version_app.exe"));
  std::vector<std::uint8_t> block;
  std::string fixture = platform::files::WindowsPathFromHost(test::FixturePath("version_app.exe"));
  ASSERT_TRUE(platform::version::ReadInfo(fixture, platform::version::InfoSize(fixture), &block));
  resources.push_back(
      {16, u"", 1, 0x409, std::string(block.begin(), block.begin() + (block[0] | (block[1] << 8)))});
  std::string image = test::BuildPe(true, resources);
  ASSERT_EQ(ReadEverything(Put("built.exe", image)), 5);  // four queries, icon 0

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
    ReadEverything(Put("random.exe", damaged));
  }
}

TEST_F(PeDamageTest, HostileStructures) {
  std::vector<test::TestResource> icons = test::IconResources(1, u"", {test::Dib(16, 8, 16, 1)}, 1);
  std::string good = test::BuildPe(false, icons);
  ASSERT_NE(icons::Extract(Put("good.exe", good), 0), nullptr);
  const std::size_t rsrc = test::kTestResourceFileOffset;
  auto with = [&](std::size_t at, std::uint32_t value, int bytes) {
    std::string copy = good;
    test::PatchLe(&copy, at, value, bytes);
    return Put("hostile.exe", copy);
  };
  // Root directory: its first entry (RT_ICON) at rsrc+16, second (RT_GROUP_ICON) at rsrc+24.
  EXPECT_EQ(icons::Extract(with(rsrc + 28, 0x80000000u, 4), 0), nullptr);  // group names = the root itself
  EXPECT_EQ(icons::Extract(with(rsrc + 28, 0x8FFFFFF0u, 4), 0), nullptr);  // outside the section
  EXPECT_EQ(icons::Extract(with(rsrc + 14, 0xFFFF, 2), 0), nullptr);       // more entries than bytes
  EXPECT_EQ(icons::Extract(with(rsrc + 24, 0x80001000u, 4), 0), nullptr);  // a name far away
  EXPECT_EQ(icons::Extract(with(0x3C, 0xFFFFFF00u, 4), 0), nullptr);       // e_lfanew past the end
  EXPECT_EQ(icons::Extract(with(0x46, 0xFFFF, 2), 0), nullptr);            // section count
  EXPECT_EQ(icons::Extract(with(0x54, 0, 2), 0), nullptr);                 // no optional header

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
  EXPECT_EQ(icons::Extract(with(rsrc + iconDataEntry + 4, 0x7FFFFFFF, 4), 0), nullptr);  // huge size
  EXPECT_EQ(icons::Extract(with(rsrc + iconDataEntry, 0x00FFFFF0, 4), 0), nullptr);      // RVA nowhere
  // A count beyond the data: the entries that are there still count.
  EXPECT_NE(icons::Extract(with(rsrc + groupEntry + 4, 0xFFFF, 2), 0), nullptr);
  EXPECT_EQ(icons::Extract(with(rsrc + groupEntry + 6 + 12, 99, 2), 0), nullptr) << "missing RT_ICON";
  EXPECT_EQ(icons::Extract(with(rsrc + groupEntry + 2, 2, 2), 0), nullptr) << "a cursor group";

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
    std::string path = Put("version.dll", test::BuildPe(true, {{16, u"", 1, 0x409, tree}}));
    std::vector<std::uint8_t> block;
    ASSERT_TRUE(platform::version::ReadInfo(path, platform::version::InfoSize(path), &block));
    const void* value = nullptr;
    std::uint32_t size = 0;
    bool ok = platform::version::QueryValue(block, "\\", &value, &size);
    EXPECT_EQ(ok, length == 0xFFFFu) << length;  // the key alone needs 38 bytes
    if (ok) {
      EXPECT_LE(static_cast<const std::uint8_t*>(value) + size, block.data() + block.size());
    }
    EXPECT_FALSE(platform::version::QueryValue(block, "\\StringFileInfo", &value, &size));
  }
  std::string noZero = root.substr(0, 6) + std::string(40, 'A');
  test::PatchLe(&noZero, 0, static_cast<std::uint32_t>(noZero.size()), 2);
  std::string path = Put("nozero.dll", test::BuildPe(true, {{16, u"", 1, 0x409, noZero}}));
  std::vector<std::uint8_t> block;
  ASSERT_TRUE(platform::version::ReadInfo(path, platform::version::InfoSize(path), &block));
  const void* value = nullptr;
  std::uint32_t size = 0;
  EXPECT_FALSE(platform::version::QueryValue(block, "\\", &value, &size));
}

}  // namespace
}  // namespace velmora
