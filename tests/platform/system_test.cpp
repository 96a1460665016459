#include "platform/system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using velmora::test::RunCommand;
using velmora::test::TempPrefix;

// A child that takes the lock, reports the status through a pipe and holds the
// lock until the parent closes its end of a second pipe.
struct LockHolder {
  pid_t pid = -1;
  int release = -1;

  Status Start(const std::string& name) {
    int report[2], hold[2];
    if (pipe(report) != 0 || pipe(hold) != 0) return -1;
    pid = fork();
    if (pid == 0) {
      close(report[0]);
      close(hold[1]);
      long status = CreateNamedMutex(name);
      if (write(report[1], &status, sizeof status) != sizeof status) _exit(1);
      char c;
      while (read(hold[0], &c, 1) > 0) {
      }
      _exit(0);
    }
    close(report[1]);
    close(hold[0]);
    release = hold[1];
    long status = -1;
    if (read(report[0], &status, sizeof status) != sizeof status) status = -1;
    close(report[0]);
    return status;
  }
  void Stop() {
    if (release >= 0) close(release);
    release = -1;
    if (pid > 0) waitpid(pid, nullptr, 0);
    pid = -1;
  }
  ~LockHolder() { Stop(); }
};

std::string OnlyLockFile(const std::string& folder) {
  std::string found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("velmora-mutex-", 0) == 0) {
      if (!found.empty()) return "";
      found = entry.path().string();
    }
  }
  return found;
}

TEST(NamedMutexTest, AnotherProcessHoldingTheLockIsSeenUntilItEnds) {
  TempPrefix prefix;  // a private XDG_RUNTIME_DIR
  const std::string runtime = std::getenv("XDG_RUNTIME_DIR");

  LockHolder holder;
  ASSERT_EQ(holder.Start("Velmora"), kSuccess);
  EXPECT_EQ(CreateNamedMutex("Velmora"), kAlreadyExists);
  EXPECT_EQ(CreateNamedMutex("Velmora"), kAlreadyExists);
  // The file is an ordinary flock() lock that other tools see as well.
  std::string lockFile = OnlyLockFile(runtime);
  ASSERT_FALSE(lockFile.empty());
  EXPECT_NE(RunCommand("flock -n '" + lockFile + "' true"), 0);

  holder.Stop();  // the system releases the lock with the process
  EXPECT_EQ(RunCommand("flock -n '" + lockFile + "' true"), 0);
  EXPECT_EQ(CreateNamedMutex("Velmora"), kSuccess);
  EXPECT_EQ(RunCommand("flock -n '" + lockFile + "' true"), 1);
  // Held for the rest of this process, also against a second take from within it.
  EXPECT_EQ(CreateNamedMutex("Velmora"), kAlreadyExists);
  LockHolder second;
  EXPECT_EQ(second.Start("Velmora"), kAlreadyExists);
}

TEST(NamedMutexTest, NamesThatLookAlikeAreDifferentLocks) {
  TempPrefix prefix;
  const std::string runtime = std::getenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(CreateNamedMutex("a/b"), kSuccess);
  EXPECT_EQ(CreateNamedMutex("a_b"), kSuccess);
  EXPECT_EQ(CreateNamedMutex("a%2Fb"), kSuccess);
  EXPECT_EQ(CreateNamedMutex("../escape"), kSuccess);
  EXPECT_EQ(CreateNamedMutex(std::string(300, 'x')), kSuccess);
  EXPECT_EQ(CreateNamedMutex(std::string(299, 'x') + "y"), kSuccess);
  // "Local\" names the session's own namespace, the default one.
  EXPECT_EQ(CreateNamedMutex("Local\\a_b"), kAlreadyExists);
  for (const auto& entry : fs::directory_iterator(fs::path(runtime).parent_path())) {
    EXPECT_EQ(entry.path().filename().string().find("escape"), std::string::npos);
  }
}

TEST(NamedMutexTest, WithoutARuntimeFolderAPrivateFolderInTmpServes) {
  TempPrefix prefix;
  unsetenv("XDG_RUNTIME_DIR");
  std::string name = "velmora-test-" + std::to_string(getpid());
  EXPECT_EQ(CreateNamedMutex(name), kSuccess);
  std::string folder = "/tmp/velmora-" + std::to_string(getuid());
  struct stat st;
  ASSERT_EQ(lstat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u);
  LockHolder other;
  EXPECT_EQ(other.Start(name), kAlreadyExists);
  fs::remove(folder + "/velmora-mutex-" + name + ".lock");
}

void SetVersionValue(const std::string& name, const std::string& text) {
  UniqueKey key;
  ASSERT_EQ(reg::CreateKey(velmora::test::System().LocalMachine(),
                           "Software\\Microsoft\\Windows NT\\CurrentVersion", key.out()),
            kSuccess);
  ASSERT_EQ(reg::SetString(key.get(), name, text), kSuccess);
}

