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
  // A text whose places do not fit Stored (four gigabytes) is left to the reader.
  long_ = document_->Text().size() >= Stored::kMissing;
  if (!long_) IndexNumberedKeys();
}

void DefinitionsIndex::IndexNumberedKeys() {
  const std::string_view text = document_->Text();
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
    Stored value;
  };
  std::vector<Far> far;
  Numbered* section = &numbered_[""];  // the lines before the first section
  formats::ini_text::ForEachLine(
      text, [&](std::string_view name) { section = &numbered_[formats::ini_text::Folded(name)]; },
      [&](std::string_view key, std::string_view value) {
        if (key.size() <= kShared + 1 || !formats::ini_text::EqualFolded(key.substr(0, kShared), shared))
          return;
        for (std::size_t s = 0; s < kStems; ++s) {
          if (formats::ini_text::Fold(key[kShared]) != formats::ini_text::Fold(stems[s][kShared])) continue;
          // The whole stem matched above: only its number is left to read.
          const long long read = NumberOfScrambledDigits(key, stems[s].size());
          if (read < 0) return;
          const auto number = static_cast<std::size_t>(read);
          std::vector<Stored>& values = section->values[s];
          ++section->held;
          // Held as the reader's buffer receives it: no more is ever read of it.
          const Stored stored{
              static_cast<std::uint32_t>(value.data() - text.data()),
              static_cast<std::uint32_t>(std::min<std::size_t>(value.size(), kDatabaseValueSize - 1))};
          if (number >= values.size()) {
            if (number >= 2 * section->held + 64) {
              far.push_back(Far{section, s, number, stored});
              return;
            }
            // Room for the numbers to come, in steps that double (the places past
            // the keys are missing ones, and those past the count are dropped below).
            values.resize(std::max(number + 1, 2 * values.size() + 16));
          }
          // Of several lines of one key the first wins.
          if (values[number].at == Stored::kMissing) values[number] = stored;
          return;
        }
      });
  // A far key comes before any line of its number placed as it was met (the
  // count only grows): the first of them wins, written last.
  for (auto it = far.rbegin(); it != far.rend(); ++it) {
    if (it->number >= it->section->held) continue;
    std::vector<Stored>& values = it->section->values[it->stem];
    if (it->number >= values.size()) values.resize(it->number + 1);
    values[it->number] = it->value;
  }
  for (auto& [name, numbered] : numbered_)
    for (std::vector<Stored>& values : numbered.values)
      if (values.size() > numbered.held) values.resize(numbered.held);
}

const DefinitionsIndex::Numbered* DefinitionsIndex::NumberedOf(const std::string& section) const {
  auto it = numbered_.find(ReaderSectionName(section));
  return it == numbered_.end() ? nullptr : &it->second;
}

std::string DefinitionsIndex::Read(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, std::uint32_t* count) const {
  for (std::size_t s = 0; s < kStems && !long_; ++s) {
    const long long number = NumberOfPlainKey(key, kStemNames[s]);
    if (number < 0) continue;
    const auto n = static_cast<std::size_t>(number);
    const Numbered* numbered = NumberedOf(section);
    if (numbered && n >= numbered->held) break;  // not held: the reader looks it up
    if (!numbered || n >= numbered->values[s].size() || numbered->values[s][n].at == Stored::kMissing)
      return DatabaseStringOf(nullptr, defaultValue, count);
    const Stored& stored = numbered->values[s][n];
    const std::string_view value = document_->Text().substr(stored.at, stored.size);
    return DatabaseStringOf(&value, defaultValue, count);
  }
  return ReadDatabaseString(document_.get(), section, key, defaultValue, count);
}

namespace {

std::uint32_t NameHash(std::string_view name) {
  return static_cast<std::uint32_t>(formats::ini_text::FoldedHash(0, name) >> 32);
}

}  // namespace

std::string_view DefinitionsIndex::Section::Delivered(std::size_t n) const {
  if (!names_) return longNames_[n];
  const Stored& stored = (*names_)[n];
  return text_.substr(stored.at, stored.size);
}

