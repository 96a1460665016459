// ForEachOnWorkers: every system taken once, whichever worker takes it, and a
// failure on any worker reaching the caller instead of ending the process.
#include "tools/velmora-cli/system_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::cli {
namespace {

TEST(SystemWorkersTest, EveryIndexIsTakenOnceAndAllAreDoneOnReturn) {
  for (std::size_t count : {0u, 1u, 2u, 3u, 500u}) {
    std::vector<std::atomic<int>> taken(count);
    ForEachOnWorkers(count, [&](std::size_t n) { ++taken[n]; });
    for (std::size_t n = 0; n < count; ++n) EXPECT_EQ(taken[n].load(), 1) << n << " of " << count;
  }
}

TEST(SystemWorkersTest, AFailureOnAnyWorkerReachesTheCaller) {
  // Thrown on whichever thread takes the index; uncaught on a worker, it would end
  // the process.
  for (std::size_t failing : {0u, 1u, 250u, 499u}) {
    try {
      ForEachOnWorkers(500, [&](std::size_t n) {
        if (n == failing) throw std::runtime_error("system " + std::to_string(n));
      });
      ADD_FAILURE() << "no failure for " << failing;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), "system " + std::to_string(failing));
    }
  }
}

}  // namespace
}  // namespace velmora::cli
