// "velmora-cli list": every entry of the startup locations.
#pragma once

#include <iosfwd>

#include "entries/startup_parameters.h"

namespace velmora::cli {

enum class ListFormat { kTable, kJson };

// Prints the entries of |model|: the locations the system has (0 to 5, and 6 and
// 7 on a 64-bit one) in number order, entries of a location by lower-cased name;
// removed entries are left out.
void PrintEntries(const StartupParameters& model, ListFormat format, std::ostream& out);

// "file", "default" or "none": what the list shows as the entry's icon.
const char* IconKind(const Task& task);

}  // namespace velmora::cli
