// vlmdb-pack: packs the readable definitions source into the database file, and
// prints a database back as source text.
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "database/database_file.h"
#include "database/definitions_source.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/managed_system.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "Usage: vlmdb-pack pack SOURCE DATABASE [--version dd/mm/yyyy]\n"
    "       vlmdb-pack unpack DATABASE\n"
    "       vlmdb-pack verify SOURCE DATABASE\n"
    "\n"
    "pack    checks the definitions in SOURCE and writes them to DATABASE, scrambled,\n"
    "        after the version line (the source's @version unless --version is given)\n"
    "unpack  prints the definitions of DATABASE as source text, read as the program\n"
    "        reads them\n"
    "verify  checks that DATABASE holds exactly the definitions of SOURCE\n"
    "\n"
    "Exit status: 0 success, 1 failure (with a message), 2 wrong usage.\n";

int Fail(const std::string& message) {
  std::cerr << "vlmdb-pack: " << message << "\n";
  return 1;
}

int UsageError(const std::string& message) {
  std::cerr << "vlmdb-pack: " << message << "\n\n" << kUsage;
  return 2;
}

// A name part that no other run of the packer picks at the same time.
std::string UniqueSuffix() { return std::to_string(std::random_device{}()); }

bool ReadFile(const std::string& path, std::string* bytes) {
  return platform::files::ReadHostFile(path, bytes) == platform::kSuccess;
}

// For files that are removed again before the packer ends: not flushed to disk.
bool WriteScratch(const std::string& path, const std::string& bytes) {
  return platform::files::WriteHostScratchFile(path, bytes) == platform::kSuccess;
}

// The definitions of a database file as the program reads them from its working
// copy: the body is decoded into a temporary file and read through the INI reader.
bool ReadDatabase(const std::string& path, DefinitionSet* set, std::string* error) {
  // The working copy is read as the program reads it, by a host path through a system.
  std::unique_ptr<platform::ManagedSystem> owned = platform::DefaultSystem();
  platform::ManagedSystem& system = *owned;
  std::string bytes;
  if (!ReadFile(path, &bytes)) {
    *error = "cannot read " + path;
    return false;
  }
  set->version = DefnsVersionOf(bytes);
  if (set->version.empty()) {
    *error = path + " has no version line of the form dd/mm/yyyy ended by CR LF within its first 256 bytes";
    return false;
  }
  std::string body;
  ExtractPlainBody(bytes, &body);
  fs::path copy = fs::temp_directory_path() / ("vlmdb-pack-" + UniqueSuffix() + ".ini");
  if (!WriteScratch(copy.string(), body)) {
    *error = "cannot write the temporary file " + copy.string();
    return false;
  }
  set->definitions = ReadWorkingCopy(system, copy.string());
  platform::ini::ClearCache(system);
  std::error_code ignored;
  fs::remove(copy, ignored);
  return true;
}

bool LoadSource(const std::string& path, DefinitionSet* set) {
  std::string text;
  if (!ReadFile(path, &text)) {
    Fail("cannot read " + path);
    return false;
  }
  std::vector<std::string> errors;
  if (!ParseDefinitionsSource(text, set, &errors)) {
    for (const std::string& error : errors) std::cerr << path << ": " << error << "\n";
    return false;
  }
  return true;
}

// The differences between what the source defines and what the database holds,
// compared in working-copy order.
std::vector<std::string> Differences(const DefinitionSet& expected, const DefinitionSet& found) {
  std::vector<std::string> out;
  if (expected.version != found.version) {
    out.push_back("version: expected " + expected.version + ", found " + found.version);
  }
  std::istringstream a(FormatDefinitionsSource(expected));
  std::istringstream b(FormatDefinitionsSource(found));
  std::string lineA, lineB;
  for (int n = 0;; ++n) {
    bool moreA = static_cast<bool>(std::getline(a, lineA));
    bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) break;
    if (n == 0) continue;  // the version line, compared above
    if (!moreA) {
      out.push_back("not in the source: " + lineB);
    } else if (!moreB) {
      out.push_back("missing from the database: " + lineA);
    } else if (lineA != lineB) {
      out.push_back("expected: " + lineA + "\n  found:    " + lineB);
    }
  }
  return out;
}

int Pack(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::string version;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--version") {
      if (i + 1 >= args.size()) return UsageError("--version needs a date");
      version = args[++i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) return UsageError("pack needs SOURCE and DATABASE");
  DefinitionSet set;
  if (!LoadSource(positional[0], &set)) return 1;
  if (!version.empty()) {
    if (DefnsVersionOf(version + "\r\n") != version) return Fail("the version must read dd/mm/yyyy");
    set.version = version;
  }
  std::string file = BuildDatabaseFile(set.version, BuildWorkingCopyText(set.definitions));

  // What was packed must read back exactly, through the reader the program uses.
  std::string check = positional[1] + ".check" + UniqueSuffix();
  if (!WriteScratch(check, file)) return Fail("cannot write " + check);
  DefinitionSet readBack;
  std::string error;
  bool read = ReadDatabase(check, &readBack, &error);
  std::error_code ignored;
  fs::remove(check, ignored);
  if (!read) return Fail(error);
  std::vector<std::string> differences = Differences(set, readBack);
  if (!differences.empty()) {
    for (const std::string& d : differences) std::cerr << "vlmdb-pack: does not read back: " << d << "\n";
    return 1;
  }
  if (platform::files::WriteHostFileAtomic(positional[1], file) != platform::kSuccess)
    return Fail("cannot write " + positional[1]);
  return 0;
}

int Unpack(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("unpack needs DATABASE");
  DefinitionSet set;
  std::string error;
  if (!ReadDatabase(args[0], &set, &error)) return Fail(error);
  std::cout << FormatDefinitionsSource(set);
  std::cout.flush();
  return std::cout ? 0 : 1;
}

int Verify(const std::vector<std::string>& args) {
  if (args.size() != 2) return UsageError("verify needs SOURCE and DATABASE");
  DefinitionSet expected;
  if (!LoadSource(args[0], &expected)) return 1;
  DefinitionSet found;
  std::string error;
  if (!ReadDatabase(args[1], &found, &error)) return Fail(error);
  std::vector<std::string> differences = Differences(expected, found);
  for (const std::string& d : differences) std::cerr << "vlmdb-pack: " << d << "\n";
  if (!differences.empty()) return 1;
  std::cout << args[1] << ": " << found.definitions.size() << " definitions, version " << found.version
            << ", as in " << args[0] << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("a command is needed");
  std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "pack") return Pack(args);
  if (command == "unpack") return Unpack(args);
  if (command == "verify") return Verify(args);
  return UsageError("unknown command: " + command);
}
