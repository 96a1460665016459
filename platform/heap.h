// The process's own memory.
#pragma once

namespace platform {

// Readies the heap for start-up, which builds hundreds of thousands of small
// objects (a Wine hive alone is about ten thousand keys) in a few milliseconds.
// Call it first thing in main, before any thread starts. Harmless where it does
// not apply: every allocation works as before.
void PrepareHeap();

}  // namespace platform
