#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/files.h"
#include "platform/posix/path_util.h"
#include "platform/posix/prefix.h"
#include "tests/support/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using velmora::test::TempPrefix;
using velmora::test::WriteFile;

class PathsTest : public ::testing::Test {
 protected:
  TempPrefix prefix_;
  std::string drive_c() const { return prefix_.HostPath("drive_c"); }
};

TEST_F(PathsTest, WindowsPathsMapThroughDrivesWithoutRegardToCase) {
  WriteFile(drive_c() + "/Program Files/Tool/Tool.EXE", "x");
  std::string expected = prefix_.HostPath("dosdevices/c:/Program Files/Tool/Tool.EXE");
  auto map = [](const std::string& path) {
    return files::HostPathFromWindows(velmora::test::System(), path);
  };
  // The same without and within a scope of look-ups, where a path is mapped
  // through its folder's kept mapping.
  for (bool scoped : {false, true}) {
    SCOPED_TRACE(scoped);
    std::optional<files::PathLookupScope> scope;
    if (scoped) scope.emplace(velmora::test::System());
    EXPECT_EQ(map("C:\\Program Files\\Tool\\Tool.EXE"), expected);
    EXPECT_EQ(map("c:\\PROGRAM FILES\\tool\\tool.exe"), expected);
    EXPECT_EQ(map("c:/program files/./x/../tool/tool.exe"), expected);
    EXPECT_EQ(map("\\\\?\\C:\\program files\\tool\\tool.exe"), expected);
    EXPECT_EQ(map("C:\\Program Files\\Tool\\"), prefix_.HostPath("dosdevices/c:/Program Files/Tool"));
    // Missing components are kept as written.
    EXPECT_EQ(map("C:\\Program Files\\New\\a.txt"),
              prefix_.HostPath("dosdevices/c:/Program Files/New/a.txt"));
    EXPECT_EQ(map("c:\\program files\\New\\TOOL\\a.txt"),
              prefix_.HostPath("dosdevices/c:/Program Files/New/TOOL/a.txt"));
    EXPECT_EQ(map("c:\\program files\\New\\TOOL\\Sub\\a.txt"),
              prefix_.HostPath("dosdevices/c:/Program Files/New/TOOL/Sub/a.txt"));
    EXPECT_EQ(map("Q:\\nothing"), "");
    EXPECT_EQ(map("Q:\\nothing\\deeper"), "");
    EXPECT_EQ(map("Z:\\etc"), prefix_.HostPath("dosdevices/z:/etc"));
    EXPECT_EQ(map(""), "");
  }
}

TEST_F(PathsTest, HostPathsMapBackToTheirDrive) {
  fs::create_directories(drive_c() + "/windows");
  EXPECT_EQ(files::WindowsPathFromHost(velmora::test::System(), drive_c() + "/windows"), "C:\\windows");
  EXPECT_EQ(files::WindowsPathFromHost(velmora::test::System(), drive_c()), "C:\\");
  EXPECT_EQ(files::WindowsPathFromHost(velmora::test::System(), "/usr/bin/env"), "Z:\\usr\\bin\\env");
  std::string full;
  EXPECT_EQ(files::FullPath(velmora::test::System(), "C:\\a\\.\\b\\..\\c.exe", &full), kSuccess);
  EXPECT_EQ(full, "C:\\a\\c.exe");
  EXPECT_EQ(files::FullPath(velmora::test::System(), "", &full), kInvalidParameter);
}

TEST_F(PathsTest, RealPathGivesWhatRealpathGivesForEverySpelling) {
  const std::string base = prefix_.HostPath("real");
  WriteFile(base + "/folder/file.txt", "x");
  fs::create_directory_symlink(base + "/folder", base + "/link");
  fs::create_directory_symlink("folder", base + "/relative-link");
  fs::create_symlink(base + "/missing", base + "/dangling");
  const std::string relative = fs::relative(base + "/folder/file.txt").string();
  for (const std::string& path : {base + "/folder", base + "/folder/", base + "/folder/file.txt",
                                  base + "/link", base + "/link/file.txt", base + "/relative-link/../folder",
                                  base + "//folder/./file.txt", base + "/dangling", base + "/missing",
                                  base + "/folder/file.txt/", relative, std::string("/"), std::string()}) {
    SCOPED_TRACE(path);
    char* real = realpath(path.c_str(), nullptr);
    EXPECT_EQ(posix::RealPath(path), real ? std::string(real) : std::string());
    std::free(real);
  }
}

