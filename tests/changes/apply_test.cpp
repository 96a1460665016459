// Edits and apply over the system's registry, Startup folders and store: what
// reaches them, and what is left untouched.
#include "changes/store.h"
#include "changes/write_steps.h"
#include "tests/changes/changes_fixture.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ApplyTest = ChangesTest;

TEST_F(ApplyTest, DisableAndEnableGiveBackTheValueWithItsType) {
  SetText(kCuRun, "Exp", "%SystemRoot%\\system32\\x.exe -q", platform::kRegExpandSz);
  SetText(kCuRun, "Plain", "C:\\plain.exe");
  const auto before = LocationValues(kCuRun);
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    EXPECT_TRUE(model.SetEntryEnabled("exp", kCuRun, 0));
    Apply(model);
    EXPECT_EQ(model.ChangedFlags()[kCuRun], 0);
  }
  EXPECT_EQ(LocationValues(kCuRun).count("exp"), 0u);
  auto store = StoreValues();
  ASSERT_EQ(store.count("3|exp"), 1u);
  EXPECT_EQ(store.at("3|exp").type, platform::kRegSz);  // the store's own layout stays
  EXPECT_EQ(changes::ValueText(store.at("3|exp").data), "%SystemRoot%\\system32\\x.exe -q");

  StartupParameters model(velmora::test::System());
  Read(model);
  ASSERT_NE(Find(model, kCuRun, "exp"), nullptr);
  EXPECT_EQ(Find(model, kCuRun, "exp")->enabled, 0);
  model.SetEntryEnabled("Exp", kCuRun, 1);
  Apply(model);
  auto after = LocationValues(kCuRun);
  ASSERT_EQ(after.count("exp"), 1u);
  EXPECT_EQ(after.at("exp").type, platform::kRegExpandSz);
  EXPECT_EQ(after.at("exp").data, before.at("exp").data);
  EXPECT_EQ(StoreValues().count("3|exp"), 0u);
}

TEST_F(ApplyTest, ValuesTheUserDidNotEditAreNotRewritten) {
  const std::string binary("C:\\b.exe\0tail", 13);
  SetRaw(velmora::test::System().LocalMachine(), kRunKeyPath, "Binary", platform::kRegBinary, binary);
  SetText(kLmRun, "Exp", "%ProgramFiles%\\e.exe", platform::kRegExpandSz);
  SetText(kLmRun, "Toggled", "C:\\t.exe");
#ifndef _WIN32
  const std::string hiveBefore = ReadFile(prefix_.HostPath("system.reg"));
#endif
  int writes = 0;
  changes::SetWriteObserver([&](int) { ++writes; });

  StartupParameters model(velmora::test::System());
  Read(model);
  model.SetEntryEnabled("Toggled", kLmRun, 0);
  model.SetEntryEnabled("Toggled", kLmRun, 1);
  EXPECT_EQ(model.ChangedFlags()[kLmRun], 1);
  Apply(model);
  changes::SetWriteObserver(nullptr);
  EXPECT_EQ(writes, 0);
#ifndef _WIN32
  EXPECT_EQ(ReadFile(prefix_.HostPath("system.reg")), hiveBefore);  // not even rewritten as it was
#endif
  auto after = LocationValues(kLmRun);
  EXPECT_EQ(after.at("binary").type, platform::kRegBinary);
  EXPECT_EQ(after.at("binary").data, binary);
}

TEST_F(ApplyTest, StoreValuesOfOlderVersionsGoBackAsText) {
  SetStore("3|Old", "C:\\old.exe /x");
  StartupParameters model(velmora::test::System());
  Read(model);
  model.SetEntryEnabled("old", kCuRun, 1);
  Apply(model);
  auto values = LocationValues(kCuRun);
  ASSERT_EQ(values.count("old"), 1u);
  EXPECT_EQ(values.at("old").type, platform::kRegSz);
  EXPECT_EQ(changes::ValueText(values.at("old").data), "C:\\old.exe /x");
}

