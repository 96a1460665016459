// Reading the startup locations into the entry maps.
#include <vector>

#include "base/message_text.h"
#include "base/names.h"
#include "base/text.h"
#include "entries/module_version.h"
#include "entries/process_info.h"
#include "entries/program_path.h"
#include "entries/scan_pass.h"
#include "entries/services.h"
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

// The part of a program's path after its last backslash.
std::string FileNameOfPath(const std::string& programPath) {
  std::size_t slash = programPath.rfind('\\');
  return slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

}  // namespace

bool StartupEntries::OpenProgramKey(ProgramKey which, platform::HKey* key, platform::Status* status) const {
  using namespace platform;
  Status ignored;
  Status& result = status ? *status : ignored;
  // The program's own keys are opened, never created: a key that is missing
  // holds nothing, and the writes that need one create it.
  const std::string path = which == ProgramKey::kDisabledTasks ? DisabledTasksKeyPath() : ProfilesKeyPath();
  return (result = reg::OpenKey(system_.CurrentUser(), path, readOnly_ ? kKeyRead : kKeyAllAccess, key)) ==
         kSuccess;
}

bool StartupEntries::HasLocation(int location) const {
  const LocationInfo* info = FindLocation(location);
  if (!info) return false;
  return !info->view32 || system_.Has32BitView();
}

namespace {

// Root and path of the key through which a location is reached.
bool LocationKeyOf(platform::ManagedSystem& system, int location, platform::HKey* root, std::string* path) {
  const LocationInfo* info = FindLocation(location);
  if (!info) return false;
  *root = info->machine ? system.LocalMachine() : system.CurrentUser();
  *path = IsServiceLocation(location) ? ServicesKeyPath(system) : info->keyPath;
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
  std::string path;
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
  platform::Status ignored;
  platform::Status& result = status ? *status : ignored;
  platform::HKey root = nullptr;
  std::string path;
  if (!HasLocation(location) || !LocationKeyOf(system_, location, &root, &path)) {
    result = platform::kFileNotFound;
    return false;
  }
  return (result = platform::reg::OpenKey(root, path, platform::kKeyAllAccess, key)) == platform::kSuccess;
}

bool StartupEntries::CreateLocationKey(int location, platform::HKey* key) const {
  platform::HKey root = nullptr;
  std::string path;
  if (!HasLocation(location) || !IsRegistryLocation(location) ||
      !LocationKeyOf(system_, location, &root, &path))
    return false;
  return platform::reg::CreateKey(root, path, key) == platform::kSuccess;
}

bool StartupEntries::LocationKeyMissing(int location) const {
  platform::HKey root = nullptr;
  std::string path;
  if (!HasLocation(location) || !IsRegistryLocation(location) ||
      !LocationKeyOf(system_, location, &root, &path))
    return false;
  platform::UniqueKey key;
  return platform::reg::OpenKey(root, path, platform::kKeyRead, key.out()) == platform::kFileNotFound;
}

void StartupEntries::ScanRunKey(int location) {
  platform::UniqueKey key;
  if (!IsRegistryLocation(location)) return;
  if (!OpenKeyToScan(*this, location, key.out(), &readOnlyReasons_[location])) return;
  ModuleVersion versionReader;
  ScanPass pass(system_, runningPass_);

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
    std::string programPath = pass.ProgramPath(task->command, type);
    FillTask(std::move(task), location, programPath, programPath, versionReader);
  }
}

void StartupEntries::ScanServices() {
  platform::UniqueKey key;
  if (!OpenKeyToScan(*this, kServices, key.out(), &readOnlyReasons_[kServices])) return;
  key.reset();
  ModuleVersion versionReader;
  std::vector<ServiceConfig> configs;
  ReadServiceConfigs(system_, &configs);
  for (const ServiceConfig& config : configs) {
    // A Start that is not a number is shown as it is: whether it starts cannot be told.
    std::uint32_t number = 0;
    if (!config.StartsAutomatically() && !(config.HasStart() && !config.StartNumber(&number))) continue;
    std::string programPath;
    std::unique_ptr<Task> task = ServiceTask(config, &programPath);
    FillTask(std::move(task), kServices, programPath, programPath, versionReader);
  }
}

std::string StartupEntries::StartupFolderPath(int location, std::string* readOnlyReason) const {
  if (!IsFolderLocation(location)) return "";
  platform::ManagedSystem& system = system_;
  platform::UniqueKey key;
  std::string reason;
  const bool opened = OpenKeyToScan(*this, location, key.out(), &reason);
  if (readOnlyReason) *readOnlyReason = reason;
  std::string path = system.StartupFolder(location == kLmStartupFolder);
  if (!path.empty() || !opened) return path;
  platform::Status status = platform::reg::QueryString(key.get(), FindLocation(location)->folderValue, &path);
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
    } else if (IsServiceLocation(location)) {
      ScanServices();
    } else {
      ScanRunKey(location);
    }
  }
}

void StartupEntries::FillTask(std::unique_ptr<Task> task, int location, const std::string& programPath,
                              const std::string& versionSource, ModuleVersion& versionReader, TaskMap* target,
                              bool storeForm) {
  // Joins the running pass; on its own, a pass of this one entry.
  ScanPass pass(system_, runningPass_);
  // Still in its location, but disabled by the system's own startup manager.
  if (task->enabled && honoursStartupApproved_ && pass.ApprovedDisabled(location, task->name)) {
    task->enabled = 0;
    task->disabledBySystem = 1;
  }
  if (task->description.empty()) task->description = context_.Text(text_id::kNoInformation);
  task->fileName = FileNameOfPath(task->programPath.empty() ? pass.ProgramPath(task->command, task->valueType)
                                                            : task->programPath);
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
  task->wineSkipReason = WineSkipReason(system_, location, *task);
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
  std::string programPath =
      task.programPath.empty() ? ProgramPathOfValue(task.command, task.valueType) : task.programPath;
  task.fileName = FileNameOfPath(programPath);
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
