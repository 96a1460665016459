// Work on each system of the machine, spread over its processors.
#pragma once

#include <cstddef>
#include <functional>

namespace velmora::cli {

// Calls |work| once for each index below |count|, on one thread per processor
// the process may use (at least two; the calling thread is one of them). Each thread is kept on a
// processor of its own and takes the next index when it is done with one, so a
// long system holds up one thread only. Returns when every call has returned.
void ForEachOnWorkers(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace velmora::cli
