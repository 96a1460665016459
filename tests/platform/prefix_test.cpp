#include "platform/posix/prefix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace {

using namespace platform;
namespace fs = std::filesystem;
using velmora::test::ReadFile;
using velmora::test::RunCommand;
using velmora::test::TempDir;
using velmora::test::TempPrefix;
using velmora::test::WriteFile;

constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
 public:
  void Set(const char* name, const char* value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    velmora::test::ResetPrefixForTesting();
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

std::string LoginName() { return getpwuid(getuid())->pw_name; }

bool IsDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string LinkTarget(const std::string& path) {
  char buffer[256];
  ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
}

std::string QueryString(HKey root, const std::string& key, const std::string& name) {
  UniqueKey opened;
  std::string text;
  if (reg::OpenKey(root, key, kKeyRead, opened.out()) != kSuccess) return "<no key>";
  if (reg::QueryString(opened.get(), name, &text) != kSuccess) text = "<no value>";
  return text;
}

// Host path of a C: path of the prefix.
std::string OnDriveC(const std::string& prefix, std::string windowsPath) {
  EXPECT_EQ(windowsPath.substr(0, 3), "C:\\");
  for (char& c : windowsPath) c = c == '\\' ? '/' : c;
  return prefix + "/drive_c/" + windowsPath.substr(3);
}

// Only the program's own prefix is ever made; a prefix that is named must exist
// whole, else using it fails, names the folder and what it lacks, and writes nothing.
TEST(PrefixTest, ANamedPrefixThatIsMissingOrIncompleteIsRefusedAndLeftAsItIs) {
  TempDir dir;
  ScopedEnv env;
  const std::string typo = dir.path() + "/typo";
  env.Set("WINEPREFIX", typo.c_str());
  velmora::test::ResetPrefixForTesting();
  EXPECT_NE(velmora::test::InitPrefix(), kSuccess);
  EXPECT_NE(LastErrorDetail().find(typo + " does not exist"), std::string::npos) << LastErrorDetail();
  UniqueKey key;
  EXPECT_NE(reg::CreateKey(velmora::test::System().CurrentUser(), "Software\\Probe", key.out()), kSuccess);
  EXPECT_FALSE(fs::exists(typo));

  // A folder with a user.reg but no system.reg, and one the other way round.
  for (const char* present : {"user.reg", "system.reg"}) {
    const std::string prefix = dir.path() + "/half-" + present;
    const std::string missing = std::string(present) == "user.reg" ? "system.reg" : "user.reg";
    WriteFile(prefix + "/" + present, "WINE REGISTRY Version 2\n");
    env.Set("WINEPREFIX", prefix.c_str());
    velmora::test::ResetPrefixForTesting();
    EXPECT_NE(velmora::test::InitPrefix(), kSuccess);
    EXPECT_NE(LastErrorDetail().find(prefix), std::string::npos) << LastErrorDetail();
    EXPECT_NE(LastErrorDetail().find("no " + missing), std::string::npos) << LastErrorDetail();
    EXPECT_NE(reg::CreateKey(velmora::test::System().LocalMachine(), "Software\\Probe", key.out()), kSuccess);
    EXPECT_EQ(std::distance(fs::directory_iterator(prefix), fs::directory_iterator()), 1) << prefix;
    EXPECT_EQ(ReadFile(prefix + "/" + present), "WINE REGISTRY Version 2\n");
  }
}

TEST(PrefixTest, TheMinimalPrefixIsAWindowsXpPrefix) {
  TempDir dir;
  ScopedEnv env;
  const std::string prefix = dir.path() + "/new/prefix";
  ASSERT_EQ(CreateMinimalPrefix(prefix), kSuccess);
  env.Set("WINEPREFIX", (prefix + "/").c_str());
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess) << LastErrorDetail();
  EXPECT_EQ(velmora::test::PrefixDir(), prefix);
  EXPECT_EQ(velmora::test::PrefixUserName(), LoginName());

  EXPECT_EQ(LinkTarget(prefix + "/dosdevices/c:"), "../drive_c");
  EXPECT_EQ(LinkTarget(prefix + "/dosdevices/z:"), "/");
  for (const char* folder : {"windows/system32", "Program Files", "users"})
    EXPECT_TRUE(IsDir(prefix + "/drive_c/" + folder));
  EXPECT_TRUE(IsDir(prefix + "/drive_c/users/" + LoginName()));
  EXPECT_EQ(ReadFile(prefix + "/system.reg").substr(0, 24), "WINE REGISTRY Version 2\n");

  const char* nt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  EXPECT_EQ(QueryString(velmora::test::System().LocalMachine(), nt, "CurrentVersion"), "5.1");
  EXPECT_EQ(QueryString(velmora::test::System().LocalMachine(), nt, "CurrentBuildNumber"), "2600");
  EXPECT_EQ(QueryString(velmora::test::System().LocalMachine(), nt, "CSDVersion"), "Service Pack 3");
  EXPECT_EQ(QueryString(velmora::test::System().LocalMachine(), nt, "ProductName"), "Microsoft Windows XP");
  EXPECT_EQ(QueryString(velmora::test::System().LocalMachine(),
                        "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir"),
            "C:\\Program Files");

  // The two Startup folders are named in Shell Folders and exist.
  std::string common = QueryString(velmora::test::System().LocalMachine(), kShellFolders, "Common Startup");
  std::string own = QueryString(velmora::test::System().CurrentUser(), kShellFolders, "Startup");
  EXPECT_EQ(common, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
  EXPECT_EQ(own, "C:\\users\\" + LoginName() +
                     "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
  EXPECT_TRUE(IsDir(OnDriveC(prefix, common)));
  EXPECT_TRUE(IsDir(OnDriveC(prefix, own)));

  for (HKey root : {velmora::test::System().LocalMachine(), velmora::test::System().CurrentUser()}) {
    for (const char* key : {"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"}) {
      UniqueKey opened;
      EXPECT_EQ(reg::OpenKey(root, key, kKeyAllAccess, opened.out()), kSuccess) << key;
    }
  }
}

TEST(PrefixTest, WithoutWinePrefixTheUsersWineComesFirstThenOurOwn) {
  TempDir dir;
  ScopedEnv env;
  const std::string home = dir.path() + "/home";
  env.Set("WINEPREFIX", nullptr);
  env.Set("HOME", home.c_str());
  env.Set("XDG_DATA_HOME", nullptr);

  // No ~/.wine registry: the program's own prefix under ~/.local/share.
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess) << LastErrorDetail();
  EXPECT_EQ(velmora::test::PrefixDir(), home + "/.local/share/velmora/prefix");
  EXPECT_TRUE(IsDir(velmora::test::PrefixDir() + "/drive_c"));

  env.Set("XDG_DATA_HOME", (dir.path() + "/data").c_str());
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  EXPECT_EQ(velmora::test::PrefixDir(), dir.path() + "/data/velmora/prefix");

  // A ~/.wine without a registry is not a prefix yet; one with system.reg is.
  ASSERT_EQ(mkdir((home + "/.wine").c_str(), 0755), 0);
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  EXPECT_EQ(velmora::test::PrefixDir(), dir.path() + "/data/velmora/prefix");
  WriteFile(home + "/.wine/system.reg", "WINE REGISTRY Version 2\n");
  WriteFile(home + "/.wine/user.reg", "WINE REGISTRY Version 2\n");
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  EXPECT_EQ(velmora::test::PrefixDir(), home + "/.wine");
  EXPECT_FALSE(IsDir(home + "/.wine/drive_c"));  // an existing prefix is used as it is

  // The first choice is kept until the prefix is reset.
  env.Set("WINEPREFIX", (dir.path() + "/other").c_str());
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  EXPECT_EQ(velmora::test::PrefixDir(), home + "/.wine");
}

TEST(PrefixTest, MakingAPrefixKeepsRegistryFilesThatAreThere) {
  TempDir dir;
  const std::string user = "WINE REGISTRY Version 2\n;; mine\n";
  WriteFile(dir.path() + "/p/user.reg", user);
  ASSERT_EQ(CreateMinimalPrefix(dir.path() + "/p"), kSuccess);
  EXPECT_EQ(ReadFile(dir.path() + "/p/user.reg"), user);
  EXPECT_NE(ReadFile(dir.path() + "/p/system.reg").find("\"CurrentVersion\"=\"5.1\""), std::string::npos);
  EXPECT_NE(
      ReadFile(dir.path() + "/p/userdef.reg").find(";; All keys relative to REGISTRY\\\\User\\\\.Default"),
      std::string::npos);
}

// Wine is the judge of the prefix: it boots it, runs what we put in the user's
// Run key and keeps the keys we wrote.
TEST(PrefixTest, WineBootsTheMinimalPrefixAndRunsItsRunKey) {
  if (!velmora::test::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  TempPrefix prefix;
  UniqueKey run;
  ASSERT_EQ(reg::OpenKey(velmora::test::System().CurrentUser(),
                         "Software\\Microsoft\\Windows\\CurrentVersion\\Run", kKeyAllAccess, run.out()),
            kSuccess);
  ASSERT_EQ(reg::SetString(run.get(), "Marker", "C:\\windows\\system32\\cmd.exe /c echo ran> C:\\marker.txt"),
            kSuccess);

  RunCommand("WINEDEBUG=-all DISPLAY= wineboot >/dev/null 2>&1; wineserver -w");
  EXPECT_EQ(ReadFile(prefix.HostPath("drive_c/marker.txt")).substr(0, 3), "ran");

  // Wine rewrote the hives with keys of its own; ours are still there, and the
  // files Wine wrote are ours to change again.
  const char* nt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  EXPECT_EQ(QueryString(velmora::test::System().LocalMachine(), nt, "CurrentVersion"), "5.1");
  EXPECT_EQ(QueryString(velmora::test::System().LocalMachine(), nt, "CSDVersion"), "Service Pack 3");
  EXPECT_EQ(QueryString(velmora::test::System().LocalMachine(), nt, "ProductName"), "Microsoft Windows XP");
  EXPECT_NE(
      QueryString(velmora::test::System().LocalMachine(), kShellFolders, "Common Startup").find("StartUp"),
      std::string::npos);
  EXPECT_NE(QueryString(velmora::test::System().CurrentUser(), kShellFolders, "Startup").find("StartUp"),
            std::string::npos);
  EXPECT_GT(ReadFile(prefix.HostPath("system.reg")).size(), 500000u);
  ASSERT_EQ(reg::OpenKey(velmora::test::System().CurrentUser(),
                         "Software\\Microsoft\\Windows\\CurrentVersion\\Run", kKeyAllAccess, run.out()),
            kSuccess);
  EXPECT_EQ(reg::DeleteValue(run.get(), "Marker"), kSuccess) << LastErrorDetail();
}

TEST(PrefixTest, SeesARealWineserverOfThePrefix) {
  if (!velmora::test::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  TempPrefix prefix;
  EXPECT_FALSE(velmora::test::WineServerRunning());
  ASSERT_EQ(RunCommand("WINEDEBUG=-all wineserver -p"), 0);
  int pid = 0;
  for (int i = 0; i < 100 && !velmora::test::WineServerRunning(&pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(velmora::test::WineServerRunning(&pid));
  EXPECT_GT(pid, 0);
  EXPECT_EQ(kill(pid, 0), 0);
  RunCommand("wineserver -k; wineserver -w");
  for (int i = 0; i < 100 && velmora::test::WineServerRunning(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(velmora::test::WineServerRunning());
}

// Upstream Wine keeps its server folder in /tmp/.wine-<uid>; a process holding
// the lock there the way the server does is seen as the prefix's server.
TEST(PrefixTest, SeesAServerLockInTheUpstreamLayout) {
  TempPrefix prefix;
  struct stat st;
  ASSERT_EQ(stat(velmora::test::PrefixDir().c_str(), &st), 0);
  char name[64];
  std::snprintf(name, sizeof name, "server-%lx-%lx", static_cast<unsigned long>(st.st_dev),
                static_cast<unsigned long>(st.st_ino));
  const std::string top = "/tmp/.wine-" + std::to_string(getuid());
  bool madeTop = mkdir(top.c_str(), 0700) == 0;
  const std::string folder = top + "/" + name;
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string lockPath = folder + "/lock";

  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    close(release[1]);
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    char byte = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 1 : 0;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    if (read(release[0], &byte, 1) < 0) _exit(1);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char locked = 0;
  ASSERT_EQ(read(ready[0], &locked, 1), 1);
  ASSERT_EQ(locked, 1);
  int pid = 0;
  EXPECT_TRUE(velmora::test::WineServerRunning(&pid));
  EXPECT_EQ(pid, child);

  close(release[1]);
  waitpid(child, nullptr, 0);
  EXPECT_FALSE(velmora::test::WineServerRunning());  // the lock went with the process
  unlink(lockPath.c_str());
  rmdir(folder.c_str());
  if (madeTop) rmdir(top.c_str());
  close(ready[0]);
}

}  // namespace
