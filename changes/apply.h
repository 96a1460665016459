// Writing the pending changes of the entries to their locations and the store.
#pragma once

#include <string>
#include <vector>

#include "entries/startup_entries.h"

namespace velmora {

// One write of an apply or roll-back that did not happen.
struct ApplyFailure {
  int location = -1;
  std::string name;
  std::string reason;
};

namespace changes {

// Writes every changed location; returns the writes that failed (their
// locations keep their change flags).
std::vector<ApplyFailure> ApplyChanges(StartupEntries& entries);

}  // namespace changes
}  // namespace velmora
