#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using velmora::test::TempPrefix;
using velmora::test::WriteFile;

class IniFileTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& section, const std::string& key, const std::string& fallback = "<none>",
                   const std::string& path = "") {
    char buffer[260];
    std::uint32_t n = ini::ReadString(velmora::test::System(), section, key, fallback, buffer, sizeof buffer,
                                      path.empty() ? file_ : path);
    EXPECT_EQ(n, std::char_traits<char>::length(buffer));
    return buffer;
  }
  void Write(const std::string& text) { WriteFile(file_, text); }

  TempPrefix prefix_;
  std::string file_ = prefix_.HostPath("drive_c/data/test.ini");
};

TEST_F(IniFileTest, NamesIgnoreCaseAndBlanksAndValuesLoseOnePairOfQuotes) {
  Write(
      "[Strings]\r\n"
      "  Greeting =  Hello World  \r\n"
      "quoted=\"  spaced  \"\r\n"
      "single='x'\r\n"
      "twice=\"\"inner\"\"\r\n"
      "unbalanced=\"open\r\n"
      "empty=\r\n"
      "equals=a=b\r\n"
      "[ Other Section ]\n"
      "KEY=lf only\n");
  EXPECT_EQ(Read("strings", "GREETING"), "Hello World");
  EXPECT_EQ(Read(" Strings ", " greeting "), "Hello World");
  EXPECT_EQ(Read("Strings", "quoted"), "  spaced  ");
  EXPECT_EQ(Read("Strings", "single"), "x");
  EXPECT_EQ(Read("Strings", "twice"), "\"inner\"");
  EXPECT_EQ(Read("Strings", "unbalanced"), "\"open");
  EXPECT_EQ(Read("Strings", "empty"), "");
  EXPECT_EQ(Read("Strings", "equals"), "a=b");
  EXPECT_EQ(Read("other section", "key"), "lf only");
}

TEST_F(IniFileTest, TheFirstMatchingLineWinsAndOnlyItsSectionCounts) {
  Write(
      "top=before any section\n"
      "[A]\n"
      "k=first\n"
      "k=second\n"
      "; k=comment\n"
      "  ;only=comment\n"
      "no equals sign\n"
      "[B]\n"
      "other=b\n"
      "[a]\n"
      "k=third\n"
      "late=from the second A\n");
  EXPECT_EQ(Read("A", "k"), "first");
  EXPECT_EQ(Read("A", "late"), "from the second A");
  EXPECT_EQ(Read("A", "only"), "<none>");
  EXPECT_EQ(Read("A", "; k"), "<none>");
  EXPECT_EQ(Read("A", "no equals sign"), "<none>");
  EXPECT_EQ(Read("B", "k"), "<none>");
  EXPECT_EQ(Read("A", "other"), "<none>");
  EXPECT_EQ(Read("A", "top"), "<none>");
  EXPECT_EQ(Read("", "top"), "before any section");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGiveTheDefault) {
  Write("[S]\nk=v\n");
  EXPECT_EQ(Read("S", "missing", "fallback"), "fallback");
  EXPECT_EQ(Read("T", "k", "fallback"), "fallback");
  EXPECT_EQ(Read("S", "", "fallback"), "fallback");
  EXPECT_EQ(Read("S", "k", "fallback", prefix_.HostPath("drive_c/none.ini")), "fallback");
  EXPECT_EQ(Read("S", "k", "fallback", "C:\\no\\such\\file.ini"), "fallback");
  EXPECT_EQ(Read("S", "k", "fallback", "Q:\\unknown drive.ini"), "fallback");
  // A folder is no INI file.
  EXPECT_EQ(Read("S", "k", "fallback", prefix_.HostPath("drive_c/data")), "fallback");
}

