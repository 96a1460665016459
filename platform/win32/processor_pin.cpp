#include "platform/processor_pin.h"

#include <windows.h>

namespace platform {

struct ProcessorPin::Before {
  DWORD_PTR mask;
};

namespace {

// The processors of the process's affinity; 0 when it cannot be told.
DWORD_PTR ProcessMask() {
  DWORD_PTR process = 0, system = 0;
  return GetProcessAffinityMask(GetCurrentProcess(), &process, &system) ? process : 0;
}

std::size_t CountOf(DWORD_PTR mask) {
  std::size_t count = 0;
  for (; mask; mask &= mask - 1) ++count;
  return count;
}

}  // namespace

std::size_t UsableProcessors() {
  const std::size_t count = CountOf(ProcessMask());
  return count ? count : 1;
}

ProcessorPin::ProcessorPin(std::size_t slot) {
  const DWORD_PTR process = ProcessMask();
  const std::size_t allowed = CountOf(process);
  if (allowed < 2 || slot >= allowed) return;
  DWORD_PTR rest = process;
  for (std::size_t skipped = 0; skipped < slot; ++skipped) rest &= rest - 1;
  const DWORD_PTR mask = SetThreadAffinityMask(GetCurrentThread(), rest & (~rest + 1));
  if (mask != 0) before_ = std::make_unique<Before>(Before{mask});
}

ProcessorPin::~ProcessorPin() {
  if (before_) SetThreadAffinityMask(GetCurrentThread(), before_->mask);
}

}  // namespace platform
