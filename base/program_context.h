// What the core needs to know about the running program: its folder, whether
// shortcuts may be read and written, and where message texts come from. The
// application builds one at start-up and hands it to the model, which passes it
// on to whatever needs it; nothing below the application reads a global for it.
#pragma once

#include <functional>
#include <string>

#include "base/message_text.h"

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

struct ProgramContext {
  std::string programDir;  // Windows path of the executable's folder
  // The system whose drives map programDir (and dataDir) to the host: the one
  // the application manages, set by whoever owns the context. Null: the program's
  // files cannot be reached (the built-in texts, no movies).
  platform::ManagedSystem* programFiles = nullptr;
  // Windows path of the folder the program writes its own files in (the
  // database's working copy): programDir, or the user's data folder when the
  // user may not write programDir (an installed copy). Empty: programDir.
  std::string dataDir;
  std::string programName = "Velmora";  // base name of the window program
  std::string languageName = "English";
  std::string stringSection = "StringTable";
  bool comInitialized = true;
  // Message texts by id; empty: the built-in English ones.
  TextLookup textLookup;

  const std::string& WriteDir() const { return dataDir.empty() ? programDir : dataDir; }

  // The text of |id| through textLookup, else the built-in English text; "" for an
  // id that is not in the built-in table.
  std::string Text(unsigned id) const {
    if (!HasBuiltInString(id)) return "";
    return textLookup ? textLookup(id) : std::string(BuiltInString(id));
  }
};

// A context with the defaults above (no program folder, built-in texts), for a
// model that is not given one.
const ProgramContext& DefaultProgramContext();

}  // namespace velmora