TEST(SystemVersionTest, ReadFromThePrefixAsItsProgramsSeeIt) {
  TempPrefix prefix;
  OsVersionInfo fresh;
  ASSERT_TRUE(velmora::test::System().QueryVersion(&fresh));  // the prefix made for us is a Windows XP one
  EXPECT_EQ(fresh.majorVersion, 5u);
  EXPECT_EQ(fresh.minorVersion, 1u);
  EXPECT_EQ(fresh.platformId, 2u);

  SetVersionValue("CurrentVersion", "5.1");
  SetVersionValue("CurrentBuildNumber", "2600");
  SetVersionValue("CSDVersion", "Service Pack 3");
  OsVersionInfo info;
  ASSERT_TRUE(velmora::test::System().QueryVersion(&info));
  EXPECT_EQ(info.majorVersion, 5u);
  EXPECT_EQ(info.minorVersion, 1u);
  EXPECT_EQ(info.buildNumber, 2600u);
  EXPECT_EQ(info.platformId, 2u);
  EXPECT_EQ(info.csdVersion, "Service Pack 3");

  SetVersionValue("CurrentVersion", "6.1");
  SetVersionValue("CurrentBuildNumber", "7601");
  ASSERT_TRUE(velmora::test::System().QueryVersion(&info));
  EXPECT_EQ(info.majorVersion, 6u);
  EXPECT_EQ(info.minorVersion, 1u);
  EXPECT_EQ(info.buildNumber, 7601u);

  OsVersionInfo wrongSize;
  wrongSize.size = 100;
  EXPECT_FALSE(velmora::test::System().QueryVersion(&wrongSize));
}

TEST(SystemVersionTest, NumberValuesServeWhenTheVersionTextIsMissing) {
  TempPrefix prefix;
  UniqueKey key;
  ASSERT_EQ(reg::CreateKey(velmora::test::System().LocalMachine(),
                           "Software\\Microsoft\\Windows NT\\CurrentVersion", key.out()),
            kSuccess);
  reg::DeleteValue(key.get(), "CurrentVersion");
  reg::DeleteValue(key.get(), "CSDVersion");
  std::uint8_t five[4] = {5, 0, 0, 0}, two[4] = {2, 0, 0, 0};
  ASSERT_EQ(reg::SetValue(key.get(), "CurrentMajorVersionNumber", kRegDword, five, 4), kSuccess);
  ASSERT_EQ(reg::SetValue(key.get(), "CurrentMinorVersionNumber", kRegDword, two, 4), kSuccess);
  OsVersionInfo info;
  ASSERT_TRUE(velmora::test::System().QueryVersion(&info));
  EXPECT_EQ(info.majorVersion, 5u);
  EXPECT_EQ(info.minorVersion, 2u);
  EXPECT_EQ(info.csdVersion, "");
}

TEST(SystemVersionTest, NineXVersionIsNotNtAndUnreadableVersionsFail) {
  TempPrefix prefix;
  UniqueKey key;
  ASSERT_EQ(reg::CreateKey(velmora::test::System().LocalMachine(),
                           "Software\\Microsoft\\Windows\\CurrentVersion", key.out()),
            kSuccess);
  ASSERT_EQ(reg::SetString(key.get(), "VersionNumber", "4.10.2222"), kSuccess);

  SetVersionValue("CurrentVersion", "six point one");
  OsVersionInfo info;
  ASSERT_TRUE(velmora::test::System().QueryVersion(&info))
      << "the 9x version is read when the NT one is no number";
  EXPECT_EQ(info.platformId, 1u);
  EXPECT_EQ(info.majorVersion, 4u);
  EXPECT_EQ(info.minorVersion, 10u);
  EXPECT_EQ(info.buildNumber, 2222u);

  ASSERT_EQ(reg::DeleteTree(velmora::test::System().LocalMachine(),
                            "Software\\Microsoft\\Windows NT\\CurrentVersion"),
            kSuccess);
  ASSERT_TRUE(velmora::test::System().QueryVersion(&info)) << "or when the NT key is missing";
  EXPECT_EQ(info.platformId, 1u);

  ASSERT_EQ(reg::CreateKey(velmora::test::System().LocalMachine(),
                           "Software\\Microsoft\\Windows\\CurrentVersion", key.out()),
            kSuccess);
  ASSERT_EQ(reg::SetString(key.get(), "VersionNumber", "x"), kSuccess);
  SetVersionValue("CurrentVersion", "6.x");
  EXPECT_FALSE(velmora::test::System().QueryVersion(&info));
  EXPECT_EQ(info.platformId, 0u);
}

TEST(TerminateTest, EndsWithTheCodeModuloAByteAfterFlushingOutput) {
  for (std::uint32_t code : {259u, 0u, 7u}) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(out[0]);
      dup2(out[1], 1);
      std::printf("pending output");  // buffered: a pipe is not a terminal
      TerminateCurrentProcess(code);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(static_cast<std::uint32_t>(WEXITSTATUS(status)), code % 256);
    EXPECT_EQ(text, "pending output");
  }
}

}  // namespace
}  // namespace platform
