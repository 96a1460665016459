// velmora-cli's edit and profile commands, run as a user runs them: a real
// process on a real prefix, followed by a look at the hives and folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/language.h"
#include "app/velmora_app.h"
#include "changes/startup_parameters.h"
#include "changes/store_layout.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "platform/system.h"
#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

using Result = test::CommandOutput;

class CliEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* other = std::getenv("VELMORA_CLI");
    cli_ = other ? other : VELMORA_PROGRAM_DIR "/velmora-cli";
    if (Run({"--help"}).out.find("disable") == std::string::npos) {
      GTEST_SKIP() << "this velmora-cli has no edit commands";
    }
  }
  // Runs the program in the test's prefix (WINEPREFIX and XDG_RUNTIME_DIR are set).
  Result Run(const std::vector<std::string>& args) {
    Result result = test::RunAndCapture("cd / && " + test::ShellCommand(cli_, args));
    // The program changed the hives behind this process's back.
    velmora::test::ResetPrefixForTesting();
    velmora::test::InitPrefix();
    return result;
  }
  static platform::RegistryValue Value(const std::string& path, const std::string& name, bool* found) {
    platform::RegistryValue out;
    *found = false;
    platform::UniqueKey key;
    if (platform::reg::OpenKey(velmora::test::System().CurrentUser(), path, platform::kKeyRead, key.out()) !=
        platform::kSuccess) {
      return out;
    }
    std::vector<platform::RegistryValue> values;
    platform::reg::ReadAllValues(key.get(), &values);
    for (auto& value : values) {
      if (value.name == name) {
        *found = true;
        out = value;
      }
    }
    return out;
  }
  std::string StartupItem(const std::string& name) {
    StartupParameters model(velmora::test::System());
    return platform::files::HostPathFromWindows(velmora::test::System(),
                                                model.StartupFolderPath(kCuStartupFolder) + "\\" + name);
  }

  test::TempPrefix prefix_;
  std::string cli_;
};

TEST_F(CliEditTest, DisableAndEnableKeepTheValueType) {
  platform::UniqueKey key;
  ASSERT_EQ(platform::reg::CreateKey(velmora::test::System().CurrentUser(), kRunKeyPath, key.out()),
            platform::kSuccess);
  ASSERT_EQ(platform::reg::SetString(key.get(), "Exp", "%SystemRoot%\\x.exe /q", platform::kRegExpandSz),
            platform::kSuccess);

  Result disabled = Run({"disable", "CU Run", "exp"});
  ASSERT_EQ(disabled.status, 0) << disabled.out;
  EXPECT_NE(disabled.out.find("Exp"), std::string::npos) << disabled.out;
  bool found = false;
  Value(kRunKeyPath, "Exp", &found);
  EXPECT_FALSE(found);
  Value(DisabledTasksKeyPath(), "3|Exp", &found);
  EXPECT_TRUE(found);

  Result again = Run({"disable", "3", "Exp"});
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("nothing changed"), std::string::npos) << again.out;

  ASSERT_EQ(Run({"enable", "3", "Exp"}).status, 0);
  platform::RegistryValue back = Value(kRunKeyPath, "Exp", &found);
  ASSERT_TRUE(found);
  EXPECT_EQ(back.type, platform::kRegExpandSz);
  EXPECT_EQ(changes::ValueText(back.data), "%SystemRoot%\\x.exe /q");
}

