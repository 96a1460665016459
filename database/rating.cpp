#include "database/rating.h"

#include <unordered_map>
#include <vector>

#include "base/message_text.h"
#include "base/program_context.h"
#include "base/text.h"
#include "database/database_file.h"
#include "entries/startup_parameters.h"

namespace velmora {

namespace {

constexpr unsigned kNoInformationId = text_id::kNoInformation;

std::string Key(const char* stem, int n) { return stem + std::to_string(n); }

// The standard descriptions met during one pass, each looked up once.
class StandardTexts {
 public:
  const std::string& Get(const std::string& code) {
    std::string folded = ToUpperAscii(code);
    auto it = texts_.find(folded);
    if (it == texts_.end()) it = texts_.emplace(folded, StandardDescription(code)).first;
    return it->second;
  }

 private:
  std::unordered_map<std::string, std::string> texts_;
};

void SetRating(Task& task, const std::string& description, const std::string& code, StandardTexts& texts) {
  task.description = EqualsIgnoreCase(description, "NULL") ? texts.Get(code) : description;
  task.rating = RatingName(code);
}

std::string DatabaseFile() { return WorkingCopyPath(Program().programDir); }

}  // namespace

bool MatchNamePattern(const std::string& pattern, const std::string& name) {
  std::string restPattern = pattern;
  std::string restName = name;
  for (;;) {
    if (EqualsIgnoreCase(restPattern, ".exe")) return true;
    restPattern = ToLowerAscii(restPattern);
    restName = ToLowerAscii(restName);
    std::size_t star = restPattern.find('*');
    if (star == std::string::npos) return restName.find(restPattern) != std::string::npos;
    std::string prefix = restPattern.substr(0, star);
    std::size_t at = restName.find(prefix);
    if (at == std::string::npos) return false;
    restName.erase(0, at + prefix.size());
    restPattern.erase(0, star + 1);
  }
}

void StartupParameters::FillCategoryCodes() {
  CategoryCodes.assign(kCategoryCodeList.begin(), kCategoryCodeList.end());
}

// Every definition is read once and compared with the entries through an index of
// their lower-cased file names. The outcome is that of comparing each definition
// with each entry in turn: later hits overwrite earlier ones, and the patterns
// touch only entries that are still "Unknown File", the first match deciding.
void StartupParameters::RateAllTasks() {
  const std::string path = DatabaseFile();
  std::unordered_map<std::string, std::vector<Task*>> byFileName;
  std::vector<Task*> all;
  for (TaskMap& map : entryMaps) {
    for (auto& entry : map) {
      byFileName[ToLowerAscii(entry.second->fileName)].push_back(entry.second.get());
      all.push_back(entry.second.get());
    }
  }
  if (all.empty()) return;
  StandardTexts texts;

  for (const std::string& code : CategoryCodes) {
    for (int n = 0;; ++n) {
      std::uint32_t count = 0;
      std::string name = TrimWhiteSpace(ReadDatabaseString(code, Key("PRON", n), "", path, &count));
      if (count == 0) break;
      auto hit = byFileName.find(ToLowerAscii(name));
      if (hit == byFileName.end()) continue;
      std::string description = ReadDatabaseString(code, Key("PROD", n), "NULL", path);
      for (Task* task : hit->second) SetRating(*task, description, code, texts);
    }
  }

  std::vector<Task*> unknown;
  for (Task* task : all) {
    if (task->rating == kUnknownFileRating) unknown.push_back(task);
  }
  for (int n = 0; !unknown.empty(); ++n) {
    std::uint32_t count = 0;
    std::string pattern =
        TrimWhiteSpace(ReadDatabaseString(kPatternSection, Key("PRON", n), "", path, &count));
    if (count == 0) break;
    std::vector<Task*> matched;
    std::vector<Task*> rest;
    for (Task* task : unknown) (MatchNamePattern(pattern, task->fileName) ? matched : rest).push_back(task);
    if (matched.empty()) continue;
    std::string description =
        TrimWhiteSpace(ReadDatabaseString(kPatternSection, Key("PROD", n), "NULL", path));
    std::string category = TrimWhiteSpace(ReadDatabaseString(kPatternSection, Key("PROT", n), "NULL", path));
    for (Task* task : matched) SetRating(*task, description, category, texts);
    unknown.swap(rest);
  }
}

void StartupParameters::RateTask(Task& task) {
  const std::string path = DatabaseFile();
  StandardTexts texts;
  DeriveFileName(task);
  bool found = false;
  for (const std::string& code : CategoryCodes) {
    for (int n = 0; !found; ++n) {
      std::uint32_t count = 0;
      std::string name = TrimWhiteSpace(ReadDatabaseString(code, Key("PRON", n), "", path, &count));
      if (count == 0) break;
      if (!EqualsIgnoreCase(name, task.fileName)) continue;
      SetRating(task, ReadDatabaseString(code, Key("PROD", n), "NULL", path), code, texts);
      found = true;
    }
    if (found) break;
  }
  if (!EqualsIgnoreCase(task.description, GetString(kNoInformationId))) return;

  DeriveFileName(task);
  for (int n = 0;; ++n) {
    std::uint32_t count = 0;
    std::string pattern =
        TrimWhiteSpace(ReadDatabaseString(kPatternSection, Key("PRON", n), "", path, &count));
    if (count == 0) break;
    if (!MatchNamePattern(pattern, task.fileName)) continue;
    std::string description =
        TrimWhiteSpace(ReadDatabaseString(kPatternSection, Key("PROD", n), "NULL", path));
    std::string category = TrimWhiteSpace(ReadDatabaseString(kPatternSection, Key("PROT", n), "NULL", path));
    SetRating(task, description, category, texts);
    break;
  }
}

}  // namespace velmora
