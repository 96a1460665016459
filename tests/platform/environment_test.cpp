#include "platform/environment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace platform {
namespace {

using velmora::test::TempPrefix;

void SetValue(HKey root, const std::string& subKey, const std::string& name, const std::string& text,
              std::uint32_t type = kRegSz) {
  UniqueKey key;
  ASSERT_EQ(reg::CreateKey(root, subKey, key.out()), kSuccess);
  ASSERT_EQ(reg::SetString(key.get(), name, text, type), kSuccess);
}

std::string Expanded(const std::string& source) {
  std::string out;
  std::uint32_t n = env::Expand(velmora::test::System(), source, &out, 32768);
  EXPECT_EQ(n, out.size() + 1);
  return out;
}

constexpr const char* kMachineEnvironment =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";

class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetValue(velmora::test::System().LocalMachine(), "Software\\Microsoft\\Windows NT\\CurrentVersion",
             "SystemRoot", "C:\\WINDOWS");
    SetValue(velmora::test::System().LocalMachine(), "Software\\Microsoft\\Windows\\CurrentVersion",
             "ProgramFilesDir", "C:\\Program Files");
  }
  TempPrefix prefix_;
};

TEST_F(EnvironmentTest, SystemFoldersComeFromThePrefixAndNamesIgnoreCase) {
  EXPECT_EQ(Expanded("%SystemRoot%\\system32\\ctfmon.exe"), "C:\\WINDOWS\\system32\\ctfmon.exe");
  EXPECT_EQ(Expanded("%systemroot%|%WINDIR%|%SystemDrive%"), "C:\\WINDOWS|C:\\WINDOWS|C:");
  EXPECT_EQ(Expanded("%ProgramFiles%\\App\\app.exe"), "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(Expanded("%CommonProgramFiles%"), "C:\\Program Files\\Common Files");
  const std::string& user = velmora::test::PrefixUserName();
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(Expanded("%USERPROFILE%"), "C:\\users\\" + user);
  EXPECT_EQ(Expanded("%UserName%"), user);
  EXPECT_EQ(env::Value(velmora::test::System(), "windir"), "C:\\WINDOWS");
  EXPECT_EQ(env::Value(velmora::test::System(), "VelmoraNoSuchVariable"), "");
}

TEST_F(EnvironmentTest, UnknownReferencesAndLonePercentSignsStay) {
  EXPECT_EQ(Expanded("%VelmoraNoSuchVariable%\\x"), "%VelmoraNoSuchVariable%\\x");
  EXPECT_EQ(Expanded("100% sure"), "100% sure");
  EXPECT_EQ(Expanded("%%"), "%%");
  EXPECT_EQ(Expanded("a%%windir%"), "a%%windir%");
  EXPECT_EQ(Expanded("%VelmoraNoSuchVariable%windir%"), "%VelmoraNoSuchVariable%windir%");
  EXPECT_EQ(Expanded("%windir%%windir%"),
            "C:\\WINDOWS"
            "C:\\WINDOWS");
  EXPECT_EQ(Expanded("no references"), "no references");
  EXPECT_EQ(Expanded(""), "");
}

TEST_F(EnvironmentTest, RegistryEnvironmentValuesAreExpandedAndTheUsersOverride) {
  SetValue(velmora::test::System().LocalMachine(), kMachineEnvironment, "VelmoraTools", "%SystemRoot%\\tools",
           kRegExpandSz);
  SetValue(velmora::test::System().LocalMachine(), kMachineEnvironment, "VelmoraPlain", "%SystemRoot%",
           kRegSz);
  SetValue(velmora::test::System().LocalMachine(), kMachineEnvironment, "TEMP", "%SystemRoot%\\TEMP",
           kRegExpandSz);
  SetValue(velmora::test::System().LocalMachine(), kMachineEnvironment, "Path", "%SystemRoot%\\system32",
           kRegExpandSz);
  SetValue(velmora::test::System().CurrentUser(), "Environment", "TEMP", "%USERPROFILE%\\Temp", kRegExpandSz);
  SetValue(velmora::test::System().CurrentUser(), "Environment", "PATH", "C:\\mine", kRegSz);
  SetValue(velmora::test::System().CurrentUser(), "Environment", "VelmoraNested", "%VelmoraTools%\\bin",
           kRegExpandSz);

  EXPECT_EQ(Expanded("%VelmoraTools%"), "C:\\WINDOWS\\tools");
  // A plain string is taken as it is written.
  EXPECT_EQ(Expanded("%VelmoraPlain%"), "%SystemRoot%");
  EXPECT_EQ(Expanded("%TEMP%"), "C:\\users\\" + velmora::test::PrefixUserName() + "\\Temp");
  EXPECT_EQ(Expanded("%path%"), "C:\\WINDOWS\\system32;C:\\mine");
  EXPECT_EQ(Expanded("%VelmoraNested%"), "C:\\WINDOWS\\tools\\bin");
}

TEST_F(EnvironmentTest, UserFoldersFollowTheShellFolders) {
  SetValue(velmora::test::System().CurrentUser(),
           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData",
           "C:\\Documents and Settings\\me\\Application Data");
  EXPECT_EQ(Expanded("%APPDATA%\\x"), "C:\\Documents and Settings\\me\\Application Data\\x");
  EXPECT_EQ(Expanded("%LOCALAPPDATA%"), "C:\\users\\" + velmora::test::PrefixUserName() + "\\AppData\\Local");
}

TEST_F(EnvironmentTest, HostVariablesShowExceptThoseWineKeepsApart) {
  setenv("VELMORA_HOST_PROBE", "from host", 1);
  EXPECT_EQ(Expanded("%velmora_host_probe%"), "from host");
  unsetenv("VELMORA_HOST_PROBE");
  // The host's HOME is not the Windows user's, and the WINE variables stay hidden.
  EXPECT_EQ(Expanded("%HOME%"), "%HOME%");
  EXPECT_EQ(Expanded("%WINEPREFIX%"), "%WINEPREFIX%");
}

// The environment is built once and kept: it must follow every change of the
// registry it came from, made through the system (within one pass of look-ups
// too) or by another program that rewrites a registry file.
TEST_F(EnvironmentTest, FollowsEveryChangeOfTheRegistryItCameFrom) {
  HKey user = velmora::test::System().CurrentUser();
  SetValue(user, "Environment", "VelmoraProbe", "first");
  {
    files::PathLookupScope pass(velmora::test::System());
    EXPECT_EQ(Expanded("%VelmoraProbe%"), "first");
    SetValue(user, "Environment", "VelmoraProbe", "other");
    EXPECT_EQ(Expanded("%VelmoraProbe%|%windir%"), "other|C:\\WINDOWS");
    SetValue(velmora::test::System().LocalMachine(), "Software\\Microsoft\\Windows NT\\CurrentVersion",
             "SystemRoot", "D:\\win");
    EXPECT_EQ(env::Value(velmora::test::System(), "windir"), "D:\\win");
  }
  EXPECT_EQ(Expanded("%VelmoraProbe%"), "other");
  // Another program writes the file anew, the value's length unchanged.
  const std::string path = prefix_.HostPath("user.reg");
  std::string text = velmora::test::ReadFile(path);
  const std::string written = "\"VelmoraProbe\"=\"other\"";
  const std::size_t at = text.find(written);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, written.size(), "\"VelmoraProbe\"=\"wine!\"");
  velmora::test::WriteFile(path + ".new", text);
  ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
  EXPECT_EQ(Expanded("%VelmoraProbe%"), "wine!");
  UniqueKey key;
  ASSERT_EQ(reg::OpenKey(user, "Environment", kKeyAllAccess, key.out()), kSuccess);
  ASSERT_EQ(reg::DeleteValue(key.get(), "VelmoraProbe"), kSuccess);
  EXPECT_EQ(Expanded("%VelmoraProbe%"), "%VelmoraProbe%");
}