TEST_F(PathsTest, FolderSearchReportsReferencesSubfoldersAndMatches) {
  std::string folder = drive_c() + "/start";
  WriteFile(folder + "/B.lnk", "1");
  WriteFile(folder + "/a.txt", "22");
  WriteFile(folder + "/noext", "3");
  fs::create_directories(folder + "/sub");

  FolderSearch search(velmora::test::System());
  ASSERT_TRUE(search.FindFirst("C:\\START\\*.*"));
  std::vector<std::string> names;
  int dots = 0, folders = 0;
  do {
    const FoundItem& item = search.Current();
    names.push_back(item.name);
    dots += item.isDots;
    folders += item.isDirectory && !item.isDots;
    if (item.name == "a.txt") {
      EXPECT_EQ(item.fullPath, "C:\\START\\a.txt");
      EXPECT_EQ(item.size, 2u);
    }
  } while (search.FindNext());
  EXPECT_EQ(dots, 2);
  EXPECT_EQ(folders, 1);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.txt", "B.lnk", "noext", "sub"}));

  ASSERT_TRUE(search.FindFirst("C:\\start\\*.LNK"));
  EXPECT_EQ(search.Current().name, "B.lnk");
  EXPECT_FALSE(search.FindNext());
  EXPECT_FALSE(search.FindFirst("C:\\start\\*.exe"));
  EXPECT_FALSE(search.FindFirst("C:\\missing\\*.*"));

  EXPECT_TRUE(files::PathFindsItem(velmora::test::System(), "c:\\start\\a.TXT"));
  EXPECT_TRUE(files::PathFindsItem(velmora::test::System(), "C:\\start"));
  EXPECT_FALSE(files::PathFindsItem(velmora::test::System(), "C:\\start\\a.txt /min"));
  EXPECT_FALSE(files::PathFindsItem(velmora::test::System(), ""));
}

// Within a scope, what a path is (missing, a file, a folder) is answered from
// what the scope learnt: the answers are those the disk gives without one, a
// change through the file interface is seen at once, and a file made behind the
// scope's back is seen by the next scope.
TEST_F(PathsTest, AScopeAnswersWhatTheDiskSaysAndTheNextScopeSeesNewFiles) {
  WriteFile(drive_c() + "/Apps/Tool.EXE", "x");
  fs::create_directories(drive_c() + "/Apps/Data");
  fs::create_symlink(drive_c() + "/Apps/nowhere", drive_c() + "/Apps/dangling.exe");
  ManagedSystem& system = velmora::test::System();
  struct Expected {
    const char* path;
    bool exists, folder;
  };
  const Expected cases[] = {
      {"C:\\Apps\\Tool.EXE", true, false},
      {"c:\\apps\\tool.exe", true, false},
      {"C:\\APPS\\data", true, true},
      {"C:\\Apps\\dangling.exe", false, false},
      {"C:\\Apps\\gone.exe", false, false},
      {"C:\\Vendor\\gone.exe", false, false},
      {"C:\\Vendor\\Deeper\\gone.exe", false, false},
      {"C:\\Vendor\\Deeper\\Still\\gone.exe", false, false},
      {"C:\\Vendor\\Deeper\\Still", false, false},
      {"C:\\Apps\\Tool.EXE\\inside", false, false},
  };
  for (bool scoped : {false, true}) {
    SCOPED_TRACE(scoped);
    std::optional<files::PathLookupScope> scope;
    if (scoped) scope.emplace(system);
    for (int round = 0; round < 2; ++round) {  // asked again: the kept answer
      for (const Expected& item : cases) {
        SCOPED_TRACE(item.path);
        EXPECT_EQ(files::Exists(system, item.path), item.exists);
        EXPECT_EQ(files::DirectoryExists(system, item.path), item.folder);
        EXPECT_EQ(files::FileExists(system, item.path), item.exists && !item.folder);
        EXPECT_EQ(files::PathFindsItem(system, item.path), item.exists);
      }
    }
  }
  {
    files::PathLookupScope scope(system);
    EXPECT_FALSE(files::FileExists(system, "C:\\Vendor\\app.exe"));
    EXPECT_FALSE(files::FileExists(system, "C:\\Apps\\new.exe"));
    ASSERT_EQ(files::MakeDirectories(system, "C:\\Vendor"), kSuccess);
    ASSERT_EQ(files::WriteAtomic(system, "C:\\Vendor\\app.exe", "y"), kSuccess);
    EXPECT_TRUE(files::FileExists(system, "c:\\vendor\\APP.EXE"));
    WriteFile(drive_c() + "/Apps/new.exe", "z");  // behind the scope's back
  }
  files::PathLookupScope next(system);
  EXPECT_TRUE(files::FileExists(system, "C:\\Apps\\new.exe"));
}

