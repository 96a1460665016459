// Reading the startup locations.
#include "entries/location_scanning.h"

#include <algorithm>

#include "base/message_text.h"
#include "base/names.h"
#include "base/text.h"
#include "entries/module_version.h"
#include "entries/process_info.h"
#include "entries/program_path.h"
#include "entries/scan_pass.h"
#include "entries/services.h"
#include "entries/startup_approved.h"
#include "entries/value_command.h"
#include "entries/wine_start.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/registry.h"
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

bool OpenProgramKey(platform::ManagedSystem& system, ProgramKey which, bool readOnly, platform::HKey* key,
                    platform::Status* status) {
  using namespace platform;
  Status ignored;
  Status& result = status ? *status : ignored;
  // The program's own keys are opened, never created: a key that is missing
  // holds nothing, and the writes that need one create it.
  const std::string path = which == ProgramKey::kDisabledTasks ? DisabledTasksKeyPath() : ProfilesKeyPath();
  return (result = reg::OpenKey(system.CurrentUser(), path, readOnly ? kKeyRead : kKeyAllAccess, key)) ==
         kSuccess;
}

bool HasLocation(platform::ManagedSystem& system, int location) {
  const LocationInfo* info = FindLocation(location);
  if (!info) return false;
  return !info->view32 || system.Has32BitView();
}

namespace {

// Root and path of the key through which a location is reached.
bool LocationKeyOf(platform::ManagedSystem& system, int location, platform::HKey* root, std::string* path) {
  const LocationInfo* info = FindLocation(location);
  if (!info) return false;
  *root = info->machine ? system.LocalMachine() : system.CurrentUser();
  *path = info->kind == LocationKind::kServices ? ServicesKeyPath(system) : info->keyPath;
  return true;
}

// Opens a location's key to read it: for writing, or where that is denied, for
// reading, with why it cannot be changed in |readOnlyReason|.
bool OpenKeyToRead(platform::ManagedSystem& system, int location, platform::HKey* key,
                   std::string* readOnlyReason) {
  readOnlyReason->clear();
  platform::Status status = platform::kSuccess;
  if (OpenLocationKey(system, location, key, &status)) return true;
  if (status != platform::kAccessDenied) return false;
  std::string detail = platform::LastErrorDetail();
  platform::HKey root = nullptr;
  std::string path;
  if (!LocationKeyOf(system, location, &root, &path) ||
      platform::reg::OpenKey(root, path, platform::kKeyRead, key) != platform::kSuccess) {
    return false;
  }
  *readOnlyReason = detail.empty() ? std::string("its registry key cannot be opened for writing") : detail;
  return true;
}

// Every value of a key, each read whole however long: a value that does not fit
// a fixed buffer must not hide the values after it. False when a value was left
// out (absurdly large) or the walk ended early.
bool ReadValues(platform::HKey key, std::vector<RawValue>* values) {
  std::vector<platform::RegistryValue> walked;
  std::uint32_t skipped = 0;
  platform::Status walkedStatus =
      platform::reg::ReadValuesAtOnce(key, kMaxValueName, kMaxValueData, &walked, &skipped);
  if (walkedStatus != platform::kNotSupported) {
    values->reserve(values->size() + walked.size());
    for (platform::RegistryValue& value : walked)
      values->push_back({std::move(value.name), value.type, std::move(value.data)});
    return walkedStatus == platform::kSuccess && skipped == 0;
  }
  // No walk of the key: value by value, the buffers growing as needed.
  std::vector<char> name(260);
  std::vector<std::uint8_t> data(260);
  bool complete = true;
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t nameSize = static_cast<std::uint32_t>(name.size());
    std::uint32_t dataSize = static_cast<std::uint32_t>(data.size());
    std::uint32_t type = 0;
    platform::Status status =
        platform::reg::EnumValue(key, index, name.data(), &nameSize, &type, data.data(), &dataSize);
    if (status == platform::kMoreData) {
      if (name.size() >= kMaxValueName && data.size() >= kMaxValueData) {  // absurdly large: skip it
        complete = false;
        continue;
      }
      if (name.size() < kMaxValueName) name.resize(std::min<std::size_t>(name.size() * 4, kMaxValueName));
      if (data.size() < kMaxValueData) {
        std::size_t wanted = std::max<std::size_t>(data.size() * 4, dataSize + 1u);
        data.resize(std::min<std::size_t>(wanted, kMaxValueData));
      }
      --index;  // the same value again with the larger buffers
      continue;
    }
    if (status == platform::kNoMoreItems) return complete;
    // Any other failure ends the walk: going on past a failing index could loop
    // forever on a key that went away.
    if (status != platform::kSuccess) return false;
    values->push_back({std::string(name.data(), nameSize), type,
                       std::string(reinterpret_cast<const char*>(data.data()), dataSize)});
  }
}

