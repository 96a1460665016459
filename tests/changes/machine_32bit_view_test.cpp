// The machine's Run and RunOnce keys of 32-bit programs (locations 6 and 7): when
// a system has them, and that every operation treats them as it treats the
// machine's own Run and RunOnce.
#include "changes/store_layout.h"
#include "entries/wine_start.h"
#include "platform/posix/prefix.h"
#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

class Machine32BitViewTest : public ChangesTest {
 protected:
  // Rewrites the "#arch=" line of a hive file of the prefix.
  void SetArch(const std::string& file, const std::string& arch) {
    std::string path = prefix_.HostPath(file);
    std::string text = ReadFile(path);
    std::size_t at = text.find("#arch=");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, text.find('\n', at) - at, "#arch=" + arch);
    WriteFile(path, text);
  }
  static std::uint32_t ProfileHoldsLocationsOf(const std::string& profile, std::string* text) {
    platform::UniqueKey key;
    if (platform::reg::OpenKey(velmora::test::System().CurrentUser(), ProfilesKeyPath() + "\\" + profile,
                               platform::kKeyRead, key.out()) != platform::kSuccess) {
      return 0;
    }
    std::uint32_t type = 0;
    platform::Status status = platform::reg::QueryString(key.get(), "Locations", text);
    std::uint8_t buffer[8];
    std::uint32_t size = sizeof buffer;
    platform::reg::QueryValue(key.get(), "Locations", &type, buffer, &size);
    return status == platform::kSuccess ? type : 0;
  }
};

TEST_F(Machine32BitViewTest, PresentOnlyWhereTheMachineHasThe32BitView) {
  StartupParameters model(velmora::test::System());
  EXPECT_TRUE(model.HasLocation(kLmRun32)) << "the prefix made for the tests is a 64-bit one";

  // A 32-bit prefix: six locations; a stored 32-bit entry is kept, never shown.
  SetArch("system.reg", "win32");
  SetArch("user.reg", "win32");
  SetStore("6|Kept", "C:\\kept.exe");
  EXPECT_FALSE(model.HasLocation(kLmRun32));
  EXPECT_FALSE(model.HasLocation(kLmRunOnce32));
  EXPECT_TRUE(model.HasLocation(kCuStartupFolder));
  Read(model);
  EXPECT_TRUE(model.Entries(kLmRun32).empty());
  model.TakeSnapshot();
  EXPECT_EQ(StoreValues().count("6|kept"), 1u);
  auto task = std::make_unique<Task>();
  task->name = "New";
  task->command = "C:\\new.exe";
  std::string error;
  EXPECT_FALSE(model.AddEntry(std::move(task), kLmRun32, &error));
  EXPECT_EQ(error, "no such location");

  // Hives that disagree: the machine hive decides, as the view is the machine's.
  SetArch("user.reg", "win64");
  EXPECT_FALSE(model.HasLocation(kLmRun32));
  SetArch("system.reg", "win64");
  SetArch("user.reg", "win32");
  EXPECT_TRUE(model.HasLocation(kLmRun32));

  // A 32-bit header with the 32-bit view's key (but no Run key under it): the
  // locations exist and are empty.
  SetArch("system.reg", "win32");
  platform::UniqueKey key;
  ASSERT_EQ(platform::reg::CreateKey(velmora::test::System().LocalMachine(), "Software\\Wow6432Node\\Classes",
                                     key.out()),
            platform::kSuccess);
  StartupParameters fresh(velmora::test::System());
  EXPECT_TRUE(fresh.HasLocation(kLmRun32));
  Read(fresh);
  EXPECT_EQ(fresh.Entries(kLmRun32).size(), 1u) << "nothing but the stored entry";
  EXPECT_TRUE(fresh.Entries(kLmRunOnce32).empty());
  ASSERT_NE(Find(fresh, kLmRun32, "Kept"), nullptr) << "the stored entry is shown where its location exists";
  EXPECT_EQ(Find(fresh, kLmRun32, "Kept")->enabled, 0);
}