TEST_F(ApplyTest, StartupItemsComeBackByteForByte) {
  const std::string folder = Folder(kCuStartupFolder);
  MakeShortcut(folder + "\\Tool.lnk", "C:\\Tools\\tool.exe", "--tray --port 80", "C:\\Tools",
               "C:\\Tools\\icons.dll");
  WriteFile(Item(kCuStartupFolder, "run.cmd"), "@echo off\r\nstart tool.exe\r\n");
  const auto original = FolderFiles(Host(folder));
  ASSERT_EQ(original.size(), 2u);

  {
    StartupParameters model(velmora::test::System());
    Read(model);
    EXPECT_EQ(Find(model, kCuStartupFolder, "tool.lnk")->command, "\"C:\\Tools\\tool.exe\" --tray --port 80");
    model.SetLocationEnabled(kCuStartupFolder, 0);
    Apply(model);
  }
  EXPECT_TRUE(FolderFiles(Host(folder)).empty());
  EXPECT_EQ(ReadFile(KeptItem(kCuStartupFolder, "Tool.lnk")), original.at("Tool.lnk"));
  EXPECT_EQ(ReadFile(KeptItem(kCuStartupFolder, "run.cmd")), original.at("run.cmd"));
  EXPECT_EQ(StoreValues().count("5|tool.lnk"), 1u);

  StartupParameters model(velmora::test::System());
  Read(model);
  ASSERT_NE(Find(model, kCuStartupFolder, "run.cmd"), nullptr);
  EXPECT_EQ(Find(model, kCuStartupFolder, "run.cmd")->enabled, 0);
  model.SetLocationEnabled(kCuStartupFolder, 1);
  Apply(model);
  // The originals, and nothing beside them (no "run.cmd.lnk").
  EXPECT_EQ(FolderFiles(Host(folder)), original);
  EXPECT_TRUE(StoreValues().empty());
  EXPECT_FALSE(fs::exists(KeptItem(kCuStartupFolder, "Tool.lnk")));

  // An applied location with an enabled item that is no shortcut leaves it alone.
  model.SetEntryEnabled("Tool.lnk", kCuStartupFolder, 0);
  model.SetEntryEnabled("Tool.lnk", kCuStartupFolder, 1);
  Apply(model);
  EXPECT_EQ(FolderFiles(Host(folder)), original);
}

TEST_F(ApplyTest, ItemStaysWhenNoCopyCanBeKept) {
  WriteFile(Item(kCuStartupFolder, "run.cmd"), "echo\r\n");
  // A file where the folder of kept copies must go.
  std::string kept = Host(changes::KeptItemsFolder(velmora::test::System(), kCuStartupFolder));
  WriteFile(fs::path(kept).parent_path().string(), "in the way");
  StartupParameters model(velmora::test::System());
  Read(model);
  model.SetEntryEnabled("run.cmd", kCuStartupFolder, 0);
  model.TakeSnapshot();
  std::vector<ApplyFailure> failures = model.ApplyChanges();
  ASSERT_EQ(failures.size(), 1u) << Describe(failures);
  EXPECT_EQ(failures[0].name, "run.cmd");
  EXPECT_EQ(model.ChangedFlags()[kCuStartupFolder], 1);
  EXPECT_EQ(ReadFile(Item(kCuStartupFolder, "run.cmd")), "echo\r\n");
  EXPECT_TRUE(StoreValues().empty());
}

TEST_F(ApplyTest, ShortcutIsMadeOnlyWhenNoCopyIsKept) {
  SetStore("5|Bar.lnk", "C:\\Bar\\bar.exe");  // stored by an older version: no copy
  fs::create_directories(Host("C:\\Tools"));
  WriteFile(Host("C:\\Tools\\tool.exe"), "MZ");
  StartupParameters model(velmora::test::System());
  Read(model);
  model.SetEntryEnabled("bar.lnk", kCuStartupFolder, 1);
  auto added = std::make_unique<Task>();
  added->name = "Tool";
  added->command = "C:\\Tools\\tool.exe /min /x";
  std::string error;
  ASSERT_TRUE(model.AddEntry(std::move(added), kCuStartupFolder, &error)) << error;
  ASSERT_NE(Find(model, kCuStartupFolder, "tool.lnk"), nullptr);
  Apply(model);

  platform::ShellLink bar, tool;
  ASSERT_EQ(bar.Load(velmora::test::System(), Folder(kCuStartupFolder) + "\\Bar.lnk"), platform::kOk);
  EXPECT_EQ(bar.target, "C:\\Bar\\bar.exe");
  ASSERT_EQ(tool.Load(velmora::test::System(), Folder(kCuStartupFolder) + "\\Tool.lnk"), platform::kOk);
  EXPECT_EQ(tool.target, "C:\\Tools\\tool.exe");
  EXPECT_EQ(tool.arguments, "/min /x");
  EXPECT_EQ(FolderFiles(Host(Folder(kCuStartupFolder))).size(), 2u);
}

