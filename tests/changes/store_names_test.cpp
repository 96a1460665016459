// Store values whose names are not in the "%d|%s" form that Velmora writes
// ("Foo", "03|Foo", " 3|Foo"), written by Wine's own reg tool into a prefix made
// by Wine: every step that deletes an entry's store value deletes the value it
// was read from, together with its remembered form.
#include "platform/posix/prefix.h"
#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

const char* const kStoreKey = "HKCU\\Software\\Orlinsk\\Velmora\\DisabledTasks";
const char* const kDataKey = "HKCU\\Software\\Orlinsk\\Velmora\\DisabledTaskData";
const char* const kLmRunKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class StoreNamesTest : public ChangesTest {
 protected:
  void SetUp() override {
    ChangesTest::SetUp();
    if (!WineAvailable()) GTEST_SKIP() << "wine is not installed";
    wine_ = dir_.path() + "/wine";
    env_ = "WINEPREFIX='" + wine_ + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
    ASSERT_EQ(RunCommand(env_ + "wineboot --init >/dev/null 2>&1 && " + env_ + "wineserver -w"), 0);
  }
  void TearDown() override {
    velmora::test::ResetPrefixForTesting();
    unsetenv("WINEPREFIX");
  }

  // Writes values with Wine's reg tool (each {key, name, type, data}), then makes
  // the prefix the current one.
  struct RegAdd {
    std::string key, name, type, data;
  };
  void WineAdd(const std::vector<RegAdd>& adds) {
    std::string command;
    for (const RegAdd& add : adds) {
      command += env_ + "wine reg add '" + add.key + "' /v '" + add.name + "' /t " + add.type + " /d '" +
                 add.data + "' /f >/dev/null 2>&1 && ";
    }
    ASSERT_EQ(RunCommand(command + env_ + "wineserver -w"), 0);
    setenv("WINEPREFIX", wine_.c_str(), 1);
    velmora::test::ResetPrefixForTesting();
    ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
  }
  static std::map<std::string, platform::RegistryValue> DataValues() {
    return Values(velmora::test::System().CurrentUser(), changes::StoreDataKeyPath());
  }

  TempDir dir_;
  std::string wine_;
  std::string env_;
};

