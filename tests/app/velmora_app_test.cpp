// Start-up and shutdown of the application object in real processes: this test
// program, copied into a program folder of its own, runs as the child.
#include "app/velmora_app.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "database/database_file.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace platform;

// ---- the child --------------------------------------------------------------

struct ReportingBox : MessageBoxPresenter {
  explicit ReportingBox(VelmoraApp& shown) : app(shown) {}
  int Show(MessageBoxRequest& r) override {
    std::fprintf(stderr, "box|%s|%s|%s|%d|%s|%d|copy=%d\n", r.title.c_str(), r.message.c_str(),
                 r.kind.c_str(), r.buttonCount, r.firstCaption.c_str(), r.showCheckBox ? 1 : 0,
                 files::Exists(velmora::test::System(), WorkingCopyPath(app.programDir)) ? 1 : 0);
    return 1;
  }
  VelmoraApp& app;
};

struct ReportingWindow : MainWindowRunner {
  void Run(VelmoraApp& app) override {
    std::printf("window|copy=%d|splash=%d|version=%s|dir=%s\n",
                files::Exists(velmora::test::System(), WorkingCopyPath(app.programDir)) ? 1 : 0,
                app.settings.ShowSplash, app.settings.DefnsVersion.c_str(), app.programDir.c_str());
    std::fflush(stdout);
    if (std::getenv("VELMORA_APP_CHILD_HOLD")) {
      std::printf("ready\n");
      std::fflush(stdout);
      char c;
      while (read(0, &c, 1) > 0) {
      }
    }
  }
};

// Runs only as the child: the start-up of the window program, or with
// VELMORA_APP_CHILD=core the checks a program without a window makes.
TEST(AppChild, Run) {
  const char* mode = std::getenv("VELMORA_APP_CHILD");
  if (!mode) GTEST_SKIP() << "runs as a child process only";
  VelmoraApp app(velmora::test::System());
  ReportingBox box(app);
  if (std::string(mode) == "core") {
    VelmoraApp::StartResult result = app.StartCore(box);
    std::printf("core|%d|copy=%d\n", static_cast<int>(result),
                files::Exists(velmora::test::System(), WorkingCopyPath(app.programDir)) ? 1 : 0);
    app.Shutdown();
    std::fflush(stdout);
    std::_Exit(result == VelmoraApp::StartResult::kReady ? 0 : 1);
  }
  ReportingWindow window;
  bool result = app.StartApplication(window, box);
  std::printf("returned|%d\n", result ? 1 : 0);
  app.EndApplication();
}

// ---- the parent -------------------------------------------------------------

class VelmoraAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    programHost_ = dir_.path() + "/program";
    fs::create_directories(programHost_);
    child_ = programHost_ + "/velmora_app_test";
    fs::copy_file("/proc/self/exe", child_);
    fs::permissions(child_, fs::perms::owner_all);
    programDir_ = files::WindowsPathFromHost(velmora::test::System(), programHost_);
  }

  std::string DatabaseHost() const { return programHost_ + "/vlmdb.vmd"; }
  std::string CopyHost() const { return programHost_ + "/vlmdb2.vmd"; }
  void WriteDatabase(const std::string& version) {
    std::string body =
        "[" + ScrambleText("SYS") + "]\r\n" + ScrambleText("PRON0") + "=" + ScrambleText("x.exe") + "\r\n";
    test::WriteFile(DatabaseHost(), BuildDatabaseFile(version, body));
  }

  struct Child {
    pid_t pid = -1;
    int input = -1;  // the child's standard input; closing it ends a holding child
    std::string out, err;
  };
  Child Start(const std::string& mode, bool hold = false) {
    static int counter = 0;
    Child child;
    child.out = dir_.path() + "/out" + std::to_string(counter) + ".txt";
    child.err = dir_.path() + "/err" + std::to_string(counter++) + ".txt";
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    child.pid = fork();
    if (child.pid == 0) {
      dup2(pipeFds[0], 0);
      close(pipeFds[1]);
      int out = open(child.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open(child.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, 1);
      dup2(err, 2);
      setenv("VELMORA_APP_CHILD", mode.c_str(), 1);
      if (hold) setenv("VELMORA_APP_CHILD_HOLD", "1", 1);
      execl(child_.c_str(), child_.c_str(), "--gtest_filter=AppChild.Run", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeFds[0]);
    child.input = pipeFds[1];
    return child;
  }
  // Exit status of the child, -1 when it did not end normally.
  int Wait(Child& child) {
    if (child.input >= 0) close(child.input);
    child.input = -1;
    int status = 0;
    waitpid(child.pid, &status, 0);
    // The child wrote the hives; read them afresh.
    velmora::test::ResetPrefixForTesting();
    velmora::test::InitPrefix();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int RunChild(const std::string& mode, std::string* out, std::string* err) {
    Child child = Start(mode);
    int status = Wait(child);
    *out = test::ReadFile(child.out);
    *err = test::ReadFile(child.err);
    return status;
  }

  void SetProgramFlag(const std::string& name, std::uint8_t value) {
    UniqueKey key;
    ASSERT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), ProgramKeyPath(), key.out()), kSuccess);
    std::uint8_t bytes[4] = {value, 0, 0, 0};
    ASSERT_EQ(reg::SetValue(key.get(), name, kRegBinary, bytes, 4), kSuccess);
  }
  void SetRunValue(const std::string& data) {
    UniqueKey key;
    ASSERT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), kRunKeyPath, key.out()), kSuccess);
    ASSERT_EQ(reg::SetString(key.get(), "Velmora", data), kSuccess);
  }
  bool ReadString(const std::string& path, const std::string& name, std::string* text) {
    UniqueKey key;
    if (reg::OpenKey(velmora::test::System().CurrentUser(), path, kKeyRead, key.out()) != kSuccess)
      return false;
    Status status = reg::QueryString(key.get(), name, text);
    return status == kSuccess;
  }
  void SetSystemVersion(const std::string& version) {
    UniqueKey key;
    ASSERT_EQ(reg::CreateKey(velmora::test::System().LocalMachine(),
                             "Software\\Microsoft\\Windows NT\\CurrentVersion", key.out()),
              kSuccess);
    ASSERT_EQ(reg::SetString(key.get(), "CurrentVersion", version), kSuccess);
  }
  std::string Box(const std::string& message, bool copy) {
    return "box|Velmora|" + message + "|error|1|OK|0|copy=" + (copy ? "1" : "0") + "\n";
  }

  test::TempPrefix prefix_;
  test::TempDir dir_;
  std::string programHost_, child_, programDir_;
};

const char kInitFailed[] = "Error in initializing Velmora.";

