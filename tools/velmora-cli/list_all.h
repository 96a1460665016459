// "velmora-cli list --all": the entries of every system of the machine, each row
// naming its system.
#pragma once

#include <cstddef>
#include <future>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/known_systems.h"
#include "platform/managed_system.h"
#include "platform/processes.h"
#include "tools/velmora-cli/list_command.h"

namespace velmora::cli {

using ProcessTable = std::shared_ptr<const platform::HostProcessTable>;

// The host's process table, read on a thread of its own, kept off the calling
// thread's processor as helper |helper| (platform::HelperSlot); read by the first
// get() when no thread can be had.
std::future<ProcessTable> ReadProcessTableBeside(std::size_t helper);

// What one system gave the listing.
struct SystemListing {
  std::string text;                  // the table or the CSV records
  std::vector<std::string> objects;  // the JSON objects
  std::string note;                  // why what was read may lag what the system holds
  std::string error;                 // why it could not be listed; "" when it was
};

// Lists the entries of |system| (found as |known|) as |options| asks, with its
// own model; reads nothing of any other system but the program's own files (the
// definitions and texts of |program|, through its programFiles).
SystemListing ListOneSystem(const ProgramContext& program, platform::ManagedSystem& system,
                            const platform::KnownSystem& known, const ListOptions& options);

// Lists every system found, each with |program|'s definitions and texts. A system
// that cannot be read is said on |err| and the others are listed; the status is
// then 1. |current|, the system the program started on (may be null), is listed
// from what start-up read of it when it is a Wine prefix among them, not read
// again; what it holds of its registry is forgotten after.
int ListEverySystem(const ProgramContext& program, platform::ManagedSystem* current,
                    const ListOptions& options, std::ostream& out, std::ostream& err);

}  // namespace velmora::cli
