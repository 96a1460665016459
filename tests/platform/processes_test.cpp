#include "platform/processes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"

extern char** environ;

namespace platform {
namespace {

namespace fs = std::filesystem;
using velmora::test::TempDir;

// Starts |path| with the given argument vector (argv[0] included).
pid_t Start(const std::string& path, std::vector<std::string> argv) {
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, pointers.data(), environ) != 0) return -1;
  return pid;
}

std::vector<std::string> NamesOf(std::uint32_t pid) {
  std::vector<std::string> names;
  for (const ProcessEntry& p : velmora::test::System().ListProcesses()) {
    if (p.pid == pid) names.push_back(p.name);
  }
  return names;
}

// /proc shows a freshly started child under its new program only once exec is done.
std::vector<std::string> NamesOnceExecuted(std::uint32_t pid, const std::string& expected) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) {
    names = NamesOf(pid);
    if (names.size() == 1 && names[0] == expected) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return names;
}

int WaitForSignal(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

class ProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A program whose executable carries a Windows-style name.
    probe_ = dir_.path() + "/VlmProbe.Exe";
    fs::copy_file("/bin/sleep", probe_);
    fs::permissions(probe_, fs::perms::owner_all);
  }
  TempDir dir_;
  std::string probe_;
};

TEST_F(ProcessesTest, ListsARunningChildByItsExecutableNameWithoutExe) {
  pid_t pid = Start(probe_, {probe_, "30"});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(NamesOnceExecuted(pid, "VlmProbe"), std::vector<std::string>{"VlmProbe"});

  std::vector<ProcessEntry> all = velmora::test::System().ListProcesses();
  for (std::size_t i = 1; i < all.size(); ++i) EXPECT_LT(all[i - 1].pid, all[i].pid);

  std::uint64_t rss = 0, peak = 0;
  ASSERT_TRUE(QueryProcessMemory(pid, &rss, &peak));
  EXPECT_GT(rss, 0u);
  EXPECT_EQ(rss % 1024, 0u);
  EXPECT_GE(peak, rss);
  EXPECT_TRUE(CanFullyControl(pid));
  EXPECT_TRUE(ProcessAlive(pid));

  ASSERT_TRUE(SignalProcess(pid, false));
  // Until it is reaped the child is a zombie, which no longer counts as running.
  for (int i = 0; i < 200 && ProcessAlive(pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(ProcessAlive(pid));
  EXPECT_FALSE(QueryProcessMemory(pid, &rss, &peak));
  EXPECT_EQ(WaitForSignal(pid), SIGTERM);
  EXPECT_FALSE(ProcessAlive(pid));
  EXPECT_TRUE(NamesOf(pid).empty());
}

TEST_F(ProcessesTest, WineProcessesCarryTheWindowsNameOfTheirProgram) {
  // Wine's loader leaves the Windows path of the program in argv[0].
  pid_t pid = Start(probe_, {"C:\\windows\\system32\\VlmNotepad.EXE", "30"});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(NamesOnceExecuted(pid, "VlmNotepad"), std::vector<std::string>{"VlmNotepad"});

  // A host path in argv[0] of an ordinary program does not rename it.
  pid_t other = Start(probe_, {"/opt/elsewhere/renamed", "30"});
  ASSERT_GT(other, 0);
  EXPECT_EQ(NamesOnceExecuted(other, "VlmProbe"), std::vector<std::string>{"VlmProbe"});

  ASSERT_TRUE(SignalProcess(pid, true));
  ASSERT_TRUE(SignalProcess(other, true));
  EXPECT_EQ(WaitForSignal(pid), SIGKILL);
  EXPECT_EQ(WaitForSignal(other), SIGKILL);
}

// Starts |path| as a Wine program would run, with only |environment|.
pid_t StartWithEnvironment(const std::string& path, std::vector<std::string> environment) {
  std::vector<char*> variables;
  for (std::string& v : environment) variables.push_back(v.data());
  variables.push_back(nullptr);
  std::string argv0 = "C:\\Tools\\VlmTray.exe", argv1 = "30";
  char* argv[] = {argv0.data(), argv1.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, variables.data()) != 0) return -1;
  return pid;
}

// Whether exec of |path| is done. The kernel switches /proc/<pid>/exe before it
// lays out the new command line, and posix_spawn returns in between.
bool Executed(pid_t pid, const std::string& path) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code ec;
  if (fs::read_symlink(proc + "/exe", ec) != fs::path(path)) return false;
  std::ifstream cmdline(proc + "/cmdline");
  return cmdline.get() != std::ifstream::traits_type::eof();
}

