// The shared test helpers for the Windows build. Paths handed to the tests are
// Windows paths; the build's folders are reached through Wine's drive Z:.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "changes/startup_parameters.h"
#include "platform/environment.h"
#include "platform/registry.h"
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

// A registry key with everything below it, as it stood.
struct SavedKey {
  bool exists = false;
  std::vector<platform::RegistryValue> values;
  std::vector<std::pair<std::string, SavedKey>> children;
};

SavedKey SaveKey(platform::HKey root, const std::string& path) {
  SavedKey saved;
  platform::UniqueKey key;
  if (platform::reg::OpenKey(root, path, platform::kKeyRead, key.out()) != platform::kSuccess) return saved;
  saved.exists = true;
  if (platform::reg::ReadAllValues(key.get(), &saved.values) != platform::kSuccess)
    throw std::runtime_error("could not read the key " + path);
  char name[256];
  for (std::uint32_t index = 0;
       platform::reg::EnumKey(key.get(), index, name, sizeof name) == platform::kSuccess; ++index) {
    saved.children.emplace_back(name, SaveKey(root, path + "\\" + name));
  }
  return saved;
}

void RestoreKey(platform::HKey root, const std::string& path, const SavedKey& saved) {
  platform::reg::DeleteTree(root, path);
  if (!saved.exists) return;
  platform::UniqueKey key;
  if (platform::reg::CreateKey(root, path, key.out()) != platform::kSuccess) return;
  for (const platform::RegistryValue& value : saved.values) {
    platform::reg::SetValue(key.get(), value.name, value.type,
                            reinterpret_cast<const std::uint8_t*>(value.data.data()),
                            static_cast<std::uint32_t>(value.data.size()));
  }
  for (const auto& [name, child] : saved.children) RestoreKey(root, path + "\\" + name, child);
}

// A folder with every file and folder below it, as it stood.
struct SavedFolder {
  bool exists = false;
  std::vector<fs::path> folders;
  std::vector<std::pair<fs::path, std::string>> files;
};

SavedFolder SaveFolder(const std::string& path) {
  SavedFolder saved;
  std::error_code ec;
  if (path.empty() || !fs::is_directory(path, ec)) return saved;
  saved.exists = true;
  for (const auto& entry : fs::recursive_directory_iterator(path)) {
    fs::path relative = fs::relative(entry.path(), path);
    if (entry.is_directory()) {
      saved.folders.push_back(relative);
    } else {
      saved.files.emplace_back(relative, ReadFile(entry.path().string()));
    }
  }
  return saved;
}

void RestoreFolder(const std::string& path, const SavedFolder& saved) {
  if (path.empty()) return;
  std::error_code ec;
  fs::remove_all(path, ec);
  if (!saved.exists) return;
  fs::create_directories(path, ec);
  for (const fs::path& folder : saved.folders) fs::create_directories(fs::path(path) / folder, ec);
  for (const auto& [file, bytes] : saved.files) WriteFile((fs::path(path) / file).string(), bytes);
}

const char kStartupApprovedPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved";

}  // namespace

struct TestSystem::Saved {
  std::vector<std::pair<platform::HKey, std::string>> keyPaths;
  std::vector<SavedKey> keys;
  std::vector<std::string> folderPaths;
  std::vector<SavedFolder> folders;
};

TestSystem::TestSystem() : saved_(std::make_unique<Saved>()) {
  // The tests write the machine's startup locations: never on a Windows that
  // someone uses, only in a Wine prefix made for them.
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) {
    throw std::runtime_error(
        "these tests change the startup locations of the system they run on: run them under Wine in a "
        "prefix of their own (scripts/wine-run.sh)");
  }
  platform::HKey machine = System().LocalMachine(), user = System().CurrentUser();
  saved_->keyPaths = {{machine, kRunKeyPath},
                      {machine, kRunOnceKeyPath},
                      {machine, kRun32KeyPath},
                      {machine, kRunOnce32KeyPath},
                      {machine, kStartupApprovedPath},
                      {user, kRunKeyPath},
                      {user, kRunOnceKeyPath},
                      {user, kStartupApprovedPath},
                      {user, std::string("Software\\") + kCompanyName}};
  for (const auto& [root, path] : saved_->keyPaths) saved_->keys.push_back(SaveKey(root, path));
  // The Run and RunOnce keys that every Windows has (a prefix made by wineboot
  // lacks the user's RunOnce until something writes there), as on the prefixes
  // of the Linux build's tests.
  for (platform::HKey root : {machine, user}) {
    for (const char* path : {kRunKeyPath, kRunOnceKeyPath}) {
      platform::UniqueKey key;
      if (platform::reg::CreateKey(root, path, key.out()) != platform::kSuccess)
        throw std::runtime_error(std::string("could not make the key ") + path);
    }
  }
  StartupParameters model(System());
  model.SetReadOnly(true);
  saved_->folderPaths = {model.StartupFolderPath(kLmStartupFolder),
                         model.StartupFolderPath(kCuStartupFolder)};
  std::string appData = platform::env::Value(velmora::test::System(), "APPDATA");
  if (!appData.empty()) saved_->folderPaths.push_back(appData + "\\" + kCompanyName);
  for (const std::string& path : saved_->folderPaths) saved_->folders.push_back(SaveFolder(path));
}

TestSystem::~TestSystem() {
  for (std::size_t i = 0; i < saved_->keys.size(); ++i) {
    RestoreKey(saved_->keyPaths[i].first, saved_->keyPaths[i].second, saved_->keys[i]);
  }
  for (std::size_t i = 0; i < saved_->folders.size(); ++i)
    RestoreFolder(saved_->folderPaths[i], saved_->folders[i]);
}

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
