// Reading the startup locations into the entry maps.
#include <vector>

#include "base/message_text.h"
#include "base/text.h"
#include "entries/module_version.h"
#include "entries/process_info.h"
#include "entries/program_path.h"
#include "entries/scan_pass.h"
#include "entries/startup_approved.h"
#include "entries/startup_entries.h"
#include "entries/wine_start.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/shell_link.h"

namespace velmora {

namespace {

// Largest name and data a scan reads whole; anything larger is skipped rather than
// allowed to exhaust memory.
constexpr std::uint32_t kMaxValueName = 16384;
constexpr std::uint32_t kMaxValueData = 1u << 20;

// Text of registry data as the scans take it: up to the first zero byte.
std::string DataAsText(const std::vector<std::uint8_t>& data, std::uint32_t size) {
  std::string text(reinterpret_cast<const char*>(data.data()), size);
  std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

}  // namespace

bool StartupEntries::OpenRegistryKey(int keyIndex, platform::HKey* key, platform::Status* status) const {
  using namespace platform;
  Status ignored;
  Status& result = status ? *status : ignored;
  result = kInvalidParameter;
  switch (keyIndex) {
    case kLmRun:
      return (result = reg::OpenKey(HKeyLocalMachine(), kRunKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kLmRunOnce:
      return (result = reg::OpenKey(HKeyLocalMachine(), kRunOnceKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kLmStartupFolder:
      return (result = reg::OpenKey(HKeyLocalMachine(), kShellFoldersKeyPath, kKeyAllAccess, key)) ==
             kSuccess;
    case kCuRun:
      return (result = reg::OpenKey(HKeyCurrentUser(), kRunKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kCuRunOnce:
      return (result = reg::OpenKey(HKeyCurrentUser(), kRunOnceKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kCuStartupFolder:
      return (result = reg::OpenKey(HKeyCurrentUser(), kShellFoldersKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kLmRun32KeyIndex:
      return (result = reg::OpenKey(HKeyLocalMachine(), kRun32KeyPath, kKeyAllAccess, key)) == kSuccess;
    case kLmRunOnce32KeyIndex:
      return (result = reg::OpenKey(HKeyLocalMachine(), kRunOnce32KeyPath, kKeyAllAccess, key)) == kSuccess;
    case kDisabledTasksKeyIndex:
      if (readOnly_)
        return reg::OpenKey(HKeyCurrentUser(), DisabledTasksKeyPath(), kKeyRead, key) == kSuccess;
      return reg::CreateKey(HKeyCurrentUser(), DisabledTasksKeyPath(), key) == kSuccess;
    case kProfilesKeyIndex:
      if (readOnly_) return reg::OpenKey(HKeyCurrentUser(), ProfilesKeyPath(), kKeyRead, key) == kSuccess;
      return reg::CreateKey(HKeyCurrentUser(), ProfilesKeyPath(), key) == kSuccess;
    default:
      return false;
  }
}

bool StartupEntries::HasLocation(int location) const {
  if (location >= 0 && location < kCommonLocationCount) return true;
  return Is32BitViewLocation(location) && platform::MachineHas32BitView();
}

bool StartupEntries::OpenLocationKey(int location, platform::HKey* key, platform::Status* status) const {
  if (!HasLocation(location)) {
    if (status) *status = platform::kFileNotFound;
    return false;
  }
  return OpenRegistryKey(LocationKeyIndex(location), key, status);
}

namespace {

// Root and path of the key of a Run or RunOnce location.
bool RunKeyOf(int location, platform::HKey* root, const char** path) {
  switch (location) {
    case kLmRun:
      *root = platform::HKeyLocalMachine();
      *path = kRunKeyPath;
      return true;
    case kLmRunOnce:
      *root = platform::HKeyLocalMachine();
      *path = kRunOnceKeyPath;
      return true;
    case kCuRun:
      *root = platform::HKeyCurrentUser();
      *path = kRunKeyPath;
      return true;
    case kCuRunOnce:
      *root = platform::HKeyCurrentUser();
      *path = kRunOnceKeyPath;
      return true;
    case kLmRun32:
      *root = platform::HKeyLocalMachine();
      *path = kRun32KeyPath;
      return true;
    case kLmRunOnce32:
      *root = platform::HKeyLocalMachine();
      *path = kRunOnce32KeyPath;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool StartupEntries::CreateLocationKey(int location, platform::HKey* key) const {
  platform::HKey root = nullptr;
  const char* path = nullptr;
  if (!HasLocation(location) || !RunKeyOf(location, &root, &path)) return false;
  return platform::reg::CreateKey(root, path, key) == platform::kSuccess;
}

bool StartupEntries::LocationKeyMissing(int location) const {
  platform::HKey root = nullptr;
  const char* path = nullptr;
  if (!HasLocation(location) || !RunKeyOf(location, &root, &path)) return false;
  platform::UniqueKey key;
  return platform::reg::OpenKey(root, path, platform::kKeyRead, key.out()) == platform::kFileNotFound;
}

void StartupEntries::ScanRunKey(int location) {
  platform::UniqueKey key;
  if (!OpenLocationKey(location, key.out())) return;
  ModuleVersion versionReader;

  // Names and data are read whole, however long: a value that does not fit a
  // fixed buffer must not hide the values after it.
  std::vector<char> name(260);
  std::vector<std::uint8_t> data(260);
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t nameSize = static_cast<std::uint32_t>(name.size());
    std::uint32_t dataSize = static_cast<std::uint32_t>(data.size());
    std::uint32_t type = 0;
    platform::Status status =
        platform::reg::EnumValue(key.get(), index, name.data(), &nameSize, &type, data.data(), &dataSize);
    if (status == platform::kMoreData) {
      if (name.size() >= kMaxValueName && data.size() >= kMaxValueData) continue;  // absurdly large: skip it
      if (name.size() < kMaxValueName) name.resize(std::min<std::size_t>(name.size() * 4, kMaxValueName));
      if (data.size() < kMaxValueData) {
        std::size_t wanted = std::max<std::size_t>(data.size() * 4, dataSize + 1u);
        data.resize(std::min<std::size_t>(wanted, kMaxValueData));
      }
      --index;  // the same value again with the larger buffers
      continue;
    }
    // Any other failure ends the walk: going on past a failing index could loop
    // forever on a key that went away.
    if (status != platform::kSuccess) break;

    auto task = std::make_unique<Task>();
    task->name.assign(name.data(), nameSize);
    task->command = DataAsText(data, dataSize);
    task->valueType = type;
    std::string programPath = ExtractProgramPath(task->command);
    FillTask(std::move(task), location, programPath, programPath, versionReader);
  }
}

std::string StartupEntries::StartupFolderPath(int location) const {
  if (!IsFolderLocation(location)) return "";
  platform::UniqueKey key;
  if (!OpenLocationKey(location, key.out())) return "";
  std::string path;
  platform::Status status = platform::reg::QueryString(
      key.get(), location == kLmStartupFolder ? "Common Startup" : "Startup", &path);
  if (status != platform::kSuccess) return "";
  // A folder written as %USERPROFILE%\... is found through the system's own values.
  if (path.find('%') != std::string::npos) {
    std::string expanded;
    platform::env::Expand(path, &expanded, 32768);
    if (!expanded.empty()) path = expanded;
  }
  return path;
}

void StartupEntries::ScanStartupFolder(int location) {
  std::string folder = StartupFolderPath(location);
  if (folder.empty()) return;
  ModuleVersion versionReader;
  platform::FolderSearch search;
  if (!search.FindFirst(folder + "\\*.*")) return;
  do {
    const platform::FoundItem& item = search.Current();
    // Subfolders (and the self and parent references) are not startup items.
    if (item.isDots || item.isDirectory) continue;
    if (IsUnfinishedWriteItem(item.name)) continue;
    auto task = std::make_unique<Task>();
    task->name = item.name;
    std::string target;
    ResolveShortcut(item.fullPath, &target);
    task->command = target.empty() ? item.fullPath : target;
    std::string programPath = ExtractProgramPath(task->command);
    std::string versionSource = task->command;
    FillTask(std::move(task), location, programPath, versionSource, versionReader);
  } while (search.FindNext());
}

void StartupEntries::ScanAllLocations() {
  ScanPass pass(runningPass_);
  for (int location = 0; location < kLocationCount; ++location) {
    if (!HasLocation(location)) continue;
    if (IsFolderLocation(location)) {
      ScanStartupFolder(location);
    } else {
      ScanRunKey(location);
    }
  }
}

void StartupEntries::FillTask(std::unique_ptr<Task> task, int location, const std::string& programPath,
                              const std::string& versionSource, ModuleVersion& versionReader, TaskMap* target,
                              bool storeForm) {
  // Still in its location, but disabled by the system's own startup manager.
  if (task->enabled && honoursStartupApproved_ && StartupApprovedDisabled(location, task->name)) {
    task->enabled = 0;
    task->disabledBySystem = 1;
  }
  if (task->description.empty()) task->description = context_.Text(text_id::kNoInformation);
  // Joins the running pass; on its own, a pass of this one entry.
  ScanPass pass(runningPass_);
  DeriveFileName(*task);
  ReadProcessInfo(programPath, *task, pass.Processes());
  if (task->processProtected == 0 && !pass.PathFindsItem(programPath)) task->fileExists = 0;

  if (versionReader.UseVersionResource(pass.Version(versionSource))) {
    task->version = versionReader.GetVersionString("FileVersion");
    task->productName = versionReader.GetVersionString("ProductName");
    task->applicationName = versionReader.GetVersionString("FileDescription");
    task->icon = pass.Icon(versionSource);
    if (!task->icon) task->icon = platform::icons::ProgramIcon(180);
  }
  if (task->applicationName.empty()) task->applicationName = task->productName;
  if (task->applicationName.empty()) {
    task->applicationName = task->name;
    task->productName = task->name;
  }
  task->wineSkipReason = WineSkipReason(location, task->valueType);

  if (target) {
    task->location = location;
    (*target)[SnapshotKey(location, task->name, storeForm)] = std::move(task);
    return;
  }
  std::string key = ToLowerAscii(task->name);
  if (!refreshing_) {
    auto copy = std::make_unique<Task>(*task);
    copy->location = location;
    snapshot_[SnapshotKey(location, task->name, storeForm)] = std::move(copy);
  }
  entryMaps_[location][key] = std::move(task);
}

void DeriveFileName(Task& task) {
  std::string programPath = ExtractProgramPath(task.command);
  std::size_t slash = programPath.rfind('\\');
  task.fileName = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

platform::HResult StartupEntries::ResolveShortcut(const std::string& shortcutPath,
                                                  std::string* target) const {
  target->clear();
  if (!context_.comInitialized) return platform::kFail;
  platform::ShellLink link;
  platform::HResult result = link.Load(shortcutPath);
  if (result != platform::kOk) return result;
  result = link.Resolve();
  if (result != platform::kOk) return result;
  std::string path;
  result = link.GetPath(&path, 260);
  if (result < 0) return result;
  std::string description;
  result = link.GetDescription(&description, 260);
  if (result < 0) return result;
  *target = path.substr(0, 259);
  return result;
}

}  // namespace velmora
