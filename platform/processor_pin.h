// Keeping a thread on one processor.
#pragma once

#include <cstddef>
#include <memory>

namespace platform {

// Keeps the calling thread on the |slot|-th of the processors it may run on, until
// this object goes (then it may run where it could before). A batch of workers,
// one per processor, pinned this way is not left with two of them sharing one
// processor while another stands idle, which the scheduler's placement on each
// wake-up does for milliseconds at a time. Nothing is pinned when the thread may
// run on a single processor, or when |slot| is past the last one.
class ProcessorPin {
 public:
  explicit ProcessorPin(std::size_t slot);
  ~ProcessorPin();
  ProcessorPin(const ProcessorPin&) = delete;
  ProcessorPin& operator=(const ProcessorPin&) = delete;

  bool Pinned() const { return before_ != nullptr; }

 private:
  struct Before;  // the processors the thread could run on
  std::unique_ptr<Before> before_;
};

// How many processors the calling thread may run on (at least 1): fewer than the
// machine has under an affinity or a container's set of processors.
std::size_t UsableProcessors();

// The slot of the |nth| helper that a thread started beside itself, when that
// thread keeps (or will keep) slot 0: the other processors, taken in turn. On a
// single processor it is 0, where nothing is pinned.
inline std::size_t HelperSlot(std::size_t nth) {
  const std::size_t usable = UsableProcessors();
  return usable < 2 ? 0 : 1 + nth % (usable - 1);
}

}  // namespace platform