TEST_F(ApplyTest, NamesThatLeaveTheFolderAreRefused) {
  const std::string folder = Folder(kCuStartupFolder);
  const std::string outside = Host(folder + "\\..\\victim.lnk");
  WriteFile(outside, "not Velmora's");
  SetStore("5|..\\victim.lnk", "C:\\v.exe");
  SetStore("5|sub\\evil.lnk", "C:\\e.exe");
  SetStore("5|..", "C:\\dots.exe");
  StartupParameters model(velmora::test::System());
  Read(model);
  model.SetLocationEnabled(kCuStartupFolder, 1);
  model.TakeSnapshot();
  std::vector<ApplyFailure> failures = model.ApplyChanges();
  EXPECT_EQ(failures.size(), 3u) << Describe(failures);
  EXPECT_EQ(model.ChangedFlags()[kCuStartupFolder], 1);
  EXPECT_FALSE(fs::exists(Host(folder + "\\sub")));
  EXPECT_EQ(ReadFile(outside), "not Velmora's");

  // Removing them takes only their store values away.
  model.RemoveAllEntries();
  Apply(model);
  EXPECT_EQ(ReadFile(outside), "not Velmora's");
  EXPECT_TRUE(StoreValues().empty());

  for (const char* name : {"..\\x", "a/b.lnk", "C:x.lnk", "..\\..\\x.lnk"}) {
    auto task = std::make_unique<Task>();
    task->name = name;
    task->command = "C:\\x.exe";
    EXPECT_FALSE(model.AddEntry(std::move(task), kCuStartupFolder)) << name;
  }
}

TEST_F(ApplyTest, RemovedEntriesGoFromLocationAndStore) {
  SetText(kCuRunOnce, "Once", "C:\\once.exe");
  SetStore("4|Gone", "C:\\gone.exe");
  StartupParameters model(velmora::test::System());
  Read(model);
  model.RemoveEntry("once", kCuRunOnce);
  model.RemoveEntry("GONE", kCuRunOnce);
  Apply(model);
  EXPECT_TRUE(LocationValues(kCuRunOnce).empty());
  EXPECT_TRUE(StoreValues().empty());
  StartupParameters fresh(velmora::test::System());
  Read(fresh);
  EXPECT_TRUE(fresh.Entries(kCuRunOnce).empty());
}

// A fresh prefix (and a Windows 7 user hive) has no RunOnce key of the user: an
// added entry makes it, and a run that fails writes nothing at all.
TEST_F(ApplyTest, MissingLocationKeyIsMadeForAnAddedEntryOnly) {
  ASSERT_EQ(platform::reg::DeleteTree(velmora::test::System().CurrentUser(), kRunOnceKeyPath),
            platform::kSuccess);
  platform::reg::DeleteTree(velmora::test::System().CurrentUser(), ProgramKeyPath());
  StartupParameters model(velmora::test::System());
  Read(model);
  platform::UniqueKey key;
  EXPECT_EQ(platform::reg::OpenKey(velmora::test::System().CurrentUser(), ProgramKeyPath(),
                                   platform::kKeyRead, key.out()),
            platform::kFileNotFound);  // reading wrote nothing
  auto task = std::make_unique<Task>();
  task->name = "Once";
  task->command = "C:\\once.exe";
  ASSERT_TRUE(model.AddEntry(std::move(task), kCuRunOnce));
  Apply(model);
  auto values = LocationValues(kCuRunOnce);
  ASSERT_EQ(values.count("once"), 1u);
  EXPECT_EQ(changes::ValueText(values.at("once").data), "C:\\once.exe");
}

