// The snapshot taken before an apply: copies of the entries as they stand on disk
// (in the entries' snapshot) and the raw state that roll-back writes back.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "changes/service_store.h"
#include "entries/startup_entries.h"

namespace velmora::changes {

// Raw state of the locations and the store just before an apply, which roll-back
// writes back exactly (value types, item bytes).
struct RawState {
  bool valid = false;
  std::array<bool, kLocationCount> readable{};
  std::array<std::string, kLocationCount> folders;           // folder locations: the folder read
  std::array<std::vector<RawValue>, kLocationCount> values;  // registry locations
  std::array<std::vector<RawItem>, kLocationCount> items;    // folder locations
  bool storeReadable = false;
  std::vector<RawValue> store;      // DisabledTasks
  std::vector<RawValue> storeData;  // DisabledTaskData: original forms of stored values
  std::array<std::vector<RawItem>, kLocationCount> keptItems;  // kept copies of disabled items
  // The system's "disabled" marks of each location, which an apply that enables
  // such an entry deletes (only where the system honours them).
  std::array<std::vector<RawValue>, kLocationCount> disabledMarks;
  // Start and DelayedAutostart of every service, and what the store keeps of the
  // services it disabled.
  std::vector<ServiceStartState> services;
  std::vector<ServiceStartState> keptServices;
};

// Replaces the entries' snapshot and |*raw| with what the locations and the store
// hold now; store values whose entry is in its location again are deleted as stale.
void TakeSnapshot(StartupEntries& entries, RawState* raw);

}  // namespace velmora::changes
