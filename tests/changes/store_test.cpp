// Reading the store of disabled entries over a real prefix.
#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

using StoreTest = ChangesTest;

TEST_F(StoreTest, StoreValuesBecomeDisabledEntriesOfTheirLocation) {
  SetStore("3|Foo", "C:\\x\\foo.exe /min");
  SetStore("0|A|B", "C:\\ab.exe");
  SetStore("Plain", "C:\\plain.exe");
  SetStore("99|Far", "C:\\far.exe");
  StartupParameters model(velmora::test::System());
  Read(model);

  const Task* foo = Find(model, kCuRun, "foo");
  ASSERT_NE(foo, nullptr);
  EXPECT_EQ(foo->name, "Foo");
  EXPECT_EQ(foo->command, "C:\\x\\foo.exe /min");
  EXPECT_EQ(foo->enabled, 0);
  EXPECT_EQ(foo->fileName, "foo.exe");
  ASSERT_NE(Find(model, kLmRun, "a|b"), nullptr);
  EXPECT_EQ(Find(model, kLmRun, "a|b")->name, "A|B");
  ASSERT_NE(Find(model, kLmRun, "plain"), nullptr);
  for (int location = 0; location < kLocationCount; ++location)
    EXPECT_EQ(model.Entry(location, "far"), nullptr);
  EXPECT_EQ(StoreValues().count("99|far"), 1u);  // not ours to judge: kept

  ASSERT_EQ(model.Snapshot().count("lmrun a|b"), 1u);
  EXPECT_EQ(model.Snapshot().at("lmrun a|b")->location, kLmRun);
  EXPECT_EQ(model.Snapshot().at("curun foo")->enabled, 0);
}

TEST_F(StoreTest, StaleValuesAreDeletedWithoutSkippingTheNextOne) {
  for (const char* name : {"a", "b", "c"}) SetText(kCuRun, name, std::string("C:\\") + name + ".exe");
  // Consecutive stale values (what stands in the location), then a live one:
  // each must be visited.
  for (const char* name : {"a", "b", "c"})
    SetStore(std::string("3|") + name, std::string("C:\\") + name + ".exe");
  SetStore("3|D", "C:\\stored.exe");
  StartupParameters model(velmora::test::System());
  Read(model);

  auto store = StoreValues();
  EXPECT_EQ(store.size(), 1u);
  EXPECT_EQ(store.count("3|d"), 1u);
  EXPECT_EQ(Find(model, kCuRun, "a")->enabled, 1);
  EXPECT_EQ(Find(model, kCuRun, "a")->command, "C:\\a.exe");
  ASSERT_NE(Find(model, kCuRun, "d"), nullptr);
  EXPECT_EQ(Find(model, kCuRun, "d")->enabled, 0);
}

// Reading writes nothing: a missing store reads as empty and stays missing
// until an entry is put into it.
TEST_F(StoreTest, MissingStoreKeyReadsEmptyAndIsNotCreated) {
  StartupParameters model(velmora::test::System());
  Read(model);
  platform::UniqueKey key;
  EXPECT_NE(platform::reg::OpenKey(velmora::test::System().CurrentUser(), DisabledTasksKeyPath(),
                                   platform::kKeyRead, key.out()),
            platform::kSuccess);
  EXPECT_NE(platform::reg::OpenKey(velmora::test::System().CurrentUser(), ProfilesKeyPath(),
                                   platform::kKeyRead, key.out()),
            platform::kSuccess);
  // The system's own RunServices entries and services stand where they are.
  for (int location = 0; location < kLocationCount; ++location) {
    if (IsRunServicesLocation(location) || IsServiceLocation(location)) continue;
    EXPECT_TRUE(model.Entries(location).empty());
  }
}

}  // namespace
}  // namespace velmora::test
