// Roll-back: the locations and the store return to the raw state of a snapshot.
#pragma once

#include <vector>

#include "changes/apply.h"
#include "changes/snapshot.h"

namespace velmora {

class StartupParameters;

namespace changes {

// Writes back what |raw| holds of the locations and the store; deletes what it
// does not hold only when every write succeeded. Returns the writes that failed.
std::vector<ApplyFailure> RollBackTo(const StartupParameters& model, const RawState& raw);

}  // namespace changes
}  // namespace velmora
