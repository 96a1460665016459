// velmora-cli on an offline Windows installation, run as a user runs it: a real
// process on a folder that holds binary hives, then a look at the hives with
// libhivex and libregf, and at the folders.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "app/system_choice.h"
#include "app/velmora_app.h"
#include "platform/known_systems.h"
#include "platform/posix/offline_hive.h"
#include "tests/support/regf_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

using Result = CommandOutput;

// Every file below |root| with the size and a hash of its bytes.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string bytes = ReadFile(entry.path().string());
    files[entry.path().string()] =
        std::to_string(bytes.size()) + "/" + std::to_string(std::hash<std::string>()(bytes));
  }
  return files;
}

// The text regfexport prints for one value, from its "Value:" line to the blank line.
std::string ExportedValue(const std::string& hive, const std::string& name) {
  std::string text = RegfExportText(hive);
  std::size_t at = text.find(" " + name + "\nType:");
  if (at == std::string::npos) return "";
  std::size_t end = text.find("\n\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The same, for the value |name| of the first key after the text |key|.
std::string ExportedValueAfter(const std::string& hive, const std::string& key, const std::string& name) {
  std::string text = RegfExportText(hive);
  std::size_t at = text.find(" " + name + "\nType:", text.find(key));
  if (at == std::string::npos || text.find(key) == std::string::npos) return "";
  std::size_t end = text.find("\n\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

class CliOfflineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The program's own side (lock, data folders) lives in the test's folder;
    // no Wine prefix may be made or touched.
    setenv("XDG_RUNTIME_DIR", dir_.RuntimeDir().c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_.path() + "/data").c_str(), 1);
    unsetenv("WINEPREFIX");
    fs::create_directories(dir_.path() + "/data");
    tree_ = std::make_unique<WindowsTree>(dir_.path() + "/win", "bob", /*xp=*/true);
    tree_->software.Key("Microsoft\\Windows\\CurrentVersion\\Run")
        .Sz("Tray", "C:\\Tools\\tray.exe /min")
        .ExpandSz("Agent", "%ProgramFiles%\\Agent\\agent.exe -s")
        .Raw("D255", 4, std::string("\xff\0\0\0", 4))
        .Raw("Bin", 3, "\xde\xad\xbe\xef");
    tree_->User("bob").Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run").Sz("Chat", "C:\\chat.exe -q");
    // Velmora installed on that Windows starts with it; the copy running here must
    // not put its own (Linux) path into that Windows's Run key.
    tree_->User("bob")
        .Key("Software\\Orlinsk\\Velmora")
        .Raw("StartWithWindows", 3, std::string("\1\0\0\0", 4));
    tree_->User("bob")
        .Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run")
        .Sz("Velmora", "C:\\Program Files\\Velmora\\Velmora.exe");
  }
  void TearDown() override { EXPECT_FALSE(fs::exists(dir_.path() + "/data/velmora/prefix")); }

  Result Run(std::vector<std::string> args, bool withWindows = true) {
    if (withWindows) args.insert(args.begin(), {"--windows", tree_->root});
    return RunAndCapture("cd / && " + ShellCommand(VELMORA_PROGRAM_DIR "/velmora-cli", args));
  }
  void ExpectHivesRead() {
    EXPECT_EQ(HiveReaderProblems(tree_->SoftwareHostPath()), "");
    EXPECT_EQ(HiveReaderProblems(tree_->UserHiveHostPath("bob")), "");
  }
  std::string StartupFolder() const { return tree_->ProfileHostPath("bob") + "/Start Menu/Programs/Startup"; }

  TempDir dir_;
  std::unique_ptr<WindowsTree> tree_;
};

TEST_F(CliOfflineTest, ListsEveryLocationAndWritesNothing) {
  tree_->Write();
  WriteFile(StartupFolder() + "/notes.txt", "remember");
  const auto before = Snapshot(tree_->root);
  Result list = Run({"list"});
  ASSERT_EQ(list.status, 0) << list.out;
  EXPECT_NE(list.out.find("Tray"), std::string::npos);
  EXPECT_NE(list.out.find("Agent"), std::string::npos);
  EXPECT_NE(list.out.find("Chat"), std::string::npos);
  EXPECT_NE(list.out.find("C:\\Documents and Settings\\bob\\Start Menu\\Programs\\Startup\\notes.txt"),
            std::string::npos)
      << list.out;
  Result json = Run({"list", "--json"});
  ASSERT_EQ(json.status, 0) << json.out;
  EXPECT_NE(json.out.find("\"Chat\""), std::string::npos);
  EXPECT_EQ(Snapshot(tree_->root), before);
}

// The installation of the fixture is a 32-bit Windows: its SOFTWARE hive has no
// Wow6432Node. Windows never starts what would be written there.
TEST_F(CliOfflineTest, A32BitInstallationHasNo32BitLocations) {
  tree_->Write();
  const std::string software = ReadFile(tree_->SoftwareHostPath());
  Result list = Run({"list"});
  ASSERT_EQ(list.status, 0) << list.out;
  EXPECT_NE(list.out.find("LM Run ("), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find("(32-bit)"), std::string::npos) << list.out;
  for (const char* location : {"6", "LM RunOnce (32-bit)"}) {
    Result add = Run({"add", location, "Sneaky", "C:\\x.exe"});
    EXPECT_NE(add.status, 0) << add.out;
    EXPECT_NE(add.out.find(tree_->root + " (user bob) has no LM Run"), std::string::npos) << add.out;
    EXPECT_NE(add.out.find("it is a 32-bit Windows"), std::string::npos) << add.out;
  }
  EXPECT_EQ(ReadFile(tree_->SoftwareHostPath()), software);
  EXPECT_EQ(RegfExportText(tree_->SoftwareHostPath()).find("Wow6432Node"), std::string::npos);

  // A 64-bit one has them.
  tree_->software.Key("WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run").Sz("Old", "C:\\old.exe");
  tree_->Write();
  list = Run({"list"});
  EXPECT_NE(list.out.find("LM Run (32-bit)"), std::string::npos) << list.out;
  Result add = Run({"add", "6", "Helper", "C:\\helper.exe"});
  EXPECT_EQ(add.status, 0) << add.out;
  EXPECT_NE(ExportedValue(tree_->SoftwareHostPath(), "Helper"), "");
}

TEST_F(CliOfflineTest, DisableAndEnableKeepTheValueTypeAndBytes) {
  tree_->Write();
  const std::string software = tree_->SoftwareHostPath();
  const std::string user = tree_->UserHiveHostPath("bob");
  const std::string agentBefore = ExportedValue(software, "Agent");
  ASSERT_NE(agentBefore.find("REG_EXPAND_SZ"), std::string::npos) << agentBefore;

  Result off = Run({"disable", "LM Run", "Agent"});
  ASSERT_EQ(off.status, 0) << off.out;
  ExpectHivesRead();
  EXPECT_EQ(ExportedValue(software, "Agent"), "");
  EXPECT_NE(ExportedValue(user, "0|Agent").find("%ProgramFiles%\\Agent\\agent.exe -s"), std::string::npos);
  EXPECT_NE(Run({"list"}).out.find("[ ] Agent"), std::string::npos);
  // A dated copy of each written hive lies beside it.
  bool softwareCopy = false, userCopy = false;
  for (const auto& entry : fs::directory_iterator(fs::path(software).parent_path()))
    softwareCopy |= entry.path().filename().string().rfind("SOFTWARE.velmora-backup-", 0) == 0;
  for (const auto& entry : fs::directory_iterator(fs::path(user).parent_path()))
    userCopy |= entry.path().filename().string().rfind("NTUSER.DAT.velmora-backup-", 0) == 0;
  EXPECT_TRUE(softwareCopy);
  EXPECT_TRUE(userCopy);

  EXPECT_NE(ExportedValue(user, "Velmora").find("C:\\Program Files\\Velmora\\Velmora.exe"),
            std::string::npos);

  Result on = Run({"enable", "0", "Agent"});
  ASSERT_EQ(on.status, 0) << on.out;
  ExpectHivesRead();
  EXPECT_EQ(ExportedValue(software, "Agent"), agentBefore);
  EXPECT_EQ(ExportedValue(user, "0|Agent"), "");
  EXPECT_NE(Run({"list"}).out.find("[x] Agent"), std::string::npos);

  // Values that are not text come back with their type and bytes.
  const std::string dwordBefore = ExportedValue(software, "D255");
  const std::string binaryBefore = ExportedValue(software, "Bin");
  ASSERT_NE(dwordBefore.find("REG_DWORD"), std::string::npos) << dwordBefore;
  EXPECT_NE(Run({"list", "--csv"}).out.find("LM Run,D255,true,dword:000000ff,"), std::string::npos);
  for (const char* command : {"disable", "enable"}) {
    ASSERT_EQ(Run({command, "0", "D255"}).status, 0);
    ASSERT_EQ(Run({command, "0", "Bin"}).status, 0);
  }
  ExpectHivesRead();
  EXPECT_EQ(ExportedValue(software, "D255"), dwordBefore);
  EXPECT_EQ(ExportedValue(software, "Bin"), binaryBefore);

  // The user's own Run key goes the same way.
  ASSERT_EQ(Run({"disable", "CU Run", "Chat"}).status, 0);
  ASSERT_EQ(Run({"enable", "CU Run", "Chat"}).status, 0);
  EXPECT_NE(ExportedValue(user, "Chat").find("REG_SZ"), std::string::npos);
  ExpectHivesRead();
}

// Strings that the registry's 8-bit text form cannot carry (no terminating zero,
// an odd length) are moved to the store and back byte for byte.
TEST_F(CliOfflineTest, StringsWithoutTheirZeroOrOfOddLengthComeBackByteForByte) {
  const std::string noZero("C\0:\0\\\0n\0z\0", 10), odd("C\0:\0\\\0o\0d", 9);
  tree_->software.Key("Microsoft\\Windows\\CurrentVersion\\Run").Raw("NoZero", 1, noZero).Raw("Odd", 2, odd);
  tree_->Write();
  for (const char* command : {"disable", "enable"}) {
    for (const char* name : {"NoZero", "Odd"}) {
      Result result = Run({command, "LM Run", name});
      ASSERT_EQ(result.status, 0) << command << " " << name << ": " << result.out;
    }
  }
  ExpectHivesRead();
  platform::posix::OfflineHive hive;
  std::string error;
  ASSERT_TRUE(hive.Open(tree_->SoftwareHostPath(), platform::posix::OfflineHive::Kind::kSoftware, &error))
      << error;
  std::map<std::string, std::string> values;
  for (const auto& value : hive.Values(hive.Find({"Microsoft", "Windows", "CurrentVersion", "Run"})))
    values[value.name] = std::to_string(value.type) + ":" + value.data;
  EXPECT_EQ(values["NoZero"], "1:" + noZero);
  EXPECT_EQ(values["Odd"], "2:" + odd);
}

// The SYSTEM hive beside SOFTWARE holds the services, under the control set that
// Select\Current names. A service disabled starts on demand; enabling gives its
// Start and DelayedAutostart back byte for byte, and the hive stays readable.
TEST_F(CliOfflineTest, ServicesOfTheSystemHiveAreDisabledAndEnabledByteForByte) {
  tree_->Write();
  RegfKey system{"ROOT", {}, {}};
  system.Key("Select").Dword("Current", 2);
  system.Key("ControlSet001\\Services\\Stale").Dword("Start", 2).Sz("ImagePath", "C:\\old.exe");
  system.Key("ControlSet002\\Services\\Updater")
      .Dword("Start", 2)
      .Dword("DelayedAutostart", 1)
      .Dword("Type", 16)
      .ExpandSz("ImagePath", "%SystemRoot%\\system32\\updater.exe /svc");
  system.Key("ControlSet002\\Services\\Odd").Raw("Start", 1, Utf16Data("2")).Sz("ImagePath", "C:\\odd.exe");
  system.Key("ControlSet002\\Services\\OnDemand").Dword("Start", 3).Sz("ImagePath", "C:\\d.exe");
  RegfOptions options;
  options.fileName = "\\??\\C:\\Windows\\System32\\config\\SYSTEM";
  const std::string hive = tree_->root + "/Windows/System32/config/SYSTEM";
  WriteFile(hive, BuildRegfHive(system, options));
  const std::string startBefore = ExportedValueAfter(hive, "Updater", "Start");
  const std::string delayedBefore = ExportedValueAfter(hive, "Updater", "DelayedAutostart");

  Result json = Run({"list", "--json"});
  ASSERT_EQ(json.status, 0) << json.out;
  EXPECT_NE(json.out.find("\"name\": \"Updater\""), std::string::npos) << json.out;
  EXPECT_EQ(json.out.find("\"Stale\""), std::string::npos) << "only the current control set counts";
  EXPECT_EQ(json.out.find("\"OnDemand\""), std::string::npos);
  EXPECT_NE(json.out.find("\"name\": \"Odd\""), std::string::npos) << "listed as it is";
  EXPECT_NE(json.out.find("\"starts\": \"boot\""), std::string::npos);
  EXPECT_EQ(Run({"disable", "Services", "Odd"}).status, 1) << "a Start that is not a number is never written";

  Result off = Run({"disable", "12", "Updater"});
  ASSERT_EQ(off.status, 0) << off.out;
  ExpectHivesRead();
  EXPECT_EQ(HiveReaderProblems(hive), "");
  const std::string disabled = RegfExportText(hive);
  EXPECT_NE(ExportedValueAfter(hive, "Updater", "Start").find("Data: 3"), std::string::npos) << disabled;
  bool systemCopy = false;
  for (const auto& entry : fs::directory_iterator(fs::path(hive).parent_path()))
    systemCopy |= entry.path().filename().string().rfind("SYSTEM.velmora-backup-", 0) == 0;
  EXPECT_TRUE(systemCopy);
  EXPECT_NE(Run({"list"}).out.find("[ ] Updater"), std::string::npos);

  Result on = Run({"enable", "Services", "Updater"});
  ASSERT_EQ(on.status, 0) << on.out;
  EXPECT_EQ(HiveReaderProblems(hive), "");
  EXPECT_EQ(ExportedValueAfter(hive, "Updater", "Start"), startBefore);
  EXPECT_EQ(ExportedValueAfter(hive, "Updater", "DelayedAutostart"), delayedBefore);
  EXPECT_EQ(Run({"add", "Services", "New", "C:\\new.exe"}).status, 1) << "services are not added";

  // A SYSTEM hive that may not be written refuses the change before anything is
  // written, the user's hive (where the disabled copy would be kept) included.
  chmod(hive.c_str(), 0444);
  const auto before = Snapshot(tree_->root);
  Result refused = Run({"disable", "Services", "Updater"});
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("SYSTEM is not writable"), std::string::npos) << refused.out;
  EXPECT_EQ(Snapshot(tree_->root), before);
  chmod(hive.c_str(), 0644);
}

