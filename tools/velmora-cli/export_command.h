// "velmora-cli export FILE.reg": the startup locations and Velmora's store as a
// registry file that regedit imports into another system (reg_file.h). Enabled entries of the
// Run and RunOnce keys stand in their keys, disabled entries in the store
// (DisabledTasks, with the exact forms of DisabledTaskData). Entries of the
// Startup folders are files, which a registry file cannot carry: the enabled ones
// are named in comments; disabled ones travel in the store like the others.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "changes/startup_parameters.h"
#include "tools/velmora-cli/reg_file.h"

namespace velmora::cli {

// The keys to export, read from the registry as they stand; |model| (scanned)
// supplies the Startup folders' entries for the comments.
std::vector<RegFileKey> CollectExportKeys(const StartupParameters& model);

// Writes the file at |hostPath| in one step, or to |out| when |hostPath| is "-". Returns the exit status (0,
// or 1 with the reason on |err|).
int ExportRegistryFile(const StartupParameters& model, const std::string& hostPath, std::ostream& out,
                       std::ostream& err);

}  // namespace velmora::cli
