// The readable source of a definitions database, and the working-copy text that
// the packer builds from it.
//
// Source format, one definition a line, fields separated by '|' and trimmed:
//   CODE | file name | description
//   SPC  | pattern   | CODE | description
// CODE is one of the eleven category codes; a description that is empty or "NULL"
// stands for the category's standard text. Lines starting with '#' and blank lines
// are ignored; "@version dd/mm/yyyy" gives the database's version.
#pragma once

#include <string>
#include <vector>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

struct Definition {
  std::string section;      // category code, or "SPC"
  std::string name;         // bare file name, or the pattern of an "SPC" line
  std::string description;  // "NULL" for the standard description
  std::string category;     // the code an "SPC" pattern gives; empty otherwise
  int line = 0;             // source line, for messages
};

struct DefinitionSet {
  std::string version;
  std::vector<Definition> definitions;
};

// Parses and checks a source: known codes, printable ASCII, values of at most 259
// characters, bare file names, no name defined twice among the category sections
// and no pattern twice. Errors name their line; false when there is any.
bool ParseDefinitionsSource(const std::string& text, DefinitionSet* set, std::vector<std::string>* errors);
// The source text of a set, one line per definition in working-copy order.
std::string FormatDefinitionsSource(const DefinitionSet& set);

// The working copy's text: the category sections in look-up order, then "SPC",
// each definition numbered from 0 within its section, every name and value
// scrambled, lines ended by CR LF. Sections without definitions are left out.
std::string BuildWorkingCopyText(const std::vector<Definition>& definitions);

// Reads every definition back from a working copy as the program reads it: each
// section from entry 0 up to the first missing name.
std::vector<Definition> ReadWorkingCopy(platform::ManagedSystem& system, const std::string& iniPath);

}  // namespace velmora