TEST_F(Machine32BitViewTest, SameNameInBothViewsIsTwoEntriesEditedApart) {
  SetText(kLmRun, "Tray", "C:\\Program Files\\tray64.exe");
  SetText(kLmRun32, "Tray", "C:\\Program Files (x86)\\tray.exe");
  SetText(kLmRunOnce32, "Setup", "C:\\setup.exe /finish");
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    ASSERT_NE(Find(model, kLmRun, "tray"), nullptr);
    ASSERT_NE(Find(model, kLmRun32, "tray"), nullptr);
    EXPECT_EQ(Find(model, kLmRun32, "Tray")->command, "C:\\Program Files (x86)\\tray.exe");
    ASSERT_NE(Find(model, kLmRunOnce32, "Setup"), nullptr);
    EXPECT_EQ(model.Snapshot().count("lmrun32 tray"), 1u);
    EXPECT_EQ(model.Snapshot().count("lmrun tray"), 1u);

    EXPECT_TRUE(model.SetEntryEnabled("Tray", kLmRun32, 0));
    model.RemoveEntry("Setup", kLmRunOnce32);
    Apply(model);
  }
  EXPECT_EQ(LocationValues(kLmRun32).count("tray"), 0u);
  EXPECT_EQ(LocationValues(kLmRun).count("tray"), 1u) << "the 64-bit entry of the same name stays";
  EXPECT_TRUE(LocationValues(kLmRunOnce32).empty());
  ASSERT_EQ(StoreValues().count("6|tray"), 1u);
  EXPECT_EQ(changes::ValueText(StoreValues()["6|tray"].data), "C:\\Program Files (x86)\\tray.exe");

  StartupParameters model(velmora::test::System());
  Read(model);
  ASSERT_NE(Find(model, kLmRun32, "Tray"), nullptr);
  EXPECT_EQ(Find(model, kLmRun32, "Tray")->enabled, 0);
  EXPECT_EQ(Find(model, kLmRun, "Tray")->enabled, 1);
  model.SetEntryEnabled("Tray", kLmRun32, 1);
  Apply(model);
  EXPECT_EQ(changes::ValueText(LocationValues(kLmRun32)["tray"].data), "C:\\Program Files (x86)\\tray.exe");

  // Roll-back returns to the state before the last apply: disabled again.
  std::vector<ApplyFailure> failures = model.RollBack();
  EXPECT_TRUE(failures.empty()) << Describe(failures);
  EXPECT_EQ(LocationValues(kLmRun32).count("tray"), 0u);
  EXPECT_EQ(StoreValues().count("6|tray"), 1u);
  ASSERT_NE(Find(model, kLmRun32, "Tray"), nullptr);
  EXPECT_EQ(Find(model, kLmRun32, "Tray")->enabled, 0) << "the rebuilt list shows it";
}

TEST_F(Machine32BitViewTest, AddingMakesAMissingRunKeyAndRollBackEmptiesIt) {
  // A fresh 64-bit Wine prefix has the 32-bit RunOnce key but no 32-bit Run key.
  StartupParameters model(velmora::test::System());
  Read(model);
  ASSERT_TRUE(model.LocationKeyMissing(kLmRun32));
  auto task = std::make_unique<Task>();
  task->name = "Agent";
  task->command = "C:\\agent.exe";
  std::string error;
  ASSERT_TRUE(model.AddEntry(std::move(task), kLmRun32, &error)) << error;
  Apply(model);
  EXPECT_EQ(changes::ValueText(LocationValues(kLmRun32)["agent"].data), "C:\\agent.exe");
  EXPECT_TRUE(LocationValues(kLmRun).empty()) << "nothing lands in the 64-bit view";

  std::vector<ApplyFailure> failures = model.RollBack();
  EXPECT_TRUE(failures.empty()) << Describe(failures);
  EXPECT_TRUE(LocationValues(kLmRun32).empty());
  EXPECT_TRUE(model.Entries(kLmRun32).empty());
}

