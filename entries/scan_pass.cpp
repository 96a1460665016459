#include "entries/scan_pass.h"

#include <functional>
#include <utility>

#include "entries/program_path.h"
#include "entries/startup_approved.h"
#include "entries/value_command.h"
#include "platform/registry.h"

namespace velmora {

struct ScanPass::Facts {
  std::optional<ProcessSnapshot> processes;
  // What is known of one path as written: each question asked of it once.
  struct PathFacts {
    signed char isFile = -1;  // names an existing file (-1: not asked yet)
    signed char finds = -1;   // a search for it finds an item
    bool versionRead = false;
    bool textsRead = false;
    bool iconRead = false;
    VersionResource version;
    ScanPass::VersionTexts texts;
    platform::IconHandle icon = nullptr;
  };
  std::unordered_map<std::string, PathFacts> paths;
  // The path asked about last, whose facts the questions that follow about the
  // same path (an entry's program, its version, its icon) find without a search.
  const std::string* lastPath = nullptr;
  PathFacts* lastFacts = nullptr;
  std::unordered_map<int, bool> marksDisabled;  // location -> its key marks some value disabled

  PathFacts& Of(const std::string& path) {
    if (lastPath && *lastPath == path) return *lastFacts;
    // Elements of the table stay in place as it grows.
    auto it = paths.try_emplace(path).first;
    lastPath = &it->first;
    lastFacts = &it->second;
    return it->second;
  }
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

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Whether a search for |path| looks for the one item the path names: no
// wildcard, a last name that is not "." or ".." (nor a drive alone), and no
// device or network prefix.
bool NamesOneItem(const std::string& path) {
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
  const char last = path.back();
  if (IsSeparator(last) || last == ':' || last == '.') return false;
  return !(path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

}  // namespace

bool ScanPass::PathFindsItem(const std::string& path) {
  Facts::PathFacts& facts = Owned().Of(path);
  if (facts.finds < 0) {
    // A search for one item finds it when it is there: a file the search for a
    // program found, or else anything at the path (a folder); a missing one is
    // answered by the path look-ups the search for the program made.
    if (facts.isFile >= 0 && NamesOneItem(path)) {
      facts.finds = facts.isFile == 1 || platform::files::Exists(system_, path) ? 1 : 0;
    } else {
      facts.finds = platform::files::PathFindsItem(system_, path) ? 1 : 0;
    }
  }
  return facts.finds == 1;
}

const VersionResource& ScanPass::Version(const std::string& path) {
  Facts::PathFacts& facts = Owned().Of(path);
  if (!facts.versionRead) {
    facts.versionRead = true;
    // A path that the search for a program found to be no file (missing, or a
    // folder) has no resource to read: it keeps the empty one.
    if (facts.isFile != 0) facts.version = LoadVersionResource(system_, path);
  }
  return facts.version;
}

const ScanPass::VersionTexts& ScanPass::Texts(const std::string& path) {
  Facts::PathFacts& facts = Owned().Of(path);
  if (!facts.textsRead) {
    facts.textsRead = true;
    // A reader of its own: nothing of another file's resource carries over.
    ModuleVersion reader;
    VersionTexts& texts = facts.texts;
    texts.read = reader.UseVersionResource(Version(path));
    if (texts.read) {
      texts.fileVersion = reader.GetVersionString("FileVersion");
      texts.productName = reader.GetVersionString("ProductName");
      texts.fileDescription = reader.GetVersionString("FileDescription");
    }
  }
  return facts.texts;
}

platform::IconHandle ScanPass::Icon(const std::string& path) {
  Facts::PathFacts& facts = Owned().Of(path);
  if (!facts.iconRead) {
    facts.iconRead = true;
    facts.icon = ExtractFileIcon(system_, path, 0);
  }
  return facts.icon;
}

std::string ScanPass::ProgramPath(const std::string& command, std::uint32_t type) {
  // The commands of a prefix are nearly all unlike one another: a table of them
  // would cost each a copy of its own; the file system is asked once per path.
  return ProgramPathOfValue(system_, command, type, [this](const std::string& path) {
    Facts::PathFacts& facts = Owned().Of(path);
    if (facts.isFile < 0) facts.isFile = ProgramFileExists(system_, path) ? 1 : 0;
    return facts.isFile == 1;
  });
}

bool ScanPass::ApprovedDisabled(int location, const std::string& name) {
  auto [it, fresh] = Owned().marksDisabled.try_emplace(location);
  if (fresh) it->second = !DisabledMarks(system_, location).empty();
  // Only a key that marks something is asked about the name itself.
  return it->second && StartupApprovedDisabled(system_, location, name);
}

}  // namespace velmora
