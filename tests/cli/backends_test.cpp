// The Linux build's velmora-cli and the Windows build's velmora-cli.exe on
// prefixes made by Wine: the same listing, one suite of commands with the same
// output from either build, its edits judged by what wineboot then starts, and
// only the Windows build changes a prefix while its wineserver runs. The Windows
// build is found in $VELMORA_WIN32_PROGRAM_DIR (scripts/test.sh sets it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>

#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

using Result = test::CommandOutput;

// Fields a backend cannot know the same way: memory figures of running processes.
std::string WithoutBackendFields(const std::string& json) {
  static const std::regex fields("\"(memoryKB|peakMemoryKB)\": [0-9]+");
  return std::regex_replace(json, fields, "\"$1\": _");
}

// A prefix that wineboot made, Windows XP 64-bit (the version the program
// supports), with a program with version data in the user's Run key, and in the
// machine's Run key the marker program, which leaves a file named by its argument
// in C:\markers when a boot of the prefix starts it. The booted prefix is made
// once for all test programs of the build and copied for each test.
class BackendsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* win32 = std::getenv("VELMORA_WIN32_PROGRAM_DIR");
    if (!win32 || !fs::exists(std::string(win32) + "/velmora-cli.exe")) {
      GTEST_SKIP() << "no Windows build (VELMORA_WIN32_PROGRAM_DIR)";
    }
    if (!test::WineAvailable()) GTEST_SKIP() << "wine is not installed";
    if (!fs::exists(test::FixturePath("marker.exe"))) GTEST_SKIP() << "the MinGW fixtures were not built";
    windowsCli_ = std::string(win32) + "/velmora-cli.exe";

    const std::string made = VELMORA_BINARY_DIR "/tests/wine-winxp64";
    const std::string building = made + ".new";
    env_ = Env(building);
    ASSERT_EQ(test::RunCommand("(flock 9; [ -f '" + made + "/system.reg' ] || { rm -rf '" + building + "'; " +
                               env_ + "wineboot --init >/dev/null 2>&1 && " + env_ +
                               "winecfg -v winxp64 >/dev/null 2>&1 && " + env_ + "wineserver -w && mv '" +
                               building + "' '" + made + "'; }) 9>'" + made + ".lock'"),
              0);
    // The system's libraries are linked, not copied, and never written.
    prefix_ = dir_.path() + "/wine";
    env_ = Env(prefix_);
    ASSERT_EQ(test::RunCommand("cp -a --link '" + made + "' '" + prefix_ + "' && cd '" + prefix_ +
                               "' && find . -type f -not -path '*/system32/*' -not -path '*/syswow64/*' "
                               "-not -path '*/winsxs/*' -exec sh -c 'cp -p \"$1\" \"$1.copy\" && mv -f "
                               "\"$1.copy\" \"$1\"' _ {} \\;"),
              0);
    fs::create_directories(prefix_ + "/drive_c/Tools");
    fs::create_directories(prefix_ + "/drive_c/marker");
    fs::copy_file(test::FixturePath("scan_app.exe"), prefix_ + "/drive_c/Tools/scan_app.exe");
    fs::copy_file(test::FixturePath("marker.exe"), prefix_ + "/drive_c/marker/marker.exe");
    const std::string entries = dir_.path() + "/entries.reg";
    test::WriteFile(entries,
                    "REGEDIT4\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
                    "\"Tray\"=\"C:\\\\Tools\\\\scan_app.exe /tray\"\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
                    "\"Marker\"=\"C:\\\\marker\\\\marker.exe C:\\\\markers\\\\marker.txt\"\r\n\r\n"
                    // What the Linux build reads as the system version.
                    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
                    "\"CurrentVersion\"=\"5.2\"\r\n");
    std::string windowsPath = "Z:" + entries;
    for (char& c : windowsPath) c = c == '/' ? '\\' : c;
    ASSERT_EQ(Wine("regedit /S '" + windowsPath + "'"), 0);
    test::RunCommand(env_ + "wineserver -w");
  }

  std::string Env(const std::string& prefix) const {
    return "WINEPREFIX='" + prefix + "' XDG_RUNTIME_DIR='" + dir_.RuntimeDir() +
           "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
  }
  int Wine(const std::string& arguments) {
    return test::RunCommand(env_ + "wine " + arguments + " >/dev/null 2>&1");
  }
  // The Linux build; |json| runs read standard output only.
  Result Linux(const std::string& arguments, bool withErrors = true) {
    return Capture(test::ShellQuote(VELMORA_PROGRAM_DIR "/velmora-cli") + " " + arguments, withErrors);
  }
  Result Windows(const std::string& arguments, bool withErrors = true) {
    return Capture("wine " + test::ShellQuote(windowsCli_) + " " + arguments, withErrors);
  }
  Result Capture(const std::string& command, bool withErrors) {
    return test::RunAndCapture("cd / && env " + env_ + command,
                               withErrors ? test::Errors::kMerged : test::Errors::kDropped);
  }
  void StopWineserver() {
    test::RunCommand(env_ + "wineserver -k >/dev/null 2>&1; " + env_ + "wineserver -w");
  }
  // What a plain boot of the prefix starts: the files the marker programs leave.
  std::set<std::string> StartedAtBoot() {
    std::set<std::string> started;
    // On a heavily loaded machine a boot has been seen to start nothing at all
    // once; a second boot tells that apart from an entry that does not start.
    for (int boot = 0; boot < 2 && started.empty(); ++boot) {
      fs::remove_all(prefix_ + "/drive_c/markers");
      fs::create_directories(prefix_ + "/drive_c/markers");
      StopWineserver();
      test::RunCommand(env_ + "wineboot >/dev/null 2>&1; " + env_ + "wineserver -w");
      for (const auto& entry : fs::directory_iterator(prefix_ + "/drive_c/markers"))
        started.insert(entry.path().filename().string());
    }
    return started;
  }
  bool MarkerStartedAtBoot() { return StartedAtBoot().count("marker.txt") != 0; }

  test::TempDir dir_;
  std::string prefix_;
  std::string env_;
  std::string windowsCli_;
};

