// INI text rules and the parsed INI document.
#include "formats/ini_document.h"

#include <cstring>

#include "base/utf16.h"
#include "formats/ini_text.h"

namespace formats {

namespace ini_text {

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Fold(c);
  return out;
}

std::string DecodedText(std::string bytes) {
  auto starts = [&](const char* mark, std::size_t n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), mark, n) == 0;
  };
  if (starts("\xEF\xBB\xBF", 3)) {
    bytes.erase(0, 3);
    return bytes;
  }
  if (starts("\xFF\xFE", 2)) {
    return velmora::Utf8FromUtf16(velmora::Utf16FromLittleEndian(
        reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2, (bytes.size() - 2) / 2));
  }
  if (starts("\xFE\xFF", 2)) {
    std::string swapped;
    swapped.reserve(bytes.size() - 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      swapped.push_back(bytes[i + 1]);
      swapped.push_back(bytes[i]);
    }
    return velmora::Utf8FromUtf16(velmora::Utf16FromLittleEndian(
        reinterpret_cast<const std::uint8_t*>(swapped.data()), swapped.size() / 2));
  }
  return bytes;
}

std::string_view Delivered(std::string_view text, std::uint32_t size) {
  std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  return text.substr(0, size - 1);
}

std::uint32_t CopyOut(std::string_view text, char* buffer, std::uint32_t size) {
  if (!buffer || size == 0) return 0;
  text = Delivered(text, size);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = 0;
  return static_cast<std::uint32_t>(text.size());
}

}  // namespace ini_text

using ini_text::CopyOut;
using ini_text::DecodedText;
using ini_text::Delivered;
using ini_text::Folded;
using ini_text::Trim;

std::uint64_t IniDocument::HashOf(std::uint32_t section, std::string_view key) {
  return ini_text::FoldedHash(section, key);
}

const IniDocument::Entry* IniDocument::Lookup(std::uint32_t section, std::string_view key,
                                              std::uint64_t hash) const {
  if (slots_.empty()) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  const std::uint32_t tag = TagOf(hash);
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot slot = slots_[at];
    if (slot.index == 0) return nullptr;
    if (slot.tag != tag) continue;
    const Entry& entry = entries_[slot.index - 1];
    if (entry.hash == hash && entry.section == section && ini_text::EqualFolded(entry.key, key))
      return &entry;
  }
}

IniDocument::IniDocument(std::string bytes) : text_(DecodedText(std::move(bytes))) {}

void IniDocument::Index() const {
  // The table is the lazily made part of a document that is const to its readers.
  std::call_once(indexed_, [this] { const_cast<IniDocument*>(this)->Build(); });
}

void IniDocument::Build() {
  const std::string& text = text_;
  std::uint32_t section = sections_.emplace("", 0).first->second;  // before the first section
  // One entry at most per line: counted first, the table is made once at its size.
  std::size_t lines = 1;
  for (const char* at = text.data();
       (at = static_cast<const char*>(std::memchr(at, '\n', text.data() + text.size() - at))) != nullptr;
       ++at)
    ++lines;
  entries_.reserve(lines);
  ini_text::ForEachLine(
      text,
      [&](std::string_view name) {
        auto next = static_cast<std::uint32_t>(sections_.size());
        section = sections_.emplace(Folded(name), next).first->second;
      },
      [&](std::string_view key, std::string_view value) {
        entries_.push_back(Entry{HashOf(section, key), section, key, value});
      });
  // The table of keys; of several lines of one key the first wins. Each line is
  // looked for and, when new, placed in the same probe.
  std::size_t capacity = 16;
  while (capacity < entries_.size() * 2) capacity *= 2;
  slots_.assign(capacity, Slot{});
  const std::size_t mask = capacity - 1;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry entry = entries_[i];
    const std::uint32_t tag = TagOf(entry.hash);
    for (std::size_t probe = entry.hash & mask;; probe = (probe + 1) & mask) {
      Slot& slot = slots_[probe];
      if (slot.index == 0) {
        entries_[kept] = entry;
        slot = Slot{static_cast<std::uint32_t>(++kept), tag};
        break;
      }
      if (slot.tag != tag) continue;
      const Entry& known = entries_[slot.index - 1];
      if (known.hash == entry.hash && known.section == entry.section &&
          ini_text::EqualFolded(known.key, entry.key))
        break;  // a later line of a key already placed
    }
  }
  entries_.resize(kept);
  keysOfSection_.resize(sections_.size());
  std::vector<std::uint32_t> counts(sections_.size(), 0);
  for (const Entry& entry : entries_) ++counts[entry.section];
  for (std::size_t number = 0; number < counts.size(); ++number)
    keysOfSection_[number].reserve(counts[number]);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    keysOfSection_[entries_[i].section].push_back(static_cast<std::uint32_t>(i));
}

std::uint32_t IniDocument::SectionNumber(std::string_view section) const {
  Index();
  auto folded = sections_.find(Folded(Trim(section)));
  return folded == sections_.end() ? kNoSection : folded->second;
}

const std::string_view* IniDocument::FindIn(std::uint32_t section, std::string_view key) const {
  if (section == kNoSection) return nullptr;
  Index();
  std::string_view trimmed = Trim(key);
  const Entry* entry = Lookup(section, trimmed, HashOf(section, trimmed));
  return entry ? &entry->value : nullptr;
}

const std::string_view* IniDocument::Find(std::string_view section, std::string_view key) const {
  return FindIn(SectionNumber(section), key);
}

std::string_view IniDocument::ViewIn(std::uint32_t section, std::string_view key,
                                     std::string_view defaultValue, std::uint32_t size) const {
  // No line has an empty key: a blank key finds nothing and gives the default.
  const std::string_view* value = FindIn(section, key);
  return Delivered(value ? *value : defaultValue, size);
}

std::uint32_t IniDocument::Get(std::string_view section, std::string_view key,
                               const std::string& defaultValue, char* buffer, std::uint32_t size) const {
  if (!buffer || size == 0) return 0;
  return CopyOut(ViewIn(SectionNumber(section), key, defaultValue, size), buffer, size);
}

}  // namespace formats
