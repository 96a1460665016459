#include "app/language.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_.programDir = platform::files::WindowsPathFromHost(velmora::test::System(), dir_.path());
    program_.programFiles = &velmora::test::System();
    program_.languageName = "English";
    SetTextLookup(LanguageFileLookup(program_));
  }
  void TearDown() override { SetTextLookup(nullptr); }
  // Writes the language file where GetString looks for it.
  void WriteLanguageFile(const std::string& body) {
    std::string folder = LanguageFileDir(program_);
    test::WriteFile(platform::files::HostPathFromWindows(velmora::test::System(),
                                                         folder + "\\" + EncodeFileName("English") + ".vml"),
                    "[elbaTgnirtS]\r\n" + body);
  }
  test::TempPrefix prefix_;
  test::TempDir dir_;
  ProgramContext program_;
};

TEST(Language, DataFoldersFollowTheRuntimeGenerator) {
  CRandom four(4), six(6), seven(7);
  EXPECT_EQ(four.Next(), 51);
  EXPECT_EQ(four.Next(), 17945);
  EXPECT_EQ(six.Next(), 58);
  EXPECT_EQ(six.Next(), 6673);
  EXPECT_EQ(seven.Next(), 61);
  EXPECT_EQ(seven.Next(), 17422);
}

TEST(Language, EncodingAndKeys) {
  EXPECT_EQ(EncodeFileName("abc"), "656667");
  EXPECT_EQ(EncodeFileName("Abc"), EncodeFileName("ABC"));
  EXPECT_EQ(EncodeFileName("\xE9"), "-23");
  EXPECT_EQ(EncodeFileName("VlmMain"), "86767777657378");
  EXPECT_EQ(RotateKey(7001), 112016u);
  EXPECT_EQ(RotateKey(0x10000001u), 0x00000011u);
  EXPECT_EQ(UnescapeText("a\\nb\\tc\\x\\\\n"), "a\nb\tc\\x\\\n");
}

TEST_F(LanguageTest, DataFolderIsCreatedAndStable) {
  std::string first = MakeDataDir(velmora::test::System(), program_, 4);
  EXPECT_EQ(first, program_.programDir + "\\51\\17945");
  EXPECT_TRUE(platform::files::DirectoryExists(velmora::test::System(), first));
  EXPECT_EQ(MakeDataDir(velmora::test::System(), program_, 4), first);
  EXPECT_EQ(MovieDir(program_), program_.programDir + "\\61\\17422");
  EXPECT_EQ(HelpFileDir(program_), program_.programDir + "\\58\\6673");
}

TEST_F(LanguageTest, BuiltInTextsWithoutALanguageFile) {
  EXPECT_EQ(GetString(7001), "Velmora");
  EXPECT_EQ(GetString(7025), "No information was found about this program");
  EXPECT_EQ(GetString(7030), "");
  EXPECT_NE(GetString(7011).find("Velmora Version 1.0.0.1\n"), std::string::npos);
}

TEST_F(LanguageTest, LanguageFileOverridesAndFallsBack) {
  WriteLanguageFile(
      "112016=Hello\\nWorld\r\n"
      "112032=*dlroW\r\n"     // 7002 written backwards
      "112048=\r\n"           // 7003 empty: built-in text
      "112480=a*b\r\n"        // 7030 is not in the table
      "112064=x\\\\ny\r\n");  // 7004
  EXPECT_EQ(GetString(7001), "Hello\nWorld");
  EXPECT_EQ(GetString(7002), "World");
  EXPECT_EQ(GetString(7003), "Sorry,this Program only works on Windows XP.");
  EXPECT_EQ(GetString(7030), "");
  EXPECT_EQ(GetString(7004), "x\\\ny");
  EXPECT_EQ(GetString(7005), BuiltInString(7005));
}

}  // namespace
}  // namespace velmora
