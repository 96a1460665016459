// What Wine itself makes of Velmora's edits: entries added and disabled with
// Velmora in a prefix made by Wine, then a plain wineboot, which starts the
// machine's and the user's Run entries and the user's Startup folder.
#include <sys/stat.h>

#include "entries/wine_start.h"
#include "platform/posix/prefix.h"
#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class WineBootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!WineAvailable()) GTEST_SKIP() << "wine is not installed";
    if (!fs::exists(FixturePath("marker.exe"))) GTEST_SKIP() << "the MinGW fixtures were not built";
    prefix_ = dir_.path() + "/wine";
    env_ = "WINEPREFIX='" + prefix_ + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
    ASSERT_EQ(RunCommand(env_ + "wineboot --init >/dev/null 2>&1 && " + env_ + "wineserver -w"), 0);
    fs::create_directories(prefix_ + "/drive_c/marker");
    fs::create_directories(prefix_ + "/drive_c/markers");
    fs::copy_file(FixturePath("marker.exe"), prefix_ + "/drive_c/marker/marker.exe");
    setenv("WINEPREFIX", prefix_.c_str(), 1);
    platform::ResetPrefixForTesting();
    ASSERT_EQ(platform::InitPrefix(), platform::kSuccess);
  }
  void TearDown() override {
    platform::ResetPrefixForTesting();
    unsetenv("WINEPREFIX");
  }

  static std::string Command(const std::string& marker) {
    return "C:\\marker\\marker.exe C:\\markers\\" + marker + ".txt";
  }
  bool Started(const std::string& marker) {
    return fs::exists(prefix_ + "/drive_c/markers/" + marker + ".txt");
  }
  void Boot() {
    fs::remove_all(prefix_ + "/drive_c/markers");
    fs::create_directories(prefix_ + "/drive_c/markers");
    ASSERT_EQ(RunCommand(env_ + "wineboot >/dev/null 2>&1; " + env_ + "wineserver -w"), 0);
    platform::ResetPrefixForTesting();
    ASSERT_EQ(platform::InitPrefix(), platform::kSuccess);
  }
  static void ApplyAll(StartupParameters& model) {
    model.TakeSnapshot();
    std::vector<ApplyFailure> failures = model.ApplyChanges();
    for (const ApplyFailure& f : failures) ADD_FAILURE() << f.location << " " << f.name << ": " << f.reason;
  }

  TempDir dir_;
  std::string prefix_;
  std::string env_;
};

TEST_F(WineBootTest, DisabledEntriesDoNotStartAndEnabledOnesDo) {
  {
    StartupParameters model(velmora::test::System());
    model.ScanAllLocations();
    model.ReadDisabledTasks();
    const std::pair<int, const char*> entries[] = {{kCuRun, "RunOn"},
                                                   {kCuRun, "RunOff"},
                                                   {kLmRun, "MachineOn"},
                                                   {kCuStartupFolder, "LinkOn"},
                                                   {kCuStartupFolder, "LinkOff"}};
    for (const auto& [location, name] : entries) {
      auto task = std::make_unique<Task>();
      task->name = name;
      task->command = Command(name);
      std::string error;
      ASSERT_TRUE(model.AddEntry(std::move(task), location, &error)) << error;
    }
    ApplyAll(model);
  }
  {
    // Disabled by a later apply, as a user would: from what a scan finds.
    StartupParameters model(velmora::test::System());
    model.ScanAllLocations();
    model.ReadDisabledTasks();
    ASSERT_NE(model.Entries(kCuStartupFolder).count("linkoff.lnk"), 0u);
    model.SetEntryEnabled("RunOff", kCuRun, 0);
    model.SetEntryEnabled("LinkOff.lnk", kCuStartupFolder, 0);
    ApplyAll(model);
  }
  Boot();
  EXPECT_TRUE(Started("RunOn"));
  EXPECT_TRUE(Started("MachineOn"));
  EXPECT_TRUE(Started("LinkOn"));  // a shortcut with its argument
  EXPECT_FALSE(Started("RunOff"));
  EXPECT_FALSE(Started("LinkOff"));

  {
    StartupParameters model(velmora::test::System());
    model.ScanAllLocations();
    model.ReadDisabledTasks();
    model.SetEntryEnabled("RunOff", kCuRun, 1);
    model.SetEntryEnabled("LinkOff.lnk", kCuStartupFolder, 1);
    ApplyAll(model);
  }
  Boot();
  EXPECT_TRUE(Started("RunOff"));
  EXPECT_TRUE(Started("LinkOff"));  // the kept shortcut, put back
  EXPECT_TRUE(Started("RunOn"));
}