TEST_F(BackendsTest, BothBuildsListTheSameEntries) {
  ASSERT_EQ(Wine("reg add 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce' /v Once /d "
                 "'C:\\missing.exe' /f"),
            0);
  test::RunCommand(env_ + "wineserver -w");
  // Wine boots the prefix when its first program starts (RunOnce entries run and
  // go), so the Windows build lists first and the Linux build reads what is left.
  Result windows = Windows("list --json", false);
  ASSERT_EQ(windows.status, 0) << windows.out;
  test::RunCommand(env_ + "wineserver -w");
  Result linux = Linux("list --json", false);
  ASSERT_EQ(linux.status, 0) << linux.out;
  EXPECT_NE(linux.out.find("\"name\": \"Tray\""), std::string::npos) << linux.out;
  EXPECT_NE(linux.out.find("\"version\": \"2.5.0.17\""), std::string::npos) << linux.out;
  EXPECT_EQ(WithoutBackendFields(windows.out), WithoutBackendFields(linux.out));

  EXPECT_EQ(Windows("list").out.find('\r'), std::string::npos);  // line ends as on Linux
}

TEST_F(BackendsTest, TheWindowsBuildChangesThePrefixWhileItsWineserverRuns) {
  ASSERT_TRUE(MarkerStartedAtBoot());
  // Another Windows program keeps the prefix's wineserver running.
  ASSERT_EQ(test::RunCommand(env_ + "wineserver -p >/dev/null 2>&1"), 0);

  Result refused = Linux("disable 'LM Run' Marker");
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("velmora-cli.exe"), std::string::npos) << refused.out;

  Result disabled = Windows("disable 'LM Run' Marker");
  ASSERT_EQ(disabled.status, 0) << disabled.out;
  EXPECT_FALSE(MarkerStartedAtBoot());
  Result listed = Linux("list --json", false);
  EXPECT_NE(listed.out.find("\"name\": \"Marker\""), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\"enabled\": false"), std::string::npos) << listed.out;

  ASSERT_EQ(test::RunCommand(env_ + "wineserver -p >/dev/null 2>&1"), 0);
  Result enabled = Windows("enable 0 Marker");
  ASSERT_EQ(enabled.status, 0) << enabled.out;
  EXPECT_TRUE(MarkerStartedAtBoot());
}

// One suite of command-line tests for both builds: each test runs its commands
// with the Linux build, or with the Windows build under Wine, on a prefix made by
// Wine, expects the same output from either, and lets a boot of the prefix judge
// what they wrote. (Each edit is applied at once: the command line has no
// separate apply or roll-back step; roll-back is tested in the core's tests,
// which run in both builds.)
enum class Build { kLinux, kWindows };

