// Profiles over a real prefix: saving everything, loading it back losslessly,
// names, the profile list.
#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ProfilesTest = ChangesTest;
using Result = StartupParameters::ProfileSaveResult;

TEST_F(ProfilesTest, LoadingRestoresTheSavedConfiguration) {
  SetText(kCuRun, "Exp", "%SystemRoot%\\x.exe", platform::kRegExpandSz);
  SetText(kCuRun, "Plain", "C:\\plain.exe");
  SetText(kLmRun, "Machine", "C:\\m.exe");
  MakeShortcut(Folder(kCuStartupFolder) + "\\Tool.lnk", "C:\\Tools\\tool.exe", "--tray", "C:\\Tools");
  MakeShortcut(Folder(kCuStartupFolder) + "\\Other.lnk", "C:\\Tools\\other.exe", "--saved");
  const std::string toolBytes = ReadFile(Item(kCuStartupFolder, "Tool.lnk"));
  const std::string otherBytes = ReadFile(Item(kCuStartupFolder, "Other.lnk"));
  const auto runBefore = LocationValues(kCuRun);
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    model.SetEntryEnabled("machine", kLmRun, 0);
    Apply(model);
    model.EnumerateProfiles();
    EXPECT_EQ(model.SaveProfile("Home", false), Result::kSaved);
    EXPECT_EQ(model.ProfileNames(), (std::vector<std::string>{"Home"}));
  }
  {
    // Everything changed since: removed, enabled, added.
    StartupParameters model(velmora::test::System());
    Read(model);
    model.RemoveEntry("exp", kCuRun);
    model.RemoveEntry("tool.lnk", kCuStartupFolder);
    model.SetEntryEnabled("machine", kLmRun, 1);
    model.SetEntryEnabled("other.lnk", kCuStartupFolder, 0);
    auto added = std::make_unique<Task>();
    added->name = "Later";
    added->command = "C:\\later.exe";
    ASSERT_TRUE(model.AddEntry(std::move(added), kCuRun));
    Apply(model);
  }
  ASSERT_FALSE(fs::exists(Item(kCuStartupFolder, "Tool.lnk")));
  // Changed outside Velmora while disabled: the same target, other arguments.
  MakeShortcut(changes::KeptItemsFolder(velmora::test::System(), kCuStartupFolder) + "\\Other.lnk",
               "C:\\Tools\\other.exe", "--changed");

  StartupParameters model(velmora::test::System());
  Read(model);
  std::string error;
  ASSERT_TRUE(model.LoadProfile("Home", &error)) << error;
  EXPECT_EQ(Find(model, kCuRun, "later")->enabled, 0);  // not in the profile: disabled, kept
  EXPECT_EQ(Find(model, kLmRun, "machine")->enabled, 0);
  EXPECT_EQ(Find(model, kCuRun, "exp")->enabled, 1);
  EXPECT_TRUE(model.ChangedFlags()[kCuRun] && model.ChangedFlags()[kLmRun] &&
              model.ChangedFlags()[kCuStartupFolder]);
  Apply(model);

  auto run = LocationValues(kCuRun);
  ASSERT_EQ(run.count("exp"), 1u);
  EXPECT_EQ(run.at("exp").type, platform::kRegExpandSz);
  EXPECT_EQ(run.at("exp").data, runBefore.at("exp").data);
  EXPECT_EQ(run.count("plain"), 1u);
  EXPECT_EQ(run.count("later"), 0u);
  EXPECT_EQ(StoreValues().count("3|later"), 1u);
  EXPECT_EQ(LocationValues(kLmRun).count("machine"), 0u);
  EXPECT_EQ(StoreValues().count("0|machine"), 1u);
  EXPECT_EQ(ReadFile(Item(kCuStartupFolder, "Tool.lnk")), toolBytes);
  EXPECT_EQ(ReadFile(Item(kCuStartupFolder, "Other.lnk")), otherBytes);
}