TEST_F(CliOfflineTest, StartupFolderItemIsKeptInsideTheInstallationAndPutBackByteForByte) {
  tree_->Write();
  std::string bytes = "MZ";
  for (int i = 0; i < 3000; ++i) bytes.push_back(static_cast<char>(i * 7));
  const std::string item = StartupFolder() + "/Helper.exe";
  WriteFile(item, bytes);

  Result off = Run({"disable", "CU Startup Folder", "Helper.exe"});
  ASSERT_EQ(off.status, 0) << off.out;
  EXPECT_FALSE(fs::exists(item));
  const std::string kept =
      tree_->ProfileHostPath("bob") + "/Application Data/Orlinsk/Velmora/Disabled Startup Items/5/Helper.exe";
  ASSERT_TRUE(fs::exists(kept));
  EXPECT_EQ(ReadFile(kept), bytes);
  EXPECT_NE(Run({"list"}).out.find("[ ] Helper.exe"), std::string::npos);

  Result on = Run({"enable", "5", "Helper.exe"});
  ASSERT_EQ(on.status, 0) << on.out;
  EXPECT_EQ(ReadFile(item), bytes);
  EXPECT_FALSE(fs::exists(kept));
  ExpectHivesRead();
}

// Two store values of a damaged hive share one data cell: libhivex stops on
// deleting either. An enable that wrote the value back but cannot take it out of
// the store fails, and the value goes again: the entry is listed once, disabled.
TEST_F(CliOfflineTest, AnEnableWhoseStoreValueCannotGoFailsAndLeavesTheEntryDisabled) {
  tree_->User("bob")
      .Key("Software\\Orlinsk\\Velmora\\DisabledTasks")
      .Sz("3|Alpha", "C:\\same.exe")
      .Sz("3|Beta", "C:\\same.exe");
  tree_->Write();
  const std::string user = tree_->UserHiveHostPath("bob");
  std::string bytes = ReadFile(user);
  const std::size_t alpha = bytes.find("3|Alpha"), beta = bytes.find("3|Beta");
  ASSERT_NE(alpha, std::string::npos);
  ASSERT_NE(beta, std::string::npos);
  bytes.replace(alpha - 12, 4, bytes, beta - 12, 4);  // the data offset of a value's record
  WriteFile(user, bytes);
  ASSERT_NE(Run({"list"}).out.find("[ ] Alpha"), std::string::npos);

  Result on = Run({"enable", "CU Run", "Alpha"});
  EXPECT_EQ(on.status, 1) << on.out;
  EXPECT_NE(on.out.find("3|Alpha"), std::string::npos) << on.out;
  const std::string listed = Run({"list"}).out;
  EXPECT_NE(listed.find("[ ] Alpha"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("[x] Alpha"), std::string::npos) << listed;
  EXPECT_EQ(ExportedValueAfter(user, "Run", "Alpha"), "");
}

// The finder names a mounted installation after its mount point, a name that
// holds a "/". Chosen by that name (in any letter case) or by its folder, it
// opens as --windows opens it, its version read as supported.
TEST_F(CliOfflineTest, AnInstallationFoundOnTheMachineIsChosenByItsName) {
  tree_->Write();
  const std::string name = "Windows on " + tree_->root;
  const std::vector<platform::KnownSystem> found = {{".wine", "wine", dir_.path() + "/.wine", ""},
                                                    {name, "offline", tree_->root, ""}};
  for (const std::string& chosenBy : {name, "WINDOWS ON " + tree_->root, tree_->root + "/"}) {
    platform::KnownSystem chosen;
    std::string error;
    ASSERT_TRUE(ChooseKnownSystem(found, chosenBy, &chosen, &error)) << chosenBy << ": " << error;
    EXPECT_EQ(chosen.name, name);
    std::unique_ptr<platform::ManagedSystem> system;
    ASSERT_TRUE(platform::OpenKnownSystem(chosen, "", &system, &error)) << error;
    EXPECT_TRUE(VelmoraApp::IsSupportedSystem(*system)) << chosenBy;
  }
}

TEST_F(CliOfflineTest, DirtyOrReadOnlyHivesRefuseChangesAndStayUntouched) {
  RegfOptions dirty;
  dirty.primarySequence = 30;
  dirty.secondarySequence = 29;
  tree_->Write(RegfOptions(), dirty);
  auto before = Snapshot(tree_->root);
  Result result = Run({"disable", "CU Run", "Chat"});
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("NTUSER.DAT was not written completely"), std::string::npos) << result.out;
  EXPECT_EQ(Snapshot(tree_->root), before);
  // Listing still works.
  EXPECT_NE(Run({"list"}).out.find("Chat"), std::string::npos);

  fs::remove_all(tree_->root);
  tree_->Write();
  // As a read-only mount shows it: no hive and no folder may be written.
  const std::vector<std::string> hives = {tree_->SoftwareHostPath(), tree_->UserHiveHostPath("bob")};
  for (const std::string& hive : hives) {
    chmod(hive.c_str(), 0444);
    chmod(fs::path(hive).parent_path().c_str(), 0555);
  }
  before = Snapshot(tree_->root);
  result = Run({"remove", "LM Run", "Tray"});
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("not writable"), std::string::npos) << result.out;
  result = Run({"disable", "CU Run", "Chat"});
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_EQ(Snapshot(tree_->root), before);
  for (const std::string& hive : hives) {
    chmod(fs::path(hive).parent_path().c_str(), 0755);
    chmod(hive.c_str(), 0644);
  }
}