TEST_F(EnvironmentTest, ReturnsTheNeededSizeAndWritesOnlyWhenItFits) {
  std::string out = "old";
  const std::string expected = "C:\\WINDOWS\\x";  // 12 characters
  EXPECT_EQ(env::Expand(velmora::test::System(), "%windir%\\x", &out, 13), 13u);
  EXPECT_EQ(out, expected);
  out = "old";
  EXPECT_EQ(env::Expand(velmora::test::System(), "%windir%\\x", &out, 12), 13u);
  EXPECT_EQ(out, "");
  EXPECT_EQ(env::Expand(velmora::test::System(), "%windir%\\x", nullptr, 0), 13u);
  EXPECT_EQ(env::Expand(velmora::test::System(), "", &out, 1), 1u);
  EXPECT_EQ(out, "");
}

TEST(WineEnvironmentTest, ExpansionAgreesWithWinesOwnInAPrefixMadeByWine) {
  using velmora::test::RunCommand;
  if (!velmora::test::WineAvailable()) GTEST_SKIP() << "wine is not installed";
  velmora::test::TempDir dir;
  const std::string prefix = dir.path() + "/wine";
  const std::string env = "WINEDEBUG=-all WINEPREFIX='" + prefix + "' ";
  const std::string names =
      "%SystemRoot%|%windir%|%ProgramFiles%|%CommonProgramFiles%|%USERPROFILE%|%APPDATA%|%LOCALAPPDATA%|"
      "%ALLUSERSPROFILE%|%ProgramData%|%TEMP%|%TMP%|%USERNAME%|%SystemDrive%|%PUBLIC%|%ComSpec%|%PATHEXT%|%"
      "OS%|"
      "%HOMEDRIVE%|%HOMEPATH%|%PATH%";
  std::string escaped;  // cmd's own quoting of the separators
  for (char c : names) escaped += c == '|' ? std::string("^|") : std::string(1, c);
  // What Wine says goes to a file of its own, to be shown if it fails.
  const std::string log = dir.path() + "/wine.log";
  ASSERT_EQ(
      RunCommand(env + "wineboot --init >'" + log + "' 2>&1 && " + env + "wine cmd /c 'echo " + escaped +
                 "' > '" + dir.path() + "/wine.txt' 2>>'" + log + "' && " + env + "wineserver -w"),
      0)
      << velmora::test::ReadFile(log);
  std::string fromWine = velmora::test::ReadFile(dir.path() + "/wine.txt");
  while (!fromWine.empty() && (fromWine.back() == '\n' || fromWine.back() == '\r')) fromWine.pop_back();

  setenv("WINEPREFIX", prefix.c_str(), 1);
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  EXPECT_EQ(Expanded(names), fromWine);
  velmora::test::ResetPrefixForTesting();
  unsetenv("WINEPREFIX");
}

}  // namespace
}  // namespace platform
