// What the system starts, and when. A Wine prefix runs, at every session start
// (the first Windows program of a session), the machine's RunServicesOnce,
// RunServices and RunOnce keys (both registry views) and the services that start
// automatically; the machine's and the user's Run keys and the user's Startup
// folder run only when the prefix restarts (a plain wineboot). Wine never runs
// the user's RunOnce key or the common Startup folder, and of a Run, RunOnce or
// RunServices key it runs only plain string (REG_SZ) values. Windows runs the Run
// and RunOnce keys and the Startup folders at logon and the services at boot; it
// never runs the RunServices keys, which are Windows 9x's.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class ManagedSystem;
}

namespace velmora {

class Task;

// Why Wine would not start an entry of |location| as |task| stands ("" when it
// would, or when the system is no Wine prefix).
std::string WineSkipReason(platform::ManagedSystem& system, int location, const Task& task);

// When the system starts an entry of |location| if it is enabled: "session" (Wine:
// at every session start), "restart" (Wine: only when the prefix restarts),
// "boot" (Windows: services), "logon" (Windows: Run, RunOnce, Startup folders) or
// "never".
std::string StartsWhen(platform::ManagedSystem& system, int location, const Task& task);

// The same in words, for the table and the window: "Starts every time a Windows
// program starts in this prefix", ...
std::string StartsInWords(const std::string& starts);

// A boot of the prefix starts the entry as it now stands: listed, enabled and in a
// place Wine starts.
bool StartsUnderWine(const Task& task);

// The note shown for an enabled entry that Wine will not start ("" otherwise):
// "Will not start under Wine: <reason>."
std::string WineStartNote(const Task& task);

}  // namespace velmora
