// Program-wide values that the application object owns and the core reads.
#pragma once

#include <string>

namespace velmora {

struct ProgramContext {
  std::string programDir;               // Windows path of the executable's folder
  std::string programName = "Velmora";  // base name of the window program
  std::string languageName = "English";
  std::string stringSection = "StringTable";
  bool comInitialized = true;
};

ProgramContext& Program();

}  // namespace velmora
