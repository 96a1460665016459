// Scanning where the prefix's own files and Linux processes are the subject: a
// machine hive the user may not write, the memory of a running Linux process, and
// the path look-ups of the prefix's folders kept through a scan pass.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/program_context.h"
#include "changes/startup_parameters.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using namespace platform::files;

class ScanningPrefixTest : public ::testing::Test {
 protected:
  void SetValue(HKey root, const char* path, const std::string& name, const std::string& data) {
    UniqueKey key;
    ASSERT_EQ(reg::CreateKey(root, path, key.out()), kSuccess);
    ASSERT_EQ(reg::SetString(key.get(), name, data), kSuccess);
  }
  const Task* Find(const StartupParameters& model, int location, const std::string& lowerName) {
    return model.Entry(location, lowerName);
  }

  test::TempPrefix prefix_;
};

TEST_F(ScanningPrefixTest, MachineLocationsWithoutWriteAccessAreListedReadOnly) {
  SetValue(velmora::test::System().LocalMachine(), kRunKeyPath, "Machine", "C:\\m.exe");
  SetValue(velmora::test::System().CurrentUser(), kRunKeyPath, "User", "C:\\u.exe");
  ASSERT_EQ(chmod(prefix_.HostPath("system.reg").c_str(), 0444), 0);
  StartupParameters model(velmora::test::System());
  model.ScanAllLocations();
  chmod(prefix_.HostPath("system.reg").c_str(), 0644);
  ASSERT_EQ(model.Entries(kLmRun).size(), 1u);
  EXPECT_EQ(model.Entries(kLmRun).begin()->second->readOnly, 1);
  EXPECT_TRUE(model.Entries(kLmStartupFolder).empty());
  ASSERT_EQ(model.Entries(kCuRun).size(), 1u);
  EXPECT_EQ(model.Entries(kCuRun).begin()->second->readOnly, 0);
}

TEST_F(ScanningPrefixTest, RunningProgramGetsMemoryFigures) {
  // A real process whose name is that of the entry's program.
  std::string probe = prefix_.dir() + "/velmoraprobe";
  fs::copy_file("/bin/sleep", probe);
  pid_t child = fork();
  if (child == 0) {
    execl(probe.c_str(), probe.c_str(), "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(child, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  SetValue(velmora::test::System().CurrentUser(), kRunKeyPath, "Probe", "C:\\Programs\\VELMORAPROBE.EXE -q");
  StartupParameters model(velmora::test::System());
  model.ScanRunKey(kCuRun);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  const Task* task = Find(model, kCuRun, "probe");
  ASSERT_NE(task, nullptr);
  EXPECT_GT(task->memoryKB, 0);
  EXPECT_GE(task->peakMemoryKB, task->memoryKB);
  // The program file does not exist, but its process runs and is ours.
  EXPECT_EQ(task->processProtected, 0);
  EXPECT_EQ(task->fileExists, 0);
}

// Within a scope a folder is listed once, but a change through the platform is
// seen at once.
TEST_F(ScanningPrefixTest, KeptPathLookupsFollowChangesMadeDuringThePass) {
  fs::create_directories(HostPathFromWindows(velmora::test::System(), "C:\\Data"));
  test::WriteFile(HostPathFromWindows(velmora::test::System(), "C:\\Data") + "/Report.TXT", "1");
  PathLookupScope scope(velmora::test::System());
  std::uint64_t generation = PathLookupGeneration(velmora::test::System());
  EXPECT_NE(generation, 0u);
  EXPECT_EQ(fs::path(HostPathFromWindows(velmora::test::System(), "c:\\data\\report.txt")).filename(),
            "Report.TXT");
  EXPECT_TRUE(files::Exists(velmora::test::System(), "C:\\DATA\\REPORT.TXT"));
  EXPECT_FALSE(files::Exists(velmora::test::System(), "C:\\Data\\new.txt"));
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), "C:\\Data\\New.txt", "2"), kSuccess);
  EXPECT_NE(PathLookupGeneration(velmora::test::System()), generation);
  EXPECT_TRUE(files::Exists(velmora::test::System(), "C:\\data\\NEW.TXT"));
  EXPECT_EQ(fs::path(HostPathFromWindows(velmora::test::System(), "C:\\data\\new.txt")).filename(),
            "New.txt");
  ASSERT_EQ(files::RemoveFile(velmora::test::System(), "C:\\Data\\New.txt"), kSuccess);
  EXPECT_FALSE(files::Exists(velmora::test::System(), "C:\\Data\\new.txt"));
  {
    PathLookupScope inner(velmora::test::System());  // joins the outer scope
    EXPECT_EQ(PathLookupGeneration(velmora::test::System()), PathLookupGeneration(velmora::test::System()));
  }
  EXPECT_NE(PathLookupGeneration(velmora::test::System()), 0u);
}

}  // namespace
}  // namespace velmora
