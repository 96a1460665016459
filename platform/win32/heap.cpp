#include "platform/heap.h"

namespace platform {

// The Windows heap commits its memory in large steps of its own.
void PrepareHeap() {}

}  // namespace platform
