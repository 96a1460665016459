#include "tools/updater/database_check.h"

#include <map>
#include <set>
#include <vector>

#include "database/categories.h"
#include "database/database_file.h"
#include "database/definitions_source.h"
#include "platform/files.h"
#include "platform/ini_file.h"

namespace velmora::updater {

namespace {

// What one section of the body holds: the entry numbers of each kind of key.
struct SectionLayout {
  std::set<unsigned long> names;         // PRON<n>
  std::set<unsigned long> descriptions;  // PROD<n>
  std::set<unsigned long> categories;    // PROT<n>, patterns only
  int firstLine = 0;
};

std::string Trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

bool KnownSection(const std::string& name) {
  if (name == kPatternSection) return true;
  for (const char* code : kCategoryCodeList) {
    if (name == code) return true;
  }
  return false;
}

// "PRON12" gives kind "PRON" and number 12. The number must be written as the
// program asks for it: decimal, without leading zeros.
bool ParseKey(const std::string& key, std::string* kind, unsigned long* number) {
  if (key.size() < 5) return false;
  *kind = key.substr(0, 4);
  if (*kind != "PRON" && *kind != "PROD" && *kind != "PROT") return false;
  std::string digits = key.substr(4);
  if (digits.size() > 9 || (digits.size() > 1 && digits[0] == '0')) return false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  *number = std::stoul(digits);
  return true;
}

bool ReadableText(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

// Walks the decoded body line by line. The first line of the body is line 2 of
// the file.
bool ReadLayout(const std::string& body, std::map<std::string, SectionLayout>* sections,
                std::string* problem) {
  const std::string damaged = ": the file is damaged or was not made for Velmora";
  SectionLayout* current = nullptr;
  std::string currentName;
  int lineNumber = 1;
  std::size_t at = 0;
  while (at < body.size()) {
    ++lineNumber;
    std::size_t end = body.find('\n', at);
    if (end == std::string::npos) {
      if (!Trim(body.substr(at)).empty()) {
        *problem = "line " + std::to_string(lineNumber) + " is not complete: the file seems cut short";
        return false;
      }
      break;
    }
    std::string line = Trim(body.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == ';') continue;
    std::string where = "line " + std::to_string(lineNumber);
    if (line[0] == '[') {
      if (line.back() != ']') {
        *problem = where + " is a broken section heading" + damaged;
        return false;
      }
      currentName = UnscrambleText(Trim(line.substr(1, line.size() - 2)));
      if (!KnownSection(currentName)) {
        *problem = where + " starts a section Velmora does not read" + damaged;
        return false;
      }
      current = &(*sections)[currentName];
      if (current->firstLine == 0) current->firstLine = lineNumber;
      continue;
    }
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      *problem = where + " is neither a section heading nor a value" + damaged;
      return false;
    }
    if (!current) {
      *problem = where + " holds a value outside every section" + damaged;
      return false;
    }
    std::string kind;
    unsigned long number = 0;
    std::string key = UnscrambleText(Trim(line.substr(0, equals)));
    if (!ParseKey(key, &kind, &number) || (kind == "PROT" && currentName != kPatternSection)) {
      *problem = where + " holds a value Velmora does not read" + damaged;
      return false;
    }
    std::set<unsigned long>& numbers = kind == "PRON"   ? current->names
                                       : kind == "PROD" ? current->descriptions
                                                        : current->categories;
    numbers.insert(number);
  }
  return true;
}

// Every entry the file holds must be one the program reads: it reads a section
// from entry 0 up to the first missing name.
bool CheckSection(const std::string& name, const SectionLayout& layout, const std::vector<Definition>& read,
                  std::string* problem) {
  std::string where = "section " + name + " (from line " + std::to_string(layout.firstLine) + ")";
  std::size_t count = read.size();
  if (layout.names.size() != count) {
    *problem = where + " holds " + std::to_string(layout.names.size()) + " entries, of which only " +
               std::to_string(count) + " can be read: the entry numbers do not run from 0 without a gap";
    return false;
  }
  for (const std::set<unsigned long>* numbers : {&layout.descriptions, &layout.categories}) {
    if (!numbers->empty() && *numbers->rbegin() >= count) {
      *problem =
          where + " holds a value of entry " + std::to_string(*numbers->rbegin()) + ", which has no name";
      return false;
    }
  }
  for (std::size_t n = 0; n < count; ++n) {
    const Definition& d = read[n];
    std::string entry = where + ", entry " + std::to_string(n);
    if (d.name.empty()) {
      *problem = entry + " has an empty name";
      return false;
    }
    if (!ReadableText(d.name) || !ReadableText(d.description) || !ReadableText(d.category)) {
      *problem = entry + " holds unreadable characters: the file is damaged or was not made for Velmora";
      return false;
    }
    if (name == kPatternSection && !IsCategoryCode(d.category)) {
      *problem = entry + " (pattern \"" + d.name + "\") gives no known category";
      return false;
    }
  }
  return true;
}

}  // namespace

bool CheckDatabase(platform::ManagedSystem& system, const std::string& bytes, const std::string& scratchPath,
                   DatabaseSummary* summary, std::string* problem) {
  *summary = DatabaseSummary();
  problem->clear();
  if (bytes.empty()) {
    *problem = "the file is empty";
    return false;
  }
  summary->version = DefnsVersionOf(bytes);
  if (summary->version.empty()) {
    *problem = "its first line is not a version of the form dd/mm/yyyy ended by CR LF";
    return false;
  }
  std::string body;
  if (!ExtractPlainBody(bytes, &body)) {
    *problem = "it holds no definitions after its version line";
    return false;
  }
  std::map<std::string, SectionLayout> sections;
  if (!ReadLayout(body, &sections, problem)) return false;
  if (sections.empty()) {
    *problem = "it holds no definitions";
    return false;
  }

  // Read it as the program does: through the INI reader, from a working copy.
  if (platform::files::WriteAtomic(system, scratchPath, body) != platform::kSuccess) {
    *problem = "it could not be checked: " + platform::LastErrorDetail();
    return false;
  }
  std::vector<Definition> definitions = ReadWorkingCopy(system, scratchPath);
  platform::ini::ClearCache(system);
  platform::files::RemoveFile(system, scratchPath);

  std::map<std::string, std::vector<Definition>> bySection;
  for (Definition& d : definitions) bySection[d.section].push_back(std::move(d));
  for (const auto& [name, layout] : sections) {
    if (!CheckSection(name, layout, bySection[name], problem)) return false;
    summary->definitionCount += bySection[name].size();
  }
  if (summary->definitionCount == 0) {
    *problem = "it holds no definitions";
    return false;
  }
  return true;
}

}  // namespace velmora::updater
