#include "database/rating.h"

#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "base/message_text.h"
#include "base/text.h"
#include "database/database_file.h"
#include "database/definitions_index.h"
#include "entries/location_scanning.h"

namespace velmora {

namespace {

constexpr unsigned kNoInformationId = text_id::kNoInformation;

std::string Key(const char* stem, int n) { return stem + std::to_string(n); }

// The standard descriptions met during one pass, each looked up once.
class StandardTexts {
 public:
  explicit StandardTexts(const ProgramContext& context) : context_(context) {}
  const std::string& Get(const std::string& code) {
    std::string folded = ToUpperAscii(code);
    auto it = texts_.find(folded);
    if (it == texts_.end()) it = texts_.emplace(folded, context_.Text(StandardDescriptionId(code))).first;
    return it->second;
  }

 private:
  const ProgramContext& context_;
  std::unordered_map<std::string, std::string> texts_;
};

void SetRating(Task& task, const std::string& description, const std::string& code, StandardTexts& texts) {
  task.description = EqualsIgnoreCase(description, "NULL") ? texts.Get(code) : description;
  task.rating = RatingName(code);
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Where the updater's file name ends in |command| (past "update.exe" as a whole
// path component, followed by a quote, a blank or the end); npos when absent.
std::size_t EndOfUpdater(const std::string& lower) {
  static constexpr std::string_view kUpdater = "update.exe";
  for (std::size_t at = lower.find(kUpdater); at != std::string::npos; at = lower.find(kUpdater, at + 1)) {
    const std::size_t end = at + kUpdater.size();
    const bool startsName = at == 0 || lower[at - 1] == '\\' || lower[at - 1] == '/' || lower[at - 1] == '"';
    const bool endsName = end == lower.size() || lower[end] == '"' || IsSpace(lower[end]);
    if (startsName && endsName) return end;
  }
  return std::string::npos;
}

// The program named by a --processStart (or --processStartAndWait) switch after
// |from|: "--processStart Name.exe", "--processStart=Name.exe", quoted or not.
std::string ProcessStartTarget(const std::string& command, const std::string& lower, std::size_t from) {
  for (std::string_view option : {"--processstartandwait", "--processstart"}) {
    for (std::size_t at = lower.find(option, from); at != std::string::npos;
         at = lower.find(option, at + 1)) {
      if (at > 0 && !IsSpace(lower[at - 1]) && lower[at - 1] != '"') continue;
      std::size_t value = at + option.size();
      if (value < lower.size() && (lower[value] == '=' || lower[value] == ':')) {
        ++value;
      } else if (value < lower.size() && IsSpace(lower[value])) {
        while (value < lower.size() && IsSpace(lower[value])) ++value;
      } else {
        continue;  // a longer switch, or nothing after it
      }
      std::size_t end;
      if (value < command.size() && command[value] == '"') {
        ++value;
        end = command.find('"', value);
      } else {
        end = command.find_first_of(" \t", value);
      }
      std::string target = command.substr(value, end == std::string::npos ? std::string::npos : end - value);
      const std::size_t slash = target.find_last_of("\\/");
      if (slash != std::string::npos) target.erase(0, slash + 1);
      return TrimWhiteSpace(target);
    }
  }
  return "";
}

}  // namespace

std::string RatedFileName(const Task& task) {
  const std::string lower = ToLowerAscii(task.command);
  const std::size_t end = EndOfUpdater(lower);
  if (end == std::string::npos) return task.fileName;
  std::string target = ProcessStartTarget(task.command, lower, end);
  return target.empty() ? task.fileName : target;
}

std::string Rater::DatabaseFile() const { return WorkingCopyPath(context_.WriteDir()); }

namespace {

// MatchNamePattern over a pattern and a name already in lower case.
bool MatchLoweredPattern(std::string_view pattern, std::string_view name) {
  for (;;) {
    if (pattern == ".exe") return true;
    std::size_t star = pattern.find('*');
    if (star == std::string_view::npos) return name.find(pattern) != std::string_view::npos;
    std::string_view prefix = pattern.substr(0, star);
    std::size_t at = name.find(prefix);
    if (at == std::string_view::npos) return false;
    name.remove_prefix(at + prefix.size());
    pattern.remove_prefix(star + 1);
  }
}

}  // namespace

bool MatchNamePattern(const std::string& pattern, const std::string& name) {
  return MatchLoweredPattern(ToLowerAscii(pattern), ToLowerAscii(name));
}

platform::ManagedSystem& Rater::FilesOf(platform::ManagedSystem& system) const {
  return context_.programFiles ? *context_.programFiles : system;
}

void Rater::PrepareIndex(platform::ManagedSystem& system) {
  if (preparing_.valid()) preparing_.get();  // one at a time
  try {
    preparing_ = std::async(std::launch::async, [&files = FilesOf(system), file = DatabaseFile()] {
      // The sections a rating looks up, made here rather than by the first rating.
      std::shared_ptr<DefinitionsIndex> index = DefinitionsIndexOf(files, file);
      for (std::string_view code : kCategoryCodeList) index->SectionOf(std::string(code));
      index->SectionOf(kPatternSection);
    });
  } catch (const std::system_error&) {
    // No thread: the index is made by the first rating.
  }
}

void Rater::FillCategoryCodes() { categoryCodes_.assign(kCategoryCodeList.begin(), kCategoryCodeList.end()); }

// The definitions come from the index of the working copy, read once when it was
// written. The outcome is that of comparing each definition with each entry in
// turn: later hits overwrite earlier ones (so the last hit decides), and the
// patterns touch only entries that are still "Unknown File", the first match
// deciding.
void Rater::RateAll(platform::ManagedSystem& system, const std::vector<Task*>& all) const {
  if (all.empty()) return;
  const std::string noInformation = context_.Text(kNoInformationId);
  std::unordered_map<std::string, std::vector<Task*>> byFileName;
  // The rated name of each task in lower case, by its place in |all|.
  std::vector<std::string> lowered(all.size());
  for (std::size_t n = 0; n < all.size(); ++n) {
    Task* task = all[n];
    if (task->description.empty()) task->description = noInformation;
    lowered[n] = ToLowerAscii(RatedFileName(*task));
    byFileName[lowered[n]].push_back(task);
  }
  std::shared_ptr<DefinitionsIndex> index = DefinitionsIndexOf(FilesOf(system), DatabaseFile());
  StandardTexts texts(context_);

  // Every section is walked once for all the names: the last section that names
  // a file decides, at its last entry of that name.
  std::vector<std::string_view> fileNames;
  std::vector<const std::vector<Task*>*> named;
  fileNames.reserve(byFileName.size());
  named.reserve(byFileName.size());
  for (const auto& [fileName, tasks] : byFileName) {
    fileNames.push_back(fileName);
    named.push_back(&tasks);
  }
  const DefinitionsIndex::NameSet names(std::move(fileNames));
  std::vector<const std::string*> lastCode(names.Size(), nullptr);
  std::vector<int> lastEntry(names.Size(), -1);
  for (const std::string& code : categoryCodes_) {
    const std::vector<std::optional<std::pair<int, int>>> hits = index->SectionOf(code).EntriesOfAll(names);
    for (std::size_t i = 0; i < names.Size(); ++i) {
      if (!hits[i]) continue;
      lastCode[i] = &code;
      lastEntry[i] = hits[i]->second;
    }
  }
  for (std::size_t i = 0; i < names.Size(); ++i) {
    if (!lastCode[i]) continue;
    std::string description = index->Read(*lastCode[i], Key("PROD", lastEntry[i]), "NULL");
    for (Task* task : *named[i]) SetRating(*task, description, *lastCode[i], texts);
  }

  std::vector<std::size_t> unknown;  // places in |all|
  for (std::size_t n = 0; n < all.size(); ++n) {
    if (all[n]->rating == kUnknownFileRating) unknown.push_back(n);
  }
  const DefinitionsIndex::Section& patterns = index->SectionOf(kPatternSection);
  for (std::size_t n = 0; n < patterns.Size() && !unknown.empty(); ++n) {
    const std::string pattern = ToLowerAscii(patterns.Name(n));
    std::vector<Task*> matched;
    std::vector<std::size_t> rest;
    for (std::size_t place : unknown) {
      if (MatchLoweredPattern(pattern, lowered[place]))
        matched.push_back(all[place]);
      else
        rest.push_back(place);
    }
    if (matched.empty()) continue;
    const int entry = static_cast<int>(n);
    std::string description = TrimWhiteSpace(index->Read(kPatternSection, Key("PROD", entry), "NULL"));
    std::string category = TrimWhiteSpace(index->Read(kPatternSection, Key("PROT", entry), "NULL"));
    for (Task* task : matched) SetRating(*task, description, category, texts);
    unknown.swap(rest);
  }
}

// The single look-up stops at its first hit: the first section (in the order of
// the codes) that names the file, at its first entry of that name.
void Rater::RateTask(platform::ManagedSystem& system, Task& task) const {
  std::shared_ptr<DefinitionsIndex> index = DefinitionsIndexOf(FilesOf(system), DatabaseFile());
  StandardTexts texts(context_);
  const std::string noInformation = context_.Text(kNoInformationId);
  if (task.description.empty()) task.description = noInformation;
  DeriveFileName(system, task);
  const std::string fileName = ToLowerAscii(RatedFileName(task));
  for (const std::string& code : categoryCodes_) {
    const DefinitionsIndex::Section& section = index->SectionOf(code);
    const std::optional<std::pair<int, int>> hit = section.EntriesOf(fileName);
    if (!hit) continue;
    SetRating(task, index->Read(code, Key("PROD", hit->first), "NULL"), code, texts);
    break;
  }
  if (!EqualsIgnoreCase(task.description, noInformation)) return;

  DeriveFileName(system, task);
  const std::string ratedName = RatedFileName(task);
  const DefinitionsIndex::Section& patterns = index->SectionOf(kPatternSection);
  for (std::size_t n = 0; n < patterns.Size(); ++n) {
    if (!MatchNamePattern(patterns.Name(n), ratedName)) continue;
    const int entry = static_cast<int>(n);
    std::string description = TrimWhiteSpace(index->Read(kPatternSection, Key("PROD", entry), "NULL"));
    std::string category = TrimWhiteSpace(index->Read(kPatternSection, Key("PROT", entry), "NULL"));
    SetRating(task, description, category, texts);
    break;
  }
}

}  // namespace velmora
