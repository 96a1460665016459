// The scans over the system's registry, real folder items and shortcuts, and
// real PE files.
#include <gtest/gtest.h>

#include <filesystem>

#include "changes/startup_parameters.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace platform;

class ScanningTest : public ::testing::Test {
 protected:
  void SetValue(HKey root, const char* path, const std::string& name, const std::string& data,
                std::uint32_t type = kRegSz) {
    UniqueKey key;
    ASSERT_EQ(reg::CreateKey(root, path, key.out()), kSuccess);
    ASSERT_EQ(reg::SetString(key.get(), name, data, type), kSuccess);
  }
  std::string UserStartup() {
    StartupParameters model(velmora::test::System());
    return model.StartupFolderPath(kCuStartupFolder);
  }
  std::string Host(const std::string& windowsPath) {
    return files::HostPathFromWindows(velmora::test::System(), windowsPath);
  }
  void CopyFixture(const std::string& fixture, const std::string& windowsPath) {
    fs::create_directories(fs::path(Host(windowsPath)).parent_path());
    fs::copy_file(test::FixturePath(fixture), Host(windowsPath), fs::copy_options::overwrite_existing);
  }
  const Task* Find(const StartupParameters& model, int location, const std::string& lowerName) {
    return model.Entry(location, lowerName);
  }

  test::TestSystem system_;
};

TEST_F(ScanningTest, RunValueTakesVersionDataFromItsProgram) {
  CopyFixture("scan_app.exe", "C:\\Tools\\scan_app.exe");
  SetValue(velmora::test::System().CurrentUser(), kRunKeyPath, "Foo", "C:\\Tools\\scan_app.exe /min");
  SetValue(velmora::test::System().LocalMachine(), kRunKeyPath, "Empty", "");

  StartupParameters model(velmora::test::System());
  model.ScanAllLocations();
  const Task* foo = Find(model, kCuRun, "foo");
  ASSERT_NE(foo, nullptr);
  EXPECT_EQ(foo->name, "Foo");
  EXPECT_EQ(foo->command, "C:\\Tools\\scan_app.exe /min");
  EXPECT_EQ(foo->fileName, "scan_app.exe");
  EXPECT_EQ(foo->fileExists, 1);
  EXPECT_EQ(foo->version, "2.5.0.17");
  EXPECT_EQ(foo->productName, "Scan Test Suite");
  EXPECT_EQ(foo->applicationName, "Scan Test Tray Helper");
  ASSERT_TRUE(foo->icon);  // no icon in the file: the program's default icon
  EXPECT_EQ(foo->icon->resourceId, 180);
  EXPECT_EQ(foo->location, -1);

  const Task* empty = Find(model, kLmRun, "empty");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->command, "");
  EXPECT_EQ(empty->fileExists, 0);
  EXPECT_EQ(empty->applicationName, "Empty");
  EXPECT_EQ(empty->productName, "Empty");
  EXPECT_FALSE(empty->icon);

  // Every scanned entry has its copy in the snapshot, with its location.
  ASSERT_EQ(model.Snapshot().count("curun foo"), 1u);
  EXPECT_EQ(model.Snapshot().at("curun foo")->location, kCuRun);
  ASSERT_EQ(model.Snapshot().count("lmrun empty"), 1u);
}

TEST_F(ScanningTest, LongValuesDoNotHideTheValuesAfterThem) {
  std::string longName(300, 'L');
  std::string longData = "C:\\" + std::string(1000, 'd') + ".exe";
  for (int location : {kLmRun, kCuRun, kCuRunOnce}) {
    HKey root =
        location == kLmRun ? velmora::test::System().LocalMachine() : velmora::test::System().CurrentUser();
    const char* path = location == kCuRunOnce ? kRunOnceKeyPath : kRunKeyPath;
    SetValue(root, path, "A" + longName, "x");  // sorts first
    SetValue(root, path, "B", longData);
    SetValue(root, path, "C", "C:\\c.exe");
  }
  StartupParameters model(velmora::test::System());
  model.ScanAllLocations();
  for (int location : {kLmRun, kCuRun, kCuRunOnce}) {
    SCOPED_TRACE(location);
    ASSERT_EQ(model.Entries(location).size(), 3u);
    EXPECT_NE(Find(model, location, "a" + std::string(300, 'l')), nullptr);
    ASSERT_NE(Find(model, location, "b"), nullptr);
    EXPECT_EQ(Find(model, location, "b")->command, longData);
    EXPECT_NE(Find(model, location, "c"), nullptr);
  }
  // Data larger than a scan reads (a megabyte with the final zero) is left out
  // and the location says it is not whole; the values after it are still read.
  HKey user = velmora::test::System().CurrentUser();
  SetValue(user, kRunKeyPath, "D", std::string(1u << 20, 'x'));
  SetValue(user, kRunKeyPath, "E", std::string((1u << 20) - 1, 'e'));
  LocationContents contents = ReadLocation(velmora::test::System(), kCuRun);
  EXPECT_FALSE(contents.complete);
  std::vector<std::string> names;
  for (const RawValue& value : contents.values) names.push_back(value.name);
  EXPECT_EQ(names, (std::vector<std::string>{"A" + longName, "B", "C", "E"}));
  EXPECT_EQ(contents.values[1].data, longData + '\0');
}

