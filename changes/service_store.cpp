#include "changes/service_store.h"

#include "base/text.h"
#include "changes/write_steps.h"
#include "entries/startup_location.h"

namespace velmora::changes {

namespace {

const char* const kStart = "Start";
const char* const kDelayed = "DelayedAutostart";

bool ReadState(platform::HKey key, const std::string& name, ServiceStartState* state) {
  std::vector<platform::RegistryValue> values;
  if (platform::reg::ReadAllValues(key, &values) != platform::kSuccess) return false;
  *state = ServiceStartState{name, {}, {}};
  for (platform::RegistryValue& value : values) {
    RawValue raw{value.name, value.type, std::move(value.data)};
    if (EqualsIgnoreCase(raw.name, kStart)) {
      state->start = std::move(raw);
    } else if (EqualsIgnoreCase(raw.name, kDelayed)) {
      state->delayed = std::move(raw);
    }
  }
  return true;
}

// Sets or deletes one value so that it is |wanted| (deleted when its name is empty).
bool Sync(platform::HKey key, const char* valueName, const RawValue& wanted, bool deleting,
          std::string* why) {
  std::vector<platform::RegistryValue> values;
  if (platform::reg::ReadAllValues(key, &values) != platform::kSuccess) {
    if (why) *why = "could not read the service's key";
    return false;
  }
  const platform::RegistryValue* current = nullptr;
  for (const platform::RegistryValue& value : values) {
    if (EqualsIgnoreCase(value.name, valueName)) current = &value;
  }
  if (wanted.name.empty()) {
    if (!current || !deleting) return true;
    platform::Status status = RemoveValue(key, current->name);
    if (status == platform::kSuccess) return true;
    if (why) *why = FailureText(std::string("delete the service's ") + valueName, status);
    return false;
  }
  if (current && current->type == wanted.type && current->data == wanted.data) return true;
  platform::Status status = SetRawValue(key, valueName, wanted.type, wanted.data);
  if (status == platform::kSuccess) return true;
  if (why) *why = FailureText(std::string("write the service's ") + valueName, status);
  return false;
}

}  // namespace

std::string KeptServicesKeyPath() { return ProgramKeyPath() + "\\DisabledServices"; }

ServiceStartState StartStateOf(const ServiceConfig& config) {
  return {config.name, config.start, config.delayed};
}

bool KeepServiceState(platform::ManagedSystem& system, const ServiceStartState& state, std::string* why) {
  platform::UniqueKey key;
  platform::Status status =
      platform::reg::CreateKey(system.CurrentUser(), KeptServicesKeyPath() + "\\" + state.name, key.out());
  CountWrite();
  if (status != platform::kSuccess) {
    if (why) *why = FailureText("keep the service's start", status);
    return false;
  }
  return Sync(key.get(), kStart, state.start, false, why) &&
         Sync(key.get(), kDelayed, state.delayed, false, why) &&
         Sync(key.get(), kStart, state.start, true, why) &&
         Sync(key.get(), kDelayed, state.delayed, true, why);
}

bool KeptServiceState(platform::ManagedSystem& system, const std::string& name, ServiceStartState* state) {
  platform::UniqueKey key;
  if (platform::reg::OpenKey(system.CurrentUser(), KeptServicesKeyPath() + "\\" + name, platform::kKeyRead,
                             key.out()) != platform::kSuccess)
    return false;
  return ReadState(key.get(), name, state) && !state->start.name.empty();
}

bool AllKeptServiceStates(platform::ManagedSystem& system, std::vector<ServiceStartState>* states) {
  platform::UniqueKey key;
  platform::Status status =
      platform::reg::OpenKey(system.CurrentUser(), KeptServicesKeyPath(), platform::kKeyRead, key.out());
  if (status == platform::kFileNotFound) return true;
  if (status != platform::kSuccess) return false;
  for (const std::string& name : ServiceNames(key.get())) {
    platform::UniqueKey kept;
    ServiceStartState state;
    if (platform::reg::OpenKey(key.get(), name, platform::kKeyRead, kept.out()) != platform::kSuccess ||
        !ReadState(kept.get(), name, &state))
      return false;
    states->push_back(std::move(state));
  }
  return true;
}

void ForgetServiceState(platform::ManagedSystem& system, const std::string& name) {
  platform::UniqueKey key;
  if (platform::reg::OpenKey(system.CurrentUser(), KeptServicesKeyPath() + "\\" + name, platform::kKeyRead,
                             key.out()) != platform::kSuccess)
    return;
  key.reset();
  RemoveKeyTree(system.CurrentUser(), KeptServicesKeyPath() + "\\" + name);
}

bool WriteServiceState(platform::ManagedSystem& system, platform::HKey services,
                       const ServiceStartState& state, bool deleting, std::string* why) {
  ServiceConfig config;
  config.start = state.start;
  std::uint32_t start = 0;
  if (!deleting && config.StartNumber(&start)) {
    bool delayedIsDword = state.delayed.type == platform::kRegDword && state.delayed.data.size() == 4;
    int delayed = delayedIsDword ? (state.delayed.data != std::string(4, '\0') ? 1 : 0) : -1;
    platform::Status status = system.ChangeServiceStart(state.name, start, delayed);
    if (status == platform::kSuccess) CountWrite();
    if (status != platform::kSuccess && status != platform::kNotSupported) {
      if (why) *why = FailureText("change the service's start through the service manager", status);
      return false;
    }
  }
  platform::UniqueKey key;
  platform::Status status = platform::reg::OpenKey(services, state.name, platform::kKeyAllAccess, key.out());
  if (status != platform::kSuccess) {
    if (why) *why = KeyOpenFailureText("the service's key", status);
    return false;
  }
  return Sync(key.get(), kStart, state.start, deleting, why) &&
         Sync(key.get(), kDelayed, state.delayed, deleting, why);
}

}  // namespace velmora::changes
