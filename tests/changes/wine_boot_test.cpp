// What Wine itself makes of Velmora's edits: entries added and disabled with
// Velmora in a prefix made by Wine, then a plain wineboot, which starts the
// machine's and the user's Run entries and the user's Startup folder, or a
// session start (the first program of a wineserver session), which starts the
// RunServices keys and the services but not the Run keys.
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "entries/services.h"
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
    velmora::test::ResetPrefixForTesting();
    ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
  }
  void TearDown() override {
    velmora::test::ResetPrefixForTesting();
    unsetenv("WINEPREFIX");
  }

  static std::string Command(const std::string& marker) {
    return "C:\\marker\\marker.exe C:\\markers\\" + marker + ".txt";
  }
  bool Present(const std::string& marker) const {
    return fs::exists(prefix_ + "/drive_c/markers/" + marker + ".txt");
  }
  // wineserver -w has returned by the time this is asked, so the marker is
  // normally there at once; the wait only covers a program Wine started late.
  bool Started(const std::string& marker) const {
    for (int i = 0; i < 100 && !Present(marker); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Present(marker);
  }
  void Boot() {
    fs::remove_all(prefix_ + "/drive_c/markers");
    fs::create_directories(prefix_ + "/drive_c/markers");
    ASSERT_EQ(RunCommand(env_ + "wineboot >/dev/null 2>&1; " + env_ + "wineserver -w"), 0);
    velmora::test::ResetPrefixForTesting();
    ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
  }
  // The keys of system.reg that name a marker, to say in a failure where Wine
  // should have found it.
  std::string KeysNaming(const std::string& marker) const {
    std::ifstream in(prefix_ + "/system.reg");
    std::string line, key, found;
    while (std::getline(in, line)) {
      if (!line.empty() && line[0] == '[') key = line;
      if (line.find(marker) != std::string::npos) found += key + "\n  " + line + "\n";
    }
    return found.empty() ? "system.reg does not name it" : found;
  }
  // The first Windows program of a session: Wine runs wineboot --init first.
  void StartSession() {
    fs::remove_all(prefix_ + "/drive_c/markers");
    fs::create_directories(prefix_ + "/drive_c/markers");
    ASSERT_EQ(RunCommand(env_ + "wineserver -w; " + env_ + "wine cmd /c exit >/dev/null 2>&1; " + env_ +
                         "wineserver -w"),
              0);
    velmora::test::ResetPrefixForTesting();
    ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
  }
  static platform::RegistryValue ServiceValue(const std::string& service, const std::string& name) {
    platform::UniqueKey key;
    platform::RegistryValue value;
    if (platform::reg::OpenKey(velmora::test::System().LocalMachine(),
                               ServicesKeyPath(velmora::test::System()) + "\\" + service, platform::kKeyRead,
                               key.out()) != platform::kSuccess)
      return value;
    std::vector<platform::RegistryValue> values;
    platform::reg::ReadAllValues(key.get(), &values);
    for (const platform::RegistryValue& v : values) {
      if (EqualsIgnoreCase(v.name, name)) value = v;
    }
    return value;
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
  EXPECT_FALSE(Present("RunOff"));
  EXPECT_FALSE(Present("LinkOff"));

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
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
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
  EXPECT_FALSE(Present("off32"));
  EXPECT_FALSE(Present("expand")) << "Wine skips REG_EXPAND_SZ values, as the entry said";
  EXPECT_FALSE(Present("useronce")) << "Wine never runs the user's RunOnce, as the entry said";

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
  EXPECT_TRUE(Started("off32")) << KeysNaming("off32");
  EXPECT_FALSE(Present("tray32"));
  EXPECT_TRUE(Started("tray64")) << "the 64-bit entry of the same name is untouched";
}

// Values and services made by Wine's own reg and sc: a session start runs the
// RunServices keys and the services that start automatically, never the Run
// keys; a service Velmora disables starts no more, and enabling it gives back
// its Start and DelayedAutostart byte for byte.
TEST_F(WineBootTest, SessionStartRunsRunServicesAndServicesAsVelmoraLeavesThem) {
  const std::string lm = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\";
  auto add = [&](const std::string& key, const std::string& name, const std::string& marker) {
    return env_ + "wine reg add '" + lm + key + "' /v " + name + " /d '" + Command(marker) +
           "' /f >/dev/null 2>&1";
  };
  auto service = [&](const std::string& name) {
    return env_ + "wine sc create " + name + " binPath= '" + Command(name) + "' start= auto >/dev/null 2>&1";
  };
  const std::string services = "HKLM\\System\\CurrentControlSet\\Services\\";
  ASSERT_EQ(
      RunCommand(add("RunServices", "ServicesOn", "servicesOn") + " && " +
                 add("RunServices", "ServicesOff", "servicesOff") + " && " + add("Run", "RunKey", "run") +
                 " && " + service("svcOn") + " && " + service("svcOff") + " && " + env_ + "wine reg add '" +
                 services + "svcOff' /v DelayedAutostart /t REG_DWORD /d 0 /f >/dev/null 2>&1 && " + env_ +
                 "wineserver -w"),
      0);
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
  const platform::RegistryValue start = ServiceValue("svcOff", "Start");
  const platform::RegistryValue delayed = ServiceValue("svcOff", "DelayedAutostart");
  ASSERT_EQ(start.type, platform::kRegDword);
  ASSERT_EQ(delayed.type, platform::kRegDword);
  {
    StartupParameters model(velmora::test::System());
    model.ScanAllLocations();
    model.ReadDisabledTasks();
    ASSERT_NE(model.Entries(kServices).count("svcoff"), 0u);
    ASSERT_NE(model.Entries(kServices).count("plugplay"), 0u) << "Wine's own services are listed";
    EXPECT_EQ(StartsWhen(model.System(), kServices, *model.Entries(kServices).at("svcoff")), "session");
    EXPECT_EQ(StartsWhen(model.System(), kLmRunServices, *model.Entries(kLmRunServices).at("serviceson")),
              "session");
    EXPECT_EQ(StartsWhen(model.System(), kLmRun, *model.Entries(kLmRun).at("runkey")), "restart");
    model.SetEntryEnabled("svcOff", kServices, 0);
    model.SetEntryEnabled("ServicesOff", kLmRunServices, 0);
    ApplyAll(model);
  }
  EXPECT_EQ(ServiceValue("svcOff", "Start").data, std::string("\x03\0\0\0", 4));
  StartSession();
  EXPECT_TRUE(Started("servicesOn"));
  EXPECT_TRUE(Started("svcOn"));
  EXPECT_FALSE(Present("run")) << "a session start never runs the Run keys";
  EXPECT_FALSE(Present("servicesOff"));
  EXPECT_FALSE(Present("svcOff"));
  {
    StartupParameters model(velmora::test::System());
    model.ScanAllLocations();
    model.ReadDisabledTasks();
    ASSERT_NE(model.Entries(kServices).count("svcoff"), 0u);
    EXPECT_EQ(model.Entries(kServices).at("svcoff")->enabled, 0);
    model.SetEntryEnabled("svcOff", kServices, 1);
    model.SetEntryEnabled("ServicesOff", kLmRunServices, 1);
    ApplyAll(model);
  }
  const platform::RegistryValue startAfter = ServiceValue("svcOff", "Start");
  const platform::RegistryValue delayedAfter = ServiceValue("svcOff", "DelayedAutostart");
  EXPECT_EQ(startAfter.type, start.type);
  EXPECT_EQ(startAfter.data, start.data);
  EXPECT_EQ(delayedAfter.type, delayed.type);
  EXPECT_EQ(delayedAfter.data, delayed.data);
  StartSession();
  EXPECT_TRUE(Started("servicesOff"));
  EXPECT_TRUE(Started("svcOff"));
}

}  // namespace
}  // namespace velmora::test