TEST_F(PathsTest, AtomicWritesReplaceWholeFilesAndLeaveNothingBehind) {
  std::string folder = drive_c() + "/data";
  fs::create_directories(folder);
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), "C:\\data\\f.bin", std::string("one\0two", 7)),
            kSuccess);
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), "C:\\data\\f.bin", "three"), kSuccess);
  std::string bytes;
  ASSERT_EQ(files::ReadWholeFile(velmora::test::System(), "C:\\DATA\\F.BIN", &bytes), kSuccess);
  EXPECT_EQ(bytes, "three");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

  EXPECT_EQ(files::ReadWholeFile(velmora::test::System(), "C:\\data\\missing", &bytes), kFileNotFound);
  EXPECT_EQ(files::WriteAtomic(velmora::test::System(), "C:\\nofolder\\f.bin", "x"), kFileNotFound);
  EXPECT_EQ(files::RemoveFile(velmora::test::System(), "C:\\data\\f.bin"), kSuccess);
  EXPECT_FALSE(files::Exists(velmora::test::System(), "C:\\data\\f.bin"));
  EXPECT_EQ(files::RemoveFile(velmora::test::System(), "C:\\data"), kAccessDenied);
  EXPECT_EQ(files::MakeDirectories(velmora::test::System(), "C:\\x\\y\\z"), kSuccess);
  EXPECT_TRUE(files::DirectoryExists(velmora::test::System(), "C:\\X\\Y\\Z"));
  EXPECT_EQ(files::MakeDirectory(velmora::test::System(), "C:\\x"), kAlreadyExists);
}

TEST_F(PathsTest, AtomicWritesPassOverTemporaryFilesAKilledProcessLeft) {
  // An earlier process with this process's number was killed mid-write.
  std::string folder = drive_c() + "/data";
  for (int n = 0; n < 200; ++n) {
    WriteFile(folder + "/.velmora-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".tmp", "stale");
  }
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), "C:\\data\\f.bin", "new"), kSuccess);
  ASSERT_EQ(files::WriteScratchFile(velmora::test::System(), "C:\\data\\g.bin", "scratch"), kSuccess);
  std::string bytes;
  ASSERT_EQ(files::ReadWholeFile(velmora::test::System(), "C:\\data\\f.bin", &bytes), kSuccess);
  EXPECT_EQ(bytes, "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 202);
}

// A write removes what writes of processes now gone left in its folder, and
// nothing of a process that still runs (which may be writing it now).
TEST_F(PathsTest, AWriteRemovesTheTemporaryFilesOfProcessesThatAreGone) {
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  waitpid(gone, nullptr, 0);
  const pid_t running = fork();
  if (running == 0) {
    pause();
    _exit(0);
  }
  ASSERT_GT(running, 0);
  const std::string folder = drive_c() + "/data";
  const auto temporary = [&](pid_t pid, int n) {
    return folder + "/.velmora-" + std::to_string(pid) + "-" + std::to_string(n) + ".tmp";
  };
  for (pid_t pid : {gone, running}) {
    WriteFile(temporary(pid, 0), "half");
    WriteFile(temporary(pid, 7), "half");
  }
  WriteFile(folder + "/.velmora-" + std::to_string(gone) + "-x.tmp", "not ours");
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), "C:\\data\\f.bin", "new"), kSuccess);
  kill(running, SIGKILL);
  waitpid(running, nullptr, 0);
  EXPECT_FALSE(fs::exists(temporary(gone, 0)));
  EXPECT_FALSE(fs::exists(temporary(gone, 7)));
  EXPECT_TRUE(fs::exists(temporary(running, 0)));
  EXPECT_TRUE(fs::exists(temporary(running, 7)));
  EXPECT_TRUE(fs::exists(folder + "/.velmora-" + std::to_string(gone) + "-x.tmp"));
}

}  // namespace
}  // namespace platform
