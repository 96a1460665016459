// One pass over the startup entries (a scan of the locations, the store, a
// snapshot, a refresh): what it learns once and then looks up per entry.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "entries/module_version.h"
#include "entries/process_info.h"
#include "platform/files.h"
#include "platform/icons.h"

namespace velmora {

// While a ScanPass lives, the process list and the memory figures are read once,
// each program file is searched for, has its version resource read and its icon
// extracted at most once (per distinct path as written), and the path look-ups of
// the prefix are kept. Passes of one owner nest: an inner one joins the outer
// one, so a refresh that scans and then reads the store is one pass. The owner
// (the entries a pass reads) keeps the slot of its running pass, so passes of
// other owners, on other threads too, stay apart.
class ScanPass {
 public:
  // |system| is the one the owner reads; it must outlive the pass.
  ScanPass(platform::ManagedSystem& system, ScanPass*& running);
  ~ScanPass();
  ScanPass(const ScanPass&) = delete;
  ScanPass& operator=(const ScanPass&) = delete;

  ProcessSnapshot& Processes();
  bool PathFindsItem(const std::string& path);
  const VersionResource& Version(const std::string& path);
  // The version texts an entry shows of the file at |path|, read from its
  // version resource once per path; |read| false when the resource gives none.
  struct VersionTexts {
    bool read = false;
    std::string fileVersion;
    std::string productName;
    std::string fileDescription;
  };
  const VersionTexts& Texts(const std::string& path);
  platform::IconHandle Icon(const std::string& path);
  // ProgramPathOfValue(command, type), with the file system asked once per path:
  // the search for the program asks it at every blank of the command, and many
  // commands name the same program.
  std::string ProgramPath(const std::string& command, std::uint32_t type);
  // StartupApprovedDisabled(location, name); a location whose key marks nothing
  // disabled (mostly it has no key at all) is read once, not once per entry.
  bool ApprovedDisabled(int location, const std::string& name);

 private:
  struct Facts;
  Facts& Owned();
  platform::ManagedSystem& system_;
  ScanPass*& running_;
  ScanPass* outer_ = nullptr;
  std::unique_ptr<Facts> facts_;
  platform::files::PathLookupScope lookups_;
};

}  // namespace velmora
