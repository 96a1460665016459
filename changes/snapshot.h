// The snapshot: copies of the entries as they stood on disk, and, once taken before
// an apply, the raw state that roll-back writes back.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "changes/service_store.h"
#include "entries/startup_location.h"
#include "entries/task.h"

namespace velmora {

// A file of a Startup folder exactly as it stands on disk.
struct RawItem {
  std::string name;
  std::string bytes;
};

namespace changes {

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

// The model's snapshot. At start-up it holds copies of the entries read (scans
// and store); TakeSnapshot replaces it whole before an apply.
struct Snapshot {
  TaskMap entries;  // by snapshot key, each copy with its location set
  RawState raw;
};

}  // namespace changes
}  // namespace velmora
