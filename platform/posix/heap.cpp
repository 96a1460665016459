#include "platform/heap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace platform {

#if defined(__GLIBC__)
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
// What a large start-up builds (a listing of a thousand entries and fifty thousand
// definitions uses about 40 MB); untouched pages cost nothing.
constexpr std::size_t kReserve = std::size_t{96} << 20;
// Blocks above this size are mapped on their own, as glibc maps blocks above its
// largest automatic threshold.
constexpr int kOwnMappingFrom = 32 << 20;
}  // namespace

// Each page the heap touches for the first time costs a fault, and on virtual
// machines a fault costs microseconds: start-up would spend more time on them than
// on its work. The heap is instead grown at once by a reserve kept for the whole
// run (freed memory stays), all threads allocate from it, and the kernel is asked
// to back it with 2 MB pages, a fault per 512 small pages. Nothing is touched
// here: a page still costs memory only once used.
void PrepareHeap() {
  if (mallopt(M_ARENA_MAX, 1) != 1) return;  // not glibc's allocator
  mallopt(M_MMAP_THRESHOLD, kOwnMappingFrom);
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kReserve));
  mallopt(M_TOP_PAD, static_cast<int>(kReserve));
  // One allocation larger than the heap's free top makes it grow by the reserve.
  auto* before = static_cast<char*>(sbrk(0));
  char* volatile probe = static_cast<char*>(std::malloc(kLargePage));  // volatile: kept by the optimiser
  auto* after = static_cast<char*>(sbrk(0));
  std::free(probe);
  if (!probe || before == reinterpret_cast<char*>(-1) || after < before + kReserve)
    return;  // not sbrk's heap
  const auto start = reinterpret_cast<std::uintptr_t>(probe);
  const auto first = (start + kLargePage - 1) & ~(kLargePage - 1);
  const auto last = reinterpret_cast<std::uintptr_t>(after) & ~(kLargePage - 1);
  if (last <= first || madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE) != 0) return;
  // The free heap starts where the probe stood. Up to the first large page it can
  // only have small ones, and so can that first page: growing the heap wrote the
  // allocator's mark past the probe, inside it, before the advice. That stretch is
  // taken for good (never freed); untouched, it costs no memory.
  void* volatile beforeFirstLargePage = std::malloc(first + kLargePage - start);  // volatile: kept
  (void)beforeFirstLargePage;
}
#else
void PrepareHeap() {}
#endif

}  // namespace platform
