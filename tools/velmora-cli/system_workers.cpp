#include "tools/velmora-cli/system_workers.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/processor_pin.h"

namespace velmora::cli {

void ForEachOnWorkers(std::size_t count, const std::function<void(std::size_t)>& work) {
  if (count == 0) return;
  std::atomic<std::size_t> next{0};
  std::mutex failing;
  std::exception_ptr failure;
  auto take = [&](std::size_t slot) {
    const platform::ProcessorPin pin(slot);
    try {
      for (std::size_t n = next++; n < count; n = next++) work(n);
    } catch (...) {
      // The first failure ends the batch; it reaches the caller once all have stopped.
      std::lock_guard<std::mutex> lock(failing);
      if (!failure) failure = std::current_exception();
      next = count;
    }
  };
  const std::size_t threads = std::min(std::max<std::size_t>(2, platform::UsableProcessors()), count);
  std::vector<std::thread> workers;
  for (std::size_t slot = 1; slot < threads; ++slot) {
    try {
      workers.emplace_back(take, slot);
    } catch (const std::system_error&) {
      break;  // no more threads: those there are take every index
    }
  }
  // Pinned only now that the workers are started: each took this thread's set of
  // processors when it was made, all of them, not the one this thread keeps.
  take(0);
  for (std::thread& worker : workers) worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace velmora::cli
