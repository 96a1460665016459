#include "database/definitions_index.h"

#include "base/text.h"
#include "database/database_file.h"

namespace velmora {

DefinitionsIndex::DefinitionsIndex(std::shared_ptr<const platform::IniDocument> document)
    : document_(std::move(document)) {}

std::string DefinitionsIndex::Read(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, std::uint32_t* count) const {
  return ReadDatabaseString(document_.get(), section, key, defaultValue, count);
}

const DefinitionsIndex::Section& DefinitionsIndex::SectionOf(const std::string& code) {
  auto [it, fresh] = sections_.try_emplace(code);
  Section& section = it->second;
  if (!fresh) return section;
  DatabaseSectionReader reader(document_.get(), code);
  std::string key = "PRON";
  for (int n = 0;; ++n) {
    key.resize(4);
    key += std::to_string(n);
    std::uint32_t count = 0;
    std::string name = TrimWhiteSpace(reader.Read(key, "", &count));
    if (count == 0) break;
    auto [entry, first] = section.entriesOf.try_emplace(ToLowerAscii(name), n, n);
    if (!first) entry->second.second = n;
    section.names.push_back(std::move(name));
  }
  return section;
}

std::shared_ptr<DefinitionsIndex> DefinitionsIndexOf(const std::string& path) {
  struct Held {
    std::shared_ptr<const platform::IniDocument> document;
    std::shared_ptr<DefinitionsIndex> index;
  };
  static std::map<std::string, Held> held;
  std::shared_ptr<const platform::IniDocument> document = platform::IniDocumentOf(path);
  Held& entry = held[path];
  if (!entry.index || entry.document != document) {
    entry.document = document;
    entry.index = std::make_shared<DefinitionsIndex>(document);
  }
  return entry.index;
}

}  // namespace velmora
