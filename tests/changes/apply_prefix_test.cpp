// Apply when a hive file of the prefix cannot be written (a user without write
// access to it): the failure is reported, nothing is lost, and what does not need
// that hive still goes through.
#include <sys/stat.h>

#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

using ApplyPrefixTest = ChangesTest;

TEST_F(ApplyPrefixTest, FailedStoreWriteLeavesTheEntryAndReportsIt) {
  SetText(kLmRun, "Tray", "C:\\tray.exe");
  StartupParameters model(velmora::test::System());
  Read(model);
  model.SetEntryEnabled("tray", kLmRun, 0);
  model.TakeSnapshot();
  const std::string userHive = prefix_.HostPath("user.reg");
  ASSERT_EQ(chmod(userHive.c_str(), 0444), 0);
  std::vector<ApplyFailure> failures = model.ApplyChanges();
  ASSERT_EQ(chmod(userHive.c_str(), 0644), 0);

  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].location, kLmRun);
  EXPECT_EQ(failures[0].name, "Tray");
  EXPECT_EQ(model.ChangedFlags()[kLmRun], 1);
  EXPECT_EQ(LocationValues(kLmRun).count("tray"), 1u);

  // Once the store can be written, the same pending edit goes through.
  Apply(model);
  EXPECT_EQ(model.ChangedFlags()[kLmRun], 0);
  EXPECT_EQ(LocationValues(kLmRun).count("tray"), 0u);
  EXPECT_EQ(StoreValues().count("0|tray"), 1u);
}

// Writes to the machine's Run key need nothing of the user's hive, where the
// store lives; a read-only user hive without a store must not stop them.
TEST_F(ApplyPrefixTest, MachineKeyEditsDoNotNeedTheStore) {
  SetText(kLmRun, "Kept", "C:\\kept.exe");
  StartupParameters model(velmora::test::System());
  Read(model);
  platform::reg::DeleteTree(velmora::test::System().CurrentUser(), DisabledTasksKeyPath());
  auto task = std::make_unique<Task>();
  task->name = "Added";
  task->command = "C:\\added.exe /x";
  ASSERT_TRUE(model.AddEntry(std::move(task), kLmRun));
  const std::string userHive = prefix_.HostPath("user.reg");
  const std::string userBefore = ReadFile(userHive);
  ASSERT_EQ(chmod(userHive.c_str(), 0444), 0);
  model.TakeSnapshot();
  std::vector<ApplyFailure> failures = model.ApplyChanges();
  ASSERT_EQ(chmod(userHive.c_str(), 0644), 0);
  EXPECT_TRUE(failures.empty()) << Describe(failures);
  EXPECT_EQ(model.ChangedFlags()[kLmRun], 0);
  auto values = LocationValues(kLmRun);
  ASSERT_EQ(values.count("added"), 1u);
  EXPECT_EQ(changes::ValueText(values.at("added").data), "C:\\added.exe /x");
  EXPECT_EQ(values.count("kept"), 1u);
  EXPECT_TRUE(ReadFile(userHive) == userBefore);
}

// A machine hive the user cannot write: its entries are still listed, marked
// read-only with the reason, and every change to them is refused; nothing is
// written.
TEST_F(ApplyPrefixTest, EntriesOfAnUnwritableHiveAreListedReadOnly) {
  SetText(kLmRun, "Tray", "C:\\tray.exe");
  SetText(kCuRun, "Chat", "C:\\chat.exe");
  {
    StartupParameters saving(velmora::test::System());
    Read(saving);
    saving.SetEntryEnabled("Tray", kLmRun, 0);
    ASSERT_EQ(saving.SaveProfile("Off", false), StartupParameters::ProfileSaveResult::kSaved);
  }
  const std::string machineHive = prefix_.HostPath("system.reg");
  const std::string before = ReadFile(machineHive);
  ASSERT_EQ(chmod(machineHive.c_str(), 0444), 0);
  StartupParameters model(velmora::test::System());
  Read(model);
  const Task* tray = Find(model, kLmRun, "tray");
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(tray->readOnly, 1);
  EXPECT_NE(tray->readOnlyReason.find("not writable"), std::string::npos) << tray->readOnlyReason;
  EXPECT_EQ(Find(model, kCuRun, "chat")->readOnly, 0);

  EXPECT_FALSE(model.SetEntryEnabled("Tray", kLmRun, 0));
  model.RemoveEntry("Tray", kLmRun);
  EXPECT_EQ(model.ChangedFlags()[kLmRun], 0);
  std::string error;
  auto task = std::make_unique<Task>();
  task->name = "New";
  task->command = "C:\\new.exe";
  EXPECT_FALSE(model.AddEntry(std::move(task), kLmRun, &error));
  EXPECT_NE(error.find("not writable"), std::string::npos) << error;
  // A change that reaches apply all the same (a loaded profile) is refused there.
  ASSERT_TRUE(model.LoadProfile("Off"));
  model.TakeSnapshot();
  std::vector<ApplyFailure> failures = model.ApplyChanges();
  ASSERT_EQ(chmod(machineHive.c_str(), 0644), 0);
  ASSERT_EQ(failures.size(), 1u) << Describe(failures);
  EXPECT_NE(failures[0].reason.find("cannot be changed"), std::string::npos) << failures[0].reason;
  EXPECT_EQ(ReadFile(machineHive), before);
  EXPECT_TRUE(StoreValues().empty());
}

// Windows' limit for value names holds for added entries; Startup-folder files
// whose names differ only in letter case (Wine starts each) are each an entry.
TEST_F(ApplyPrefixTest, NameLimitsAndItemsThatDifferInCase) {
  StartupParameters model(velmora::test::System());
  Read(model);
  std::string error;
  auto task = std::make_unique<Task>();
  task->name = std::string(16384, 'n');
  task->command = "C:\\long.exe";
  EXPECT_FALSE(model.AddEntry(std::move(task), kCuRun, &error));
  EXPECT_NE(error.find("16383"), std::string::npos) << error;
  EXPECT_EQ(model.ChangedFlags()[kCuRun], 0);

  const std::string folder = Host(Folder(kCuStartupFolder));
  WriteFile(folder + "/foo.bat", "@echo small\r\n");
  WriteFile(folder + "/FOO.bat", "@echo capital\r\n");
  StartupParameters both(velmora::test::System());
  Read(both);
  ASSERT_EQ(both.Entries(kCuStartupFolder).size(), 2u);
  ASSERT_NE(both.Entry(kCuStartupFolder, "FOO.bat"), nullptr);
  EXPECT_EQ(both.Entry(kCuStartupFolder, "FOO.bat")->name, "FOO.bat");
  EXPECT_EQ(both.Entry(kCuStartupFolder, "foo.bat")->name, "foo.bat");
  both.SetEntryEnabled("FOO.bat", kCuStartupFolder, 0);
  Apply(both);
  EXPECT_FALSE(std::filesystem::exists(folder + "/FOO.bat"));
  EXPECT_EQ(ReadFile(folder + "/foo.bat"), "@echo small\r\n");
}

}  // namespace
}  // namespace velmora::test