TEST_F(StoreNamesTest, EachStepDeletesTheValueTheEntryWasReadFrom) {
  ASSERT_NO_FATAL_FAILURE(WineAdd({
      // Stale: the machine's Run key holds Live, and also Twin.
      {kLmRunKey, "Live", "REG_SZ", "C:\\live.exe"},
      {kStoreKey, "Live", "REG_SZ", "C:\\old-live.exe"},
      {kLmRunKey, "Twin", "REG_SZ", "C:\\twin.exe"},
      {kStoreKey, "0|Twin", "REG_SZ", "C:\\twin.exe"},
      {kStoreKey, "Twin", "REG_SZ", "%SystemRoot%\\twin.exe"},
      {kDataKey, "Twin", "REG_EXPAND_SZ", "%SystemRoot%\\twin.exe"},
      // Disabled entries of the user's Run key, one with its remembered form.
      {kStoreKey, "03|Exp", "REG_SZ", "%SystemRoot%\\exp.exe /q"},
      {kDataKey, "03|Exp", "REG_EXPAND_SZ", "%SystemRoot%\\exp.exe /q"},
      {kStoreKey, " 3|Gone", "REG_SZ", "C:\\gone.exe"},
      {kStoreKey, "+3|Prof", "REG_SZ", "C:\\prof.exe"},
  }));

  {
    StartupParameters model(velmora::test::System());
    Read(model);
    auto store = StoreValues();
    // Live holds another command than the entry standing there: another entry of
    // that name, which stays beside it.
    EXPECT_EQ(store.count("live"), 1u);
    EXPECT_EQ(Find(model, kLmRun, "live")->keptCommand, "C:\\old-live.exe");
    EXPECT_EQ(store.count("0|twin"), 0u);
    EXPECT_EQ(store.count("twin"), 0u);
    EXPECT_EQ(DataValues().count("twin"), 0u);
    EXPECT_EQ(Find(model, kLmRun, "live")->enabled, 1);
    ASSERT_NE(Find(model, kCuRun, "exp"), nullptr);
    EXPECT_EQ(Find(model, kCuRun, "exp")->storeValueName, "03|Exp");
    ASSERT_NE(Find(model, kCuRun, "gone"), nullptr);
    ASSERT_NE(Find(model, kCuRun, "prof"), nullptr);

    // Enable one, remove another: both values go, with the remembered form, and
    // the enabled value comes back in its own type.
    model.SetEntryEnabled("Exp", kCuRun, 1);
    model.RemoveEntry("Gone", kCuRun);
    Apply(model);
    store = StoreValues();
    EXPECT_EQ(store.count("03|exp"), 0u);
    EXPECT_EQ(store.count(" 3|gone"), 0u);
    EXPECT_EQ(store.count("3|exp") + store.count("3|gone"), 0u);
    EXPECT_EQ(DataValues().count("03|exp"), 0u);
    auto run = LocationValues(kCuRun);
    ASSERT_EQ(run.count("exp"), 1u);
    EXPECT_EQ(run.at("exp").type, platform::kRegExpandSz);
    EXPECT_EQ(run.count("gone"), 0u);

    // Roll-back puts back exactly the values the store held, under their names.
    EXPECT_TRUE(model.RollBack().empty());
    store = StoreValues();
    EXPECT_EQ(store.count("03|exp"), 1u);
    EXPECT_EQ(store.count(" 3|gone"), 1u);
    EXPECT_EQ(store.count("3|exp"), 0u);
    EXPECT_EQ(DataValues().count("03|exp"), 1u);
    EXPECT_EQ(LocationValues(kCuRun).count("exp"), 0u);

    model.SetEntryEnabled("prof", kCuRun, 1);
    ASSERT_EQ(model.SaveProfile("On", false), StartupParameters::ProfileSaveResult::kSaved);
  }
  {
    // Enabling by loading a profile deletes the value too.
    StartupParameters model(velmora::test::System());
    Read(model);
    ASSERT_TRUE(model.LoadProfile("On"));
    Apply(model);
    EXPECT_EQ(StoreValues().count("+3|prof"), 0u);
    EXPECT_EQ(LocationValues(kCuRun).count("prof"), 1u);
  }
  {
    // A stored entry whose command changes is rewritten under the name it has;
    // new store values take the form Velmora writes.
    StartupParameters model(velmora::test::System());
    Read(model);
    EXPECT_EQ(Find(model, kCuRun, "prof")->enabled, 1);
    ASSERT_NE(Find(model, kCuRun, "gone"), nullptr);
    model.SetEntryCommand("gone", kCuRun, "C:\\gone2.exe");
    model.SetEntryEnabled("Prof", kCuRun, 0);
    Apply(model);
    auto store = StoreValues();
    EXPECT_EQ(store.size(), 4u);
    EXPECT_EQ(store.count("live"), 1u);
    ASSERT_EQ(store.count(" 3|gone"), 1u);
    EXPECT_EQ(changes::ValueText(store.at(" 3|gone").data), "C:\\gone2.exe");
    EXPECT_EQ(store.count("03|exp"), 1u);
    EXPECT_EQ(store.count("3|prof"), 1u);
  }
}

