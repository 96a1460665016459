// ProcessorPin: each worker of a batch on a processor of its own among those the
// process may use, and free to run anywhere it could once the pin goes; and how
// many those are.
#include "platform/processor_pin.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <set>
#include <thread>
#include <vector>

namespace platform {
namespace {

std::vector<int> AllowedProcessors() {
  cpu_set_t set;
  std::vector<int> cpus;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

TEST(ProcessorPinTest, EachSlotKeepsItsThreadOnItsOwnProcessorUntilThePinGoes) {
  const std::vector<int> allowed = AllowedProcessors();
  if (allowed.size() < 2) GTEST_SKIP() << "this process may run on one processor only";
  EXPECT_EQ(UsableProcessors(), allowed.size());
  std::set<int> taken;
  for (std::size_t slot = 0; slot <= allowed.size(); ++slot) {
    // On a thread of its own each time, as a worker is: the test's thread stays free.
    std::thread([&] {
      {
        const ProcessorPin pin(slot);
        if (slot == allowed.size()) {
          EXPECT_FALSE(pin.Pinned()) << "a slot past the last processor";
          EXPECT_EQ(AllowedProcessors(), allowed);
          return;
        }
        ASSERT_TRUE(pin.Pinned()) << "slot " << slot;
        const std::vector<int> now = AllowedProcessors();
        ASSERT_EQ(now.size(), 1u) << "slot " << slot;
        EXPECT_EQ(now.front(), allowed[slot]);
        EXPECT_EQ(sched_getcpu(), now.front());
        EXPECT_EQ(UsableProcessors(), 1u) << "what a worker started here would count";
        taken.insert(now.front());
      }
      EXPECT_EQ(AllowedProcessors(), allowed) << "slot " << slot << " after its pin went";
    }).join();
  }
  EXPECT_EQ(taken.size(), allowed.size()) << "every slot a processor of its own";
}

TEST(ProcessorPinTest, HelpersRunOnTheProcessorsBesideTheOneOfSlotZero) {
  const std::vector<int> allowed = AllowedProcessors();
  if (allowed.size() < 2) GTEST_SKIP() << "this process may run on one processor only";
  std::set<std::size_t> slots;
  for (std::size_t nth = 0; nth < 2 * allowed.size(); ++nth) {
    const std::size_t slot = HelperSlot(nth);
    EXPECT_GT(slot, 0u) << "helper " << nth;
    EXPECT_LT(slot, allowed.size()) << "helper " << nth;
    slots.insert(slot);
  }
  EXPECT_EQ(slots.size(), allowed.size() - 1) << "every other processor is taken in turn";
  // A helper started before its leader keeps slot 0 runs beside the leader.
  std::thread([&] {
    int helperCpu = -1;
    std::thread helper([&] {
      const ProcessorPin pin(HelperSlot(0));
      helperCpu = sched_getcpu();
    });
    const ProcessorPin lead(0);
    helper.join();
    EXPECT_EQ(helperCpu, allowed[1]);
    EXPECT_EQ(sched_getcpu(), allowed[0]);
  }).join();
}

TEST(ProcessorPinTest, AThreadThatMayRunOnOneProcessorIsLeftAsItIs) {
  const std::vector<int> allowed = AllowedProcessors();
  ASSERT_FALSE(allowed.empty());
  std::thread([&] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(allowed.back(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(UsableProcessors(), 1u) << "the affinity, not the machine's processors";
    const ProcessorPin pin(0);
    EXPECT_FALSE(pin.Pinned());
    EXPECT_EQ(AllowedProcessors(), std::vector<int>{allowed.back()});
    EXPECT_EQ(HelperSlot(0), 0u) << "no other processor for a helper";
  }).join();
}

}  // namespace
}  // namespace platform
