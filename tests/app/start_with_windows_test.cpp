// Start with Windows in a prefix made by Wine: the program's Run value names the
// window program as it stands in the program folder, and a plain wineboot of the
// prefix really starts it. The program folder holds a small stand-in under the
// window program's name that only leaves a mark, so that no window opens here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/settings.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string RunValueOf(const std::string& name) {
  platform::UniqueKey key;
  if (platform::reg::OpenKey(velmora::test::System().CurrentUser(), kRunKeyPath, platform::kKeyRead,
                             key.out()) != platform::kSuccess) {
    return "";
  }
  char data[1024] = {};
  std::uint32_t size = sizeof data - 1;
  std::uint32_t type = 0;
  platform::Status status =
      platform::reg::QueryValue(key.get(), name, &type, reinterpret_cast<std::uint8_t*>(data), &size);
  return status == platform::kSuccess ? std::string(data) : "";
}

TEST(StartWithWindows, WinebootStartsTheWindowProgram) {
  if (!test::WineAvailable()) GTEST_SKIP() << "wine is not installed";
  test::TempDir dir;
  const std::string prefix = dir.path() + "/wine";
  const std::string env = "WINEPREFIX='" + prefix + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
  ASSERT_EQ(
      test::RunCommand(env + "wineboot --init >/dev/null 2>&1 && " + env +
                       "wine reg add 'HKCU\\Software\\Orlinsk\\Velmora' /v StartWithWindows /t REG_BINARY "
                       "/d 01000000 /f >/dev/null 2>&1 && " +
                       env + "wineserver -w"),
      0);

  const std::string bin = dir.path() + "/bin";
  const std::string mark = dir.path() + "/started";
  fs::create_directories(bin);
  test::WriteFile(bin + "/Velmora", "#!/bin/sh\necho \"$0\" > '" + mark + "'\n");
  ASSERT_EQ(chmod((bin + "/Velmora").c_str(), 0755), 0);

  setenv("WINEPREFIX", prefix.c_str(), 1);
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
  ProgramContext program;
  program.programDir = platform::files::WindowsPathFromHost(velmora::test::System(), bin);
  program.programFiles = &velmora::test::System();
  program.programName = "Velmora";
  ASSERT_EQ(program.programDir.rfind("Z:\\", 0), 0u) << program.programDir;

  StartupSettingsParameters settings(program);
  settings.DefnsVersion = "01/02/2003";
  settings.Load(velmora::test::System());
  EXPECT_EQ(RunValueOf("Velmora"), program.programDir + "\\Velmora");
  velmora::test::ResetPrefixForTesting();

  ASSERT_EQ(test::RunCommand(env + "wineboot >/dev/null 2>&1; " + env + "wineserver -w"), 0);
  // wineboot does not wait for what it starts from a Run key; the stand-in may
  // still be on its way.
  test::RunCommand("for i in $(seq 60); do [ -e '" + mark + "' ] && break; sleep 0.5; done");
  EXPECT_TRUE(fs::exists(mark)) << "wineboot did not start " << program.programDir << "\\Velmora";
  unsetenv("WINEPREFIX");
}

}  // namespace
}  // namespace velmora