// The files directly in |folder|, in the order the search gives them. Subfolders
// (and the self and parent references) are not startup items.
void ReadFolder(platform::ManagedSystem& system, const std::string& folder,
                std::vector<platform::FoundItem>* items) {
  platform::FolderSearch search(system);
  if (!search.FindFirst(folder + "\\*.*")) return;  // empty or missing: nothing to hold
  do {
    const platform::FoundItem& item = search.Current();
    if (item.isDots || item.isDirectory || IsUnfinishedWriteItem(item.name)) continue;
    items->push_back(item);
  } while (search.FindNext());
}

}  // namespace

bool OpenLocationKey(platform::ManagedSystem& system, int location, platform::HKey* key,
                     platform::Status* status) {
  platform::Status ignored;
  platform::Status& result = status ? *status : ignored;
  platform::HKey root = nullptr;
  std::string path;
  if (!HasLocation(system, location) || !LocationKeyOf(system, location, &root, &path)) {
    result = platform::kFileNotFound;
    return false;
  }
  return (result = platform::reg::OpenKey(root, path, platform::kKeyAllAccess, key)) == platform::kSuccess;
}

bool CreateLocationKey(platform::ManagedSystem& system, int location, platform::HKey* key) {
  platform::HKey root = nullptr;
  std::string path;
  if (!HasLocation(system, location) || !IsRegistryLocation(location) ||
      !LocationKeyOf(system, location, &root, &path))
    return false;
  return platform::reg::CreateKey(root, path, key) == platform::kSuccess;
}

bool LocationKeyMissing(platform::ManagedSystem& system, int location) {
  platform::HKey root = nullptr;
  std::string path;
  if (!HasLocation(system, location) || !IsRegistryLocation(location) ||
      !LocationKeyOf(system, location, &root, &path))
    return false;
  platform::UniqueKey key;
  return platform::reg::OpenKey(root, path, platform::kKeyRead, key.out()) == platform::kFileNotFound;
}

std::string StartupFolderPath(platform::ManagedSystem& system, int location, std::string* readOnlyReason) {
  const LocationInfo* info = FindLocation(location);
  if (!info || info->kind != LocationKind::kFolder) return "";
  platform::UniqueKey key;
  std::string reason;
  const bool opened = OpenKeyToRead(system, location, key.out(), &reason);
  if (readOnlyReason) *readOnlyReason = reason;
  std::string path = system.StartupFolder(info->machine);
  if (!path.empty() || !opened) return path;
  platform::Status status = platform::reg::QueryString(key.get(), info->folderValue, &path);
  if (status != platform::kSuccess) return "";
  // A folder written as %USERPROFILE%\... is found through the system's own values.
  if (path.find('%') != std::string::npos) {
    std::string expanded;
    platform::env::Expand(system, path, &expanded, 32768);
    if (!expanded.empty()) path = expanded;
  }
  return path;
}

LocationContents ReadLocation(platform::ManagedSystem& system, int location) {
  LocationContents contents;
  const LocationInfo* info = FindLocation(location);
  if (!info || !HasLocation(system, location)) return contents;
  if (info->kind == LocationKind::kFolder) {
    contents.folder = StartupFolderPath(system, location, &contents.readOnlyReason);
    contents.found = !contents.folder.empty();
    if (contents.found) ReadFolder(system, contents.folder, &contents.items);
    contents.complete = contents.found;
    return contents;
  }
  platform::UniqueKey key;
  contents.found = OpenKeyToRead(system, location, key.out(), &contents.readOnlyReason);
  if (!contents.found) return contents;
  if (info->kind == LocationKind::kServices) {
    key.reset();
    contents.complete = ReadServiceConfigs(system, &contents.services);
  } else {
    contents.complete = ReadValues(key.get(), &contents.values);
  }
  return contents;
}