class BothBuildsTest : public BackendsTest, public ::testing::WithParamInterface<Build> {
 protected:
  // A command of the build under test. The Linux build refuses changes while a
  // wineserver owns the prefix, so none is left running afterwards.
  Result Cli(const std::string& arguments, bool withErrors = true) {
    if (GetParam() == Build::kLinux) return Linux(arguments, withErrors);
    Result result = Windows(arguments, withErrors);
    StopWineserver();
    return result;
  }
  // Whichever build made the changes, both list the result alike.
  void ExpectBothBuildsListAlike() {
    Result linux = Linux("list --json", false);
    Result windows = Windows("list --json", false);
    StopWineserver();
    ASSERT_EQ(linux.status, 0) << linux.out;
    ASSERT_EQ(windows.status, 0) << windows.out;
    EXPECT_EQ(WithoutBackendFields(windows.out), WithoutBackendFields(linux.out));
  }
  // An item of the user's Startup folder, as wineboot made it for the user.
  bool StartupItemExists(const std::string& name) const {
    for (const auto& user : fs::directory_iterator(prefix_ + "/drive_c/users")) {
      if (user.path().filename() == "Public") continue;
      if (fs::exists(user.path() / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp" / name))
        return true;
    }
    return false;
  }
  // The JSON line of the listed entry |name|.
  static std::string Entry(const std::string& json, const std::string& name) {
    std::size_t at = json.find("\"name\": \"" + name + "\"");
    if (at == std::string::npos) return "";
    std::size_t start = json.rfind('\n', at) + 1;
    return json.substr(start, json.find('\n', at) - start);
  }
};

// The marker's program is found as Windows finds it: the words before its argument.
// The table up to the RunServices keys, which list what Wine itself sets up.
const char kTable[] =
    "LM Run (1 entry)\n"
    "  [x] Marker\n"
    "      command: C:\\marker\\marker.exe C:\\markers\\marker.txt\n"
    "      starts:  Starts only when the prefix restarts (wineboot)\n"
    "      rating:  Unknown File\n"
    "LM RunOnce (0 entries)\n"
    "LM Startup Folder (0 entries)\n"
    "CU Run (1 entry)\n"
    "  [x] Tray\n"
    "      command: C:\\Tools\\scan_app.exe /tray\n"
    "      starts:  Starts only when the prefix restarts (wineboot)\n"
    "      program: Scan Test Tray Helper 2.5.0.17\n"
    "      rating:  Unknown File\n"
    "CU RunOnce (0 entries)\n"
    "CU Startup Folder (0 entries)\n"
    "LM Run (32-bit) (0 entries)\n"
    "LM RunOnce (32-bit) (0 entries)\n";

// A listing's table up to the machine's RunServices key.
std::string UpToRunServices(const std::string& table) {
  return table.substr(0, table.find("LM RunServices ("));
}

TEST_P(BothBuildsTest, ListsTheEntriesAsTheTableShowsThem) {
  Result table = Cli("list");
  ASSERT_EQ(table.status, 0) << table.out;
  EXPECT_EQ(UpToRunServices(table.out), kTable);
  EXPECT_NE(table.out.find("  [x] PlugPlay\n"), std::string::npos) << "Wine's own services are listed";
}

TEST_P(BothBuildsTest, DisabledEntriesStopStartingAndEnabledOnesStartAgain) {
  Result disabled = Cli("disable 'LM Run' marker");
  ASSERT_EQ(disabled.status, 0) << disabled.out;
  EXPECT_EQ(disabled.out,
            "Disabled \"Marker\" in LM Run (kept in Velmora's store of disabled entries until enabled)\n");
  EXPECT_EQ(StartedAtBoot(), std::set<std::string>{});
  Result listed = Cli("list --json", false);
  EXPECT_NE(Entry(listed.out, "Marker").find("\"enabled\": false"), std::string::npos) << listed.out;

  Result again = Cli("disable 0 Marker");
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find("nothing changed"), std::string::npos) << again.out;

  Result enabled = Cli("enable 0 Marker");
  ASSERT_EQ(enabled.status, 0) << enabled.out;
  EXPECT_EQ(enabled.out, "Enabled \"Marker\" in LM Run\n");
  EXPECT_EQ(StartedAtBoot(), std::set<std::string>{"marker.txt"});
  EXPECT_EQ(UpToRunServices(Cli("list").out), kTable);
}

TEST_P(BothBuildsTest, AddedEntriesStartAndRemovedOnesAreGone) {
  Result added = Cli("add 'CU Run' Second 'C:\\marker\\marker.exe C:\\markers\\second.txt'");
  ASSERT_EQ(added.status, 0) << added.out;
  Result shortcut = Cli("add 'CU Startup Folder' Third 'C:\\marker\\marker.exe C:\\markers\\third.txt'");
  ASSERT_EQ(shortcut.status, 0) << shortcut.out;
  EXPECT_TRUE(StartupItemExists("Third.lnk")) << shortcut.out;
  Result removed = Cli("remove 'LM Run' Marker");
  ASSERT_EQ(removed.status, 0) << removed.out;
  EXPECT_EQ(StartedAtBoot(), (std::set<std::string>{"second.txt", "third.txt"}));

  Result listed = Cli("list --json", false);
  EXPECT_EQ(Entry(listed.out, "Marker"), "") << listed.out;
  EXPECT_NE(Entry(listed.out, "Third.lnk").find("\"enabled\": true"), std::string::npos) << listed.out;

  Result failed = Cli("enable 'CU Run' Nothing");
  EXPECT_EQ(failed.status, 1) << failed.out;
  EXPECT_EQ(Cli("add 5 'Only name'").status, 2);
  ExpectBothBuildsListAlike();
}

TEST_P(BothBuildsTest, LoadingAProfileAppliesItsState) {
  ASSERT_EQ(Cli("profile save Home").status, 0);
  ASSERT_EQ(Cli("disable 'LM Run' Marker").status, 0);
  ASSERT_EQ(Cli("add 'CU Run' Extra 'C:\\marker\\marker.exe C:\\markers\\extra.txt'").status, 0);
  EXPECT_EQ(Cli("profile list").out, "Home\n");
  EXPECT_EQ(StartedAtBoot(), std::set<std::string>{"extra.txt"});

  Result loaded = Cli("profile load Home");
  ASSERT_EQ(loaded.status, 0) << loaded.out;
  // The profile's entries as saved; the one it does not hold is disabled, not deleted.
  EXPECT_EQ(StartedAtBoot(), std::set<std::string>{"marker.txt"});
  Result listed = Cli("list --json", false);
  EXPECT_NE(Entry(listed.out, "Extra").find("\"enabled\": false"), std::string::npos) << listed.out;

  EXPECT_EQ(Cli("profile load Away").status, 1);
  EXPECT_EQ(Cli("profile delete Home").status, 0);
  EXPECT_EQ(Cli("profile list").out, "");
  ExpectBothBuildsListAlike();
}

// A service that Wine's own sc made: either build disables it to start on demand
// and enables it back to start automatically, and both list it alike.
TEST_P(BothBuildsTest, AServiceMadeByScIsDisabledAndEnabledAgain) {
  ASSERT_EQ(Wine("sc create VlmSvc binpath= 'C:\\marker\\marker.exe C:\\markers\\svc.txt' start= auto"), 0);
  StopWineserver();
  // The Start of the service as system.reg holds it, "" when it holds none.
  auto start = [this] {
    const std::string reg = test::ReadFile(prefix_ + "/system.reg");
    std::size_t key = reg.find("\\\\Services\\\\VlmSvc]");
    if (key == std::string::npos) return std::string();
    std::size_t end = reg.find("\n[", key);
    std::size_t value = reg.find("\n\"Start\"=", key);
    return value < end ? reg.substr(value + 9, reg.find('\n', value + 1) - value - 9) : std::string();
  };
  ASSERT_EQ(start(), "dword:00000002");
  Result disabled = Cli("disable Services VlmSvc");
  ASSERT_EQ(disabled.status, 0) << disabled.out;
  EXPECT_EQ(start(), "dword:00000003");
  Result listed = Cli("list --json", false);
  EXPECT_NE(Entry(listed.out, "VlmSvc").find("\"enabled\": false"), std::string::npos) << listed.out;

  Result enabled = Cli("enable Services VlmSvc");
  ASSERT_EQ(enabled.status, 0) << enabled.out;
  EXPECT_EQ(start(), "dword:00000002");
  ExpectBothBuildsListAlike();
}

INSTANTIATE_TEST_SUITE_P(Builds, BothBuildsTest, ::testing::Values(Build::kLinux, Build::kWindows),
                         [](const ::testing::TestParamInfo<Build>& build) {
                           return build.param == Build::kLinux ? "Linux" : "Windows";
                         });

}  // namespace
}  // namespace velmora
