// The shared test helpers for the Windows build. Paths handed to the tests are
// Windows paths; the build's folders are reached through Wine's drive Z:.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace velmora::test {

namespace {

// A path of the build machine as the Windows programs see it.
std::string FromBuildMachine(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return !path.empty() && path[0] == '/' ? "Z:" + out : out;
}

}  // namespace

TempDir::TempDir() {
  std::mt19937_64 random(std::random_device{}());
  fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("velmora-test-" + std::to_string(random()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("could not make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

int RunCommand(const std::string& commandLine) { return std::system(commandLine.c_str()); }

std::string FixturePath(const std::string& name) {
  return FromBuildMachine(VELMORA_FIXTURE_DIR) + "\\" + name;
}
std::string SourcePath(const std::string& relative) {
  return FromBuildMachine(VELMORA_SOURCE_DIR) + "\\" + relative;
}

}  // namespace velmora::test
