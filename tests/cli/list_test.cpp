// velmora-cli list, run as a user runs it: a real process on a real prefix.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

using Result = test::CommandOutput;

// Runs velmora-cli with |arguments| (already quoted by the test) in |prefix|, its
// lock in |dir|, with the variables |environment| sets.
Result RunCli(const test::TempDir& dir, const std::string& prefix, const std::string& arguments,
              const std::string& environment = "") {
  return test::RunAndCapture("cd / && env WINEPREFIX=" + test::ShellQuote(prefix) +
                             " XDG_RUNTIME_DIR=" + test::ShellQuote(dir.RuntimeDir()) + " " + environment +
                             test::ShellQuote(VELMORA_PROGRAM_DIR "/velmora-cli") + " " + arguments);
}

TEST(CliList, UsageErrorsAndHelp) {
  test::TempDir dir;
  EXPECT_EQ(RunCli(dir, dir.path() + "/p", "").status, 2);
  Result unknown = RunCli(dir, dir.path() + "/p", "frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.out.find("Usage:"), std::string::npos);
  EXPECT_EQ(RunCli(dir, dir.path() + "/p", "list --bogus").status, 2);
  Result help = RunCli(dir, dir.path() + "/p", "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("list"), std::string::npos);
}

TEST(CliList, UnreadablePrefixIsAClearFailure) {
  test::TempDir dir;
  std::string prefix = dir.path() + "/p";
  fs::create_directories(prefix);
  test::WriteFile(prefix + "/system.reg", "this is not a registry file\n");
  test::WriteFile(prefix + "/user.reg", "WINE REGISTRY Version 2\n");
  std::string before = test::ReadFile(prefix + "/system.reg");
  Result result = RunCli(dir, prefix, "list --json");
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("system.reg"), std::string::npos) << result.out;
  EXPECT_EQ(test::ReadFile(prefix + "/system.reg"), before);
}

// A listing of a prefix that is not there (a typo) fails and makes nothing; only
// the program's own prefix is made when missing.
TEST(CliList, ListsOnlyAnExistingPrefixAndMakesOnlyItsOwn) {
  test::TempDir dir;
  const std::string typo = dir.path() + "/typo";
  Result missing = RunCli(dir, typo, "list --json");
  EXPECT_EQ(missing.status, 1) << missing.out;
  EXPECT_NE(missing.out.find(typo + " does not exist"), std::string::npos) << missing.out;
  EXPECT_EQ(missing.out.find("["), std::string::npos) << missing.out;
  Result add = RunCli(dir, typo, "add \"CU Run\" Foo 'C:\\foo.exe'");
  EXPECT_EQ(add.status, 1) << add.out;
  EXPECT_FALSE(fs::exists(typo));

  const std::string own = dir.path() + "/data/velmora/prefix";
  Result result = test::RunAndCapture("cd / && env -u WINEPREFIX HOME=" + test::ShellQuote(dir.path()) +
                                      " XDG_DATA_HOME=" + test::ShellQuote(dir.path() + "/data") +
                                      " XDG_RUNTIME_DIR=" + test::ShellQuote(dir.RuntimeDir()) + " " +
                                      test::ShellQuote(VELMORA_PROGRAM_DIR "/velmora-cli") + " list --json");
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_NE(result.out.find("["), std::string::npos);
  EXPECT_TRUE(fs::exists(own + "/system.reg"));
  EXPECT_TRUE(fs::exists(own + "/user.reg"));
}

// The programs of the entries are looked up among the host's processes, read
// while the prefix is opened: a program that runs shows its memory, one that does
// not shows none.
TEST(CliList, ARunningProgramShowsItsMemory) {
  test::TempDir dir;
  const std::string prefix = dir.path() + "/pfx";
  test::CopyWineMadePrefix(prefix, "Tray", "C:\\Tools\\vlmtray.exe /tray");
  // A host process of that name, as a program of the prefix's user would be.
  const std::string program = dir.path() + "/vlmtray";
  fs::copy_file("/bin/sleep", program);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(program.c_str(), "vlmtray", "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Its name is in the process table once it runs the program.
  for (int tries = 0;
       tries < 500 && test::ReadFile("/proc/" + std::to_string(child) + "/comm") != "vlmtray\n"; ++tries)
    usleep(10000);

  Result result = RunCli(dir, prefix, "list --json");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_EQ(result.status, 0) << result.out;
  const std::size_t tray = result.out.find("\"name\": \"Tray\"");
  ASSERT_NE(tray, std::string::npos) << result.out;
  const std::size_t start = result.out.rfind('{', tray);
  const std::string object = result.out.substr(start, result.out.find('}', tray) - start);
  EXPECT_EQ(object.find("\"memoryKB\": 0,"), std::string::npos) << object;
  EXPECT_NE(object.find("\"memoryKB\": "), std::string::npos) << object;

  Result after = RunCli(dir, prefix, "list --json");
  EXPECT_NE(after.out.find("\"memoryKB\": 0,", after.out.find("\"name\": \"Tray\"")), std::string::npos)
      << after.out;
}

// A large registry file's check is kept and used again while the file is
// unchanged. A file damaged in place, its size and modification time put back as
// they were, is refused as a first read refuses it.
TEST(CliList, AKeptCheckNeverHidesAFileDamagedInPlace) {
  test::TempDir dir;
  const std::string prefix = dir.path() + "/pfx";
  test::CopyWineMadePrefix(prefix, "Tray", "C:\\Tools\\vlmtray.exe /tray");
  const std::string systemReg = prefix + "/system.reg";
  std::string grown = test::ReadFile(systemReg);
  for (int i = 0; grown.size() < (512 << 10); ++i) {
    grown += "\n[Software\\\\Game Studio\\\\Game " + std::to_string(i) +
             "] 1733650000\n#time=1db4a1b2c3d4e5f\n\"Installed\"=dword:00000001\n";
  }
  test::WriteFile(systemReg, grown);
  // Kept only once the file's times are older than a tick of the clock.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string cache = "XDG_CACHE_HOME=" + test::ShellQuote(dir.path() + "/cache") + " ";
  const std::string none = "XDG_CACHE_HOME=" + test::ShellQuote(dir.path() + "/none") + " ";
  auto list = [&](const std::string& environment) { return RunCli(dir, prefix, "list --json", environment); };
  const Result first = list(cache);
  ASSERT_EQ(first.status, 0) << first.out;
  ASSERT_NE(first.out.find("\"name\": \"Tray\""), std::string::npos) << first.out;
  const fs::path kept = dir.path() + "/cache/velmora/registry-index";
  ASSERT_TRUE(fs::exists(kept));
  EXPECT_EQ(std::distance(fs::directory_iterator(kept), fs::directory_iterator()), 1);
  EXPECT_EQ(list(cache).out, first.out);

  struct stat before;
  ASSERT_EQ(stat(systemReg.c_str(), &before), 0);
  const std::size_t at = grown.find("dword:00000001", grown.size() / 2);
  ASSERT_NE(at, std::string::npos);
  {
    std::fstream file(systemReg, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(at + 2));
    file.put('x');  // dwxrd: no type of value
  }
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, systemReg.c_str(), times, 0), 0);
  const Result damaged = list(cache);
  const Result unkept = list(none);
  EXPECT_EQ(damaged.status, 1) << damaged.out;
  EXPECT_NE(damaged.out.find("system.reg could not be read"), std::string::npos) << damaged.out;
  EXPECT_EQ(damaged.out, unkept.out);
  EXPECT_EQ(damaged.status, unkept.status);
}

