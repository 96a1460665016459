// The StartupApproved marks of the system's own startup manager, in the system's
// registry: ignored where the system ignores them (Wine), and where they count, a
// marked entry is listed disabled, stays where it is, enabling it clears the
// mark, and rolling that apply back puts the mark back.
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
  EXPECT_EQ(StartupApprovedKeyPath(kLmRun32),
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32");
  EXPECT_EQ(StartupApprovedKeyPath(kCuStartupFolder),
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder");
}

TEST_F(StartupApprovedTest, IgnoredWhereTheSystemIgnoresThem) {
  SetText(kCuRun, "Tray", "C:\\tray.exe");
  SetMark(kCuRun, "Tray", 0x03);
  StartupParameters model(velmora::test::System());
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
    StartupParameters model(velmora::test::System());
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
  EXPECT_TRUE(StartupApprovedDisabled(velmora::test::System(), kCuRun, "Tray"));

  StartupParameters model(velmora::test::System());
  model.SetHonoursStartupApproved(true);
  Read(model);
  model.SetEntryEnabled("Tray", kCuRun, 1);
  model.SetEntryEnabled("Tool.lnk", kCuStartupFolder, 1);
  Apply(model);
  EXPECT_EQ(LocationValues(kCuRun).count("tray"), 1u);
  EXPECT_FALSE(StartupApprovedDisabled(velmora::test::System(), kCuRun, "Tray"));
  EXPECT_FALSE(StartupApprovedDisabled(velmora::test::System(), kCuStartupFolder, "Tool.lnk"));
  EXPECT_TRUE(std::filesystem::exists(Item(kCuStartupFolder, "Tool.lnk")));
  EXPECT_TRUE(StartupApprovedDisabled(velmora::test::System(), kLmRun,
                                      "Machine"));  // untouched: its location did not change

  StartupParameters again(velmora::test::System());
  again.SetHonoursStartupApproved(true);
  Read(again);
  EXPECT_EQ(Find(again, kCuRun, "Tray")->enabled, 1);
  EXPECT_EQ(Find(again, kCuStartupFolder, "Tool.lnk")->enabled, 1);
}

// Roll-back returns the system's switch too: the marks that the apply cleared
// come back byte for byte (the time of disabling with them), the entries are
// listed disabled by the system again, and marks that said "enabled" stay.
TEST_F(StartupApprovedTest, RollBackPutsClearedMarksBack) {
  SetText(kCuRun, "Tray", "C:\\tray.exe");
  SetText(kLmRun32, "Agent", "C:\\agent.exe");
  SetText(kLmRun, "Other", "C:\\other.exe");
  SetMark(kCuRun, "Tray", 0x03);
  SetMark(kLmRun32, "Agent", 0x07);
  SetMark(kLmRun, "Other", 0x02);
  MakeShortcut(Folder(kCuStartupFolder) + "\\Tool.lnk", "C:\\tool.exe", "");
  SetMark(kCuStartupFolder, "Tool.lnk", 0x03);
  auto marks = [] {
    std::map<std::string, std::string> all;
    for (int location : {kLmRun, kCuRun, kCuStartupFolder, kLmRun32}) {
      for (auto& [name, value] : Values(RootOf(location), StartupApprovedKeyPath(location)))
        all[std::to_string(location) + " " + name] = value.data;
    }
    return all;
  };
  const auto before = marks();

  StartupParameters model(velmora::test::System());
  model.SetHonoursStartupApproved(true);
  Read(model);
  ASSERT_NE(Find(model, kLmRun32, "Agent"), nullptr);
  EXPECT_EQ(Find(model, kLmRun32, "Agent")->disabledBySystem, 1);  // the 32-bit view's own marks
  model.SetEntryEnabled("Tray", kCuRun, 1);
  model.SetEntryEnabled("Agent", kLmRun32, 1);
  model.SetEntryEnabled("Tool.lnk", kCuStartupFolder, 1);
  model.SetEntryEnabled("Other", kLmRun, 0);
  Apply(model);
  EXPECT_FALSE(StartupApprovedDisabled(velmora::test::System(), kCuRun, "Tray"));
  EXPECT_FALSE(StartupApprovedDisabled(velmora::test::System(), kLmRun32, "Agent"));
  EXPECT_FALSE(StartupApprovedDisabled(velmora::test::System(), kCuStartupFolder, "Tool.lnk"));

  std::vector<ApplyFailure> failures = model.RollBack();
  EXPECT_TRUE(failures.empty()) << Describe(failures);
  EXPECT_EQ(marks(), before);
  EXPECT_EQ(LocationValues(kLmRun).count("other"), 1u);
  for (auto [location, name] :
       {std::pair{kCuRun, "Tray"}, {kLmRun32, "Agent"}, {kCuStartupFolder, "Tool.lnk"}}) {
    ASSERT_NE(Find(model, location, name), nullptr) << name;
    EXPECT_EQ(Find(model, location, name)->enabled, 0) << name;
    EXPECT_EQ(Find(model, location, name)->disabledBySystem, 1) << name;
  }
}

}  // namespace
}  // namespace velmora::test
