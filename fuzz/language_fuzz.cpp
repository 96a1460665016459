// libFuzzer target: a language file (any bytes) through GetString. Every text the
// program knows comes back non-empty and zero-free, whatever the file holds; an id
// the program does not know gives "".
#include <cstdint>
#include <string>

#include "app/language.h"
#include "base/program_context.h"
#include "fuzz/fuzz_support.h"
#include "platform/files.h"
#include "platform/ini_file.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string file = [] {
    fuzz::WorkDir();
    // GetString reads the file from now on, as in the program.
    SetTextLookup(LanguageFileLookup(fuzz::Context()));
    return platform::files::HostPathFromWindows(
        fuzz::System(),
        LanguageFileDir(fuzz::Context()) + "\\" + EncodeFileName(fuzz::Context().languageName) + ".vml");
  }();
  fuzz::WriteHostFile(file, data, size);
  platform::ini::ClearCache(fuzz::System());
  for (unsigned id : {101u, 7000u, 7001u, 7003u, 7011u, 7014u, 7020u, 7025u, 7027u, 7030u}) {
    std::string text = GetString(id);
    if (!HasBuiltInString(id)) {
      FUZZ_CHECK(text.empty());
      continue;
    }
    FUZZ_CHECK(!text.empty() && text.find('\0') == std::string::npos);
    FUZZ_CHECK(text.size() < 1024);
  }
  return 0;
}