std::vector<FoundEntry> EntriesOf(platform::ManagedSystem& system, const LocationContents& contents,
                                  const ProgramContext& context, ScanPass& pass, bool resolveShortcuts) {
  std::vector<FoundEntry> found;
  found.reserve(contents.values.size() + contents.items.size() + contents.services.size());
  for (const RawValue& value : contents.values) {
    FoundEntry entry{std::make_unique<Task>(), "", ""};
    entry.task->name = value.name;
    entry.task->command = CommandOfValue(value.type, value.data);
    entry.task->valueType = value.type;
    entry.programPath = pass.ProgramPath(entry.task->command, value.type);
    found.push_back(std::move(entry));
  }
  for (const platform::FoundItem& item : contents.items) {
    FoundEntry entry{std::make_unique<Task>(), "", ""};
    entry.task->name = item.name;
    std::string target, arguments;
    if (resolveShortcuts) ResolveShortcut(system, context, item.fullPath, &target, &arguments);
    entry.task->command = target.empty() ? item.fullPath : ShortcutCommand(target, arguments);
    // A shortcut's command is searched as plain text is (no expansion); the
    // pass asks about a program the other entries name once.
    entry.programPath = pass.ProgramPath(entry.task->command, platform::kRegSz);
    entry.versionSource = target.empty() ? item.fullPath : target;
    found.push_back(std::move(entry));
  }
  for (const ServiceConfig& config : contents.services) {
    // A Start that is not a number is shown as it is: whether it starts cannot be told.
    std::uint32_t number = 0;
    if (!config.StartsAutomatically() && !(config.HasStart() && !config.StartNumber(&number))) continue;
    FoundEntry entry;
    entry.task = ServiceTask(system, config, &entry.programPath);
    found.push_back(std::move(entry));
  }
  return found;
}

EntryFiller::EntryFiller(platform::ManagedSystem& system, const ProgramContext& context, ScanPass*& running,
                         bool honoursStartupApproved)
    : system_(system),
      context_(context),
      honoursStartupApproved_(honoursStartupApproved),
      pass_(system, running) {}

void EntryFiller::FillTask(Task& task, int location, const std::string& programPath,
                           const std::string& versionSource, const std::string& readOnlyReason) {
  ScanPass& pass = pass_;
  // Still in its location, but disabled by the system's own startup manager.
  if (task.enabled && honoursStartupApproved_ && pass.ApprovedDisabled(location, task.name)) {
    task.enabled = 0;
    task.disabledBySystem = 1;
  }
  if (task.description.empty()) {
    if (!noInformationKnown_) noInformation_ = context_.Text(text_id::kNoInformation);
    noInformationKnown_ = true;
    task.description = noInformation_;
  }
  task.fileName = FileNameOfPath(task.programPath.empty() ? programPath : task.programPath);
  ReadProcessInfo(programPath, task, pass.Processes());
  if (task.processProtected == 0 && !pass.PathFindsItem(programPath)) task.fileExists = 0;

  const ScanPass::VersionTexts& texts = pass.Texts(versionSource);
  if (texts.read) {
    task.version = texts.fileVersion;
    task.productName = texts.productName;
    task.applicationName = texts.fileDescription;
    task.icon = pass.Icon(versionSource);
    if (!task.icon) task.icon = platform::icons::ProgramIcon(180);
  }
  if (task.applicationName.empty()) task.applicationName = task.productName;
  if (task.applicationName.empty()) {
    task.applicationName = task.name;
    task.productName = task.name;
  }
  task.wineSkipReason = WineSkipReason(system_, location, task);
  if (!readOnlyReason.empty()) {
    task.readOnly = 1;
    task.readOnlyReason = readOnlyReason;
  }
}

void DeriveFileName(platform::ManagedSystem& system, Task& task) {
  std::string programPath =
      task.programPath.empty() ? ProgramPathOfValue(system, task.command, task.valueType) : task.programPath;
  task.fileName = FileNameOfPath(programPath);
}

std::string ShortcutCommand(const std::string& target, const std::string& arguments) {
  if (arguments.empty()) return target;
  // The target is quoted, so that no argument is taken for a part of its path.
  if (target.front() == '"') return target + " " + arguments;
  return "\"" + target + "\" " + arguments;
}

platform::HResult ResolveShortcut(platform::ManagedSystem& system, const ProgramContext& context,
                                  const std::string& shortcutPath, std::string* target,
                                  std::string* arguments) {
  target->clear();
  if (arguments) arguments->clear();
  if (!context.comInitialized) return platform::kFail;
  platform::ShellLink link;
  platform::HResult result = link.Load(system, shortcutPath);
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
