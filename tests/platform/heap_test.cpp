// PrepareHeap: start-up's many small objects land on large pages, so that touching
// megabytes of them costs a handful of page faults instead of one per 4 KB page.
#include "platform/heap.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define VELMORA_OWN_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELMORA_OWN_ALLOCATOR 1
#endif

namespace platform {
namespace {

std::string ReadText(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

long VmStat(const std::string& name) {
  std::istringstream lines(ReadText("/proc/vmstat"));
  std::string key;
  long value = 0;
  while (lines >> key >> value) {
    if (key == name) return value;
  }
  return 0;
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

TEST(HeapTest, SmallObjectsOfAPreparedHeapFillLargePages) {
#if defined(VELMORA_OWN_ALLOCATOR)
  GTEST_SKIP() << "the sanitizer's allocator keeps its own heap";
#endif
  const std::string mode = ReadText("/sys/kernel/mm/transparent_hugepage/enabled");
  if (mode.find("[always]") == std::string::npos && mode.find("[madvise]") == std::string::npos)
    GTEST_SKIP() << "this system gives no large pages to programs";
  PrepareHeap();
  PrepareHeap();  // a second call changes nothing that matters

  const long fallbacksBefore = VmStat("thp_fault_fallback");
  const long faultsBefore = MinorFaults();
  // About 28 MB: some 7,000 pages of 4 KB.
  std::vector<std::unique_ptr<std::string>> objects;
  for (int i = 0; i < 250000; ++i)
    objects.push_back(std::make_unique<std::string>(48, static_cast<char>('a' + i % 26)));
  const long faults = MinorFaults() - faultsBefore;
  if (VmStat("thp_fault_fallback") > fallbacksBefore)
    GTEST_SKIP() << "the system ran out of free large pages";

  EXPECT_LT(faults, 300);
  EXPECT_EQ(*objects[249999], std::string(48, static_cast<char>('a' + 249999 % 26)));
  // What is freed comes back in use; a block above the heap's own mapping size works.
  objects.clear();
  std::string large(40u << 20, 'z');
  EXPECT_EQ(large[large.size() - 1], 'z');
}

}  // namespace
}  // namespace platform
