#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/prefix.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using velmora::test::FixturePath;
using velmora::test::ReadFile;
using velmora::test::TempDir;
using velmora::test::TempPrefix;
using velmora::test::WriteFile;

// Programs are started for real; the desktop tools and Wine are stand-ins on
// PATH that write down the arguments and the WINEPREFIX they were given.
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
    fs::create_directories(bin());
    fs::create_directories(records());
    setenv("PATH", (bin() + ":" + oldPath_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", oldPath_.c_str(), 1); }

  std::string bin() const { return tools_.path() + "/bin"; }
  std::string records() const { return tools_.path() + "/records"; }

  // A script that records its arguments, one a line, then WINEPREFIX.
  void MakeRecorder(const std::string& hostPath, const std::string& record, int exitCode = 0) {
    WriteFile(hostPath,
              "#!/bin/sh\n"
              "{ printf '%s\\n' \"$@\"; printf 'WINEPREFIX=%s\\n' \"$WINEPREFIX\"; } > '" +
                  records() + "/" + record +
                  ".tmp'\n"
                  "mv '" +
                  records() + "/" + record + ".tmp' '" + records() + "/" + record +
                  "'\n"
                  "exit " +
                  std::to_string(exitCode) + "\n");
    fs::permissions(hostPath, fs::perms::owner_all);
  }
  void MakeTool(const std::string& name, int exitCode = 0) {
    MakeRecorder(bin() + "/" + name, name, exitCode);
  }

  // The lines a recorder wrote, waiting for a detached one to run.
  std::vector<std::string> Recorded(const std::string& record) {
    std::string file = records() + "/" + record;
    for (int i = 0; i < 500 && !fs::exists(file); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> lines;
    std::string text = ReadFile(file);
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t end = text.find('\n', at);
      lines.push_back(text.substr(at, end - at));
      at = end == std::string::npos ? text.size() : end + 1;
    }
    fs::remove(file);
    return lines;
  }

  static bool NoChildLeft() {
    int status;
    return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
  }

  TempPrefix prefix_;
  TempDir tools_;
  std::string oldPath_;
};

TEST_F(LaunchTest, AHostProgramRunsDirectlyWithItsArgumentsUntouched) {
  MakeRecorder(prefix_.HostPath("drive_c/Tools/probe.sh"), "probe");
  std::vector<std::string> args = {
      "C:\\TOOLS\\Probe.sh", "two words", "$(touch injected)", "a;b|c&d", "*", ""};
  ASSERT_TRUE(LaunchProgram(velmora::test::System(), args));
  // The intermediate child is gone at once; the program belongs to init now.
  EXPECT_TRUE(NoChildLeft());
  std::vector<std::string> expected(args.begin() + 1, args.end());
  expected.push_back("WINEPREFIX=" + velmora::test::PrefixDir());
  EXPECT_EQ(Recorded("probe"), expected);
  EXPECT_FALSE(fs::exists("injected"));
}

TEST_F(LaunchTest, WindowsProgramsRunThroughWineInThePrefix) {
  MakeTool("wine");
  std::string exe = prefix_.HostPath("drive_c/Program Files/App/app.exe");
  fs::create_directories(fs::path(exe).parent_path());
  fs::copy_file(FixturePath("scan_app.exe"), exe);

  ASSERT_TRUE(LaunchProgram(velmora::test::System(), {"c:\\program files\\app\\APP.EXE", "/min"}));
  EXPECT_TRUE(NoChildLeft());
  EXPECT_EQ(Recorded("wine"), (std::vector<std::string>{"c:\\program files\\app\\APP.EXE", "/min",
                                                        "WINEPREFIX=" + velmora::test::PrefixDir()}));

  // A host path to a Windows program gets its Windows name.
  ASSERT_TRUE(LaunchProgram(velmora::test::System(), {exe}));
  EXPECT_EQ(Recorded("wine"), (std::vector<std::string>{"C:\\Program Files\\App\\app.exe",
                                                        "WINEPREFIX=" + velmora::test::PrefixDir()}));

  WriteFile(prefix_.HostPath("drive_c/run.bat"), "@echo off\r\n");
  ASSERT_TRUE(LaunchProgram(velmora::test::System(), {"C:\\run.bat", "x"}));
  EXPECT_EQ(Recorded("wine"), (std::vector<std::string>{"cmd", "/c", "C:\\run.bat", "x",
                                                        "WINEPREFIX=" + velmora::test::PrefixDir()}));
}

TEST_F(LaunchTest, NothingStartsForMissingFilesFoldersOrWithoutWine) {
  MakeTool("wine");
  EXPECT_FALSE(LaunchProgram(velmora::test::System(), {}));
  EXPECT_FALSE(LaunchProgram(velmora::test::System(), {""}));
  EXPECT_FALSE(LaunchProgram(velmora::test::System(), {"C:\\no\\such.exe"}));
  EXPECT_FALSE(LaunchProgram(velmora::test::System(), {"Q:\\unknown drive.exe"}));
  EXPECT_FALSE(LaunchProgram(velmora::test::System(), {"C:\\windows"}));
  EXPECT_FALSE(ShellOpen(velmora::test::System(), "C:\\no\\such.txt"));
  // Without the desktop's opener a document stays closed: Wine's explorer would
  // keep a wineserver, and with it the registry, busy.
  setenv("PATH", bin().c_str(), 1);
  WriteFile(prefix_.HostPath("drive_c/note.txt"), "text");
  EXPECT_FALSE(ShellOpen(velmora::test::System(), "C:\\note.txt"));
  EXPECT_FALSE(ShowInFileManager(velmora::test::System(), "C:\\note.txt"));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(records() + "/wine"));

  std::string exe = prefix_.HostPath("drive_c/app.exe");
  fs::copy_file(FixturePath("scan_app.exe"), exe);
  TempDir empty;
  setenv("PATH", empty.path().c_str(), 1);
  EXPECT_FALSE(LaunchProgram(velmora::test::System(), {"C:\\app.exe"}));
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(LaunchTest, ShellOpenGivesDocumentsAndFoldersToTheDesktopAndProgramsToWine) {
  MakeTool("wine");
  MakeTool("xdg-open");
  WriteFile(prefix_.HostPath("drive_c/docs/read me.txt"), "text");
  ASSERT_TRUE(ShellOpen(velmora::test::System(), "C:\\Docs\\READ ME.TXT"));
  EXPECT_EQ(Recorded("xdg-open"),
            (std::vector<std::string>{prefix_.HostPath("dosdevices/c:/docs/read me.txt"),
                                      "WINEPREFIX=" + velmora::test::PrefixDir()}));
  ASSERT_TRUE(ShellOpen(velmora::test::System(), "C:\\docs"));
  EXPECT_EQ(Recorded("xdg-open")[0], prefix_.HostPath("dosdevices/c:/docs"));

  fs::copy_file(FixturePath("scan_app.exe"), prefix_.HostPath("drive_c/docs/Update.exe"));
  ASSERT_TRUE(ShellOpen(velmora::test::System(), "C:\\docs\\Update.exe"));
  EXPECT_EQ(Recorded("wine")[0], "C:\\docs\\Update.exe");

  // A shortcut is Windows' own kind of file: Wine's start follows it.
  WriteFile(prefix_.HostPath("drive_c/docs/App.lnk"), "L");
  ASSERT_TRUE(ShellOpen(velmora::test::System(), "C:\\docs\\App.lnk"));
  EXPECT_EQ(Recorded("wine"),
            (std::vector<std::string>{"start", "/unix", prefix_.HostPath("dosdevices/c:/docs/App.lnk"),
                                      "WINEPREFIX=" + velmora::test::PrefixDir()}));
}

std::string DecodeUri(const std::string& uri) {
  std::string out;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size()) {
      out += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += uri[i];
    }
  }
  return out;
}

