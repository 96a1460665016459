// One pass over many entries reads the process list, each program file and each
// folder once: its tasks are those that reading everything per entry gives.
#include "entries/scan_pass.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "changes/startup_parameters.h"
#include "entries/process_info.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using namespace platform::files;

class ScanPassTest : public ::testing::Test {
 protected:
  void SetRun(HKey root, const std::string& name, const std::string& command) {
    UniqueKey key;
    ASSERT_EQ(reg::CreateKey(root, kRunKeyPath, key.out()), kSuccess);
    ASSERT_EQ(reg::SetString(key.get(), name, command), kSuccess);
  }
  void CopyFixture(const std::string& fixture, const std::string& windowsPath) {
    std::string host = HostPathFromWindows(velmora::test::System(), windowsPath);
    fs::create_directories(fs::path(host).parent_path());
    fs::copy_file(test::FixturePath(fixture), host, fs::copy_options::overwrite_existing);
  }
  test::TestSystem system_;
};

void ExpectSameTasks(const StartupParameters& a, const StartupParameters& b) {
  for (int location = 0; location < kLocationCount; ++location) {
    ASSERT_EQ(a.Entries(location).size(), b.Entries(location).size()) << location;
    for (const auto& [key, task] : a.Entries(location)) {
      auto other = b.Entries(location).find(key);
      ASSERT_NE(other, b.Entries(location).end()) << key;
      const Task& x = *task;
      const Task& y = *other->second;
      EXPECT_EQ(x.command, y.command) << key;
      EXPECT_EQ(x.fileName, y.fileName) << key;
      EXPECT_EQ(x.fileExists, y.fileExists) << key;
      EXPECT_EQ(x.processProtected, y.processProtected) << key;
      EXPECT_EQ(x.version, y.version) << key;
      EXPECT_EQ(x.productName, y.productName) << key;
      EXPECT_EQ(x.applicationName, y.applicationName) << key;
      EXPECT_EQ(x.description, y.description) << key;
      ASSERT_EQ(!x.icon, !y.icon) << key;
      if (x.icon) {
        EXPECT_EQ(x.icon->resourceId, y.icon->resourceId) << key;
        EXPECT_EQ(x.icon->width, y.icon->width) << key;
        EXPECT_EQ(x.icon->pixels, y.icon->pixels) << key;
        EXPECT_EQ(x.icon->notAnIconFile, y.icon->notAnIconFile) << key;
      }
    }
  }
}

// Programs shared by several entries, written in other letter cases, files with
// and without version data or translation table, missing files and folders, and
// a shortcut: the one pass over all locations gives what scans whose every entry
// reads everything afresh give.
TEST_F(ScanPassTest, OnePassGivesTheTasksOfReadingEverythingPerEntry) {
  CopyFixture("scan_app.exe", "C:\\Tools\\scan_app.exe");
  CopyFixture("version_app.exe", "C:\\Tools\\Version App.exe");
  CopyFixture("german_dll.dll", "C:\\Tools\\german.dll");
  CopyFixture("strings_app.exe", "C:\\Tools\\strings_app.exe");
  CopyFixture("plain_app.exe", "C:\\Other\\plain.exe");
  CopyFixture("app.ico", "C:\\Other\\app.ico");
  const char* commands[] = {
      "C:\\Tools\\scan_app.exe /a",
      "c:\\tools\\SCAN_APP.EXE /b",
      "C:\\Tools\\scan_app.exe",
      "\"C:\\Tools\\Version App.exe\" -x",
      "C:\\Tools\\german.dll",
      "C:\\TOOLS\\german.dll",
      "C:\\Tools\\strings_app.exe",
      "C:\\Tools\\scan_app.exe /c",
      "C:\\Other\\plain.exe",
      "C:\\Other\\app.ico",
      "C:\\Missing\\gone.exe",
      "C:\\Tools\\gone.exe",
      "C:\\Missing\\Deeper\\gone.exe",
      "rundll32.exe shell32.dll,Thing",
      "",
  };
  int n = 0;
  for (const char* command : commands) {
    SetRun(velmora::test::System().CurrentUser(), "User " + std::to_string(n), command);
    SetRun(velmora::test::System().LocalMachine(), "Machine " + std::to_string(n), command);
    ++n;
  }
  StartupParameters probe(velmora::test::System());
  std::string startup = probe.StartupFolderPath(kCuStartupFolder);
  ASSERT_FALSE(startup.empty());
  fs::create_directories(HostPathFromWindows(velmora::test::System(), startup));
  ShellLink link;
  ASSERT_EQ(link.SetPath(velmora::test::System(), "C:\\Tools\\scan_app.exe"), kOk);
  ASSERT_EQ(link.Save(velmora::test::System(), startup + "\\Tools.lnk"), kOk);
  test::WriteFile(HostPathFromWindows(velmora::test::System(), startup) + "/notes.txt", "text");

  StartupParameters onePass(velmora::test::System());
  onePass.ScanAllLocations();
  StartupParameters perEntry(
      velmora::test::System());  // no pass around the scans: every entry is a pass of its own
  for (int location = 0; location < kLocationCount; ++location) {
    if (IsFolderLocation(location)) {
      perEntry.ScanStartupFolder(location);
    } else if (IsServiceLocation(location)) {
      perEntry.ScanServices();
    } else {
      perEntry.ScanRunKey(location);
    }
  }
  EXPECT_EQ(onePass.Entries(kCuRun).size(), std::size(commands));
  EXPECT_EQ(onePass.Entries(kCuStartupFolder).size(), 2u);
  ExpectSameTasks(onePass, perEntry);
  EXPECT_EQ(onePass.Entries(kCuRun).at("user 1")->version, onePass.Entries(kCuRun).at("user 0")->version);
  EXPECT_EQ(onePass.Entries(kCuRun).at("user 10")->fileExists, 0);
}

