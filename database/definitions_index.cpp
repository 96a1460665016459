#include "database/definitions_index.h"

#include "database/database_file.h"
#include "formats/ini_text.h"

namespace velmora {

DefinitionsIndex::DefinitionsIndex(std::shared_ptr<const formats::IniDocument> document)
    : document_(std::move(document)) {}

std::string DefinitionsIndex::Read(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, std::uint32_t* count) const {
  return ReadDatabaseString(document_.get(), section, key, defaultValue, count);
}

namespace {

std::uint64_t NameHash(std::string_view name) { return formats::ini_text::FoldedHash(0, name); }

}  // namespace

std::size_t DefinitionsIndex::Section::SlotOf(std::string_view name, std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    std::uint32_t slot = slots_[at];
    if (slot == 0) return at;
    const Named& named = named_[slot - 1];
    if (named.hash == hash && formats::ini_text::EqualFolded(names[named.entries.first], name)) return at;
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
  while (capacity < names.size() * 2) capacity *= 2;
  slots_.assign(capacity, 0);
  named_.reserve(names.size());
  for (std::size_t n = 0; n < names.size(); ++n) {
    const std::uint64_t hash = NameHash(names[n]);
    std::uint32_t& slot = slots_[SlotOf(names[n], hash)];
    if (slot != 0) {
      named_[slot - 1].entries.second = static_cast<int>(n);
      continue;
    }
    named_.push_back(Named{hash, {static_cast<int>(n), static_cast<int>(n)}});
    slot = static_cast<std::uint32_t>(named_.size());
  }
}

const DefinitionsIndex::Section& DefinitionsIndex::SectionOf(const std::string& code) {
  auto [it, fresh] = sections_.try_emplace(code);
  Section& section = it->second;
  if (!fresh) return section;
  DatabaseSectionReader reader(document_.get(), code);
  reader.ReadNumberedTrimmed("PRON", &section.text_, &section.names);
  section.BuildTable();
  return section;
}

std::shared_ptr<DefinitionsIndex> DefinitionsIndexOf(const std::string& path) {
  struct Held {
    std::shared_ptr<const formats::IniDocument> document;
    std::shared_ptr<DefinitionsIndex> index;
  };
  // Kept to the end of the process and never taken apart: freeing the names of
  // a large database one by one at exit costs more than looking them all up.
  static auto& held = *new std::map<std::string, Held>;
  std::shared_ptr<const formats::IniDocument> document = platform::IniDocumentOf(path);
  Held& entry = held[path];
  if (!entry.index || entry.document != document) {
    entry.document = document;
    entry.index = std::make_shared<DefinitionsIndex>(document);
  }
  return entry.index;
}

}  // namespace velmora