// Names that Wine wrote, in several scripts, are one name in any letter case, as
// Wine takes them: entries, store values and registry keys alike.
TEST_F(StoreNamesTest, NamesMatchInEveryScriptAsWineMatchesThem) {
  const char* const kUserRun = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  ASSERT_NO_FATAL_FAILURE(WineAdd({
      {kUserRun, "Ünïcödé", "REG_SZ", "C:\\u.exe"},
      {kUserRun, "Привет", "REG_SZ", "C:\\p.exe"},
      {kUserRun, "Ωμέγα", "REG_SZ", "C:\\o.exe"},
      {kUserRun, "ı", "REG_SZ", "C:\\dotless.exe"},
      // Stale: the same entry as the one standing, its name in other letters.
      {kStoreKey, "3|ωΜΈΓΑ", "REG_SZ", "C:\\o.exe"},
      {"HKCU\\Software\\Ключ", "Inside", "REG_SZ", "x"},
  }));
  platform::UniqueKey key;
  EXPECT_EQ(platform::reg::OpenKey(velmora::test::System().CurrentUser(), "Software\\кЛЮЧ",
                                   platform::kKeyRead, key.out()),
            platform::kSuccess);
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    EXPECT_EQ(StoreValues().size(), 0u);
    ASSERT_NE(model.Entry(kCuRun, "üNÏCÖDÉ"), nullptr);
    ASSERT_NE(model.Entry(kCuRun, "ωμέγα"), nullptr);
    EXPECT_EQ(model.Entry(kCuRun, "I"), nullptr);  // ı has no capital in ASCII for Windows
    const std::string upper = "ПРИВЕТ";
    ASSERT_NE(model.Entry(kCuRun, upper), nullptr);
    model.SetEntryEnabled(upper, kCuRun, 0);
    Apply(model);
  }
  const std::string stored = "3|Привет";
  auto store = Values(velmora::test::System().CurrentUser(), DisabledTasksKeyPath());
  ASSERT_EQ(store.count(stored), 1u);
  // Wine itself finds the stored value by its name in other letters.
  EXPECT_EQ(
      RunCommand(env_ + "wine reg query '" + std::string(kStoreKey) + "' /v '3|пРИВЕТ' >/dev/null 2>&1"), 0);
  RunCommand(env_ + "wineserver -w");
  StartupParameters model(velmora::test::System());
  Read(model);
  model.SetEntryEnabled("привет", kCuRun, 1);
  Apply(model);
  EXPECT_EQ(StoreValues().size(), 0u);
  EXPECT_EQ(LocationValues(kCuRun).size(), 4u);
}

// Values Wine wrote that are not text come back with their type and bytes.
TEST_F(StoreNamesTest, WineWrittenValuesThatAreNotTextComeBackExactly) {
  const char* const kUserRun = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  ASSERT_NO_FATAL_FAILURE(WineAdd({{kUserRun, "D255", "REG_DWORD", "255"},
                                   {kUserRun, "Bin", "REG_BINARY", "deadbeef"},
                                   {kUserRun, "Multi", "REG_MULTI_SZ", "a.exe\\0b"}}));
  auto values = LocationValues(kCuRun);
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    EXPECT_EQ(Find(model, kCuRun, "d255")->command, "dword:000000ff");
    EXPECT_EQ(Find(model, kCuRun, "bin")->command, "hex:de,ad,be,ef");
    for (const char* name : {"D255", "Bin", "Multi"}) model.SetEntryEnabled(name, kCuRun, 0);
    Apply(model);
  }
  EXPECT_TRUE(LocationValues(kCuRun).empty());
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    for (const char* name : {"D255", "Bin", "Multi"}) model.SetEntryEnabled(name, kCuRun, 1);
    Apply(model);
  }
  auto after = LocationValues(kCuRun);
  ASSERT_EQ(after.size(), values.size());
  for (const auto& [lower, value] : values) {
    EXPECT_EQ(after.at(lower).type, value.type) << lower;
    EXPECT_EQ(after.at(lower).data, value.data) << lower;
  }
  // Wine reads them as it wrote them.
  const std::string query = env_ + "wine reg query '" + kUserRun + "' /v ";
  EXPECT_EQ(RunCommand(query + "D255 | grep -q 'REG_DWORD *0xff'"), 0);
  EXPECT_EQ(RunCommand(query + "Bin | grep -q 'REG_BINARY *DEADBEEF'"), 0);
}

}  // namespace
}  // namespace velmora::test
