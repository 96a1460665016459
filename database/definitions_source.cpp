#include "database/definitions_source.h"

#include <set>

#include "base/text.h"
#include "database/categories.h"
#include "database/database_file.h"

namespace velmora {

namespace {

constexpr std::size_t kMaxValueLength = kDatabaseValueSize - 1;

std::vector<std::string> SplitFields(const std::string& line, std::size_t count) {
  // The last field takes the rest of the line, so a description may hold '|'.
  std::vector<std::string> fields;
  std::size_t at = 0;
  while (fields.size() + 1 < count) {
    std::size_t bar = line.find('|', at);
    if (bar == std::string::npos) break;
    fields.push_back(TrimWhiteSpace(line.substr(at, bar - at)));
    at = bar + 1;
  }
  fields.push_back(TrimWhiteSpace(line.substr(at)));
  return fields;
}

bool PrintableAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

std::vector<std::string> SectionOrder() {
  std::vector<std::string> order(kCategoryCodeList.begin(), kCategoryCodeList.end());
  order.push_back(kPatternSection);
  return order;
}

void AppendLine(std::string* text, const std::string& key, const std::string& value) {
  *text += ScrambleText(key) + "=" + ScrambleText(value) + "\r\n";
}

}  // namespace

bool ParseDefinitionsSource(const std::string& text, DefinitionSet* set, std::vector<std::string>* errors) {
  set->version.clear();
  set->definitions.clear();
  std::set<std::string> names;     // lower-cased, across the category sections
  std::set<std::string> patterns;  // lower-cased
  std::size_t errorCount = errors->size();
  auto fail = [&](int line, const std::string& message) {
    errors->push_back("line " + std::to_string(line) + ": " + message);
  };

  int lineNumber = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = TrimWhiteSpace(text.substr(at, end - at));
    at = end + 1;
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("@version", 0) == 0) {
      set->version = TrimWhiteSpace(line.substr(8));
      if (DefnsVersionOf(set->version + "\r\n") != set->version)
        fail(lineNumber, "version must read dd/mm/yyyy");
      continue;
    }
    if (!PrintableAscii(line)) {
      fail(lineNumber, "only printable ASCII characters are allowed");
      continue;
    }
    std::string section = ToUpperAscii(SplitFields(line, 2)[0]);
    bool pattern = section == kPatternSection;
    std::vector<std::string> fields = SplitFields(line, pattern ? 4 : 3);
    if (fields.size() < (pattern ? 3u : 2u)) {
      fail(lineNumber, pattern ? "expected SPC | pattern | CODE | description"
                               : "expected CODE | file name | description");
      continue;
    }
    Definition definition;
    definition.section = section;
    definition.name = fields[1];
    definition.line = lineNumber;
    std::string description = fields.size() > (pattern ? 3u : 2u) ? fields.back() : "";
    definition.description =
        description.empty() || EqualsIgnoreCase(description, "NULL") ? "NULL" : description;
    if (pattern) definition.category = ToUpperAscii(fields[2]);

    if (!pattern && !IsCategoryCode(section)) {
      fail(lineNumber, "unknown category code \"" + fields[0] + "\"");
      continue;
    }
    if (pattern && !IsCategoryCode(definition.category)) {
      fail(lineNumber, "unknown category code \"" + fields[2] + "\" for the pattern");
      continue;
    }
    if (definition.name.empty()) {
      fail(lineNumber, "the file name or pattern is empty");
      continue;
    }
    if (!pattern && definition.name.find_first_of("\\/*") != std::string::npos) {
      fail(lineNumber, "a category entry names a bare file name, without folder or '*'");
      continue;
    }
    if (definition.name.size() > kMaxValueLength || definition.description.size() > kMaxValueLength) {
      fail(lineNumber, "a name or description longer than 259 characters would be cut");
      continue;
    }
    std::string folded = ToLowerAscii(definition.name);
    if (!(pattern ? patterns : names).insert(folded).second) {
      fail(lineNumber, (pattern ? "pattern \"" : "file name \"") + definition.name + "\" is defined twice");
      continue;
    }
    set->definitions.push_back(std::move(definition));
  }
  if (set->version.empty()) errors->push_back("the source gives no @version line");
  return errors->size() == errorCount;
}

std::string FormatDefinitionsSource(const DefinitionSet& set) {
  std::string text = "@version " + set.version + "\n";
  for (const std::string& section : SectionOrder()) {
    for (const Definition& d : set.definitions) {
      if (d.section != section) continue;
      text += d.section + " | " + d.name + " | ";
      if (section == kPatternSection) text += d.category + " | ";
      text += d.description + "\n";
    }
  }
  return text;
}

std::string BuildWorkingCopyText(const std::vector<Definition>& definitions) {
  std::string text;
  for (const std::string& section : SectionOrder()) {
    int n = 0;
    for (const Definition& d : definitions) {
      if (!EqualsIgnoreCase(d.section, section)) continue;
      if (n == 0) text += (text.empty() ? "[" : "\r\n[") + ScrambleText(section) + "]\r\n";
      std::string number = std::to_string(n++);
      AppendLine(&text, "PRON" + number, d.name);
      AppendLine(&text, "PROD" + number, d.description);
      if (section == kPatternSection) AppendLine(&text, "PROT" + number, d.category);
    }
  }
  return text;
}

std::vector<Definition> ReadWorkingCopy(platform::ManagedSystem& system, const std::string& iniPath) {
  std::vector<Definition> definitions;
  for (const std::string& section : SectionOrder()) {
    bool pattern = section == kPatternSection;
    for (int n = 0;; ++n) {
      std::string number = std::to_string(n);
      std::uint32_t count = 0;
      std::string name =
          TrimWhiteSpace(ReadDatabaseString(system, section, "PRON" + number, "", iniPath, &count));
      if (count == 0) break;
      Definition d;
      d.section = section;
      d.name = name;
      d.description = ReadDatabaseString(system, section, "PROD" + number, "NULL", iniPath);
      if (pattern) {
        d.description = TrimWhiteSpace(d.description);
        d.category = TrimWhiteSpace(ReadDatabaseString(system, section, "PROT" + number, "NULL", iniPath));
      }
      definitions.push_back(std::move(d));
    }
  }
  return definitions;
}

}  // namespace velmora
