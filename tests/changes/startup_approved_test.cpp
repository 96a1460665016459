// The StartupApproved marks of the system's own startup manager, on a real
// prefix's hives: ignored where the system ignores them (Wine), and where they
// count, a marked entry is listed disabled, stays where it is, and enabling it
// clears the mark.
#include "entries/startup_approved.h"

#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

// 12 bytes: the state byte, three zero bytes, and the time of disabling.
std::string Mark(char state) {
  return std::string(1, state) + std::string(3, '\0') + "\x11\x22\x33\x44\x55\x66\x77\x08";
}

class StartupApprovedTest : public ChangesTest {
 protected:
  static void SetMark(int location, const std::string& name, char state) {
    SetRaw(RootOf(location), StartupApprovedKeyPath(location), name, platform::kRegBinary, Mark(state));
  }
};

TEST(StartupApprovedMarks, BitZeroOfTheFirstByteMeansDisabled) {
  EXPECT_TRUE(MarksDisabled(Mark(0x03)));
  EXPECT_TRUE(MarksDisabled(Mark(0x07)));
  EXPECT_FALSE(MarksDisabled(Mark(0x02)));
  EXPECT_FALSE(MarksDisabled(Mark(0x06)));
  EXPECT_FALSE(MarksDisabled(""));
  EXPECT_EQ(StartupApprovedKeyPath(kLmRunOnce), "");
  EXPECT_EQ(StartupApprovedKeyPath(kCuStartupFolder),
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder");
}

TEST_F(StartupApprovedTest, IgnoredWhereTheSystemIgnoresThem) {
  SetText(kCuRun, "Tray", "C:\\tray.exe");
  SetMark(kCuRun, "Tray", 0x03);
  StartupParameters model;
  EXPECT_FALSE(model.HonoursStartupApproved());  // a Wine prefix starts marked entries
  Read(model);
  ASSERT_NE(Find(model, kCuRun, "Tray"), nullptr);
  EXPECT_EQ(Find(model, kCuRun, "Tray")->enabled, 1);
  EXPECT_EQ(Find(model, kCuRun, "Tray")->disabledBySystem, 0);
}

TEST_F(StartupApprovedTest, MarkedEntriesAreDisabledUntilEnabledAgain) {
  SetText(kCuRun, "Tray", "C:\\tray.exe");
  SetText(kCuRun, "Other", "C:\\other.exe");
  SetText(kLmRun, "Machine", "C:\\machine.exe");
  SetMark(kCuRun, "Tray", 0x03);
  SetMark(kCuRun, "Other", 0x02);
  SetMark(kLmRun, "Machine", 0x07);
  MakeShortcut(Folder(kCuStartupFolder) + "\\Tool.lnk", "C:\\tool.exe", "");
  SetMark(kCuStartupFolder, "Tool.lnk", 0x03);

  {
    StartupParameters model;
    model.SetHonoursStartupApproved(true);
    Read(model);
    ASSERT_NE(Find(model, kCuRun, "Tray"), nullptr);
    EXPECT_EQ(Find(model, kCuRun, "Tray")->enabled, 0);
    EXPECT_EQ(Find(model, kCuRun, "Tray")->disabledBySystem, 1);
    EXPECT_EQ(Find(model, kCuRun, "Other")->enabled, 1);
    EXPECT_EQ(Find(model, kLmRun, "Machine")->enabled, 0);
    ASSERT_NE(Find(model, kCuStartupFolder, "Tool.lnk"), nullptr);
    EXPECT_EQ(Find(model, kCuStartupFolder, "Tool.lnk")->disabledBySystem, 1);

    // Applying another change of the location leaves a system-disabled entry alone.
    model.SetEntryEnabled("Other", kCuRun, 0);
    model.SetEntryEnabled("Tool.lnk", kCuStartupFolder, 0);
    Apply(model);
  }
  EXPECT_EQ(LocationValues(kCuRun).count("tray"), 1u);
  EXPECT_EQ(LocationValues(kCuRun).count("other"), 0u);
  EXPECT_TRUE(std::filesystem::exists(Item(kCuStartupFolder, "Tool.lnk")));
  EXPECT_TRUE(StartupApprovedDisabled(kCuRun, "Tray"));

  StartupParameters model;
  model.SetHonoursStartupApproved(true);
  Read(model);
  model.SetEntryEnabled("Tray", kCuRun, 1);
  model.SetEntryEnabled("Tool.lnk", kCuStartupFolder, 1);
  Apply(model);
  EXPECT_EQ(LocationValues(kCuRun).count("tray"), 1u);
  EXPECT_FALSE(StartupApprovedDisabled(kCuRun, "Tray"));
  EXPECT_FALSE(StartupApprovedDisabled(kCuStartupFolder, "Tool.lnk"));
  EXPECT_TRUE(std::filesystem::exists(Item(kCuStartupFolder, "Tool.lnk")));
  EXPECT_TRUE(StartupApprovedDisabled(kLmRun, "Machine"));  // untouched: its location did not change

  StartupParameters again;
  again.SetHonoursStartupApproved(true);
  Read(again);
  EXPECT_EQ(Find(again, kCuRun, "Tray")->enabled, 1);
  EXPECT_EQ(Find(again, kCuStartupFolder, "Tool.lnk")->enabled, 1);
}

}  // namespace
}  // namespace velmora::test
