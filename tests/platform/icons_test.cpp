#include "platform/icons.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace icons = platform::icons;
using platform::IconHandle;

std::string Fixture(const std::string& name) {
  return platform::files::WindowsPathFromHost(velmora::test::System(), test::FixturePath(name));
}

class IconsTest : public ::testing::Test {
 protected:
  test::TempPrefix prefix_;
  std::string Put(const std::string& name, const std::string& bytes) {
    test::WriteFile(prefix_.HostPath("drive_c/" + name), bytes);
    return "C:\\" + name;
  }
};

// The icons of files are the formats' (tests/formats/icons_test.cpp); what the
// platform adds is the special result for files that are no icon source.
TEST_F(IconsTest, FilesWithoutIconsAndFilesThatAreNoIconSource) {
  for (const char* name : {"scan_app.exe", "plain_app.exe", "strings_app.exe", "german_dll.dll"}) {
    EXPECT_EQ(icons::Extract(velmora::test::System(), Fixture(name), 0), nullptr) << name;
  }
  EXPECT_EQ(icons::Extract(velmora::test::System(), Put("dos.exe", "MZ" + std::string(100, '\0')), 0),
            nullptr);

  IconHandle special = icons::NotAnIconFileResult();
  ASSERT_NE(special, nullptr);
  EXPECT_TRUE(special->notAnIconFile);
  for (const std::string& path : {Put("notes.txt", "hello"), Put("empty.txt", ""),
                                  std::string("C:\\missing.exe"), std::string("C:\\"), std::string("")}) {
    EXPECT_EQ(icons::Extract(velmora::test::System(), path, 0), special) << path;
  }
}

TEST_F(IconsTest, ProgramIconsAreSharedPerResource) {
  IconHandle entry = platform::icons::ProgramIcon(180);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->resourceId, 180);
  EXPECT_FALSE(entry->notAnIconFile);
  EXPECT_EQ(platform::icons::ProgramIcon(180), entry);
  IconHandle main = platform::icons::ProgramIcon(128);
  EXPECT_EQ(main->resourceId, 128);
  EXPECT_NE(main, entry);
}

}  // namespace
}  // namespace velmora