// Values Windows will not start are still entries: each shows its type and bytes
// as the registry editor writes them, and disabling and enabling gives back the
// very value, type and bytes.
TEST_F(ApplyTest, EveryValueTypeComesBackByteForByte) {
  const std::string path = KeyOf(kCuRun);
  SetRaw(velmora::test::System().CurrentUser(), path, "D255", platform::kRegDword,
         std::string("\xff\0\0\0", 4));
  SetRaw(velmora::test::System().CurrentUser(), path, "Bin", platform::kRegBinary, "\xde\xad\xbe\xef");
  SetRaw(velmora::test::System().CurrentUser(), path, "Multi", platform::kRegMultiSz,
         std::string("a.exe\0b\0\0", 9));
  SetRaw(velmora::test::System().CurrentUser(), path, "Quad", 11, std::string("\x2a\0\0\0\0\0\0\x80", 8));
  SetRaw(velmora::test::System().CurrentUser(), path, "Empty", platform::kRegNone, "");
  SetText(kCuRun, "Exp", "%SystemRoot%\\\xc3\xbc.exe", platform::kRegExpandSz);
  std::map<std::string, std::string> shown = {
      {"D255", "dword:000000ff"},
      {"Bin", "hex:de,ad,be,ef"},
      {"Multi", "hex(7):61,00,2e,00,65,00,78,00,65,00,00,00,62,00,00,00,00,00"},
      {"Quad", "hex(b):2a,00,00,00,00,00,00,80"},
      {"Empty", "hex(0):"},
      {"Exp", "%SystemRoot%\\\xc3\xbc.exe"}};
#ifndef _WIN32
  // Strings the 8-bit text form cannot carry, as Wine writes them: without their
  // zero, of odd length, with a lone surrogate.
  const std::vector<std::string> odd = {"\"NoZero\"=hex(1):43,00,3a,00,5c,00,6e,00,7a,00",
                                        "\"Odd\"=hex(1):43,00,3a,00,5c,00,6f,00,64",
                                        "\"Lone\"=str(2):\"C\\xd800\""};
  const std::string userHive = prefix_.HostPath("user.reg");
  std::string text = ReadFile(userHive);
  const std::size_t quad = text.find("\"Quad\"=");
  ASSERT_NE(quad, std::string::npos);
  for (const std::string& line : odd) text.insert(quad, line + "\n");
  WriteFile(userHive, text);
  shown.insert({{"NoZero", "C:\\nz"}, {"Odd", "C:\\o"}, {"Lone", "C\xef\xbf\xbd"}});
#endif
  const auto before = LocationValues(kCuRun);
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    for (const auto& [name, command] : shown) {
      const Task* task = Find(model, kCuRun, name);
      ASSERT_NE(task, nullptr) << name;
      EXPECT_EQ(task->command, command);
      if (name != "Exp" && command.rfind("C", 0) != 0) {
        EXPECT_EQ(task->fileName, "") << name;
      }
      model.SetEntryEnabled(name, kCuRun, 0);
    }
    Apply(model);
  }
  EXPECT_TRUE(LocationValues(kCuRun).empty());
  StartupParameters model(velmora::test::System());
  Read(model);
  for (const auto& [name, command] : shown) {
    const Task* task = Find(model, kCuRun, name);
    ASSERT_NE(task, nullptr) << name;
    EXPECT_EQ(task->enabled, 0);
    EXPECT_EQ(task->command, command);
    model.SetEntryEnabled(name, kCuRun, 1);
  }
  Apply(model);
  const auto after = LocationValues(kCuRun);
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [lower, value] : before) {
    ASSERT_EQ(after.count(lower), 1u) << lower;
    EXPECT_EQ(after.at(lower).type, value.type) << lower;
    EXPECT_EQ(after.at(lower).data, value.data) << lower;
  }
  EXPECT_TRUE(StoreValues().empty());
#ifndef _WIN32
  const std::string written = ReadFile(userHive);
  for (const std::string& line : odd) EXPECT_NE(written.find(line + "\n"), std::string::npos) << line;
#endif
}