TEST_F(CliEditTest, The32BitMachineLocationsByTagAndNumber) {
  ASSERT_EQ(Run({"add", "LM Run (32-bit)", "Tray", "C:\\tray32.exe"}).status, 0);
  ASSERT_EQ(Run({"add", "0", "Tray", "C:\\tray64.exe"}).status, 0);
  ASSERT_EQ(Run({"add", "7", "Once", "C:\\once.exe"}).status, 0);
  ASSERT_EQ(Run({"add", "CU RunOnce", "UserOnce", "C:\\user.exe"}).status, 0);
  Result disabled = Run({"disable", "6", "tray"});
  ASSERT_EQ(disabled.status, 0) << disabled.out;
  EXPECT_NE(disabled.out.find("LM Run (32-bit)"), std::string::npos) << disabled.out;
  bool found = false;
  Value(DisabledTasksKeyPath(), "6|Tray", &found);
  EXPECT_TRUE(found);

  Result json = Run({"list", "--json"});
  ASSERT_EQ(json.status, 0) << json.out;
  std::size_t machine = json.out.find("\"location\": 0, \"tag\": \"LM Run\", \"name\": \"Tray\"");
  std::size_t user = json.out.find("\"location\": 4,");
  std::size_t run32 = json.out.find("\"location\": 6, \"tag\": \"LM Run (32-bit)\", \"name\": \"Tray\"");
  std::size_t once32 = json.out.find("\"location\": 7, \"tag\": \"LM RunOnce (32-bit)\", \"name\": \"Once\"");
  ASSERT_NE(run32, std::string::npos) << json.out;
  ASSERT_NE(once32, std::string::npos) << json.out;
  EXPECT_LT(machine, user);
  EXPECT_LT(user, run32);
  EXPECT_LT(run32, once32);
  EXPECT_NE(
      json.out.find("\"enabled\": false, \"disabledBySystem\": false, \"startsUnderWine\": false", run32),
      std::string::npos);
  EXPECT_NE(
      json.out.find("\"enabled\": true, \"disabledBySystem\": false, \"startsUnderWine\": true", once32),
      std::string::npos);
  EXPECT_NE(json.out.find("\"enabled\": true, \"disabledBySystem\": false, \"startsUnderWine\": false", user),
            std::string::npos);

  Result table = Run({"list"});
  EXPECT_NE(table.out.find("LM RunOnce (32-bit) (1 entry)"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("note:    Will not start under Wine: Wine never runs the user's RunOnce entries."),
            std::string::npos)
      << table.out;
  EXPECT_EQ(table.out.find("note:", table.out.find("LM Run (32-bit)")), std::string::npos)
      << "a disabled entry needs no note";

  // A 32-bit prefix has six locations.
  std::string system = test::ReadFile(prefix_.HostPath("system.reg"));
  system.replace(system.find("#arch=win64"), 11, "#arch=win32");
  test::WriteFile(prefix_.HostPath("system.reg"), system);
  ASSERT_EQ(platform::reg::DeleteTree(velmora::test::System().LocalMachine(), "Software\\Wow6432Node"),
            platform::kSuccess);
  Result narrow = Run({"list"});
  EXPECT_EQ(narrow.out.find("32-bit"), std::string::npos) << narrow.out;
  Result refused = Run({"enable", "LM Run (32-bit)", "Tray"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("no 32-bit registry view"), std::string::npos) << refused.out;
  Value(DisabledTasksKeyPath(), "6|Tray", &found);
  EXPECT_TRUE(found) << "kept for a system that has the view";
}

TEST_F(CliEditTest, AddRemoveAndClearFailures) {
  Result added = Run({"add", "CU Startup Folder", "Tray", "C:\\tray.exe"});
  ASSERT_EQ(added.status, 0) << added.out;
  EXPECT_TRUE(fs::exists(StartupItem("Tray.lnk")));
  ASSERT_EQ(Run({"remove", "5", "Tray"}).status, 0);
  EXPECT_FALSE(fs::exists(StartupItem("Tray.lnk")));

  Result unknownEntry = Run({"enable", "CU Run", "Nothing"});
  EXPECT_EQ(unknownEntry.status, 1);
  EXPECT_NE(unknownEntry.out.find("Nothing"), std::string::npos);
  EXPECT_EQ(Run({"disable", "CU Elsewhere", "x"}).status, 2);  // wrong usage
  EXPECT_EQ(Run({"disable", "13", "x"}).status, 2);
  EXPECT_EQ(Run({"add", "5", "Only name"}).status, 2);

  Result escape = Run({"add", "5", "..\\..\\..\\escape", "C:\\x.exe"});
  EXPECT_EQ(escape.status, 1);
  StartupParameters model(velmora::test::System());
  std::string folder = platform::files::HostPathFromWindows(velmora::test::System(),
                                                            model.StartupFolderPath(kCuStartupFolder));
  EXPECT_FALSE(fs::exists(fs::path(folder).parent_path().parent_path().parent_path() / "escape.lnk"));
}

TEST_F(CliEditTest, ProfilesSaveLoadAndDelete) {
  ASSERT_EQ(Run({"add", "CU Run", "Foo", "C:\\foo.exe"}).status, 0);
  ASSERT_EQ(Run({"profile", "save", "Home"}).status, 0);
  EXPECT_EQ(Run({"profile", "save", "Home"}).status, 1);
  EXPECT_EQ(Run({"profile", "save", "Home", "--replace"}).status, 0);
  EXPECT_EQ(Run({"profile", "save", "a\\b"}).status, 1);
  EXPECT_EQ(Run({"profile", "list"}).out, "Home\n");

  ASSERT_EQ(Run({"add", "CU Run", "Bar", "C:\\bar.exe"}).status, 0);
  ASSERT_EQ(Run({"disable", "CU Run", "Foo"}).status, 0);
  Result loaded = Run({"profile", "load", "Home"});
  ASSERT_EQ(loaded.status, 0) << loaded.out;
  bool found = false;
  Value(kRunKeyPath, "Foo", &found);
  EXPECT_TRUE(found);
  Value(kRunKeyPath, "Bar", &found);
  EXPECT_FALSE(found);  // not in the profile: disabled, kept in the store
  Value(DisabledTasksKeyPath(), "3|Bar", &found);
  EXPECT_TRUE(found);

  EXPECT_EQ(Run({"profile", "load", "Away"}).status, 1);
  EXPECT_EQ(Run({"profile", "delete", "Away"}).status, 1);
  EXPECT_EQ(Run({"profile", "delete", "Home"}).status, 0);
  EXPECT_EQ(Run({"profile", "list"}).out, "");
}

// A name in a legacy 8-bit encoding is stored with its bytes read as Latin-1;
// the same bytes must find it again, in the registry and in a Startup folder.
TEST_F(CliEditTest, NamesThatAreNotUtf8AreFoundAgainByTheSameBytes) {
  const std::string name = "\xAEync";
  Result added = Run({"add", "LM Run", name, "C:\\sync.exe"});
  ASSERT_EQ(added.status, 0) << added.out;
  EXPECT_NE(added.out.find("\xC2\xAEync"), std::string::npos) << added.out;
  EXPECT_EQ(Run({"disable", "LM Run", name}).status, 0);
  EXPECT_EQ(Run({"enable", "LM Run", name}).status, 0);
  Result removed = Run({"remove", "LM Run", name});
  EXPECT_EQ(removed.status, 0) << removed.out;

  ASSERT_EQ(Run({"add", "CU Startup Folder", name, "C:\\sync.exe"}).status, 0);
  EXPECT_TRUE(fs::exists(StartupItem("\xC2\xAEync.lnk")));
  EXPECT_EQ(Run({"remove", "CU Startup Folder", name}).status, 0);
  EXPECT_FALSE(fs::exists(StartupItem("\xC2\xAEync.lnk")));

  const std::string profile = "Wo\x95\x94";
  ASSERT_EQ(Run({"profile", "save", profile}).status, 0);
  EXPECT_EQ(Run({"profile", "save", profile}).status, 1);  // already there
  Result deleted = Run({"profile", "delete", profile});
  EXPECT_EQ(deleted.status, 0) << deleted.out;
  EXPECT_EQ(Run({"profile", "list"}).out, "");
}

TEST_F(CliEditTest, AWindowHoldsItsOwnSystemOnly) {
  // This process takes the locks the window takes: its single instance and its system.
  ASSERT_EQ(platform::CreateNamedMutex(GetString(7001)), platform::kSuccess);
  ASSERT_EQ(platform::CreateNamedMutex(SystemLockName(velmora::test::System())), platform::kSuccess);
  Result listed = Run({"list"});
  EXPECT_EQ(listed.status, 0) << listed.out;
  // Listing the profiles only reads: no lock, and nothing written.
  const std::string user = test::ReadFile(prefix_.HostPath("user.reg"));
  Result profiles = Run({"profile", "list"});
  EXPECT_EQ(profiles.status, 0) << profiles.out;
  EXPECT_EQ(test::ReadFile(prefix_.HostPath("user.reg")), user);
  Result result = Run({"add", "CU Run", "Foo", "C:\\foo.exe"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("instance"), std::string::npos) << result.out;
  bool found = false;
  Value(kRunKeyPath, "Foo", &found);
  EXPECT_FALSE(found);

  // Another prefix is not the window's: it takes changes meanwhile.
  const std::string other = prefix_.dir() + "/other";
  ASSERT_EQ(platform::CreateMinimalPrefix(other), platform::kSuccess);
  Result elsewhere = test::RunAndCapture("cd / && WINEPREFIX=" + test::ShellQuote(other) + " " +
                                         test::ShellCommand(cli_, {"add", "CU Run", "Foo", "C:\\foo.exe"}));
  EXPECT_EQ(elsewhere.status, 0) << elsewhere.out;
  EXPECT_NE(test::ReadFile(other + "/user.reg").find("\"Foo\"=\"C:\\\\foo.exe\""), std::string::npos);
}

TEST_F(CliEditTest, AShortcutToAProgramNotThereYetKeepsItsArguments) {
  Result added = Run({"add", "CU Startup Folder", "Miss", "C:\\Tools\\missing.exe /min"});
  ASSERT_EQ(added.status, 0) << added.out;
  platform::ShellLink link;
  ASSERT_EQ(link.Load(velmora::test::System(),
                      platform::files::WindowsPathFromHost(velmora::test::System(), StartupItem("Miss.lnk"))),
            platform::kOk);
  std::string target;
  ASSERT_GE(link.GetPath(&target, 260), 0);
  EXPECT_EQ(target, "C:\\Tools\\missing.exe");
  const std::string bytes = test::ReadFile(StartupItem("Miss.lnk"));
  EXPECT_NE(bytes.find(std::string("/\0m\0i\0n\0", 8)), std::string::npos) << "the arguments are kept";
}

TEST_F(CliEditTest, WrongUsageShowsTheUsageOfTheCommandGiven) {
  Result location = Run({"disable", "CU Nowhere", "Foo"});
  EXPECT_EQ(location.status, 2);
  EXPECT_NE(location.out.find("unknown location"), std::string::npos) << location.out;
  EXPECT_NE(
      location.out.find(
          "Usage: velmora-cli [--system NAME|PATH | --windows DIR] [--user NAME] disable LOCATION NAME"),
      std::string::npos)
      << location.out;
  EXPECT_EQ(location.out.find("profile"), std::string::npos) << "only the usage of disable";
  Result missing = Run({"add", "CU Run", "Foo"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("add LOCATION NAME COMMAND"), std::string::npos) << missing.out;
  Result profile = Run({"profile", "load"});
  EXPECT_EQ(profile.status, 2);
  EXPECT_NE(profile.out.find("profile list | save NAME"), std::string::npos) << profile.out;
}

}  // namespace
}  // namespace velmora
