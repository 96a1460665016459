// "velmora-cli seen": the entries as they stand become the ones seen.
#include <ostream>

#include "changes/seen_entries.h"
#include "tools/velmora-cli/command.h"

namespace velmora::cli {

namespace {

int RunSeen(const Operands&, StartupParameters& model, std::ostream& out, std::ostream& err) {
  model.ScanAllLocations();
  model.ReadDisabledTasks();
  std::string error;
  if (!changes::SeenEntries::Write(model, &error)) {
    err << "velmora-cli: " << error << "\n";
    return 1;
  }
  out << "The entries as they stand now are marked as seen.\n";
  return 0;
}

}  // namespace

// The record is Velmora's own: it may be kept on any system that can be listed.
const Command kSeenCommand = {
    "seen",
    "",
    "marks the entries as they stand now as seen\n",
    Writes::kOwnRecord,
    [](const Operands& operands) { return operands.empty() ? std::string() : "seen takes no arguments"; },
    RunSeen};

}  // namespace velmora::cli
