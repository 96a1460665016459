#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/ini_file.h"
#include "platform/known_systems.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "tests/support/run_program.h"

namespace fs = std::filesystem;

namespace velmora::test {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::RuntimeDir() const {
  std::string runtime = path_ + "/run";
  fs::create_directories(runtime);
  return runtime;
}

platform::Status InitPrefix() { return System().Prepare(); }
std::string PrefixDir() { return platform::PrefixDir(System()); }
std::string PrefixUserName() { return platform::PrefixUserName(System()); }
bool WineServerRunning(int* pid) { return platform::WineServerRunning(System(), pid); }

void ResetPrefixForTesting() {
  WorkOn(nullptr);
  if (platform::posix::WinePrefix* prefix = platform::AsPrefix(System())) prefix->ForgetChoice();
}

TempPrefix::TempPrefix() {
  setenv("WINEPREFIX", prefix().c_str(), 1);
  setenv("XDG_RUNTIME_DIR", dir_.RuntimeDir().c_str(), 1);
  ResetPrefixForTesting();
  platform::ini::ClearCache(System());
  if (platform::CreateMinimalPrefix(prefix()) != 0 || InitPrefix() != 0)
    throw std::runtime_error("could not create the test prefix");
}

TempPrefix::~TempPrefix() {
  // A prefix replaced by a newer one leaves the newer one current: unsetting
  // WINEPREFIX then would send the program to the user's default prefix.
  const char* current = getenv("WINEPREFIX");
  if (current && current == prefix()) {
    ResetPrefixForTesting();
    platform::ini::ClearCache(System());
    unsetenv("WINEPREFIX");
  }
}

std::string ReadFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& hostPath, const std::string& bytes) {
  fs::create_directories(fs::path(hostPath).parent_path());
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out << bytes;
}

int RunCommand(const std::string& commandLine) { return ExitStatus(std::system(commandLine.c_str())); }

bool WineAvailable() {
  static const bool available =
      RunCommand(
          "command -v wine >/dev/null 2>&1 && command -v wineboot >/dev/null 2>&1 && "
          "command -v wineserver >/dev/null 2>&1") == 0;
  return available;
}

const std::string& WineMadePrefix() {
  static TempDir dir;
  static const std::string prefix = [] {
    const std::string path = dir.path() + "/wine";
    if (WineAvailable()) {
      RunCommand("WINEPREFIX='" + path + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' DISPLAY= " +
                 "wineboot -i >/dev/null 2>&1; WINEPREFIX='" + path + "' wineserver -w");
    }
    if (!fs::exists(path + "/user.reg")) platform::CreateMinimalPrefix(path);
    return path;
  }();
  return prefix;
}

void CopyWineMadePrefix(const std::string& path, const std::string& entry, const std::string& command) {
  const std::string& source = WineMadePrefix();
  fs::create_directories(path);
  for (const char* file : {"system.reg", "user.reg", "userdef.reg"}) fs::copy(source + "/" + file, path);
  fs::copy(source + "/dosdevices", path + "/dosdevices",
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  // Not the links to the host's home folders that Wine makes in the users' folders.
  fs::copy(
      source + "/drive_c", path + "/drive_c",
      fs::copy_options::recursive | fs::copy_options::directories_only | fs::copy_options::skip_symlinks);
  if (entry.empty()) return;
  std::unique_ptr<platform::ManagedSystem> system;
  std::string error;
  ASSERT_TRUE(platform::OpenKnownSystem({"", "wine", path, ""}, "", &system, &error)) << error;
  platform::UniqueKey key;
  ASSERT_EQ(platform::reg::CreateKey(system->CurrentUser(),
                                     "Software\\Microsoft\\Windows\\CurrentVersion\\Run", key.out()),
            platform::kSuccess);
  ASSERT_EQ(platform::reg::SetString(key.get(), entry, command), platform::kSuccess);
}

std::string FixturePath(const std::string& name) { return std::string(VELMORA_FIXTURE_DIR) + "/" + name; }
std::string SourcePath(const std::string& relative) {
  return std::string(VELMORA_SOURCE_DIR) + "/" + relative;
}

}  // namespace velmora::test
