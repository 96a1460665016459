#include "entries/services.h"

#include <cstring>

#include "base/text.h"
#include "entries/program_path.h"
#include "entries/value_command.h"
#include "platform/environment.h"
#include "platform/managed_system.h"

namespace velmora {

namespace {

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

std::string ServicesKeyPath(platform::ManagedSystem& system) { return system.ServicesKeyPath(); }

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

ServiceConfig ConfigOfService(const platform::ServiceRecord& service) {
  ServiceConfig config;
  config.name = service.name;
  config.start = {service.start.name, service.start.type, service.start.data};
  config.delayed = {service.delayed.name, service.delayed.type, service.delayed.data};
  config.imagePath = {service.imagePath.name, service.imagePath.type, service.imagePath.data};
  platform::DwordValue(service.type, &config.type);
  if (!service.serviceDll.name.empty() && IsTextValueType(service.serviceDll.type))
    config.serviceDll = CommandOfValue(service.serviceDll.type, service.serviceDll.data);
  return config;
}

bool ReadServiceConfig(platform::ManagedSystem& system, const std::string& name, ServiceConfig* config) {
  platform::ServiceRecord service;
  if (!system.QueryService(name, &service)) return false;
  *config = ConfigOfService(service);
  return true;
}

bool ReadServiceConfigs(platform::ManagedSystem& system, std::vector<ServiceConfig>* configs) {
  std::vector<platform::ServiceRecord> services;
  bool complete = system.ListServices(&services);
  configs->clear();
  for (const platform::ServiceRecord& service : services) configs->push_back(ConfigOfService(service));
  return complete;
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