std::string DefinitionsIndex::Section::Name(std::size_t n) const {
  char buffer[kDatabaseValueSize];
  return std::string(PlainNumberedValue(Delivered(n), buffer));
}

bool DefinitionsIndex::Section::NameIs(std::size_t n, std::string_view name) const {
  char buffer[kDatabaseValueSize];
  return formats::ini_text::EqualFolded(PlainNumberedValue(Delivered(n), buffer), name);
}

DefinitionsIndex::NameSet::NameSet(std::vector<std::string_view> names)
    : names_(std::move(names)), filter_(std::size_t{1} << 10) {
  std::size_t capacity = 16;
  while (capacity < names_.size() * 2) capacity *= 2;
  slots_.resize(capacity);
  for (std::size_t i = 0; i < names_.size(); ++i) {
    const std::uint32_t hash = NameHash(names_[i]);
    filter_[(hash >> 6) & 1023] |= std::uint64_t{1} << (hash & 63);
    std::size_t at = hash & (capacity - 1);
    while (slots_[at].index != 0) at = (at + 1) & (capacity - 1);
    slots_[at] = Slot{hash, static_cast<std::uint32_t>(i + 1)};
  }
}

std::optional<std::pair<int, int>> DefinitionsIndex::Section::EntriesOf(std::string_view name) const {
  return EntriesOfAll(NameSet({name})).front();
}

std::vector<std::optional<std::pair<int, int>>> DefinitionsIndex::Section::EntriesOfAll(
    const NameSet& names) const {
  std::vector<std::optional<std::pair<int, int>>> found(names.Size());
  const std::vector<std::uint64_t>& filter = names.filter_;
  const std::vector<NameSet::Slot>& slots = names.slots_;
  const std::size_t mask = slots.size() - 1;
  for (std::size_t n = 0; n < size_; ++n) {
    const std::uint32_t hash = hashes_[n];
    if (!((filter[(hash >> 6) & 1023] >> (hash & 63)) & 1)) continue;
    for (std::size_t at = hash & mask; slots[at].index != 0; at = (at + 1) & mask) {
      if (slots[at].hash != hash) continue;
      const std::size_t i = slots[at].index - 1;
      if (!NameIs(n, names.names_[i])) continue;
      std::optional<std::pair<int, int>>& entries = found[i];
      if (entries)
        entries->second = static_cast<int>(n);
      else
        entries.emplace(static_cast<int>(n), static_cast<int>(n));
    }
  }
  return found;
}

const DefinitionsIndex::Section& DefinitionsIndex::SectionOf(const std::string& code) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, fresh] = sections_.try_emplace(code);
  Section& section = it->second;
  if (!fresh || !document_) return section;
  section.text_ = document_->Text();
  if (long_) {
    // The names up to the first one missing or empty, each as the reader finds it.
    const std::uint32_t number = document_->SectionNumber(ScrambleText(code));
    for (std::size_t n = 0;; ++n) {
      const std::string_view* name =
          document_->FindIn(number, ScrambleText(std::string(kStemNames[0]) + std::to_string(n)));
      if (!name || name->empty()) break;
      section.longNames_.push_back(formats::ini_text::Delivered(*name, kDatabaseValueSize));
    }
    section.size_ = section.longNames_.size();
  } else if (const Numbered* numbered = NumberedOf(code)) {
    // The names run up to the first one missing or empty.
    const std::vector<Stored>& names = numbered->values[0];
    section.names_ = &names;
    while (section.size_ < names.size() && names[section.size_].at != Stored::kMissing &&
           names[section.size_].size != 0)
      ++section.size_;
  }
  section.hashes_.resize(section.size_);
  char buffer[kDatabaseValueSize];
  for (std::size_t n = 0; n < section.size_; ++n)
    section.hashes_[n] = NameHash(PlainNumberedValue(section.Delivered(n), buffer));
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