// The program registered itself again under the name of a disabled entry: the
// kept entry is neither dropped by reading nor by enabling, and comes back when
// the new one is removed.
TEST_F(ApplyTest, KeptEntryStaysBesideANewOneOfItsName) {
  SetText(kCuRun, "Foo", "C:\\old.exe /x");
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    model.SetEntryEnabled("Foo", kCuRun, 0);
    Apply(model);
  }
  SetText(kCuRun, "FOO", "C:\\new.exe");
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    const Task* standing = Find(model, kCuRun, "foo");
    ASSERT_NE(standing, nullptr);
    EXPECT_EQ(standing->command, "C:\\new.exe");
    EXPECT_EQ(standing->keptCommand, "C:\\old.exe /x");
    EXPECT_NE(changes::KeptCopyNote(*standing, kCuRun).find("C:\\old.exe /x"), std::string::npos);
    ASSERT_EQ(StoreValues().count("3|foo"), 1u);
    // Disabling the new one would write over the kept one: refused.
    model.SetEntryEnabled("foo", kCuRun, 0);
    model.TakeSnapshot();
    std::vector<ApplyFailure> failures = model.ApplyChanges();
    ASSERT_EQ(failures.size(), 1u) << Describe(failures);
    EXPECT_NE(failures[0].reason.find("already keeps"), std::string::npos) << failures[0].reason;
  }
  ASSERT_EQ(changes::ValueText(StoreValues().at("3|foo").data), "C:\\old.exe /x");
  ASSERT_EQ(changes::ValueText(LocationValues(kCuRun).at("foo").data), "C:\\new.exe");
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    model.RemoveEntry("foo", kCuRun);
    Apply(model);
  }
  StartupParameters model(velmora::test::System());
  Read(model);
  const Task* kept = Find(model, kCuRun, "foo");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->enabled, 0);
  EXPECT_EQ(kept->command, "C:\\old.exe /x");
}

// The same in a Startup folder, where the new item's name differs in case from
// the disabled one's (Wine compares the names as one): the disabled FOO.bat is
// kept as the copy beside foo.bat, and enabling foo.bat neither drops it nor
// writes over it.
TEST_F(ApplyTest, KeptItemStaysBesideANewItemWhoseNameDiffersInCase) {
  WriteFile(Item(kCuStartupFolder, "FOO.bat"), "@echo old");
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    ASSERT_TRUE(model.SetEntryEnabled("FOO.bat", kCuStartupFolder, 0));
    Apply(model);
  }
  ASSERT_EQ(ReadFile(KeptItem(kCuStartupFolder, "FOO.bat")), "@echo old");
  WriteFile(Item(kCuStartupFolder, "foo.bat"), "@echo new");
  const Disk before = Capture();
  {
    StartupParameters model(velmora::test::System());
    Read(model);
    const TaskMap& items = model.Entries(kCuStartupFolder);
    ASSERT_EQ(items.size(), 1u);
    const Task& standing = *items.begin()->second;
    EXPECT_EQ(standing.name, "foo.bat");
    EXPECT_EQ(standing.enabled, 1);
    EXPECT_NE(standing.keptCommand, "");
    EXPECT_NE(changes::KeptCopyNote(standing, kCuStartupFolder), "");
    EXPECT_FALSE(model.SetEntryEnabled("foo.bat", kCuStartupFolder, 1));  // it stands there already
    model.SetEntryEnabled("FOO.bat", kCuStartupFolder, 1);
    Apply(model);
  }
  EXPECT_EQ(Capture(), before);
}

TEST_F(ApplyTest, EditOffersApplyOnlyForARealChange) {
  SetText(kCuRun, "Foo", "C:\\foo.exe");
  StartupParameters model(velmora::test::System());
  Read(model);
  EXPECT_FALSE(model.SetEntryEnabled("foo", kCuRun, 1));  // already so
  EXPECT_FALSE(model.SetEntryEnabled("nothing", kCuRun, 0));
  EXPECT_FALSE(model.SetEntryEnabled("foo", 7, 0));
  EXPECT_TRUE(model.SetEntryEnabled("FOO", kCuRun, 0));
  EXPECT_TRUE(model.SetEntryEnabled("nothing", kCuRun, 0));  // another change is pending
}

}  // namespace
}  // namespace velmora::test