// Startup items whose names differ only in case are two entries, as Wine starts
// each: the snapshot keeps both, and a profile saves both and loads each back
// onto its own item.
TEST_F(ProfilesTest, ItemsWhoseNamesDifferOnlyInCaseAreSavedAndLoadedEach) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows folder holds one file of a name, whatever its letter case";
#endif
  const std::string folder = Host(Folder(kCuStartupFolder));
  WriteFile(folder + "/foo.bat", "@echo lower");
  WriteFile(folder + "/FOO.bat", "@echo upper");
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    ASSERT_EQ(model.Entries(kCuStartupFolder).size(), 2u);
    model.TakeSnapshot();
    std::size_t snapshotItems = 0;
    for (const auto& [key, task] : model.Snapshot()) snapshotItems += task->location == kCuStartupFolder;
    EXPECT_EQ(snapshotItems, 2u);
    model.EnumerateProfiles();
    ASSERT_EQ(model.SaveProfile("Both", false), Result::kSaved);
  }
  std::size_t savedItems = 0;
  for (const auto& [lower, value] :
       Values(velmora::test::System().CurrentUser(), ProfilesKeyPath() + "\\Both\\Entries")) {
    int location = -1;
    std::string name;
    changes::ParseStoreValueName(value.name, &location, &name);
    savedItems += location == kCuStartupFolder;
  }
  EXPECT_EQ(savedItems, 2u);

  StartupParameters model(velmora::test::System());
  Read(model);
  ASSERT_TRUE(model.SetEntryEnabled("FOO.bat", kCuStartupFolder, 0));
  model.EnumerateProfiles();
  std::string error;
  ASSERT_TRUE(model.LoadProfile("Both", &error)) << error;
  for (const auto& [key, task] : model.Entries(kCuStartupFolder)) EXPECT_EQ(task->enabled, 1) << task->name;
  Apply(model);
  EXPECT_EQ(FolderFiles(folder),
            (std::map<std::string, std::string>{{"FOO.bat", "@echo upper"}, {"foo.bat", "@echo lower"}}));
}
TEST_F(ProfilesTest, NamesAreCheckedAndReplacedOnlyWhenAsked) {
  SetText(kCuRun, "Foo", "C:\\foo.exe");
  StartupParameters model(velmora::test::System());
  Read(model);
  EXPECT_EQ(model.SaveProfile("", false), Result::kEmptyName);
  EXPECT_EQ(model.SaveProfile("a\\b", false), Result::kInvalidName);
  EXPECT_EQ(model.SaveProfile("a|b", false), Result::kInvalidName);
  ASSERT_EQ(model.SaveProfile("Work", false), Result::kSaved);
  model.SetEntryEnabled("foo", kCuRun, 0);
  EXPECT_EQ(model.SaveProfile("work", false), Result::kExists);
  EXPECT_EQ(model.SaveProfile("work", true), Result::kSaved);
  EXPECT_EQ(model.ProfileNames(), (std::vector<std::string>{"Work"}));  // replaced under its own name

  StartupParameters loaded(velmora::test::System());
  Read(loaded);
  ASSERT_TRUE(loaded.LoadProfile("Work"));
  EXPECT_EQ(Find(loaded, kCuRun, "foo")->enabled, 0);  // the replacing content
  std::string error;
  EXPECT_FALSE(loaded.LoadProfile("Missing", &error));
  EXPECT_FALSE(error.empty());
}

TEST_F(ProfilesTest, IncompleteProfileIsNotLoaded) {
  SetRaw(velmora::test::System().CurrentUser(), ProfilesKeyPath() + "\\Half\\Entries", "3|Foo",
         platform::kRegSz, changes::StringData("C:\\foo.exe"));
  StartupParameters model(velmora::test::System());
  Read(model);
  model.EnumerateProfiles();
  EXPECT_EQ(model.ProfileNames(), (std::vector<std::string>{"Half"}));
  EXPECT_FALSE(model.LoadProfile("Half"));
  EXPECT_TRUE(model.Entries(kCuRun).empty());
}

TEST_F(ProfilesTest, UnsafeFolderNamesOfAProfileAreLeftOut) {
  StartupParameters model(velmora::test::System());
  Read(model);
  ASSERT_EQ(model.SaveProfile("Crafted", false), Result::kSaved);
  const std::string entries = ProfilesKeyPath() + "\\Crafted\\Entries";
  SetRaw(velmora::test::System().CurrentUser(), entries, "5|..\\..\\escape.lnk", platform::kRegSz,
         changes::StringData("C:\\x.exe"));
  SetRaw(velmora::test::System().CurrentUser(), entries, "5|Fine.lnk", platform::kRegSz,
         changes::StringData("C:\\fine.exe"));
  std::vector<std::string> skipped;
  ASSERT_TRUE(model.LoadProfile("Crafted", nullptr, &skipped));
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0], "\"5|..\\..\\escape.lnk\": its name leads out of its Startup folder");
  EXPECT_EQ(model.Entries(kCuStartupFolder).size(), 1u);
  Apply(model);
  EXPECT_FALSE(fs::exists(Host(Folder(kCuStartupFolder) + "\\..\\..\\escape.lnk")));
  EXPECT_TRUE(fs::exists(Item(kCuStartupFolder, "Fine.lnk")));
}

TEST_F(ProfilesTest, DeletingTakesWholeNamesOnly) {
  StartupParameters model(velmora::test::System());
  for (const char* name : {"Home", "Work", "Test"}) ASSERT_EQ(model.SaveProfile(name, false), Result::kSaved);
  EXPECT_FALSE(model.DeleteProfile("Wor"));
  EXPECT_FALSE(model.DeleteProfile("work"));
  EXPECT_TRUE(model.DeleteProfile("Work"));
  EXPECT_EQ(model.ProfileNames(), (std::vector<std::string>{"Home", "Test"}));
  EXPECT_FALSE(model.ProfileExists("Work"));
  EXPECT_TRUE(model.DeleteProfile("Test"));
  EXPECT_EQ(model.ProfileNames(), (std::vector<std::string>{"Home"}));
  EXPECT_TRUE(model.DeleteProfile("Home"));
  EXPECT_TRUE(model.ProfileNames().empty());
  model.EnumerateProfiles();
  EXPECT_TRUE(model.ProfileNames().empty());
}

}  // namespace
}  // namespace velmora::test