TEST_F(ScanningTest, ExpandableDataIsTextAndBinaryDataShowsItsBytes) {
  SetValue(velmora::test::System().CurrentUser(), kRunKeyPath, "Expand", "%SystemRoot%\\system32\\x.exe",
           kRegExpandSz);
  UniqueKey key;
  ASSERT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), kRunKeyPath, key.out()), kSuccess);
  const std::uint8_t bytes[] = {'a', 'b', 0, 'c'};
  ASSERT_EQ(reg::SetValue(key.get(), "Binary", kRegBinary, bytes, sizeof bytes), kSuccess);
  StartupParameters model(velmora::test::System());
  model.ScanRunKey(kCuRun);
  ASSERT_NE(Find(model, kCuRun, "expand"), nullptr);
  EXPECT_EQ(Find(model, kCuRun, "expand")->command, "%SystemRoot%\\system32\\x.exe");
  ASSERT_NE(Find(model, kCuRun, "binary"), nullptr);
  EXPECT_EQ(Find(model, kCuRun, "binary")->command, "hex:61,62,00,63");
}

TEST_F(ScanningTest, StartupFolderItemsShortcutsAndSubfolders) {
  std::string folder = UserStartup();
  ASSERT_FALSE(folder.empty());
  CopyFixture("scan_app.exe", "C:\\Bar\\bar.exe");
  ShellLink link;
  link.SetPath(velmora::test::System(), "C:\\Bar\\bar.exe");
  link.SetArguments("--tray");
  ASSERT_EQ(link.Save(velmora::test::System(), folder + "\\Bar.lnk"), kOk);
  test::WriteFile(Host(folder + "\\notes.txt"), "hello");
  test::WriteFile(Host(folder + "\\broken.lnk"), "not a shortcut");
  fs::create_directories(Host(folder) + "/Subfolder");

  StartupParameters model(velmora::test::System());
  model.ScanAllLocations();
  const TaskMap& items = model.Entries(kCuStartupFolder);
  ASSERT_EQ(items.size(), 3u);
  const Task* bar = Find(model, kCuStartupFolder, "bar.lnk");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->name, "Bar.lnk");
  EXPECT_EQ(bar->command, "\"C:\\Bar\\bar.exe\" --tray");
  EXPECT_EQ(bar->fileName, "bar.exe");
  EXPECT_EQ(bar->version, "2.5.0.17");
  const Task* notes = Find(model, kCuStartupFolder, "notes.txt");
  ASSERT_NE(notes, nullptr);
  EXPECT_EQ(notes->command, folder + "\\notes.txt");
  const Task* broken = Find(model, kCuStartupFolder, "broken.lnk");
  ASSERT_NE(broken, nullptr);
  EXPECT_EQ(broken->command, folder + "\\broken.lnk");

  // Without COM no shortcut is resolved.
  ProgramContext noCom;
  noCom.comInitialized = false;
  StartupParameters withoutCom(velmora::test::System(), noCom);
  withoutCom.ScanStartupFolder(kCuStartupFolder);
  EXPECT_EQ(Find(withoutCom, kCuStartupFolder, "bar.lnk")->command, folder + "\\Bar.lnk");
}

// The texts come from the context the model is given, also for entries added later.
TEST_F(ScanningTest, EntriesTakeTheirTextsFromTheProgramContext) {
  SetValue(velmora::test::System().CurrentUser(), kRunKeyPath, "Foo", "C:\\foo.exe");
  ProgramContext context;
  context.textLookup = [](unsigned id) { return "text " + std::to_string(id); };
  StartupParameters model(velmora::test::System(), context);
  model.ScanAllLocations();
  ASSERT_NE(Find(model, kCuRun, "foo"), nullptr);
  EXPECT_EQ(Find(model, kCuRun, "foo")->description, "text 7025");
  auto task = std::make_unique<Task>();
  task->name = "Bar";
  task->command = "C:\\bar.exe";
  ASSERT_TRUE(model.AddEntry(std::move(task), kCuRun));
  EXPECT_EQ(Find(model, kCuRun, "bar")->description, "text 7025");

  StartupParameters builtIn(velmora::test::System());
  builtIn.ScanAllLocations();
  EXPECT_EQ(Find(builtIn, kCuRun, "foo")->description, BuiltInString(7025));
}

TEST_F(ScanningTest, RefreshingScansLeaveTheSnapshotAlone) {
  SetValue(velmora::test::System().CurrentUser(), kRunKeyPath, "Foo", "C:\\foo.exe");
  StartupParameters model(velmora::test::System());
  model.RefreshAll();
  EXPECT_EQ(model.Entries(kCuRun).size(), 1u);
  EXPECT_TRUE(model.Snapshot().empty());
}

}  // namespace
}  // namespace velmora