// The Startup folders are where User Shell Folders puts them for this user; the
// Shell Folders values are a cache, here left by the profile's former owner. A
// folder without a value of its own is Windows' default.
TEST_F(CliOfflineTest, StartupFoldersFollowUserShellFoldersOfTheChosenProfile) {
  WindowsTree tree(dir_.path() + "/win10", "dan");
  const char* explorer = "Microsoft\\Windows\\CurrentVersion\\Explorer\\";
  tree.software.Key(std::string(explorer) + "User Shell Folders")
      .ExpandSz("Common Startup", "%ALLUSERSPROFILE%\\Boot");
  RegfKey& dan = tree.User("dan");
  dan.Key(std::string("Software\\") + explorer + "Shell Folders")
      .Sz("Startup",
          "C:\\Users\\olduser\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  dan.Key(std::string("Software\\") + explorer + "User Shell Folders")
      .ExpandSz("Startup", "%USERPROFILE%\\Desktop\\Autostart");
  tree.User("eve");  // no Startup value: the default below her profile
  tree.Write();
  const std::string stale =
      tree.root + "/Users/olduser/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup/stale.txt";
  WriteFile(stale, "not dan's");
  WriteFile(tree.root + "/Users/dan/Desktop/Autostart/notes.txt", "dan's");
  WriteFile(tree.root + "/ProgramData/Boot/common.txt", "everyone's");
  WriteFile(tree.root + "/Users/eve/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup/eve.txt",
            "");
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--windows", tree.root});
    return RunAndCapture("cd / && " + ShellCommand(VELMORA_PROGRAM_DIR "/velmora-cli", args));
  };

  Result list = run({"--user", "dan", "list"});
  ASSERT_EQ(list.status, 0) << list.out;
  EXPECT_NE(list.out.find("C:\\Users\\dan\\Desktop\\Autostart\\notes.txt"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("C:\\ProgramData\\Boot\\common.txt"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find("stale.txt"), std::string::npos) << list.out;
  Result eve = run({"--user", "eve", "list"});
  ASSERT_EQ(eve.status, 0) << eve.out;
  EXPECT_NE(
      eve.out.find(
          "C:\\Users\\eve\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\eve.txt"),
      std::string::npos)
      << eve.out;

  // Disabled, the item is kept in dan's own application data, and comes back to
  // his folder; the stale one is never touched.
  Result off = run({"--user", "dan", "disable", "CU Startup Folder", "notes.txt"});
  ASSERT_EQ(off.status, 0) << off.out;
  EXPECT_FALSE(fs::exists(tree.root + "/Users/dan/Desktop/Autostart/notes.txt"));
  EXPECT_TRUE(fs::exists(tree.root +
                         "/Users/dan/AppData/Roaming/Orlinsk/Velmora/Disabled Startup Items/5/notes.txt"));
  Result on = run({"--user", "dan", "enable", "5", "notes.txt"});
  ASSERT_EQ(on.status, 0) << on.out;
  EXPECT_EQ(ReadFile(tree.root + "/Users/dan/Desktop/Autostart/notes.txt"), "dan's");
  EXPECT_EQ(ReadFile(stale), "not dan's");
  EXPECT_EQ(HiveReaderProblems(tree.UserHiveHostPath("dan")), "");
}

TEST_F(CliOfflineTest, UsersAndBadInstallationsGetClearErrors) {
  tree_->User("carol").Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run").Sz("Mail", "C:\\mail.exe");
  tree_->Write();
  Result several = Run({"list"});
  EXPECT_EQ(several.status, 1);
  EXPECT_NE(several.out.find("several users: bob, carol"), std::string::npos) << several.out;
  Result carol = Run({"--user", "carol", "list"});
  ASSERT_EQ(carol.status, 0) << carol.out;
  EXPECT_NE(carol.out.find("Mail"), std::string::npos);
  EXPECT_EQ(carol.out.find("Chat"), std::string::npos);

  Result noUser = Run({"--user", "bob", "list"}, false);
  EXPECT_EQ(noUser.status, 2);
  EXPECT_NE(noUser.out.find("needs --windows"), std::string::npos);

  WriteFile(tree_->SoftwareHostPath(), "");
  Result empty = Run({"--user", "bob", "list"});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.out.find(tree_->SoftwareHostPath() + " is empty"), std::string::npos) << empty.out;
}

TEST_F(CliOfflineTest, WindowProgramTakesTheSameChoiceAndRefusesBadOnes) {
  const std::string window = VELMORA_PROGRAM_DIR "/Velmora";
  if (!fs::exists(window)) GTEST_SKIP() << "the window program is not built";
  tree_->Write();
  WriteFile(tree_->UserHiveHostPath("bob"), std::string(5000, '\0'));
  // A system that cannot be opened is said on standard error; the message box that
  // would say it too is left out where no one sees it (the offscreen platform), and
  // the program ends at once instead of waiting there for ever.
  auto run = [&](const std::vector<std::string>& args) {
    return RunAndCapture("cd / && QT_QPA_PLATFORM=offscreen timeout 8 " + ShellCommand(window, args));
  };
  Result bad = run({"--windows", tree_->root});
  EXPECT_EQ(bad.status, 1) << bad.out;
  EXPECT_NE(bad.out.find(tree_->UserHiveHostPath("bob") + " is not a registry hive"), std::string::npos)
      << bad.out;
  Result usage = run({"--user", "bob"});
  EXPECT_EQ(usage.status, 2) << usage.out;
  EXPECT_NE(usage.out.find("Usage: Velmora [--system NAME|PATH | --windows DIR] [--user NAME]"),
            std::string::npos)
      << usage.out;
}

}  // namespace
}  // namespace velmora::test