TEST_F(VelmoraAppTest, NormalStartRunsTheWindowAndCleansUp) {
  WriteDatabase("27/04/2006");
  SetProgramFlag("ShowSplash", 0);
  SetProgramFlag("StartWithWindows", 1);
  std::string out, err;
  EXPECT_EQ(RunChild("window", &out, &err), 3) << "259 as an 8-bit exit status";
  EXPECT_NE(out.find("window|copy=1|splash=0|version=27/04/2006|dir=" + programDir_ + "\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("returned|0\n"), std::string::npos);
  EXPECT_EQ(err.find("box|"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(CopyHost())) << "the working copy is deleted at shutdown";

  std::string text;
  ASSERT_TRUE(ReadString(kRunKeyPath, "Velmora", &text));
  EXPECT_EQ(text, programDir_ + "\\Velmora.exe");
  ASSERT_TRUE(ReadString(ProgramKeyPath(), "DefnsVersion", &text));
  EXPECT_EQ(text, "27/04/2006");
}

TEST_F(VelmoraAppTest, MissingOrMalformedDatabaseIsRefusedBeforeTheSettings) {
  SetProgramFlag("StartWithWindows", 0);
  SetRunValue("C:\\by\\hand.exe");
  for (const char* version : {"", "7/04/2006", "27-04-2006"}) {
    if (*version) {
      WriteDatabase(version);
    } else {
      fs::remove(DatabaseHost());
    }
    std::string out, err;
    EXPECT_EQ(RunChild("window", &out, &err), 3) << version;
    EXPECT_EQ(err, Box(kInitFailed, false)) << version;
    EXPECT_EQ(out.find("window|"), std::string::npos);
    std::string text;
    ASSERT_TRUE(ReadString(kRunKeyPath, "Velmora", &text)) << "the settings were not loaded";
    EXPECT_EQ(text, "C:\\by\\hand.exe");
    EXPECT_FALSE(ReadString(ProgramKeyPath(), "DefnsVersion", &text));
  }
}

TEST_F(VelmoraAppTest, WorkingCopyThatCannotBeWrittenIsRefused) {
  WriteDatabase("27/04/2006");
  fs::create_directories(CopyHost() + "/occupied");
  std::string out, err;
  EXPECT_EQ(RunChild("window", &out, &err), 3);
  EXPECT_EQ(err, Box(kInitFailed, true)) << "the name is taken by a folder";
  EXPECT_TRUE(fs::exists(CopyHost() + "/occupied")) << "a failed delete at shutdown is ignored";
}

TEST_F(VelmoraAppTest, UnsupportedSystemIsRefusedAfterDatabaseAndSettings) {
  WriteDatabase("27/04/2006");
  SetProgramFlag("StartWithWindows", 0);
  SetRunValue("C:\\by\\hand.exe");
  SetSystemVersion("5.0");
  std::string out, err;
  EXPECT_EQ(RunChild("window", &out, &err), 3);
  EXPECT_EQ(err, Box("Sorry,this Program only works on Windows XP.", true));
  EXPECT_EQ(out.find("window|"), std::string::npos);
  EXPECT_FALSE(fs::exists(CopyHost()));
  std::string text;
  EXPECT_FALSE(ReadString(kRunKeyPath, "Velmora", &text)) << "the settings were loaded first";
  ASSERT_TRUE(ReadString(ProgramKeyPath(), "DefnsVersion", &text));
  EXPECT_EQ(text, "27/04/2006");
}

TEST_F(VelmoraAppTest, SecondInstanceLeavesTheFirstOnesStateAlone) {
  WriteDatabase("27/04/2006");
  Child first = Start("window", true);
  // Wait until the first instance has its window open.
  bool ready = false;
  for (int i = 0; i < 600 && !ready; ++i) {
    ready = test::ReadFile(first.out).find("ready\n") != std::string::npos;
    if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(ready) << test::ReadFile(first.err);
  ASSERT_TRUE(fs::exists(CopyHost()));
  std::string before = test::ReadFile(CopyHost());

  // Settings that the second instance would apply if it loaded them.
  SetProgramFlag("StartWithWindows", 0);
  SetRunValue("C:\\by\\hand.exe");
  std::string out, err;
  EXPECT_EQ(RunChild("window", &out, &err), 3);
  EXPECT_EQ(err, Box("Cannot open Velmora because there is a previous instance already running.", true));
  EXPECT_EQ(out.find("window|"), std::string::npos);
  EXPECT_EQ(test::ReadFile(CopyHost()), before) << "the first instance's copy survives";
  std::string text;
  ASSERT_TRUE(ReadString(kRunKeyPath, "Velmora", &text));
  EXPECT_EQ(text, "C:\\by\\hand.exe");

  EXPECT_EQ(Wait(first), 3);
  EXPECT_FALSE(fs::exists(CopyHost()));
}

TEST_F(VelmoraAppTest, ProgramWithoutWindowKeepsItsOwnExitStatus) {
  WriteDatabase("27/04/2006");
  SetProgramFlag("StartWithWindows", 1);
  std::string out, err;
  EXPECT_EQ(RunChild("core", &out, &err), 0);
  EXPECT_NE(out.find("core|0|copy=1\n"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(CopyHost()));
  std::string text;
  ASSERT_TRUE(ReadString(kRunKeyPath, "Velmora", &text));
  EXPECT_EQ(text, programDir_ + "\\Velmora.exe") << "the window program's executable, never the caller's";

  fs::remove(DatabaseHost());
  EXPECT_EQ(RunChild("core", &out, &err), 1);
  EXPECT_NE(out.find("core|2|copy=0\n"), std::string::npos) << out;
  EXPECT_EQ(err, Box(kInitFailed, false));
}

TEST_F(VelmoraAppTest, SupportedSystemsAreNtFiveOneAndLater) {
  for (auto [version, supported] : {std::pair{"5.0", false},
                                    {"5.1", true},
                                    {"5.2", true},
                                    {"6.0", true},
                                    {"6.1", true},
                                    {"4.0", false},
                                    {"10.0", true},
                                    {"abc", false},
                                    {"", false},
                                    {"6.", false},
                                    {".1", false}}) {
    SetSystemVersion(version);
    EXPECT_EQ(VelmoraApp::IsSupportedSystem(velmora::test::System()), supported) << version;
  }
  // A Windows 9x version (no NT version that reads as a number) is not NT.
  UniqueKey key;
  ASSERT_EQ(reg::CreateKey(velmora::test::System().LocalMachine(),
                           "Software\\Microsoft\\Windows\\CurrentVersion", key.out()),
            kSuccess);
  ASSERT_EQ(reg::SetString(key.get(), "VersionNumber", "4.90.3000"), kSuccess);
  SetSystemVersion("none");
  EXPECT_FALSE(VelmoraApp::IsSupportedSystem(velmora::test::System()));
}

}  // namespace
}  // namespace velmora
