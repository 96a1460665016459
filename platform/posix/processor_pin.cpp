#include "platform/processor_pin.h"

#include <sched.h>

#include <algorithm>

namespace platform {

struct ProcessorPin::Before {
  cpu_set_t set;
};

ProcessorPin::ProcessorPin(std::size_t slot) {
  auto before = std::make_unique<Before>();
  // A machine with more processors than a cpu_set_t holds fails here: not pinned.
  if (sched_getaffinity(0, sizeof before->set, &before->set) != 0) return;
  const int allowed = CPU_COUNT(&before->set);
  if (allowed < 2 || slot >= static_cast<std::size_t>(allowed)) return;
  std::size_t seen = 0;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &before->set) || seen++ != slot) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (sched_setaffinity(0, sizeof one, &one) == 0) before_ = std::move(before);
    return;
  }
}

std::size_t UsableProcessors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<std::size_t>(std::max(1, CPU_COUNT(&set)));
}

ProcessorPin::~ProcessorPin() {
  if (before_) sched_setaffinity(0, sizeof before_->set, &before_->set);
}

}  // namespace platform
