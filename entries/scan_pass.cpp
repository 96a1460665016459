#include "entries/scan_pass.h"

#include <functional>
#include <utility>

#include "entries/program_path.h"
#include "entries/startup_approved.h"
#include "entries/value_command.h"

namespace velmora {

struct ScanPass::Facts {
  std::optional<ProcessSnapshot> processes;
  std::unordered_map<std::string, bool> found;
  std::unordered_map<std::string, VersionResource> versions;
  std::unordered_map<std::string, ScanPass::VersionTexts> texts;
  std::unordered_map<std::string, platform::IconHandle> icons;
  // By command and value type: hashed, as a thousand long commands that share
  // their beginning cost many comparisons in a tree.
  struct CommandHash {
    std::size_t operator()(const std::pair<std::string, std::uint32_t>& key) const {
      return std::hash<std::string>()(key.first) ^ (std::size_t{key.second} * std::size_t{0x9E3779B9});
    }
  };
  std::unordered_map<std::pair<std::string, std::uint32_t>, std::string, CommandHash> programPaths;
  std::unordered_map<std::string, bool> files;  // path -> names an existing file
  std::unordered_map<int, bool> marksDisabled;  // location -> its key marks some value disabled
};

ScanPass::ScanPass(platform::ManagedSystem& system, ScanPass*& running)
    : system_(system), running_(running), outer_(running), lookups_(system) {
  if (!outer_) {
    facts_ = std::make_unique<Facts>();
    running_ = this;
  }
}

ScanPass::~ScanPass() {
  if (running_ == this) running_ = nullptr;
}

ScanPass::Facts& ScanPass::Owned() { return outer_ ? *outer_->facts_ : *facts_; }

ProcessSnapshot& ScanPass::Processes() {
  Facts& facts = Owned();
  if (!facts.processes) facts.processes.emplace(system_);
  return *facts.processes;
}

bool ScanPass::PathFindsItem(const std::string& path) {
  auto [it, fresh] = Owned().found.try_emplace(path);
  if (fresh) it->second = platform::files::PathFindsItem(system_, path);
  return it->second;
}

const VersionResource& ScanPass::Version(const std::string& path) {
  auto [it, fresh] = Owned().versions.try_emplace(path);
  if (fresh) it->second = LoadVersionResource(system_, path);
  return it->second;
}

const ScanPass::VersionTexts& ScanPass::Texts(const std::string& path) {
  auto [it, fresh] = Owned().texts.try_emplace(path);
  if (fresh) {
    // A reader of its own: nothing of another file's resource carries over.
    ModuleVersion reader;
    VersionTexts& texts = it->second;
    texts.read = reader.UseVersionResource(Version(path));
    if (texts.read) {
      texts.fileVersion = reader.GetVersionString("FileVersion");
      texts.productName = reader.GetVersionString("ProductName");
      texts.fileDescription = reader.GetVersionString("FileDescription");
    }
  }
  return it->second;
}

platform::IconHandle ScanPass::Icon(const std::string& path) {
  auto [it, fresh] = Owned().icons.try_emplace(path);
  if (fresh) it->second = ExtractFileIcon(system_, path, 0);
  return it->second;
}

const std::string& ScanPass::ProgramPath(const std::string& command, std::uint32_t type) {
  auto [it, fresh] = Owned().programPaths.try_emplace({command, type});
  if (!fresh) return it->second;
  // Commands that name the same program ask the file system about it once.
  it->second = ProgramPathOfValue(system_, command, type, [this](const std::string& path) {
    auto [known, asked] = Owned().files.try_emplace(path);
    if (asked) known->second = ProgramFileExists(system_, path);
    return known->second;
  });
  return it->second;
}

bool ScanPass::ApprovedDisabled(int location, const std::string& name) {
  auto [it, fresh] = Owned().marksDisabled.try_emplace(location);
  if (fresh) it->second = !DisabledMarks(system_, location).empty();
  // Only a key that marks something is asked about the name itself.
  return it->second && StartupApprovedDisabled(system_, location, name);
}

}  // namespace velmora