// Entries that Wine's own reg tool puts into the machine's two registry views:
// the 32-bit ones are locations 6 and 7, and Wine's boot judges what Velmora's
// disabling and enabling of them did. Wine's boot also shows which entries never
// start under Wine.
TEST_F(WineBootTest, EntriesOfTheMachines32BitViewAreListedDisabledAndEnabled) {
  const std::string run = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string runOnce = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  auto add = [&](const std::string& key, const std::string& name, const std::string& marker, const char* view,
                 const char* type = "REG_SZ") {
    return env_ + "wine reg add '" + key + "' /v " + name + " /t " + type + " /d '" + Command(marker) +
           "' /f " + view + " >/dev/null 2>&1";
  };
  ASSERT_EQ(
      RunCommand(
          add(run, "Tray", "tray32", "/reg:32") + " && " + add(run, "Tray", "tray64", "/reg:64") + " && " +
          add(run, "Off32", "off32", "/reg:32") + " && " + add(runOnce, "Once32", "once32", "/reg:32") +
          " && " + add(run, "Expand", "expand", "/reg:64", "REG_EXPAND_SZ") + " && " +
          add("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "UserOnce", "useronce", "") +
          "; " + env_ + "wineserver -w"),
      0);
  platform::ResetPrefixForTesting();
  ASSERT_EQ(platform::InitPrefix(), platform::kSuccess);
  {
    StartupParameters model(velmora::test::System());
    ASSERT_TRUE(model.HasLocation(kLmRun32)) << "Wine's default prefix is a 64-bit one";
    model.ScanAllLocations();
    model.ReadDisabledTasks();
    ASSERT_NE(model.Entries(kLmRun32).count("tray"), 0u);
    ASSERT_NE(model.Entries(kLmRun).count("tray"), 0u) << "one name in both views: two entries";
    EXPECT_EQ(model.Entries(kLmRun32).at("tray")->command, Command("tray32"));
    EXPECT_EQ(model.Entries(kLmRun).at("tray")->command, Command("tray64"));
    ASSERT_NE(model.Entries(kLmRunOnce32).count("once32"), 0u);
    EXPECT_TRUE(StartsUnderWine(*model.Entries(kLmRunOnce32).at("once32")));
    EXPECT_FALSE(StartsUnderWine(*model.Entries(kLmRun).at("expand")));
    EXPECT_FALSE(StartsUnderWine(*model.Entries(kCuRunOnce).at("useronce")));
    model.SetEntryEnabled("Off32", kLmRun32, 0);
    ApplyAll(model);
  }
  Boot();
  EXPECT_TRUE(Started("tray32"));
  EXPECT_TRUE(Started("tray64"));
  EXPECT_TRUE(Started("once32"));
  EXPECT_FALSE(Started("off32"));
  EXPECT_FALSE(Started("expand")) << "Wine skips REG_EXPAND_SZ values, as the entry said";
  EXPECT_FALSE(Started("useronce")) << "Wine never runs the user's RunOnce, as the entry said";

  {
    StartupParameters model(velmora::test::System());
    model.ScanAllLocations();
    model.ReadDisabledTasks();
    EXPECT_EQ(model.Entries(kLmRunOnce32).count("once32"), 0u) << "Wine deleted the RunOnce value it ran";
    ASSERT_NE(model.Entries(kLmRun32).count("off32"), 0u);
    EXPECT_EQ(model.Entries(kLmRun32).at("off32")->enabled, 0);
    model.SetEntryEnabled("Off32", kLmRun32, 1);
    model.SetEntryEnabled("Tray", kLmRun32, 0);
    ApplyAll(model);
  }
  Boot();
  EXPECT_TRUE(Started("off32"));
  EXPECT_FALSE(Started("tray32"));
  EXPECT_TRUE(Started("tray64")) << "the 64-bit entry of the same name is untouched";
}

}  // namespace
}  // namespace velmora::test
