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
  StartupParameters model;
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
  StartupParameters model;
  Read(model);
  ASSERT_EQ(platform::reg::DeleteTree(platform::HKeyCurrentUser(), DisabledTasksKeyPath()),
            platform::kSuccess);
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

}  // namespace
}  // namespace velmora::test
