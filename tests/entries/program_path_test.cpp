#include "entries/program_path.h"

#include <gtest/gtest.h>

#include "entries/process_info.h"
#include "entries/startup_location.h"

namespace velmora {
namespace {

TEST(ExtractProgramPath, FollowsTheTextRulesIncludingTheirQuirks) {
  struct Case {
    const char* command;
    const char* path;
  } cases[] = {
      {"\"C:\\Program Files\\App\\app.exe\" -min", "C:\\Program Files\\App\\app.exe"},
      {"C:\\PROGRA~1\\Foo\\foo.exe /background", "C:\\PROGRA~1\\Foo\\foo.exe"},
      {"C:\\Tools\\My-Tool\\tool.exe", "C:\\Tools\\My-Tool\\tool.exe"},
      {"C:\\Tools\\a-b.com", "C:\\Tools\\a"},
      {"C:\\x\\y.exe -a", "C:\\x\\y.exe"},
      {"rundll32.exe shell32.dll,Control_RunDLL", "rundll32.exe shell32.dll,Control_RunDLL"},
      {"\"C:\\no\\closing quote.exe", ""},
      {"C:/Apps/app.exe", "C:"},
      {"  C:\\padded.exe \t\r\n", "C:\\padded.exe"},
      {"", ""},
      // Only the text before the last quote counts; then the first character goes.
      {"\"C:\\a.exe\" \"%1\"", "C:\\a.exe\" \"%1"},
      {"C:\\x\\y.exe /a /b", "C:\\x\\y.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExtractProgramPath(c.command), c.path) << c.command;
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
  EXPECT_EQ(SnapshotKey(2, "Bar.LNK"), "lmstartup bar.lnk");
  EXPECT_EQ(LocationFromText("LM Run (32-bit)"), 6);
  EXPECT_EQ(LocationFromText("LM RunOnce (32-bit)"), 7);
  EXPECT_EQ(SnapshotKey(6, "Foo"), "lmrun32 foo");
  EXPECT_EQ(SnapshotKey(7, "Foo"), "lmrunonce32 foo");
  EXPECT_NE(SnapshotKey(6, "Foo"), SnapshotKey(0, "Foo")) << "one name in both views is two entries";
  EXPECT_EQ(SnapshotKey(8, "x"), "");
  // The 32-bit view's keys have indices of their own; 6 and 7 stay the program's keys.
  EXPECT_EQ(LocationKeyIndex(0), 0);
  EXPECT_EQ(LocationKeyIndex(5), 5);
  EXPECT_EQ(LocationKeyIndex(kLmRun32), kLmRun32KeyIndex);
  EXPECT_EQ(LocationKeyIndex(kLmRunOnce32), kLmRunOnce32KeyIndex);
  EXPECT_EQ(LocationKeyIndex(8), -1);
}

}  // namespace
}  // namespace velmora
