// From a command line to the program it starts.
#pragma once

#include <string>

namespace velmora {

// The program path of a command (pure text processing, no file-system access).
std::string ExtractProgramPath(const std::string& command);

}  // namespace velmora