TEST_F(IniFileTest, TruncatesToSizeLessOneAndReturnsTheCountCopied) {
  Write("[S]\nk=abcdefgh\n");
  char buffer[16];
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(ini::ReadString(velmora::test::System(), "S", "k", "", buffer, 5, file_), 4u);
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(buffer[5], 'X');
  EXPECT_EQ(ini::ReadString(velmora::test::System(), "S", "k", "", buffer, 9, file_), 8u);
  EXPECT_STREQ(buffer, "abcdefgh");
  EXPECT_EQ(ini::ReadString(velmora::test::System(), "S", "k", "", buffer, 1, file_), 0u);
  EXPECT_STREQ(buffer, "");
  buffer[0] = 'X';
  EXPECT_EQ(ini::ReadString(velmora::test::System(), "S", "k", "", buffer, 0, file_), 0u);
  EXPECT_EQ(buffer[0], 'X');
  // The default is cut the same way.
  EXPECT_EQ(ini::ReadString(velmora::test::System(), "S", "none", "0123456789", buffer, 4, file_), 3u);
  EXPECT_STREQ(buffer, "012");
}

TEST_F(IniFileTest, BytesAboveSevenBitsAreTakenAsTheyAre) {
  // Section, key and value of scrambled-looking bytes, with 0xBB and 0xBD among them.
  std::string section = "\xC4\x90\xBB";
  std::string key = "\xE4\xBD\xFF";
  std::string value = "\x80\xA0\xBB\xBD\xFE";
  Write("[" + section + "]\r\n" + key + "=" + value + "\r\n[\xE4\x90\xBB]\r\n" + key + "=lower\r\n");
  EXPECT_EQ(Read(section, key), value);
  // Only ASCII letters fold: 0xC4 and 0xE4 name different sections.
  EXPECT_EQ(Read("\xE4\x90\xBB", key), "lower");
  // 0xA0 is no blank and is kept at the ends of a value.
  Write("[S]\nk=\xA0v\xA0\n");
  EXPECT_EQ(Read("S", "k"), "\xA0v\xA0");
}

TEST_F(IniFileTest, ChangesOnDiskAreSeen) {
  Write("[S]\nk=one\n");
  EXPECT_EQ(Read("S", "k"), "one");
  // Rewritten in place at once: same size, very likely the same time stamp.
  Write("[S]\nk=two\n");
  EXPECT_EQ(Read("S", "k"), "two");
  // Replaced by rename.
  WriteFile(file_ + ".new", "[S]\nk=three\n");
  fs::rename(file_ + ".new", file_);
  EXPECT_EQ(Read("S", "k"), "three");
  fs::remove(file_);
  EXPECT_EQ(Read("S", "k"), "<none>");
  Write("[S]\nk=back\n");
  EXPECT_EQ(Read("S", "k"), "back");
  // Repeated reads of an unchanged file keep answering from the parsed copy.
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(Read("S", "k"), "back");
}

TEST_F(IniFileTest, WindowsPathsHostPathsAndBareNames) {
  Write("[S]\nk=found\n");
  EXPECT_EQ(Read("S", "k", "", "C:\\DATA\\Test.INI"), "found");
  EXPECT_EQ(Read("S", "k", "", "c:/data/test.ini"), "found");
  EXPECT_EQ(Read("S", "k", "", file_), "found");
  // A name without folder lies in the Windows folder.
  WriteFile(prefix_.HostPath("drive_c/windows/velmora-test.ini"), "[S]\nk=windows\n");
  EXPECT_EQ(Read("S", "k", "", "velmora-test.ini"), "windows");
}

TEST_F(IniFileTest, UnicodeFilesWithAByteOrderMarkAreRead) {
  // "[S]\r\nk=\u00e9t\u00e9\r\n" in UTF-16LE with its mark.
  std::string text = "[S]\r\nk=\xE9t\xE9\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) {
    utf16 += c;
    utf16 += '\0';
  }
  Write(utf16);
  EXPECT_EQ(Read("S", "k"), "\xC3\xA9t\xC3\xA9");
  Write("\xEF\xBB\xBF[S]\nk=utf8\n");
  EXPECT_EQ(Read("S", "k"), "utf8");
}

}  // namespace
}  // namespace platform
