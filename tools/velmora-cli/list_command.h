// "velmora-cli list": every entry of the six locations.
#pragma once

#include <iosfwd>

#include "entries/startup_parameters.h"

namespace velmora::cli {

enum class ListFormat { kTable, kJson };

// Prints the entries of |model|: locations 0 to 5 in order, entries of a location
// by lower-cased name; removed entries are left out.
void PrintEntries(const StartupParameters& model, ListFormat format, std::ostream& out);

// "file", "default" or "none": what the list shows as the entry's icon.
const char* IconKind(const Task& task);

}  // namespace velmora::cli
