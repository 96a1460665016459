// Message texts and the names of the program's data files.
#pragma once

#include <cstdint>
#include <string>

#include "base/message_text.h"

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

// Text by message id from the language file of Program().languageName, else the
// built-in English one; "" for an id that is not in the built-in table.
std::string LanguageString(unsigned id);
// Makes GetString (base/message_text.h) read the language file.
void UseLanguageFile();
std::string UnescapeText(const std::string& text);
std::uint32_t RotateKey(std::uint32_t id);
std::string EncodeFileName(const std::string& name);
// The numbered data folder of |seed| under programDir.
std::string DataDirPath(unsigned seed);
// The same, created when missing.
std::string MakeDataDir(platform::ManagedSystem& system, unsigned seed);
std::string LanguageFileDir(platform::ManagedSystem& system);  // seed 4
std::string HelpFileDir(platform::ManagedSystem& system);      // seed 6
std::string MovieDir(platform::ManagedSystem& system);         // seed 7

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