// After the search for each program, a search for its path finds within the pass
// what a search of its own finds: a file in another letter case, a folder named
// like a program, names missing from a folder that is there and from one that is
// not, a wildcard and a path ending in a separator (which names no item).
TEST_F(ScanPassTest, ASearchForAProgramsPathFindsWhatAFreshSearchFinds) {
  CopyFixture("scan_app.exe", "C:\\Tools\\scan_app.exe");
  fs::create_directories(HostPathFromWindows(velmora::test::System(), "C:\\Tools") + "/Data.dir");
  const std::vector<std::string> paths = {
      "C:\\Tools\\scan_app.exe", "c:\\TOOLS\\SCAN_APP.EXE", "C:\\Tools\\Data.dir",  "C:\\Tools\\gone.exe",
      "C:\\Missing\\gone.exe",   "C:\\Tools\\scan_*.exe",   "C:\\Tools\\Data.dir\\"};
  std::vector<bool> fresh;
  for (const std::string& path : paths) fresh.push_back(PathFindsItem(velmora::test::System(), path));
  EXPECT_EQ(fresh, (std::vector<bool>{true, true, true, false, false, true, false}));

  ScanPass* running = nullptr;
  ScanPass pass(velmora::test::System(), running);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    pass.ProgramPath("\"" + paths[i] + "\" /x", kRegSz);
    EXPECT_EQ(pass.PathFindsItem(paths[i]), fresh[i]) << paths[i];
  }
}

TEST_F(ScanPassTest, TheProcessSnapshotFindsWhatAFreshReadingFinds) {
  std::string self;
  for (const ProcessEntry& process : velmora::test::System().ListProcesses()) {
    if (process.pid == static_cast<std::uint32_t>(getpid())) self = process.name;
  }
  ASSERT_FALSE(self.empty());
  ProcessSnapshot snapshot(velmora::test::System());
  std::vector<std::uint32_t> ids = snapshot.FindProcessIds(self);
  EXPECT_NE(std::find(ids.begin(), ids.end(), static_cast<std::uint32_t>(getpid())), ids.end());
  EXPECT_EQ(snapshot.FindProcessIds("no-such-process-name"), std::vector<std::uint32_t>{});
  std::uint64_t rss = 0, peak = 0;
  ASSERT_TRUE(snapshot.Memory(getpid(), &rss, &peak));
  EXPECT_GT(rss, 0u);
  EXPECT_GE(peak, rss);
  EXPECT_TRUE(snapshot.FullyControlled(getpid()));

  Task viaSnapshot, fresh;
  ReadProcessInfo("C:\\x\\" + self + ".EXE", viaSnapshot, snapshot);
  ReadProcessInfo(velmora::test::System(), "C:\\x\\" + self + ".EXE", fresh);
  EXPECT_GT(viaSnapshot.memoryKB, 0);
  EXPECT_GT(fresh.memoryKB, 0);
  EXPECT_EQ(viaSnapshot.processProtected, fresh.processProtected);
}

}  // namespace
}  // namespace velmora
