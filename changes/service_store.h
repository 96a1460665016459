// What Velmora keeps of a service it disabled: the service's Start and
// DelayedAutostart values exactly as they stood (type and bytes), under
// HKCU\Software\Orlinsk\Velmora\DisabledServices\<service name>. A value that the
// service did not have is not there either, so enabling writes back, and deletes,
// exactly what makes the service as it was.
#pragma once

#include <string>
#include <vector>

#include "entries/services.h"
#include "platform/managed_system.h"

namespace velmora::changes {

// The two values of a service that disabling changes; an empty name = no such value.
struct ServiceStartState {
  std::string name;  // the service's key name
  RawValue start;
  RawValue delayed;
};

std::string KeptServicesKeyPath();  // Software\Orlinsk\Velmora\DisabledServices
ServiceStartState StartStateOf(const ServiceConfig& config);

// Keeps |state| (replacing what was kept of that service).
bool KeepServiceState(platform::ManagedSystem& system, const ServiceStartState& state, std::string* why);
// What is kept of the service |name|; false when nothing is.
bool KeptServiceState(platform::ManagedSystem& system, const std::string& name, ServiceStartState* state);
// Every kept state (for the snapshot before an apply).
bool AllKeptServiceStates(platform::ManagedSystem& system, std::vector<ServiceStartState>* states);
void ForgetServiceState(platform::ManagedSystem& system, const std::string& name);
// Writes |state| into the service's key under |services|: Start and
// DelayedAutostart set as kept, or deleted where the state has none. A system with
// a running service manager (|system|, the live Windows) is told first, so that
// it knows at once; then only what still differs is written to the key. Deletions
// happen only when |deleting|. False with |why| set when a write failed.
bool WriteServiceState(platform::ManagedSystem& system, platform::HKey services,
                       const ServiceStartState& state, bool deleting, std::string* why);

}  // namespace velmora::changes
