// Rating entries from the definitions database. The look-ups themselves are
// members of StartupParameters (FillCategoryCodes, RateAllTasks, RateTask); they
// read the working copy in the program folder.
#pragma once

#include <string>

#include "database/categories.h"

namespace velmora {

// Pattern match of the "SPC" section. A pattern without '*' is found anywhere in
// the name; with '*', the part before it is found first and the rest is matched
// against what follows that occurrence. A remaining pattern ".exe" matches
// anything. Letters compare without regard to case.
bool MatchNamePattern(const std::string& pattern, const std::string& name);

}  // namespace velmora
