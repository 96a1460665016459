#include "database/definitions_index.h"

#include <algorithm>
#include <mutex>

#include "base/text.h"
#include "database/database_file.h"
#include "formats/ini_text.h"

namespace velmora {

namespace {

constexpr std::string_view kStemNames[] = {"PRON", "PROD", "PROT"};

// The number n of a key written as |stem| + n (as std::to_chars writes n, at most
// nine digits), or -1.
long long NumberOfPlainKey(std::string_view key, std::string_view stem) {
  if (key.size() <= stem.size() || key.size() > stem.size() + 9 || key.substr(0, stem.size()) != stem)
    return -1;
  const std::string_view digits = key.substr(stem.size());
  if (digits.size() > 1 && digits.front() == '0') return -1;
  long long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

// A section's name as the reader compares it.
std::string ReaderSectionName(const std::string& section) {
  return formats::ini_text::Folded(formats::ini_text::Trim(ScrambleText(section)));
}

}  // namespace

DefinitionsIndex::DefinitionsIndex(std::shared_ptr<const formats::IniDocument> document)
    : document_(std::move(document)) {
  if (!document_) return;
  std::string stems[kStems];
  for (std::size_t s = 0; s < kStems; ++s) stems[s] = ScrambleText(std::string(kStemNames[s]));
  // The stems differ in their last letter only, which scrambles alike wherever it
  // stands: the first three letters are compared once for all three.
  constexpr std::size_t kShared = 3;
  const std::string_view shared = std::string_view(stems[0]).substr(0, kShared);
  // Each numbered key is placed by its number as it is met. A number far past
  // the keys met so far waits in |far| (in file order) until the section's count
  // of keys is known: reaching number n takes n + 1 keys of the section, and a
  // larger one is left to the reader.
  struct Far {
    Numbered* section;
    std::size_t stem;
    std::size_t number;
    std::string_view value;
  };
  std::vector<Far> far;
  Numbered* section = &numbered_[""];  // the lines before the first section
  formats::ini_text::ForEachLine(
      document_->Text(),
      [&](std::string_view name) { section = &numbered_[formats::ini_text::Folded(name)]; },
      [&](std::string_view key, std::string_view value) {
        if (key.size() <= kShared + 1 || !formats::ini_text::EqualFolded(key.substr(0, kShared), shared))
          return;
        for (std::size_t s = 0; s < kStems; ++s) {
          if (formats::ini_text::Fold(key[kShared]) != formats::ini_text::Fold(stems[s][kShared])) continue;
          // The whole stem matched above: only its number is left to read.
          const long long read = NumberOfScrambledDigits(key, stems[s].size());
          if (read < 0) return;
          const auto number = static_cast<std::size_t>(read);
          std::vector<std::string_view>& values = section->values[s];
          ++section->held;
          if (number >= values.size()) {
            if (number >= 2 * section->held + 64) {
              far.push_back(Far{section, s, number, value});
              return;
            }
            // Room for the numbers to come, in steps that double (the views past
            // the keys are missing ones, and those past the count are dropped below).
            values.resize(std::max(number + 1, 2 * values.size() + 16));
          }
          if (!values[number].data()) values[number] = value;  // of several lines of one key the first wins
          return;
        }
      });
  // A far key comes before any line of its number placed as it was met (the
  // count only grows): the first of them wins, written last.
  for (auto it = far.rbegin(); it != far.rend(); ++it) {
    if (it->number >= it->section->held) continue;
    std::vector<std::string_view>& values = it->section->values[it->stem];
    if (it->number >= values.size()) values.resize(it->number + 1);
    values[it->number] = it->value;
  }
  for (auto& [name, numbered] : numbered_)
    for (std::vector<std::string_view>& values : numbered.values)
      if (values.size() > numbered.held) values.resize(numbered.held);
}

const DefinitionsIndex::Numbered* DefinitionsIndex::NumberedOf(const std::string& section) const {
  auto it = numbered_.find(ReaderSectionName(section));
  return it == numbered_.end() ? nullptr : &it->second;
}

std::string DefinitionsIndex::Read(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, std::uint32_t* count) const {
  for (std::size_t s = 0; s < kStems; ++s) {
    const long long number = NumberOfPlainKey(key, kStemNames[s]);
    if (number < 0) continue;
    const auto n = static_cast<std::size_t>(number);
    const Numbered* numbered = NumberedOf(section);
    if (numbered && n >= numbered->held) break;  // not held: the reader looks it up
    const std::string_view* stored = nullptr;
    if (numbered && n < numbered->values[s].size() && numbered->values[s][n].data())
      stored = &numbered->values[s][n];
    return DatabaseStringOf(stored, defaultValue, count);
  }
  return ReadDatabaseString(document_.get(), section, key, defaultValue, count);
}

namespace {

std::uint64_t NameHash(std::string_view name) { return formats::ini_text::FoldedHash(0, name); }

}  // namespace

std::string_view DefinitionsIndex::Section::Delivered(std::size_t n) const {
  // The reader's values end before any zero byte: only the buffer cuts them.
  return (*names_)[n].substr(0, kDatabaseValueSize - 1);
}

std::string DefinitionsIndex::Section::Name(std::size_t n) const {
  char buffer[kDatabaseValueSize];
  return std::string(PlainNumberedValue(Delivered(n), buffer));
}

std::size_t DefinitionsIndex::Section::SlotOf(std::string_view name, std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    std::uint32_t slot = slots_[at];
    if (slot == 0) return at;
    const Named& named = named_[slot - 1];
    if (named.hash != hash) continue;
    char buffer[kDatabaseValueSize];
    if (formats::ini_text::EqualFolded(PlainNumberedValue(Delivered(named.entries.first), buffer), name))
      return at;
  }
}

const std::pair<int, int>* DefinitionsIndex::Section::EntriesOf(std::string_view name) const {
  if (slots_.empty()) return nullptr;
  std::uint32_t slot = slots_[SlotOf(name, NameHash(name))];
  return slot == 0 ? nullptr : &named_[slot - 1].entries;
}

// The names are all read: each distinct one gets its first and last n.
void DefinitionsIndex::Section::BuildTable() {
  std::size_t capacity = 16;
  while (capacity < size_ * 2) capacity *= 2;
  slots_.assign(capacity, 0);
  named_.reserve(size_);
  char buffer[kDatabaseValueSize];
  for (std::size_t n = 0; n < size_; ++n) {
    const std::string_view name = PlainNumberedValue(Delivered(n), buffer);
    const std::uint64_t hash = NameHash(name);
    std::uint32_t& slot = slots_[SlotOf(name, hash)];
    if (slot != 0) {
      named_[slot - 1].entries.second = static_cast<int>(n);
      continue;
    }
    named_.push_back(Named{hash, {static_cast<int>(n), static_cast<int>(n)}});
    slot = static_cast<std::uint32_t>(named_.size());
  }
}

const DefinitionsIndex::Section& DefinitionsIndex::SectionOf(const std::string& code) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, fresh] = sections_.try_emplace(code);
  Section& section = it->second;
  if (!fresh) return section;
  const Numbered* numbered = NumberedOf(code);
  if (numbered) {
    // The names run up to the first one missing or empty.
    const std::vector<std::string_view>& names = numbered->values[0];
    section.names_ = &names;
    while (section.size_ < names.size() && !names[section.size_].empty()) ++section.size_;
  }
  section.BuildTable();
  return section;
}

std::shared_ptr<DefinitionsIndex> DefinitionsIndexOf(platform::ManagedSystem& system,
                                                     const std::string& path) {
  struct Held {
    std::shared_ptr<const formats::IniDocument> document;
    std::shared_ptr<DefinitionsIndex> index;
  };
  // Kept to the end of the process and never taken apart: freeing the names of
  // a large database one by one at exit costs more than looking them all up.
  static auto& held = *new std::map<std::string, Held>;
  // Models of several systems are rated on several threads at once.
  static std::mutex mutex;
  std::shared_ptr<const formats::IniDocument> document = platform::IniDocumentOf(system, path);
  std::lock_guard<std::mutex> lock(mutex);
  Held& entry = held[path];
  if (!entry.index || entry.document != document) {
    entry.document = document;
    entry.index = std::make_shared<DefinitionsIndex>(document);
  }
  return entry.index;
}

}  // namespace velmora
