// The readers of formats/, given the bytes of a file, give what the platform's
// readers give for the file itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "formats/icons.h"
#include "formats/ini_document.h"
#include "formats/shell_link.h"
#include "formats/version_resource.h"
#include "platform/files.h"
#include "platform/icons.h"
#include "platform/ini_file.h"
#include "platform/shell_link.h"
#include "platform/version_resource.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

using platform::kOk;

const std::uint8_t* Data(const std::string& bytes) {
  return reinterpret_cast<const std::uint8_t*>(bytes.data());
}

class MemoryReadersTest : public ::testing::Test {
 protected:
  test::TempPrefix prefix_;
};

TEST_F(MemoryReadersTest, VersionBlocksAndIconsOfPeAndIconFiles) {
  for (const char* name : {"version_app.exe", "german_dll.dll", "scan_app.exe", "plain_app.exe", "app.ico"}) {
    SCOPED_TRACE(name);
    const std::string path =
        platform::files::WindowsPathFromHost(velmora::test::System(), test::FixturePath(name));
    const std::string bytes = test::ReadFile(test::FixturePath(name));
    std::vector<std::uint8_t> fromFile;
    std::uint32_t size = platform::version::InfoSize(velmora::test::System(), path);
    if (size) {
      ASSERT_TRUE(platform::version::ReadInfo(velmora::test::System(), path, size, &fromFile));
    }
    const formats::MemoryBytes file(Data(bytes), bytes.size());
    EXPECT_EQ(formats::VersionInfoBlock(file), fromFile);
    for (int index : {0, 1, 2, -3, -7}) {
      platform::IconHandle a = platform::icons::Extract(velmora::test::System(), path, index);
      formats::IconBitmap b;
      formats::IconSearch found = formats::FindIcon(file, index, &b);
      ASSERT_EQ(a != nullptr, found == formats::IconSearch::kFound) << index;
      if (!a) continue;
      EXPECT_EQ(a->width, b.width);
      EXPECT_EQ(a->pixels, b.pixels);
      EXPECT_EQ(a->png, b.png);
    }
  }
  // Nothing at all, and bytes that are no executable.
  const formats::MemoryBytes nothing(nullptr, 0);
  formats::IconBitmap icon;
  EXPECT_TRUE(formats::VersionInfoBlock(nothing).empty());
  EXPECT_EQ(formats::FindIcon(nothing, 0, &icon), formats::IconSearch::kNotAnIconSource);
  const std::string text = "MZ but nothing more";
  EXPECT_EQ(formats::FindIcon(formats::MemoryBytes(Data(text), text.size()), 0, &icon),
            formats::IconSearch::kNoIcon);
}

TEST_F(MemoryReadersTest, ShortcutsWrittenAndReadAsBytes) {
  platform::ShellLink link;
  link.SetPath(velmora::test::System(), "C:\\Tools\\tool.exe");
  link.SetArguments("--tray \"x y\"");
  link.SetWorkingDirectory("C:\\Tools");
  link.SetDescription("Tr\xC3\xA4y");
  link.SetIconLocation("C:\\Tools\\tool.exe", 2);
  std::filesystem::create_directories(prefix_.HostPath("drive_c/links"));
  ASSERT_EQ(link.Save(velmora::test::System(), "C:\\links\\Tool.lnk"), kOk);
  // The tool does not exist: the header keeps the link's attributes and no size.
  std::string written;
  ASSERT_TRUE(formats::WriteShellLink(link, "C:\\links\\Tool.lnk", link.fileAttributes, 0, &written));
  EXPECT_EQ(written, test::ReadFile(prefix_.HostPath("drive_c/links/Tool.lnk")));

  platform::ShellLink fromFile;
  formats::ShellLinkData fromBytes;
  ASSERT_EQ(fromFile.Load(velmora::test::System(), "C:\\links\\Tool.lnk"), kOk);
  ASSERT_TRUE(formats::ReadShellLink(Data(written), written.size(), "C:\\links\\Tool.lnk", &fromBytes));
  EXPECT_EQ(fromBytes.target, fromFile.target);
  EXPECT_EQ(fromBytes.arguments, fromFile.arguments);
  EXPECT_EQ(fromBytes.workingDirectory, fromFile.workingDirectory);
  EXPECT_EQ(fromBytes.description, fromFile.description);
  EXPECT_EQ(fromBytes.iconLocation, fromFile.iconLocation);
  EXPECT_EQ(fromBytes.iconIndex, 2);
  // A cut link fails and leaves the object empty.
  EXPECT_FALSE(formats::ReadShellLink(Data(written), written.size() / 2, "C:\\links\\Tool.lnk", &fromBytes));
  EXPECT_TRUE(fromBytes.target.empty() && fromBytes.arguments.empty());
}

TEST_F(MemoryReadersTest, ParsedIniDocumentReadsAsTheFile) {
  const std::string text =
      "\xEF\xBB\xBF; note\r\n[Main]\r\nKey = \"quoted\" \r\nkey=second\r\n[main]\r\nOther=x\r\n";
  test::WriteFile(prefix_.HostPath("drive_c/t.ini"), text);
  for (const auto& [section, key] :
       {std::pair{"MAIN", "key"}, {"main", "other"}, {"Main", "none"}, {"x", "Key"}}) {
    char fromFile[32], fromBytes[32];
    std::uint32_t a = platform::ini::ReadString(velmora::test::System(), section, key, "d", fromFile,
                                                sizeof fromFile, "C:\\t.ini");
    std::uint32_t b = formats::IniDocument(text).Get(section, key, "d", fromBytes, sizeof fromBytes);
    EXPECT_EQ(a, b);
    EXPECT_STREQ(fromFile, fromBytes);
  }
  char small[4];
  EXPECT_EQ(formats::IniDocument(text).Get("main", "key", "d", small, sizeof small), 3u);
  EXPECT_STREQ(small, "quo");
}

}  // namespace
}  // namespace velmora
