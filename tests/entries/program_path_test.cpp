#include "entries/program_path.h"

#include <gtest/gtest.h>

#include "entries/process_info.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

// Where nothing on disk decides, the text rules (with their quirks) stand; a
// quoted path always ends at its closing quote.
TEST(ExtractProgramPath, FollowsTheTextRulesWhereNothingOnDiskDecides) {
  test::TestSystem system;
  struct Case {
    const char* command;
    const char* path;
  } cases[] = {
      {"\"C:\\Program Files\\App\\app.exe\" -min", "C:\\Program Files\\App\\app.exe"},
      {"C:\\PROGRA~1\\Foo\\foo.exe /background", "C:\\PROGRA~1\\Foo\\foo.exe"},
      {"C:\\Tools\\My-Tool\\tool.exe", "C:\\Tools\\My-Tool\\tool.exe"},
      {"C:\\Tools\\a-b.com", "C:\\Tools\\a"},
      {"C:\\x\\y.exe -a", "C:\\x\\y.exe"},
      {"\"C:\\no\\closing quote.exe", ""},
      {"C:/Apps/app.exe", "C:"},
      {"  C:\\padded.exe \t\r\n", "C:\\padded.exe"},
      {"", ""},
      {"\"C:\\a.exe\" \"%1\"", "C:\\a.exe"},
      {"C:\\x\\y.exe /a /b", "C:\\x\\y.exe"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExtractProgramPath(velmora::test::System(), c.command), c.path) << c.command;
  const ProgramCommand missing = SplitProgramCommand(velmora::test::System(), "C:\\Tools\\missing.exe /min");
  EXPECT_EQ(missing.program, "C:\\Tools\\missing.exe");
  EXPECT_EQ(missing.arguments, "/min");
  EXPECT_FALSE(missing.found);
}

// As Windows' process creation reads a command: the shortest run of words that
// names a file (".exe" added to a name without one), bare names through the
// system folders and PATH, variables of an expandable value expanded.
TEST(ExtractProgramPath, FindsTheProgramAsWindowsStartsIt) {
  test::TestSystem system;
  const std::string folder = "C:\\vlm path";
  ASSERT_EQ(platform::files::MakeDirectories(velmora::test::System(), folder + "\\My App"),
            platform::kSuccess);
  for (const std::string& file :
       {folder + "\\tool.exe", folder + "\\tool x.exe", folder + "\\My App\\app.exe",
        platform::files::SystemDirectory(velmora::test::System()) + "\\vlmprobe.exe"}) {
    ASSERT_EQ(platform::files::WriteAtomic(velmora::test::System(), file, "MZ"), platform::kSuccess) << file;
  }
  struct Case {
    std::string command;
    std::string program;
    std::string arguments;
  } cases[] = {
      {folder + "\\tool.exe x y", folder + "\\tool.exe", "x y"},
      {folder + "\\tool.exe \"x\"", folder + "\\tool.exe", "\"x\""},
      {"\"" + folder + "\\tool.exe\" \"x y\"", folder + "\\tool.exe", "\"x y\""},
      {folder + "\\tool x.exe -q", folder + "\\tool.exe", "x.exe -q"},  // the shortest run wins
      {folder + "\\My App\\app --min", folder + "\\My App\\app.exe", "--min"},
      {folder + "\\My App\\app.exe", folder + "\\My App\\app.exe", ""},
      {"vlmprobe /s", platform::files::SystemDirectory(velmora::test::System()) + "\\vlmprobe.exe", "/s"},
      {"VLMPROBE.EXE", platform::files::SystemDirectory(velmora::test::System()) + "\\VLMPROBE.EXE", ""},
  };
  for (const Case& c : cases) {
    const ProgramCommand split = SplitProgramCommand(velmora::test::System(), c.command);
    EXPECT_TRUE(split.found) << c.command;
    EXPECT_EQ(split.program, c.program) << c.command;
    EXPECT_EQ(split.arguments, c.arguments) << c.command;
  }
  // A folder is not a program; a variable counts only in an expandable value.
  ASSERT_EQ(platform::files::MakeDirectories(velmora::test::System(), folder + "\\sub.exe"),
            platform::kSuccess);
  EXPECT_FALSE(SplitProgramCommand(velmora::test::System(), folder + "\\sub.exe").found);
  const std::string expandable = "%SystemRoot%\\system32\\vlmprobe.exe /s";
  EXPECT_FALSE(SplitProgramCommand(velmora::test::System(), expandable).found);
  EXPECT_EQ(SplitProgramCommand(velmora::test::System(), expandable, true).program,
            platform::files::SystemDirectory(velmora::test::System()) + "\\vlmprobe.exe");
  platform::files::RemoveFile(velmora::test::System(),
                              platform::files::SystemDirectory(velmora::test::System()) + "\\vlmprobe.exe");
}

TEST(ProcessName, DropsLinkAndProgramSuffixesInAnyLetterCase) {
  EXPECT_EQ(ProcessNameOfProgram("C:\\WINDOWS\\system32\\ctfmon.exe"), "ctfmon");
  EXPECT_EQ(ProcessNameOfProgram("C:\\WINDOWS\\SYSTEM32\\CTFMON.EXE"), "CTFMON");
  EXPECT_EQ(ProcessNameOfProgram("C:\\Startup\\Foo.lnk"), "Foo");
  EXPECT_EQ(ProcessNameOfProgram("Foo.LNK"), "Foo");
  EXPECT_EQ(ProcessNameOfProgram("C:\\tools\\script.cmd"), "script.cmd");
}

TEST(Locations, TagsCompareExactlyAndSnapshotKeysAgree) {
  EXPECT_EQ(LocationFromText("CU Startup Folder"), 5);
  EXPECT_EQ(LocationFromText("LM Run"), 0);
  EXPECT_EQ(LocationFromText("cu run"), -1);
  EXPECT_EQ(LocationFromText("LM Run "), -1);
  EXPECT_EQ(LocationFromText(""), -1);
  for (int i = 0; i < kLocationCount; ++i) EXPECT_EQ(LocationFromText(LocationTag(i)), i);

  EXPECT_EQ(SnapshotKey(0, "Foo"), "lmrun foo");
  EXPECT_EQ(SnapshotKey(0, "Foo", true), SnapshotKey(0, "Foo"));
  EXPECT_EQ(SnapshotKey(4, "Foo"), "curunonce foo");
  EXPECT_EQ(SnapshotKey(2, "Bar.LNK"), std::string("lmstartup bar.lnk\x01") + "Bar.LNK");
  EXPECT_EQ(LocationFromText("LM Run (32-bit)"), 6);
  EXPECT_EQ(LocationFromText("LM RunOnce (32-bit)"), 7);
  EXPECT_EQ(SnapshotKey(6, "Foo"), "lmrun32 foo");
  EXPECT_EQ(SnapshotKey(7, "Foo"), "lmrunonce32 foo");
  EXPECT_NE(SnapshotKey(6, "Foo"), SnapshotKey(0, "Foo")) << "one name in both views is two entries";
  EXPECT_EQ(SnapshotKey(kLocationCount, "x"), "");
  EXPECT_EQ(LocationFromText("LM RunServicesOnce (32-bit)"), kLmRunServicesOnce32);
  EXPECT_EQ(LocationFromText("Services"), kServices);
}

}  // namespace
}  // namespace velmora