// A prefix made by Wine itself, with entries added by Wine's own reg tool and a
// shortcut whose target is a MinGW-built program.
TEST(CliList, ListsWhatWineWroteAndLeavesTheHivesUntouched) {
  if (!test::WineAvailable()) GTEST_SKIP() << "wine is not installed";
  test::TempDir dir;
  std::string prefix = dir.path() + "/wine";
  std::string env = "WINEPREFIX='" + prefix + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
  ASSERT_EQ(test::RunCommand(env + "wineboot --init >/dev/null 2>&1 && " + env + "wineserver -w"), 0);
  std::string drive = prefix + "/drive_c";
  fs::create_directories(drive + "/Tools");
  fs::copy_file(test::FixturePath("scan_app.exe"), drive + "/Tools/scan_app.exe");
  ASSERT_EQ(
      test::RunCommand(env +
                       "wine reg add 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' /v Tray "
                       "/d 'C:\\Tools\\scan_app.exe /tray' /f >/dev/null 2>&1 && " +
                       env +
                       "wine reg add 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce' /v "
                       "Once /d 'C:\\missing.exe' /f >/dev/null 2>&1 && " +
                       // The program's settings, with Start with Windows on and no Run value
                       // for it yet, and a kept entry of the name of the enabled Tray.
                       env +
                       "wine reg add 'HKCU\\Software\\Orlinsk\\Velmora' /v StartWithWindows /t REG_BINARY "
                       "/d 01000000 /f >/dev/null 2>&1 && " +
                       env +
                       "wine reg add 'HKCU\\Software\\Orlinsk\\Velmora\\DisabledTasks' /v '3|Tray' "
                       "/d 'C:\\old.exe' /f >/dev/null 2>&1 && " +
                       env + "wineserver -w"),
      0);
  std::string systemBefore = test::ReadFile(prefix + "/system.reg");
  std::string userBefore = test::ReadFile(prefix + "/user.reg");

  Result result = RunCli(dir, prefix, "list --json");
  ASSERT_EQ(result.status, 0) << result.out;
  const std::string& out = result.out;
  std::size_t tray = out.find("\"name\": \"Tray\"");
  ASSERT_NE(tray, std::string::npos) << out;
  std::size_t trayStart = out.rfind('{', tray);
  std::string trayObject = out.substr(trayStart, out.find('}', tray) - trayStart);
  EXPECT_NE(trayObject.find("\"location\": 3"), std::string::npos) << trayObject;
  EXPECT_NE(trayObject.find("\"tag\": \"CU Run\""), std::string::npos);
  EXPECT_NE(trayObject.find("\"fileName\": \"scan_app.exe\""), std::string::npos);
  EXPECT_NE(trayObject.find("\"version\": \"2.5.0.17\""), std::string::npos);
  EXPECT_NE(trayObject.find("\"fileExists\": true"), std::string::npos);
  EXPECT_NE(trayObject.find("\"icon\": \"default\""), std::string::npos);
  std::size_t once = out.find("\"name\": \"Once\"");
  ASSERT_NE(once, std::string::npos);
  EXPECT_LT(once, tray);  // location 1 before location 3
  EXPECT_NE(out.find("\"fileExists\": false", once), std::string::npos);

  EXPECT_TRUE(test::ReadFile(prefix + "/system.reg") == systemBefore) << "system.reg changed";
  EXPECT_TRUE(test::ReadFile(prefix + "/user.reg") == userBefore) << "user.reg changed";

  Result table = RunCli(dir, prefix, "list");
  EXPECT_EQ(table.status, 0) << table.out;
  EXPECT_NE(table.out.find("CU Run"), std::string::npos);
  EXPECT_NE(table.out.find("Tray"), std::string::npos);
}

}  // namespace
}  // namespace velmora
