#include "platform/processor_pin.h"

#include <windows.h>

namespace platform {

struct ProcessorPin::Before {
  DWORD_PTR mask;
};

ProcessorPin::ProcessorPin(std::size_t slot) {
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return;
  std::size_t allowed = 0;
  for (DWORD_PTR rest = process; rest; rest &= rest - 1) ++allowed;
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
