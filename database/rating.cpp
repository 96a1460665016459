#include "database/rating.h"

#include <cstdint>
#include <functional>
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
#include "database/name_pattern.h"
#include "entries/location_scanning.h"
#include "platform/processor_pin.h"

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

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Whether |text| is |lower| (lower-case letters and other bytes) with the ASCII
// letters in any case.
bool EqualsLowered(std::string_view text, std::string_view lower) {
  for (std::size_t i = 0; i < lower.size(); ++i) {
    const char c = text[i];
    if (c != lower[i] && !(IsAsciiLetter(c) && static_cast<char>(c | 0x20) == lower[i])) return false;
  }
  return true;
}

// Where the updater's file name ends in |command| (past "update.exe" in any
// letter case as a whole path component, followed by a quote, a blank or the
// end); npos when absent. Each '.' is where such a name could have its ".exe":
// commands hold few.
std::size_t EndOfUpdater(std::string_view command) {
  static constexpr std::string_view kStem = "update";
  static constexpr std::string_view kExtension = ".exe";
  for (std::size_t dot = command.find('.', kStem.size()); dot != std::string_view::npos;
       dot = command.find('.', dot + 1)) {
    const std::size_t at = dot - kStem.size();
    const std::size_t end = dot + kExtension.size();
    if (end > command.size() || !EqualsLowered(command.substr(dot, kExtension.size()), kExtension) ||
        !EqualsLowered(command.substr(at, kStem.size()), kStem))
      continue;
    const bool startsName =
        at == 0 || command[at - 1] == '\\' || command[at - 1] == '/' || command[at - 1] == '"';
    const bool endsName = end == command.size() || command[end] == '"' || IsSpace(command[end]);
    if (startsName && endsName) return end;
  }
  return std::string_view::npos;
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

namespace {

// RatedFileName, with |target| as room for a name taken from the command.
std::string_view RatedName(const Task& task, std::string& target) {
  const std::size_t end = EndOfUpdater(task.command);
  if (end == std::string::npos) return task.fileName;
  target = ProcessStartTarget(task.command, ToLowerAscii(task.command), end);
  return target.empty() ? std::string_view(task.fileName) : std::string_view(target);
}

}  // namespace

std::string RatedFileName(const Task& task) {
  std::string target;
  return std::string(RatedName(task, target));
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
      // Off the processor of the thread that reads the entries meanwhile.
      const platform::ProcessorPin pin(platform::HelperSlot(0));
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

namespace {

// A rating as a task takes it: its description and the name of its rating.
struct Rating {
  std::string description;
  std::string rating;
};

// What SetRating gives a task for |description| and |code|.
Rating MakeRating(const std::string& description, const std::string& code, StandardTexts& texts) {
  return Rating{EqualsIgnoreCase(description, "NULL") ? texts.Get(code) : description, RatingName(code)};
}

void Give(Task& task, const Rating& rating) {
  task.description = rating.description;
  task.rating = rating.rating;
}

// The rated names of tasks in lower case, each name once: one text holds them
// all, and each task has the number of its name.
class LoweredNames {
 public:
  explicit LoweredNames(const std::vector<Task*>& all) : nameOf_(all.size()) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> places;  // of each task's name in text_
    places.reserve(all.size());
    std::string target;
    for (const Task* task : all) {
      const std::size_t at = text_.size();
      text_ += RatedName(*task, target);
      for (std::size_t i = at; i < text_.size(); ++i) {
        if (text_[i] >= 'A' && text_[i] <= 'Z') text_[i] = static_cast<char>(text_[i] - 'A' + 'a');
      }
      places.emplace_back(static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(text_.size() - at));
    }
    // Equal names by a table of open addressing over their hashes.
    std::size_t capacity = 16;
    while (capacity < all.size() * 2) capacity *= 2;
    std::vector<std::uint32_t> slots(capacity, 0);  // a name's number + 1; 0 free
    const std::hash<std::string_view> hash;
    for (std::size_t n = 0; n < all.size(); ++n) {
      const std::string_view name(text_.data() + places[n].first, places[n].second);
      std::size_t at = hash(name) & (capacity - 1);
      while (slots[at] != 0 && names_[slots[at] - 1] != name) at = (at + 1) & (capacity - 1);
      if (slots[at] == 0) {
        names_.push_back(name);
        slots[at] = static_cast<std::uint32_t>(names_.size());
      }
      nameOf_[n] = slots[at] - 1;
    }
  }
  const std::vector<std::string_view>& Names() const { return names_; }
  std::size_t NameOf(std::size_t task) const { return nameOf_[task]; }

 private:
  std::string text_;
  std::vector<std::string_view> names_;
  std::vector<std::uint32_t> nameOf_;  // by the task's place
};

}  // namespace

// The definitions come from the index of the working copy, read once when it was
// written. The outcome is that of comparing each definition with each entry in
// turn: later hits overwrite earlier ones (so the last hit decides), and the
// patterns touch only entries that are still "Unknown File", the first match
// deciding. Tasks of one rated name share their look-ups, their pattern match
// and the rating made of them.
void Rater::RateAll(platform::ManagedSystem& system, const std::vector<Task*>& all) const {
  if (all.empty()) return;
  const std::string noInformation = context_.Text(kNoInformationId);
  for (Task* task : all) {
    if (task->description.empty()) task->description = noInformation;
  }
  const LoweredNames lowered(all);
  const std::size_t nameCount = lowered.Names().size();
  std::shared_ptr<DefinitionsIndex> index = DefinitionsIndexOf(FilesOf(system), DatabaseFile());
  StandardTexts texts(context_);

  // Every section is walked once for all the names: the last section that names
  // a file decides, at its last entry of that name.
  const DefinitionsIndex::NameSet names(lowered.Names());
  std::vector<const std::string*> lastCode(nameCount, nullptr);
  std::vector<int> lastEntry(nameCount, -1);
  for (const std::string& code : categoryCodes_) {
    const std::vector<std::optional<std::pair<int, int>>> hits = index->SectionOf(code).EntriesOfAll(names);
    for (std::size_t i = 0; i < nameCount; ++i) {
      if (!hits[i]) continue;
      lastCode[i] = &code;
      lastEntry[i] = hits[i]->second;
    }
  }
  std::vector<std::optional<Rating>> byName(nameCount);
  for (std::size_t i = 0; i < nameCount; ++i) {
    if (!lastCode[i]) continue;
    byName[i] = MakeRating(index->Read(*lastCode[i], Key("PROD", lastEntry[i]), "NULL"), *lastCode[i], texts);
  }
  bool anyUnknown = false;
  for (std::size_t n = 0; n < all.size(); ++n) {
    if (const std::optional<Rating>& rating = byName[lowered.NameOf(n)]) Give(*all[n], *rating);
    anyUnknown = anyUnknown || all[n]->rating == kUnknownFileRating;
  }
  if (!anyUnknown) return;

  // The patterns, each taken apart once; for each name the first that matches.
  const DefinitionsIndex::Section& section = index->SectionOf(kPatternSection);
  std::vector<NamePattern> patterns;
  patterns.reserve(section.Size());
  for (std::size_t n = 0; n < section.Size(); ++n) patterns.emplace_back(section.Name(n));
  constexpr int kNotTried = -2;
  constexpr int kNoMatch = -1;
  std::vector<int> firstMatch(nameCount, kNotTried);
  std::vector<std::optional<Rating>> byPattern(patterns.size());
  for (std::size_t n = 0; n < all.size(); ++n) {
    if (all[n]->rating != kUnknownFileRating) continue;
    const std::size_t i = lowered.NameOf(n);
    if (firstMatch[i] == kNotTried) {
      const std::string_view name = lowered.Names()[i];
      const std::uint64_t bytes = NamePattern::BytesOf(name);
      firstMatch[i] = kNoMatch;
      for (std::size_t p = 0; p < patterns.size(); ++p) {
        if (!patterns[p].Matches(name, bytes)) continue;
        firstMatch[i] = static_cast<int>(p);
        break;
      }
    }
    const int entry = firstMatch[i];
    if (entry == kNoMatch) continue;
    std::optional<Rating>& rating = byPattern[static_cast<std::size_t>(entry)];
    if (!rating) {
      rating = MakeRating(TrimWhiteSpace(index->Read(kPatternSection, Key("PROD", entry), "NULL")),
                          TrimWhiteSpace(index->Read(kPatternSection, Key("PROT", entry), "NULL")), texts);
    }
    Give(*all[n], *rating);
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
