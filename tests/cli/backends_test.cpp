// The Linux build's velmora-cli and the Windows build's velmora-cli.exe on the
// same prefix made by Wine: the same listing, and only the Windows build changes
// the prefix while its wineserver runs, as wineboot then shows. The Windows
// build is found in $VELMORA_WIN32_PROGRAM_DIR (scripts/test.sh sets it).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
};

// Output goes to a file, not a pipe: Wine's services started by a command keep
// running beside a persistent wineserver and would hold a pipe open for ever.
Result Capture(const std::string& command) {
  Result result;
  char path[] = "/tmp/velmora-backends-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return result;
  close(fd);
  int status = std::system(("(" + command + ") > '" + path + "'").c_str());
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream file(path, std::ios::binary);
  result.out.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  std::remove(path);
  return result;
}

// Fields a backend cannot know the same way: memory figures of running processes.
std::string WithoutBackendFields(const std::string& json) {
  static const std::regex fields("\"(memoryKB|peakMemoryKB)\": [0-9]+");
  return std::regex_replace(json, fields, "\"$1\": _");
}

class BackendsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* win32 = std::getenv("VELMORA_WIN32_PROGRAM_DIR");
    if (!win32 || !fs::exists(std::string(win32) + "/velmora-cli.exe")) {
      GTEST_SKIP() << "no Windows build (VELMORA_WIN32_PROGRAM_DIR)";
    }
    if (test::RunCommand("command -v wine >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "wine is not installed";
    }
    if (!fs::exists(test::FixturePath("marker.exe"))) GTEST_SKIP() << "the MinGW fixtures were not built";
    windowsCli_ = std::string(win32) + "/velmora-cli.exe";
    prefix_ = dir_.path() + "/wine";
    fs::create_directories(dir_.path() + "/run");
    env_ = "WINEPREFIX='" + prefix_ + "' XDG_RUNTIME_DIR='" + dir_.path() +
           "/run' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
    // A Windows XP 64-bit system: the version the program supports.
    ASSERT_EQ(test::RunCommand(env_ + "wineboot --init >/dev/null 2>&1 && " + env_ +
                               "winecfg -v winxp64 >/dev/null 2>&1 && " + env_ + "wineserver -w"),
              0);
    fs::create_directories(prefix_ + "/drive_c/Tools");
    fs::create_directories(prefix_ + "/drive_c/marker");
    fs::copy_file(test::FixturePath("scan_app.exe"), prefix_ + "/drive_c/Tools/scan_app.exe");
    fs::copy_file(test::FixturePath("marker.exe"), prefix_ + "/drive_c/marker/marker.exe");
    ASSERT_EQ(Wine("reg add 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' /v Tray /d "
                   "'C:\\Tools\\scan_app.exe /tray' /f") +
                  Wine("reg add 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' /v Marker /d "
                       "'C:\\marker\\marker.exe C:\\markers\\marker.txt' /f") +
                  Wine("reg add 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce' /v Once /d "
                       "'C:\\missing.exe' /f") +
                  // What the Linux build reads as the system version.
                  Wine("reg add 'HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion' /v CurrentVersion /d "
                       "5.2 /f"),
              0);
    test::RunCommand(env_ + "wineserver -w");
  }

  int Wine(const std::string& arguments) {
    return test::RunCommand(env_ + "wine " + arguments + " >/dev/null 2>&1");
  }
  // The Linux build; |json| runs read standard output only.
  Result Linux(const std::string& arguments, bool withErrors = true) {
    return Capture("cd / && env " + env_ + "'" VELMORA_PROGRAM_DIR "/velmora-cli' " + arguments +
                   (withErrors ? " 2>&1" : " 2>/dev/null"));
  }
  Result Windows(const std::string& arguments, bool withErrors = true) {
    return Capture("cd / && env " + env_ + "wine '" + windowsCli_ + "' " + arguments +
                   (withErrors ? " 2>&1" : " 2>/dev/null"));
  }
  // A plain boot of the prefix, which starts its startup entries.
  bool MarkerStartedAtBoot() {
    fs::remove_all(prefix_ + "/drive_c/markers");
    fs::create_directories(prefix_ + "/drive_c/markers");
    test::RunCommand(env_ + "wineserver -k >/dev/null 2>&1; " + env_ + "wineserver -w; " + env_ +
                     "wineboot >/dev/null 2>&1; " + env_ + "wineserver -w");
    return fs::exists(prefix_ + "/drive_c/markers/marker.txt");
  }

  test::TempDir dir_;
  std::string prefix_;
  std::string env_;
  std::string windowsCli_;
};

TEST_F(BackendsTest, BothBuildsListTheSameEntries) {
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

}  // namespace
}  // namespace velmora
