// An apply killed part-way: after its k-th write for every k, and at random
// moments. Each time a fresh scan must find every entry either in its location or
// in the store, every Startup item's bytes in the folder or in its kept copy, and
// both hive files whole.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "changes/write_steps.h"
#include "platform/posix/prefix.h"
#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class CrashTest : public ChangesTest {
 protected:
  // Entries of every kind, one of them already disabled with a kept copy.
  void MakeConfiguration() {
    SetText(kCuRun, "Exp", "%SystemRoot%\\x.exe", platform::kRegExpandSz);
    SetText(kCuRun, "Plain", "C:\\plain.exe");
    SetText(kLmRun, "Machine", "C:\\m.exe");
    SetText(kCuRunOnce, "Once", "C:\\once.exe");
    SetStore("3|Stored", "C:\\stored.exe");
    MakeShortcut(Folder(kCuStartupFolder) + "\\Kept.lnk", "C:\\k.exe", "/k");
    MakeShortcut(Folder(kCuStartupFolder) + "\\Tool.lnk", "C:\\Tools\\tool.exe", "--tray", "C:\\Tools");
    WriteFile(Item(kCuStartupFolder, "run.cmd"), "echo run\r\n");
    MakeShortcut(Folder(kLmStartupFolder) + "\\Common.lnk", "C:\\c.exe", "-c");
    StartupParameters model(velmora::test::System());
    Read(model);
    model.SetEntryEnabled("kept.lnk", kCuStartupFolder, 0);
    Apply(model);
    items_.clear();
    for (const char* name : {"Kept.lnk", "Tool.lnk", "run.cmd"}) {
      items_[name] = name == std::string("Kept.lnk") ? ReadFile(KeptItem(kCuStartupFolder, name))
                                                     : ReadFile(Item(kCuStartupFolder, name));
    }
  }

  // The edits of one apply: something moves in each direction in every kind of
  // location, one entry is removed and one added.
  static void Edit(StartupParameters& model) {
    model.SetEntryEnabled("exp", kCuRun, 0);
    model.SetEntryEnabled("stored", kCuRun, 1);
    model.SetEntryEnabled("machine", kLmRun, 0);
    model.RemoveEntry("once", kCuRunOnce);
    model.SetEntryEnabled("tool.lnk", kCuStartupFolder, 0);
    model.SetEntryEnabled("run.cmd", kCuStartupFolder, 0);
    model.SetEntryEnabled("kept.lnk", kCuStartupFolder, 1);
    model.SetEntryEnabled("common.lnk", kLmStartupFolder, 0);
    auto added = std::make_unique<Task>();
    added->name = "Added";
    added->command = "C:\\added.exe";
    model.AddEntry(std::move(added), kCuRun);
  }

  // Everything that must survive the interruption.
  void Check(const std::string& when) {
    SCOPED_TRACE(when);
    velmora::test::ResetPrefixForTesting();
    ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
    for (const char* hive : {"system.reg", "user.reg"}) {
      std::string text = ReadFile(prefix().HostPath(hive));
      EXPECT_EQ(text.rfind("WINE REGISTRY Version 2\n", 0), 0u) << hive;
    }
    for (platform::HKey root :
         {velmora::test::System().LocalMachine(), velmora::test::System().CurrentUser()}) {
      platform::UniqueKey key;
      ASSERT_EQ(platform::reg::OpenKey(root, "Software", platform::kKeyRead, key.out()), platform::kSuccess)
          << platform::LastErrorDetail();
    }
    StartupParameters model(velmora::test::System());
    model.SetReadOnly(true);
    Read(model);
    const std::pair<int, const char*> entries[] = {{kCuRun, "exp"},
                                                   {kCuRun, "plain"},
                                                   {kLmRun, "machine"},
                                                   {kCuRun, "stored"},
                                                   {kCuStartupFolder, "kept.lnk"},
                                                   {kCuStartupFolder, "tool.lnk"},
                                                   {kCuStartupFolder, "run.cmd"},
                                                   {kLmStartupFolder, "common.lnk"}};
    for (const auto& [location, name] : entries) EXPECT_NE(Find(model, location, name), nullptr) << name;
    // A disabled Run entry that is only in the store still has its type remembered.
    if (LocationValues(kCuRun).count("exp") == 0) {
      auto data = Values(velmora::test::System().CurrentUser(), changes::StoreDataKeyPath());
      ASSERT_EQ(data.count("3|exp"), 1u);
      EXPECT_EQ(data.at("3|exp").type, platform::kRegExpandSz);
    }
    for (const auto& [name, bytes] : items_) {
      bool inFolder =
          fs::exists(Item(kCuStartupFolder, name)) && ReadFile(Item(kCuStartupFolder, name)) == bytes;
      bool kept = fs::exists(KeptItem(kCuStartupFolder, name)) &&
                  ReadFile(KeptItem(kCuStartupFolder, name)) == bytes &&
                  StoreValues().count(ToLowerAscii("5|" + name));
      EXPECT_TRUE(inFolder || kept) << name;
    }
  }

  TempPrefix& prefix() { return *current_; }

  std::unique_ptr<TempPrefix> current_;
  std::map<std::string, std::string> items_;
};

TEST_F(CrashTest, KilledAfterEachWrite) {
  int completedAt = 0;
  for (int k = 1; k <= 200 && completedAt == 0; ++k) {
    current_.reset();
    current_ = std::make_unique<TempPrefix>();
    MakeConfiguration();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      StartupParameters model(velmora::test::System());
      Read(model);
      Edit(model);
      model.TakeSnapshot();
      changes::SetWriteObserver([k](int n) {
        if (n == k) raise(SIGKILL);
      });
      bool clean = model.ApplyChanges().empty();
      _exit(clean ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "the apply reported failures";
      completedAt = k;
    } else {
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
    Check("killed after write " + std::to_string(k));
    if (HasFailure()) break;
  }
  // The apply has enough writes for the loop to mean something, and it ended.
  EXPECT_GT(completedAt, 10);
}

TEST_F(CrashTest, KilledAtRandomMoments) {
  std::mt19937 random(12345);
  for (int round = 0; round < 12; ++round) {
    current_.reset();
    current_ = std::make_unique<TempPrefix>();
    MakeConfiguration();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Applies back and forth until killed.
      for (int i = 0;; ++i) {
        StartupParameters model(velmora::test::System());
        Read(model);
        if (i % 2 == 0) {
          Edit(model);
        } else {
          for (int location = 0; location < kLocationCount; ++location) model.SetLocationEnabled(location, 1);
        }
        model.TakeSnapshot();
        model.ApplyChanges();
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 60000));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    Check("round " + std::to_string(round));
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace velmora::test
