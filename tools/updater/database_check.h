// Whether a definitions database file is one the program can use, checked the way
// the program reads it.
#pragma once

#include <cstddef>
#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora::updater {

struct DatabaseSummary {
  std::string version;              // the date on the first line
  std::size_t definitionCount = 0;  // entries of all sections together
};

// Checks the bytes of a database file: a version line that ReadDefnsVersion
// accepts, a body that decodes into well-formed sections Velmora reads, every
// entry of them readable through the INI reader with a name, printable values and
// (for patterns) a known category, and at least one definition. The body is
// written to |scratchPath| (a Windows path) as a working copy, read back and
// deleted. Returns true with |summary| filled, or false with |problem| saying why.
bool CheckDatabase(platform::ManagedSystem& system, const std::string& bytes, const std::string& scratchPath,
                   DatabaseSummary* summary, std::string* problem);

}  // namespace velmora::updater