TEST_F(LaunchTest, TheFileManagerIsAskedToShowTheFileOverDBus) {
  MakeTool("gdbus");
  MakeTool("xdg-open");
  std::string host = prefix_.HostPath("dosdevices/c:/Program Files/It's, here/tool.exe");
  WriteFile(host, "MZ");
  ASSERT_TRUE(ShowInFileManager(velmora::test::System(), "C:\\Program Files\\It's, here\\tool.exe"));
  std::vector<std::string> call = Recorded("gdbus");
  ASSERT_EQ(call.size(), 13u);  // twelve arguments and WINEPREFIX
  EXPECT_EQ(call[0], "call");
  EXPECT_EQ(call[1], "--session");
  EXPECT_EQ(call[9], "org.freedesktop.FileManager1.ShowItems");
  const std::string& items = call[10];
  ASSERT_EQ(items.substr(0, 9), "['file://");
  ASSERT_EQ(items.substr(items.size() - 2), "']");
  std::string uri = items.substr(2, items.size() - 4);
  // Nothing in the URI may end the quoted text or split the list.
  EXPECT_EQ(uri.find_first_of("' ,\\"), std::string::npos);
  EXPECT_EQ(DecodeUri(uri), "file://" + host);
  EXPECT_FALSE(fs::exists(records() + "/xdg-open"));
}

// A process that ignores SIGCHLD (as handed down by whoever started it) has its
// children reaped by the kernel: the file manager's answer is still read, so the
// folder is not opened besides, and a refusal still counts as one.
TEST_F(LaunchTest, TheFileManagersAnswerIsReadWhereChildrenAreNotWaitedFor) {
  MakeTool("xdg-open");
  WriteFile(prefix_.HostPath("drive_c/App/app.exe"), "MZ");
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  ASSERT_EQ(sigaction(SIGCHLD, &ignore, &before), 0);
  MakeTool("gdbus");
  const bool shown = ShowInFileManager(velmora::test::System(), "C:\\App\\app.exe");
  const bool asked = fs::exists(records() + "/gdbus");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a detached opener's time to write
  const bool openedBeside = fs::exists(records() + "/xdg-open");
  MakeTool("gdbus", 1);
  const bool opened = ShowInFileManager(velmora::test::System(), "C:\\App\\app.exe");
  sigaction(SIGCHLD, &before, nullptr);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(asked);
  EXPECT_FALSE(openedBeside) << "the folder was opened although the file was shown";
  EXPECT_TRUE(opened);
  EXPECT_EQ(Recorded("xdg-open")[0], prefix_.HostPath("dosdevices/c:/App")) << "a refusal opens the folder";
}

TEST_F(LaunchTest, WithoutAFileManagerServiceTheFolderIsOpened) {
  MakeTool("gdbus", 1);
  MakeTool("xdg-open");
  WriteFile(prefix_.HostPath("drive_c/App/app.exe"), "MZ");
  ASSERT_TRUE(ShowInFileManager(velmora::test::System(), "C:\\app\\app.exe"));
  EXPECT_EQ(Recorded("xdg-open")[0], prefix_.HostPath("dosdevices/c:/App"));
  EXPECT_FALSE(ShowInFileManager(velmora::test::System(), "Q:\\nowhere\\x.exe"));
}

}  // namespace
}  // namespace platform
