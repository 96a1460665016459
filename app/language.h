// Message texts and the names of the program's data files.
#pragma once

#include <cstdint>
#include <string>

#include "base/message_text.h"
#include "base/program_context.h"

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

// Text by message id from the language file of |program|.languageName (read
// through its programFiles), else the built-in English one; "" for an id that is
// not in the built-in table.
std::string LanguageString(const ProgramContext& program, unsigned id);
// A lookup of the language file's texts for |program|, which it refers to (and
// which must outlive it): programDir, programFiles and the language as they are
// when a text is asked for.
TextLookup LanguageFileLookup(const ProgramContext& program);
std::string UnescapeText(const std::string& text);
std::uint32_t RotateKey(std::uint32_t id);
std::string EncodeFileName(const std::string& name);
// The numbered data folder of |seed| under |programDir|.
std::string DataDirPath(const std::string& programDir, unsigned seed);
// The same under |program|.programDir, created when missing through |system|.
std::string MakeDataDir(platform::ManagedSystem& system, const ProgramContext& program, unsigned seed);
// The data folders of |program|, made through its programFiles; without one, only
// their paths (nothing is made there, and nothing is found).
std::string LanguageFileDir(const ProgramContext& program);  // seed 4
std::string HelpFileDir(const ProgramContext& program);      // seed 6
std::string MovieDir(const ProgramContext& program);         // seed 7

// The C runtime generator: srand/rand as the platform's runtime computes them.
class CRandom {
 public:
  explicit CRandom(std::uint32_t seed) : state_(seed) {}
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

 private:
  std::uint32_t state_;
};

}  // namespace velmora
