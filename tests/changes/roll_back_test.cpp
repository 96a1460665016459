// Roll-back over a real prefix: the locations and the store as they stood before
// the last apply, value by value and byte by byte.
#include "changes/write_steps.h"
#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

using RollBackTest = ChangesTest;

TEST_F(RollBackTest, ReturnsEveryLocationAndTheStoreToTheSnapshot) {
  SetText(kCuRun, "Exp", "%SystemRoot%\\x.exe", platform::kRegExpandSz);
  SetText(kLmRun, "Machine", "C:\\m.exe");
  SetText(kLmRunOnce, "Once", "C:\\once.exe");
  SetStore("3|Stored", "C:\\stored.exe");
  MakeShortcut(Folder(kLmStartupFolder) + "\\Common.lnk", "C:\\c.exe", "-a", "C:\\");
  WriteFile(Item(kCuStartupFolder, "script.cmd"), "echo script\r\n");
  {
    // A disabled item with its kept copy, made by an earlier apply.
    MakeShortcut(Folder(kCuStartupFolder) + "\\Kept.lnk", "C:\\k.exe", "/k");
    StartupParameters model(velmora::test::System());
    Read(model);
    model.SetEntryEnabled("kept.lnk", kCuStartupFolder, 0);
    Apply(model);
  }
  const Disk before = Capture();

  StartupParameters model(velmora::test::System());
  Read(model);
  model.SetEntryEnabled("exp", kCuRun, 0);
  model.SetEntryEnabled("stored", kCuRun, 1);
  model.SetEntryEnabled("kept.lnk", kCuStartupFolder, 1);
  model.SetEntryEnabled("script.cmd", kCuStartupFolder, 0);
  model.RemoveEntry("machine", kLmRun);
  model.RemoveEntry("common.lnk", kLmStartupFolder);
  model.SetEntryEnabled("once", kLmRunOnce, 0);
  auto added = std::make_unique<Task>();
  added->name = "Added";
  added->command = "C:\\added.exe";
  ASSERT_TRUE(model.AddEntry(std::move(added), kCuRunOnce));
  Apply(model);
  ASSERT_NE(Capture(), before);

  std::vector<ApplyFailure> failures = model.RollBack();
  EXPECT_TRUE(failures.empty()) << Describe(failures);
  EXPECT_EQ(Capture(), before);
  // The maps are rebuilt from disk, with nothing pending.
  EXPECT_FALSE(model.AnyLocationChanged());
  ASSERT_NE(Find(model, kCuRun, "exp"), nullptr);
  EXPECT_EQ(Find(model, kCuRun, "exp")->enabled, 1);
  EXPECT_EQ(Find(model, kCuRunOnce, "added"), nullptr);
  EXPECT_EQ(Find(model, kCuStartupFolder, "kept.lnk")->enabled, 0);

  // A second roll-back without a new apply writes nothing.
  int writes = 0;
  changes::SetWriteObserver([&](int) { ++writes; });
  EXPECT_TRUE(model.RollBack().empty());
  changes::SetWriteObserver(nullptr);
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(Capture(), before);
}

// A temporary file that an interrupted write left in a Startup folder is no item:
// the snapshot does not hold it, so roll-back does not bring it back.
TEST_F(RollBackTest, LeftoverTemporaryFilesAreNoItems) {
  const std::string folder = Folder(kCuStartupFolder);
  MakeShortcut(folder + "\\Tool.lnk", "C:\\Tools\\tool.exe", "");
  const std::string leftover = Item(kCuStartupFolder, ".velmora-4242-17.tmp");
  WriteFile(leftover, "half a shortcut");
  StartupParameters model(velmora::test::System());
  Read(model);
  EXPECT_EQ(model.Entries(kCuStartupFolder).size(), 1u);
  model.SetEntryEnabled("tool.lnk", kCuStartupFolder, 0);
  Apply(model);
  for (const auto& [key, task] : model.Snapshot()) EXPECT_EQ(key.find(".velmora-"), std::string::npos) << key;
  fs::remove(leftover);

  EXPECT_TRUE(model.RollBack().empty());
  EXPECT_TRUE(fs::exists(Item(kCuStartupFolder, "Tool.lnk")));
  EXPECT_FALSE(fs::exists(leftover));
}

TEST_F(RollBackTest, NothingToRollBackWithoutASnapshot) {
  SetText(kCuRun, "Foo", "C:\\foo.exe");
  StartupParameters model(velmora::test::System());
  Read(model);
  EXPECT_TRUE(model.RollBack().empty());
  EXPECT_EQ(LocationValues(kCuRun).count("foo"), 1u);
}

}  // namespace
}  // namespace velmora::test
