#include "entries/scan_pass.h"

namespace velmora {

struct ScanPass::Facts {
  std::optional<ProcessSnapshot> processes;
  std::unordered_map<std::string, bool> found;
  std::unordered_map<std::string, VersionResource> versions;
  std::unordered_map<std::string, platform::IconHandle> icons;
};

ScanPass::ScanPass(platform::ManagedSystem& system, ScanPass*& running)
    : system_(system), running_(running), outer_(running) {
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
  if (fresh) it->second = platform::files::PathFindsItem(path);
  return it->second;
}

const VersionResource& ScanPass::Version(const std::string& path) {
  auto [it, fresh] = Owned().versions.try_emplace(path);
  if (fresh) it->second = LoadVersionResource(path);
  return it->second;
}

platform::IconHandle ScanPass::Icon(const std::string& path) {
  auto [it, fresh] = Owned().icons.try_emplace(path);
  if (fresh) it->second = ExtractFileIcon(path, 0);
  return it->second;
}

}  // namespace velmora
