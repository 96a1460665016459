// Reading the startup locations into the entry maps.
#include <vector>

#include "base/message_text.h"
#include "base/names.h"
#include "base/text.h"
#include "entries/module_version.h"
#include "entries/process_info.h"
#include "entries/program_path.h"
#include "entries/scan_pass.h"
#include "entries/startup_approved.h"
#include "entries/startup_entries.h"
#include "entries/value_command.h"
#include "entries/wine_start.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/shell_link.h"
#include "platform/status.h"

namespace velmora {

namespace {

// Largest name and data a scan reads whole; anything larger is skipped rather than
// allowed to exhaust memory.
constexpr std::uint32_t kMaxValueName = 16384;
constexpr std::uint32_t kMaxValueData = 1u << 20;

}  // namespace

bool StartupEntries::OpenRegistryKey(int keyIndex, platform::HKey* key, platform::Status* status) const {
  using namespace platform;
  Status ignored;
  Status& result = status ? *status : ignored;
  result = kInvalidParameter;
  switch (keyIndex) {
    case kLmRun:
      return (result = reg::OpenKey(system_.LocalMachine(), kRunKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kLmRunOnce:
      return (result = reg::OpenKey(system_.LocalMachine(), kRunOnceKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kLmStartupFolder:
      return (result = reg::OpenKey(system_.LocalMachine(), kShellFoldersKeyPath, kKeyAllAccess, key)) ==
             kSuccess;
    case kCuRun:
      return (result = reg::OpenKey(system_.CurrentUser(), kRunKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kCuRunOnce:
      return (result = reg::OpenKey(system_.CurrentUser(), kRunOnceKeyPath, kKeyAllAccess, key)) == kSuccess;
    case kCuStartupFolder:
      return (result = reg::OpenKey(system_.CurrentUser(), kShellFoldersKeyPath, kKeyAllAccess, key)) ==
             kSuccess;
    case kLmRun32KeyIndex:
      return (result = reg::OpenKey(system_.LocalMachine(), kRun32KeyPath, kKeyAllAccess, key)) == kSuccess;
    case kLmRunOnce32KeyIndex:
      return (result = reg::OpenKey(system_.LocalMachine(), kRunOnce32KeyPath, kKeyAllAccess, key)) ==
             kSuccess;
    // The program's own keys are opened, never created: a key that is missing
    // holds nothing, and the writes that need one create it.
    case kDisabledTasksKeyIndex:
      return (result = reg::OpenKey(system_.CurrentUser(), DisabledTasksKeyPath(),
                                    readOnly_ ? kKeyRead : kKeyAllAccess, key)) == kSuccess;
    case kProfilesKeyIndex:
      return (result = reg::OpenKey(system_.CurrentUser(), ProfilesKeyPath(),
                                    readOnly_ ? kKeyRead : kKeyAllAccess, key)) == kSuccess;
    default:
      return false;
  }
}

bool StartupEntries::HasLocation(int location) const {
  if (location >= 0 && location < kCommonLocationCount) return true;
  return Is32BitViewLocation(location) && system_.Has32BitView();
}

namespace {

// Root and path of the key through which a location is reached.
bool LocationKeyOf(platform::ManagedSystem& system, int location, platform::HKey* root, const char** path) {
  switch (location) {
    case kLmRun:
    case kLmRunOnce:
    case kLmStartupFolder:
    case kLmRun32:
    case kLmRunOnce32:
      *root = system.LocalMachine();
      break;
    case kCuRun:
    case kCuRunOnce:
    case kCuStartupFolder:
      *root = system.CurrentUser();
      break;
    default:
      return false;
  }
  const char* const paths[kLocationCount] = {kRunKeyPath,   kRunOnceKeyPath,  kShellFoldersKeyPath,
                                             kRunKeyPath,   kRunOnceKeyPath,  kShellFoldersKeyPath,
                                             kRun32KeyPath, kRunOnce32KeyPath};
  *path = paths[location];
  return true;
}

// Opens a location's key for a scan: for writing, or where that is denied, for
// reading, with why it cannot be changed in |readOnlyReason|.
bool OpenKeyToScan(const StartupEntries& entries, int location, platform::HKey* key,
                   std::string* readOnlyReason) {
  readOnlyReason->clear();
  platform::Status status = platform::kSuccess;
  if (entries.OpenLocationKey(location, key, &status)) return true;
  if (status != platform::kAccessDenied) return false;
  std::string detail = platform::LastErrorDetail();
  platform::HKey root = nullptr;
  const char* path = nullptr;
  if (!LocationKeyOf(entries.System(), location, &root, &path) ||
      platform::reg::OpenKey(root, path, platform::kKeyRead, key) != platform::kSuccess) {
    return false;
  }
  *readOnlyReason = detail.empty() ? std::string("its registry key cannot be opened for writing") : detail;
  return true;
}

}  // namespace

const std::string& StartupEntries::ReadOnlyReason(int location) const {
  static const std::string kNone;
  return location >= 0 && location < kLocationCount ? readOnlyReasons_[location] : kNone;
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
bool RunKeyOf(platform::ManagedSystem& system, int location, platform::HKey* root, const char** path) {
  return IsRegistryLocation(location) && LocationKeyOf(system, location, root, path);
}

}  // namespace

bool StartupEntries::CreateLocationKey(int location, platform::HKey* key) const {
  platform::HKey root = nullptr;
  const char* path = nullptr;
  if (!HasLocation(location) || !RunKeyOf(system_, location, &root, &path)) return false;
  return platform::reg::CreateKey(root, path, key) == platform::kSuccess;
}

bool StartupEntries::LocationKeyMissing(int location) const {
  platform::HKey root = nullptr;
  const char* path = nullptr;
  if (!HasLocation(location) || !RunKeyOf(system_, location, &root, &path)) return false;
  platform::UniqueKey key;
  return platform::reg::OpenKey(root, path, platform::kKeyRead, key.out()) == platform::kFileNotFound;
}

void StartupEntries::ScanRunKey(int location) {
  platform::UniqueKey key;
  if (location < 0 || location >= kLocationCount) return;
  if (!OpenKeyToScan(*this, location, key.out(), &readOnlyReasons_[location])) return;
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
    task->command = CommandOfValue(type, std::string(reinterpret_cast<const char*>(data.data()), dataSize));
    task->valueType = type;
    std::string programPath = ProgramPathOfValue(task->command, type);
    FillTask(std::move(task), location, programPath, programPath, versionReader);
  }
}

std::string StartupEntries::StartupFolderPath(int location, std::string* readOnlyReason) const {
  if (!IsFolderLocation(location)) return "";
  platform::UniqueKey key;
  std::string reason;
  if (!OpenKeyToScan(*this, location, key.out(), &reason)) return "";
  if (readOnlyReason) *readOnlyReason = reason;
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
  if (!IsFolderLocation(location)) return;
  std::string folder = StartupFolderPath(location, &readOnlyReasons_[location]);
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
    std::string target, arguments;
    ResolveShortcut(item.fullPath, &target, &arguments);
    task->command = target.empty() ? item.fullPath : ShortcutCommand(target, arguments);
    std::string programPath = ExtractProgramPath(task->command);
    std::string versionSource = target.empty() ? item.fullPath : target;
    FillTask(std::move(task), location, programPath, versionSource, versionReader);
  } while (search.FindNext());
}

void StartupEntries::ScanAllLocations() {
  ScanPass pass(system_, runningPass_);
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
  if (task->enabled && honoursStartupApproved_ && StartupApprovedDisabled(system_, location, task->name)) {
    task->enabled = 0;
    task->disabledBySystem = 1;
  }
  if (task->description.empty()) task->description = context_.Text(text_id::kNoInformation);
  // Joins the running pass; on its own, a pass of this one entry.
  ScanPass pass(system_, runningPass_);
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
  task->wineSkipReason = WineSkipReason(system_, location, task->valueType);
  if (location >= 0 && location < kLocationCount && !readOnlyReasons_[location].empty()) {
    task->readOnly = 1;
    task->readOnlyReason = readOnlyReasons_[location];
  }

  if (target) {
    task->location = location;
    (*target)[SnapshotKey(location, task->name, storeForm)] = std::move(task);
    return;
  }
  std::string key = EntryKey(location, task->name);
  if (!refreshing_) {
    auto copy = std::make_unique<Task>(*task);
    copy->location = location;
    snapshot_[SnapshotKey(location, task->name, storeForm)] = std::move(copy);
  }
  entryMaps_[location][key] = std::move(task);
}

void DeriveFileName(Task& task) {
  std::string programPath = ProgramPathOfValue(task.command, task.valueType);
  std::size_t slash = programPath.rfind('\\');
  task.fileName = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

std::string ShortcutCommand(const std::string& target, const std::string& arguments) {
  if (arguments.empty()) return target;
  // The target is quoted, so that no argument is taken for a part of its path.
  if (target.front() == '"') return target + " " + arguments;
  return "\"" + target + "\" " + arguments;
}

platform::HResult StartupEntries::ResolveShortcut(const std::string& shortcutPath, std::string* target,
                                                  std::string* arguments) const {
  target->clear();
  if (arguments) arguments->clear();
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
  if (arguments) *arguments = link.arguments;
  return result;
}

}  // namespace velmora
