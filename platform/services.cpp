// The services of a system read from its registry: what a Wine prefix and an
// offline installation hold, and what the live Windows adds to its service
// manager's answers.
#include "platform/services.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "platform/managed_system.h"

namespace platform {

namespace {

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && velmora::EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Reads the service |name| under the open services key.
bool ReadService(HKey services, const std::string& name, ServiceRecord* service) {
  UniqueKey key;
  if (reg::OpenKey(services, name, kKeyRead, key.out()) != kSuccess) return false;
  *service = ServiceRecord();
  service->name = name;
  ReadWholeValue(key.get(), "Start", &service->start);
  ReadWholeValue(key.get(), "DelayedAutostart", &service->delayed);
  ReadWholeValue(key.get(), "ImagePath", &service->imagePath);
  ReadWholeValue(key.get(), "Type", &service->type);
  UniqueKey parameters;
  if (reg::OpenKey(key.get(), "Parameters", kKeyRead, parameters.out()) == kSuccess)
    ReadWholeValue(parameters.get(), "ServiceDll", &service->serviceDll);
  return true;
}

}  // namespace

// The most room ReadWholeValue keeps between values.
constexpr std::size_t kKeptBuffer = 64 * 1024;

bool ReadWholeValue(HKey key, const std::string& name, RegistryValue* value) {
  // A buffer of each thread's own, kept from value to value: a service alone
  // reads five of them.
  thread_local std::vector<std::uint8_t> data(512);
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::uint32_t type = 0;
    std::uint32_t size = static_cast<std::uint32_t>(data.size());
    Status status = reg::QueryValue(key, name, &type, data.data(), &size);
    if (status == kMoreData) {
      data.resize(size + 2u);
      continue;
    }
    if (status != kSuccess) return false;
    value->name = name;
    value->type = type;
    value->data.assign(reinterpret_cast<const char*>(data.data()), size);
    // A rare large value does not keep its room for the life of the thread.
    if (data.size() > kKeptBuffer) std::vector<std::uint8_t>(512).swap(data);
    return true;
  }
  return false;
}

bool DwordValue(const RegistryValue& value, std::uint32_t* number) {
  *number = 0;
  if (value.name.empty() || value.type != kRegDword || value.data.size() != 4) return false;
  std::memcpy(number, value.data.data(), 4);
  return true;
}

std::string ManagedSystem::ServicesKeyPath() {
  const std::string current = "System\\CurrentControlSet\\Services";
  UniqueKey key;
  if (reg::OpenKey(LocalMachine(), current, kKeyRead, key.out()) == kSuccess) return current;
  // A link: "\Registry\Machine\System\ControlSet001" in UTF-16.
  if (reg::OpenKey(LocalMachine(), "System\\CurrentControlSet", kKeyRead, key.out()) == kSuccess) {
    RegistryValue link;
    if (ReadWholeValue(key.get(), "SymbolicLinkValue", &link)) {
      std::string target;
      for (std::size_t i = 0; i + 1 < link.data.size(); i += 2) {
        if (link.data[i] == 0 && link.data[i + 1] == 0) break;
        target += link.data[i + 1] == 0 ? link.data[i] : '?';
      }
      const std::string prefix = "\\registry\\machine\\";
      if (StartsWithIgnoreCase(target, prefix)) return target.substr(prefix.size()) + "\\Services";
    }
  }
  if (reg::OpenKey(LocalMachine(), "System\\Select", kKeyRead, key.out()) == kSuccess) {
    RegistryValue select;
    std::uint32_t number = 0;
    if (ReadWholeValue(key.get(), "Current", &select) && DwordValue(select, &number) && number > 0 &&
        number < 1000) {
      char set[40];
      std::snprintf(set, sizeof set, "System\\ControlSet%03u\\Services", number);
      return set;
    }
  }
  return current;
}

bool ManagedSystem::ListServices(std::vector<ServiceRecord>* services) {
  services->clear();
  UniqueKey key;
  if (reg::OpenKey(LocalMachine(), ServicesKeyPath(), kKeyRead, key.out()) != kSuccess) return false;
  std::vector<char> name(512);
  bool complete = true;
  for (std::uint32_t index = 0;; ++index) {
    if (reg::EnumKey(key.get(), index, name.data(), static_cast<std::uint32_t>(name.size())) != kSuccess)
      break;
    ServiceRecord service;
    if (ReadService(key.get(), name.data(), &service)) {
      services->push_back(std::move(service));
    } else {
      complete = false;
    }
  }
  return complete;
}

bool ManagedSystem::QueryService(const std::string& name, ServiceRecord* service) {
  UniqueKey key;
  return reg::OpenKey(LocalMachine(), ServicesKeyPath(), kKeyRead, key.out()) == kSuccess &&
         ReadService(key.get(), name, service);
}

}  // namespace platform
