// What a boot of a Wine prefix starts. Wine's boot runs the machine's RunOnce and
// Run keys (both registry views), the user's Run key and the user's Startup
// folder; it never runs the user's RunOnce key or the common Startup folder, and
// of a Run or RunOnce key it runs only plain string (REG_SZ) values.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class ManagedSystem;
}

namespace velmora {

class Task;

// Why Wine would not start an entry of |location| whose value has |valueType| (for
// the registry locations); "" when it would, or when the system is no Wine prefix.
std::string WineSkipReason(platform::ManagedSystem& system, int location, std::uint32_t valueType);

// A boot of the prefix starts the entry as it now stands: listed, enabled and in a
// place Wine starts.
bool StartsUnderWine(const Task& task);

// The note shown for an enabled entry that Wine will not start ("" otherwise):
// "Will not start under Wine: <reason>."
std::string WineStartNote(const Task& task);

}  // namespace velmora