TEST_F(Machine32BitViewTest, ProfilesHoldTheLocationsTheySaved) {
  SetText(kLmRun, "Old", "C:\\old.exe");
  {
    // A profile as versions without the 32-bit locations saved it: no list of
    // locations, entries of 0-5 only.
    StartupParameters model(velmora::test::System());
    Read(model);
    ASSERT_EQ(model.SaveProfile("Six", false), StartupParameters::ProfileSaveResult::kSaved);
    platform::UniqueKey key;
    ASSERT_EQ(platform::reg::OpenKey(velmora::test::System().CurrentUser(), ProfilesKeyPath() + "\\Six",
                                     platform::kKeyAllAccess, key.out()),
              platform::kSuccess);
    ASSERT_EQ(platform::reg::DeleteValue(key.get(), "Locations"), platform::kSuccess);
  }
  SetText(kLmRun32, "Helper", "C:\\helper.exe");
  SetText(kCuRun, "Late", "C:\\late.exe");
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    ASSERT_TRUE(model.LoadProfile("Six"));
    EXPECT_EQ(Find(model, kLmRun32, "Helper")->enabled, 1) << "the profile does not hold location 6";
    EXPECT_EQ(model.ChangedFlags()[kLmRun32], 0);
    EXPECT_EQ(Find(model, kCuRun, "Late")->enabled, 0) << "the profile holds location 3";
    Apply(model);
  }
  EXPECT_EQ(LocationValues(kLmRun32).count("helper"), 1u);
  EXPECT_EQ(LocationValues(kCuRun).count("late"), 0u);

  std::string held;
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    ASSERT_EQ(model.SaveProfile("Eight", false), StartupParameters::ProfileSaveResult::kSaved);
    EXPECT_EQ(ProfileHoldsLocationsOf("Eight", &held), platform::kRegSz);
    EXPECT_EQ(held, "0|1|2|3|4|5|6|7|8|9|10|11|12");
    model.SetEntryEnabled("Helper", kLmRun32, 0);
    Apply(model);
  }
  SetText(kLmRunOnce32, "Extra", "C:\\extra.exe");
  StartupParameters model(velmora::test::System());
  Read(model);
  ASSERT_TRUE(model.LoadProfile("Eight"));
  EXPECT_EQ(Find(model, kLmRun32, "Helper")->enabled, 1);
  EXPECT_EQ(Find(model, kLmRunOnce32, "Extra")->enabled, 0) << "the profile holds location 7 without it";
  Apply(model);
  EXPECT_EQ(LocationValues(kLmRun32).count("helper"), 1u);
  EXPECT_EQ(LocationValues(kLmRunOnce32).count("extra"), 0u);
  EXPECT_EQ(StoreValues().count("7|extra"), 1u);

  // On a system without the view, the profile's 32-bit entries are left out, each
  // named with the reason, and the six locations load as saved.
  SetArch("system.reg", "win32");
  ASSERT_TRUE(platform::reg::DeleteTree(velmora::test::System().LocalMachine(), "Software\\Wow6432Node") ==
              platform::kSuccess);
  StartupParameters narrow(velmora::test::System());
  Read(narrow);
  std::vector<std::string> skipped;
  ASSERT_TRUE(narrow.LoadProfile("Eight", nullptr, &skipped));
  EXPECT_TRUE(narrow.Entries(kLmRun32).empty());
  EXPECT_EQ(narrow.ChangedFlags()[kLmRun32], 0);
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].rfind("\"6|Helper\": this system has no LM Run (32-bit)", 0), 0u) << skipped[0];
}

TEST_F(Machine32BitViewTest, WineStartsNeitherUserRunOnceNorCommonStartupNorExpandableValues) {
  SetText(kCuRunOnce, "Once", "C:\\once.exe");
  SetText(kLmRun32, "Expand", "%ProgramFiles%\\x.exe", platform::kRegExpandSz);
  SetText(kLmRunOnce, "MachineOnce", "C:\\m.exe");
  MakeShortcut(Folder(kLmStartupFolder) + "\\Common.lnk", "C:\\common.exe", "");
  StartupParameters model(velmora::test::System());
  Read(model);
  const Task* once = Find(model, kCuRunOnce, "Once");
  ASSERT_NE(once, nullptr);
  EXPECT_FALSE(StartsUnderWine(*once));
  EXPECT_EQ(WineStartNote(*once), "Will not start under Wine: Wine never runs the user's RunOnce entries.");
  const Task* common = Find(model, kLmStartupFolder, "Common.lnk");
  ASSERT_NE(common, nullptr);
  EXPECT_FALSE(StartsUnderWine(*common));
  const Task* expand = Find(model, kLmRun32, "Expand");
  ASSERT_NE(expand, nullptr);
  EXPECT_FALSE(StartsUnderWine(*expand));
  EXPECT_NE(WineStartNote(*expand).find("REG_EXPAND_SZ"), std::string::npos);
  EXPECT_TRUE(StartsUnderWine(*Find(model, kLmRunOnce, "MachineOnce")));

  // A disabled entry is started by nothing and needs no note; enabled again
  // through the store, the expandable value keeps its type and its note.
  model.SetEntryEnabled("Expand", kLmRun32, 0);
  EXPECT_FALSE(StartsUnderWine(*expand));
  EXPECT_EQ(WineStartNote(*expand), "");
  Apply(model);
  StartupParameters again(velmora::test::System());
  Read(again);
  const Task* stored = Find(again, kLmRun32, "Expand");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->enabled, 0);
  again.SetEntryEnabled("Expand", kLmRun32, 1);
  EXPECT_NE(WineStartNote(*stored).find("REG_EXPAND_SZ"), std::string::npos);
  Apply(again);
  EXPECT_EQ(LocationValues(kLmRun32)["expand"].type, platform::kRegExpandSz);
}

}  // namespace
}  // namespace velmora::test
