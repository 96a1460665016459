// "velmora-cli profile list|save NAME [--replace]|load NAME|delete NAME".
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "changes/startup_parameters.h"

namespace velmora::cli {

// |args| holds the word "profile" and what follows. "load" applies at once. The
// model belongs to a started application (which holds the single-instance lock).
// Returns 0 when done, 1 on a failure (printed to |err|), 2 on wrong usage.
int RunProfileCommand(const std::vector<std::string>& args, StartupParameters& model, std::ostream& out,
                      std::ostream& err);

}  // namespace velmora::cli
