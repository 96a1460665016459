#include "entries/program_path.h"

#include "base/text.h"

namespace velmora {

std::string ExtractProgramPath(const std::string& command) {
  std::string text = command;
  std::size_t quote = text.rfind('"');
  if (quote != std::string::npos) text = text.substr(0, quote);
  if (text.find('"') != std::string::npos && !text.empty()) text.erase(0, 1);
  // A switch cuts the text at the first slash: C:/Apps/app.exe gives C:.
  std::size_t slash = text.find('/');
  if (slash != std::string::npos) text = text.substr(0, slash);
  std::size_t hyphen = text.rfind('-');
  if (hyphen != std::string::npos) {
    std::string after = ToLowerAscii(text.substr(hyphen + 1));
    if (after.find(".exe") == std::string::npos) text = text.substr(0, hyphen);
  }
  return TrimWhiteSpace(text);
}

}  // namespace velmora
