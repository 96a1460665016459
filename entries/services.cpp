#include "entries/services.h"

#include <cstring>

#include "base/text.h"
#include "entries/program_path.h"
#include "entries/value_command.h"
#include "platform/environment.h"
#include "platform/managed_system.h"

namespace velmora {

namespace {

bool ReadValue(platform::HKey key, const std::string& name, RawValue* out) {
  std::vector<std::uint8_t> data(512);
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::uint32_t type = 0;
    std::uint32_t size = static_cast<std::uint32_t>(data.size());
    platform::Status status = platform::reg::QueryValue(key, name, &type, data.data(), &size);
    if (status == platform::kMoreData) {
      data.resize(size + 2u);
      continue;
    }
    if (status != platform::kSuccess) return false;
    *out = {name, type, std::string(reinterpret_cast<const char*>(data.data()), size)};
    return true;
  }
  return false;
}

std::uint32_t DwordOf(const RawValue& value, bool* ok) {
  *ok = value.type == platform::kRegDword && value.data.size() == 4;
  std::uint32_t number = 0;
  if (*ok) std::memcpy(&number, value.data.data(), 4);
  return number;
}

// "C:\windows" as the system names its own folder.
std::string WindowsFolder(platform::ManagedSystem& system) {
  std::string folder;
  platform::env::Expand(system, "%SystemRoot%", &folder, 32768);
  if (folder.empty() || folder.find('%') != std::string::npos) folder = "C:\\windows";
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool ServiceConfig::StartNumber(std::uint32_t* number) const {
  bool ok = false;
  *number = DwordOf(start, &ok);
  return HasStart() && ok;
}

bool ServiceConfig::StartsAutomatically() const {
  std::uint32_t number = 0;
  if (!StartNumber(&number)) return false;
  return number == kServiceAutoStart || (IsDriver() && number < kServiceAutoStart);
}

std::string ServiceConfig::UnchangeableReason() const {
  if (!HasImagePath()) return "the service has no ImagePath";
  std::uint32_t number = 0;
  if (HasStart() && !StartNumber(&number)) return "the service's Start value is not a REG_DWORD";
  return "";
}

std::string ServicesKeyPath(platform::ManagedSystem& system) {
  const std::string current = "System\\CurrentControlSet\\Services";
  platform::UniqueKey key;
  if (platform::reg::OpenKey(system.LocalMachine(), current, platform::kKeyRead, key.out()) ==
      platform::kSuccess)
    return current;
  // A link: "\Registry\Machine\System\ControlSet001" in UTF-16.
  if (platform::reg::OpenKey(system.LocalMachine(), "System\\CurrentControlSet", platform::kKeyRead,
                             key.out()) == platform::kSuccess) {
    RawValue link;
    if (ReadValue(key.get(), "SymbolicLinkValue", &link)) {
      std::string target;
      for (std::size_t i = 0; i + 1 < link.data.size(); i += 2) {
        if (link.data[i] == 0 && link.data[i + 1] == 0) break;
        target += link.data[i + 1] == 0 ? link.data[i] : '?';
      }
      const std::string prefix = "\\registry\\machine\\";
      if (StartsWithIgnoreCase(target, prefix)) return target.substr(prefix.size()) + "\\Services";
    }
  }
  if (platform::reg::OpenKey(system.LocalMachine(), "System\\Select", platform::kKeyRead, key.out()) ==
      platform::kSuccess) {
    RawValue select;
    bool ok = false;
    std::uint32_t number = ReadValue(key.get(), "Current", &select) ? DwordOf(select, &ok) : 0;
    if (ok && number > 0 && number < 1000) {
      char set[32];
      std::snprintf(set, sizeof set, "System\\ControlSet%03u\\Services", number);
      return set;
    }
  }
  return current;
}

std::vector<std::string> ServiceNames(platform::HKey services) {
  std::vector<std::string> names;
  std::vector<char> name(512);
  for (std::uint32_t index = 0;; ++index) {
    if (platform::reg::EnumKey(services, index, name.data(), static_cast<std::uint32_t>(name.size())) !=
        platform::kSuccess)
      break;
    names.emplace_back(name.data());
  }
  return names;
}

bool ReadServiceConfig(platform::HKey services, const std::string& name, ServiceConfig* config) {
  platform::UniqueKey key;
  if (platform::reg::OpenKey(services, name, platform::kKeyRead, key.out()) != platform::kSuccess)
    return false;
  *config = ServiceConfig();
  config->name = name;
  ReadValue(key.get(), "Start", &config->start);
  ReadValue(key.get(), "DelayedAutostart", &config->delayed);
  ReadValue(key.get(), "ImagePath", &config->imagePath);
  RawValue type;
  bool ok = false;
  if (ReadValue(key.get(), "Type", &type)) config->type = DwordOf(type, &ok);
  if (!ok) config->type = 0;
  platform::UniqueKey parameters;
  if (platform::reg::OpenKey(key.get(), "Parameters", platform::kKeyRead, parameters.out()) ==
      platform::kSuccess) {
    RawValue dll;
    if (ReadValue(parameters.get(), "ServiceDll", &dll) && IsTextValueType(dll.type))
      config->serviceDll = CommandOfValue(dll.type, dll.data);
  }
  return true;
}

std::string ServiceProgramPath(platform::ManagedSystem& system, const std::string& imagePath) {
  std::string path = TrimWhiteSpace(imagePath);
  if (path.empty()) return "";
  if (StartsWithIgnoreCase(path, "\\SystemRoot\\")) {
    path = WindowsFolder(system) + path.substr(11);
  } else if (StartsWithIgnoreCase(path, "\\??\\")) {
    path = path.substr(4);
  } else if (path.find('%') != std::string::npos) {
    std::string expanded;
    platform::env::Expand(system, path, &expanded, 32768);
    if (!expanded.empty()) path = expanded;
  }
  // A path without a drive or a leading backslash lies under the Windows folder
  // ("system32\drivers\x.sys").
  std::size_t start = path.front() == '"' ? 1 : 0;
  bool absolute = path.size() > start + 1 && (path[start + 1] == ':' || path[start] == '\\');
  if (!absolute && StartsWithIgnoreCase(path.substr(start), "system32\\"))
    path = path.substr(0, start) + WindowsFolder(system) + "\\" + path.substr(start);
  return ExtractProgramPath(system, path);
}

std::unique_ptr<Task> ServiceTask(platform::ManagedSystem& system, const ServiceConfig& config,
                                  std::string* programPath) {
  auto task = std::make_unique<Task>();
  task->name = config.name;
  if (config.HasImagePath()) {
    task->valueType = config.imagePath.type;
    task->command = CommandOfValue(config.imagePath.type, config.imagePath.data);
  }
  task->serviceDll = config.serviceDll;
  task->serviceStartType = config.start.type;
  // A service in a shared host is known by its DLL, not by the host.
  std::string source = !config.serviceDll.empty() ? config.serviceDll : task->command;
  *programPath = IsTextValueType(task->valueType) ? ServiceProgramPath(system, source) : "";
  task->programPath = *programPath;
  std::string why = config.UnchangeableReason();
  if (!why.empty()) {
    task->readOnly = 1;
    task->readOnlyReason = why + "; Velmora leaves it as it is";
  }
  return task;
}

}  // namespace velmora
