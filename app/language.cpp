#include "app/language.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/ini_file.h"

namespace velmora {

std::string UnescapeText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == 't')) {
      out += text[i + 1] == 'n' ? '\n' : '\t';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::uint32_t RotateKey(std::uint32_t id) { return (id << 4) | (id >> 28); }

std::string EncodeFileName(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out += std::to_string(static_cast<int>(static_cast<signed char>(c)));
  }
  return out;
}

std::string DataDirPath(const std::string& programDir, unsigned seed) {
  CRandom random(seed);
  std::string first = programDir + "\\" + std::to_string(random.Next());
  return first + "\\" + std::to_string(random.Next());
}

std::string MakeDataDir(platform::ManagedSystem& system, const ProgramContext& program, unsigned seed) {
  std::string path = DataDirPath(program.programDir, seed);
  std::string first = path.substr(0, path.rfind('\\'));
  // Within one pass over the entries (while the file system's look-ups are kept)
  // the folders are made once, not for every text that an entry needs.
  // Kept by system as well as by path: each system counts its own passes, and the
  // same Windows path may lead to another host folder through another system.
  static std::map<std::pair<const platform::ManagedSystem*, std::string>, std::uint64_t> madeIn;
  // Texts are asked for on several threads at once (systems listed side by side).
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  std::uint64_t generation = platform::files::PathLookupGeneration(system);
  auto key = std::make_pair(&system, path);
  auto made = madeIn.find(key);
  if (generation != 0 && made != madeIn.end() && made->second == generation) return path;
  platform::files::MakeDirectory(system, first);
  platform::files::MakeDirectory(system, path);
  madeIn[std::move(key)] = platform::files::PathLookupGeneration(system);
  return path;
}

namespace {

// The data folder |seed| of the program, made through the system of its files;
// without one, its path alone (nothing can be found there then).
std::string ProgramDataDir(const ProgramContext& program, unsigned seed) {
  if (!program.programFiles) return DataDirPath(program.programDir, seed);
  return MakeDataDir(*program.programFiles, program, seed);
}

}  // namespace

std::string LanguageFileDir(const ProgramContext& program) { return ProgramDataDir(program, 4); }
std::string HelpFileDir(const ProgramContext& program) { return ProgramDataDir(program, 6); }
std::string MovieDir(const ProgramContext& program) { return ProgramDataDir(program, 7); }

std::string LanguageString(const ProgramContext& program, unsigned id) {
  if (!HasBuiltInString(id)) return "";
  // Without a system to read the program's files through, the built-in texts.
  if (!program.programFiles) return BuiltInString(id);
  platform::ManagedSystem& system = *program.programFiles;
  // Read only: the folder is not made for a look-up (a text is asked for once per
  // entry read, on whichever thread reads it).
  std::string path =
      DataDirPath(program.programDir, 4) + "\\" + EncodeFileName(program.languageName) + ".vml";
  std::string builtIn = BuiltInString(id);
  std::string key = std::to_string(static_cast<std::int32_t>(RotateKey(id)));

  std::string section = program.stringSection;
  std::reverse(section.begin(), section.end());
  std::vector<char> buffer(1024, 0);
  platform::ini::ReadString(system, section, key, builtIn, buffer.data(), 1024, path);
  std::string text(buffer.data());

  if (!text.empty() && text[0] == '*') {
    text.erase(0, 1);
    std::reverse(text.begin(), text.end());
  }
  text = UnescapeText(text);
  return text.empty() ? builtIn : text;
}

TextLookup LanguageFileLookup(const ProgramContext& program) {
  return [&program](unsigned id) { return LanguageString(program, id); };
}

}  // namespace velmora