TEST_F(ProcessesTest, WineProgramsOfOtherPrefixesAreNotThisSystems) {
  velmora::test::TempPrefix system;  // the prefix looked at
  fs::create_directories(dir_.path() + "/home/.wine");
  const pid_t here = StartWithEnvironment(probe_, {"WINEPREFIX=" + system.prefix()});
  const pid_t elsewhere = StartWithEnvironment(probe_, {"WINEPREFIX=" + dir_.path()});
  const pid_t defaultPrefix = StartWithEnvironment(probe_, {"HOME=" + dir_.path() + "/home"});
  for (pid_t pid : {here, elsewhere, defaultPrefix}) {
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 200 && !Executed(pid, probe_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(NamesOf(here), std::vector<std::string>{"VlmTray"});
  EXPECT_EQ(NamesOf(elsewhere), std::vector<std::string>{});
  EXPECT_EQ(NamesOf(defaultPrefix), std::vector<std::string>{});
  // HOME names the folder that holds .wine: here the test prefix's parent.
  fs::create_symlink(system.prefix(), system.dir() + "/.wine");
  const pid_t viaHome = StartWithEnvironment(probe_, {"HOME=" + system.dir()});
  ASSERT_GT(viaHome, 0);
  for (int i = 0; i < 200 && !Executed(viaHome, probe_); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(NamesOf(viaHome), std::vector<std::string>{"VlmTray"});

  // One reading of the table serves every prefix, each taking its own programs;
  // a system given it lists from it, not from a fresh reading.
  const std::shared_ptr<const HostProcessTable> table = HostProcessTable::Read();
  auto pidsOf = [](const std::vector<ProcessEntry>& processes) {
    std::vector<pid_t> pids;
    for (const ProcessEntry& p : processes) pids.push_back(static_cast<pid_t>(p.pid));
    return pids;
  };
  const std::vector<pid_t> ofOther = pidsOf(table->Of(fs::canonical(dir_.path()).string()));
  EXPECT_NE(std::find(ofOther.begin(), ofOther.end(), elsewhere), ofOther.end());
  EXPECT_EQ(std::find(ofOther.begin(), ofOther.end(), here), ofOther.end());
  const pid_t later = StartWithEnvironment(probe_, {"WINEPREFIX=" + system.prefix()});
  ASSERT_GT(later, 0);
  for (int i = 0; i < 200 && !Executed(later, probe_); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  velmora::test::System().ShareProcessTable(table);
  const std::vector<pid_t> shared = pidsOf(velmora::test::System().ListProcesses());
  velmora::test::System().ShareProcessTable(nullptr);
  EXPECT_EQ(shared, pidsOf(table->Of(fs::canonical(system.prefix()).string())));
  EXPECT_EQ(std::find(shared.begin(), shared.end(), later), shared.end());
  EXPECT_EQ(NamesOf(later), std::vector<std::string>{"VlmTray"});

  for (pid_t pid : {here, elsewhere, defaultPrefix, viaHome, later}) {
    SignalProcess(static_cast<std::uint32_t>(pid), true);
    WaitForSignal(pid);
  }
}

TEST(WineProcessTest, ARealWineProgramIsListedUnderItsWindowsName) {
  if (!velmora::test::WineAvailable()) GTEST_SKIP() << "wine is not installed";
  velmora::test::TempPrefix system;  // Wine boots the prefix looked at
  std::string env = "WINEDEBUG=-all WINEPREFIX='" + system.prefix() + "' ";
  ASSERT_EQ(velmora::test::RunCommand(env + "wineboot --init >/dev/null 2>&1 && " + env + "wineserver -w"),
            0);
  auto pingIds = [] {
    std::vector<std::uint32_t> ids;
    for (const ProcessEntry& p : velmora::test::System().ListProcesses()) {
      if (p.name == "PING" || p.name == "ping") ids.push_back(p.pid);
    }
    return ids;
  };
  std::vector<std::uint32_t> before = pingIds();
  velmora::test::RunCommand(env + "setsid wine ping -n 60 127.0.0.1 >/dev/null 2>&1 &");
  std::uint32_t found = 0;
  for (int i = 0; i < 300 && !found; ++i) {
    for (std::uint32_t pid : pingIds()) {
      if (std::find(before.begin(), before.end(), pid) == before.end()) found = pid;
    }
    if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_NE(found, 0u) << "ping.exe of Wine was not listed as ping";
  if (found) {
    std::uint64_t rss = 0, peak = 0;
    EXPECT_TRUE(QueryProcessMemory(found, &rss, &peak));
    EXPECT_GT(rss, 0u);
    EXPECT_TRUE(CanFullyControl(found));
  }
  velmora::test::RunCommand(env + "wineserver -k >/dev/null 2>&1");
}

TEST(ProcessMemoryTest, FiguresAreBytesAndThePeakOutlivesTheMemory) {
  const std::size_t size = 64u << 20;
  std::uint64_t before = 0, peakBefore = 0;
  ASSERT_TRUE(QueryProcessMemory(getpid(), &before, &peakBefore));
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(block, MAP_FAILED);
  std::memset(block, 1, size);
  std::uint64_t during = 0, peakDuring = 0;
  ASSERT_TRUE(QueryProcessMemory(getpid(), &during, &peakDuring));
  EXPECT_GE(during, before + size - (4u << 20));
  munmap(block, size);
  std::uint64_t after = 0, peakAfter = 0;
  ASSERT_TRUE(QueryProcessMemory(getpid(), &after, &peakAfter));
  EXPECT_LT(after, during - size / 2);
  // The kernel keeps its counters per CPU and sums them loosely: allow a little slack.
  EXPECT_GE(peakAfter, during - (2u << 20));
  EXPECT_GE(peakAfter, before + size - (4u << 20));
}

TEST(ProcessIdTest, IdsThatWouldNameGroupsOrEveryProcessAreRefused) {
  // kill() reads 0 as the caller's group and -1 as every process.
  for (std::uint32_t pid : {0u, 0xFFFFFFFFu, 0x80000000u}) {
    EXPECT_FALSE(CanFullyControl(pid)) << pid;
    EXPECT_FALSE(ProcessAlive(pid)) << pid;
    EXPECT_FALSE(QueryProcessMemory(pid, nullptr, nullptr)) << pid;
  }
  EXPECT_FALSE(ProcessAlive(0x7FFFFFF0u));
}

TEST(ProcessControlTest, AnotherUsersProcessMayBeQueriedButNotControlled) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to start a process as another user";
  // The child gives up root and then looks at this (root) process.
  std::uint32_t parent = static_cast<std::uint32_t>(getpid());
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    int result = 0;
    std::uint64_t rss = 0, peak = 0;
    if (!QueryProcessMemory(parent, &rss, &peak) || rss == 0) result |= 1;
    if (CanFullyControl(parent)) result |= 2;
    if (!ProcessAlive(parent)) result |= 4;
    if (SignalProcess(parent, false)) result |= 8;
    bool listed = false;
    for (const ProcessEntry& p : velmora::test::System().ListProcesses())
      listed = listed || (p.pid == parent && !p.name.empty());
    if (!listed) result |= 16;
    _exit(result);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace platform
