// INI text (GetPrivateProfileStringA semantics), parsed from a file's bytes.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace formats {

// An INI text parsed once and looked up as GetPrivateProfileStringA looks up a
// file: the value of a key is the first line of the first section of that name
// that holds the key (names compared without regard to ASCII letter case,
// surrounding blanks ignored; the value trimmed, and one pair of surrounding
// quotes removed). Bytes above 0x7F are taken as they are.
class IniDocument {
 public:
  // |bytes| as they lie in a file. The table of keys is made when first asked for:
  // a reader that walks the text itself (Text) never pays for it.
  explicit IniDocument(std::string bytes);
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  // GetPrivateProfileStringA over this text: |defaultValue| for a missing section
  // or key; at most size-1 characters copied to |buffer|, always zero-terminated
  // when size > 0; returns the number copied.
  std::uint32_t Get(std::string_view section, std::string_view key, const std::string& defaultValue,
                    char* buffer, std::uint32_t size) const;
  // The value itself, or null when the section or key is missing.
  const std::string_view* Find(std::string_view section, std::string_view key) const;

  // Many keys of one section: the section is looked up once, by SectionNumber
  // (kNoSection when it is missing), and its keys by number.
  static constexpr std::uint32_t kNoSection = 0xFFFFFFFFu;
  std::uint32_t SectionNumber(std::string_view section) const;
  const std::string_view* FindIn(std::uint32_t section, std::string_view key) const;
  // What Get copies to a buffer of |size| bytes (size > 0), without the copy: the
  // value or |defaultValue| up to its first zero byte, cut to size - 1. The view
  // lies in this document or in |defaultValue|.
  std::string_view ViewIn(std::uint32_t section, std::string_view key, std::string_view defaultValue,
                          std::uint32_t size) const;
  // Calls visit(key, value) for every key of |section| in file order, with the
  // value FindIn gives for it: a walk over a section that looking its keys up one
  // by one would scatter over the whole table.
  std::size_t KeyCountIn(std::uint32_t section) const {
    Index();
    return section < keysOfSection_.size() ? keysOfSection_[section].size() : 0;
  }
  template <typename Visit>
  void ForEachKeyIn(std::uint32_t section, Visit visit) const {
    Index();
    if (section >= keysOfSection_.size()) return;
    for (std::uint32_t i : keysOfSection_[section]) visit(entries_[i].key, entries_[i].value);
  }
  // The text as read (decoded to 8-bit text), for ini_text::ForEachLine.
  std::string_view Text() const { return text_; }

 private:
  // One key line: hash of section and folded key, the key as written, the value.
  struct Entry {
    std::uint64_t hash;
    std::uint32_t section;
    std::string_view key;  // compared without regard to ASCII case
    std::string_view value;
  };
  static std::uint64_t HashOf(std::uint32_t section, std::string_view key);
  // Makes the table below once, whichever thread asks first.
  void Index() const;
  void Build();
  const Entry* Lookup(std::uint32_t section, std::string_view key, std::uint64_t hash) const;
  std::string text_;
  // The table of keys, made by Index(); not changed after.
  mutable std::once_flag indexed_;
  std::unordered_map<std::string, std::uint32_t> sections_;  // folded name -> number
  std::vector<Entry> entries_;                               // the first line of each key, in file order
  // Open addressing over entries_: the index + 1 (0 free) and the high half of the
  // entry's hash, so that a probe mostly decides without reading the entry.
  struct Slot {
    std::uint32_t index = 0;
    std::uint32_t tag = 0;
  };
  static std::uint32_t TagOf(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32); }
  std::vector<Slot> slots_;
  std::vector<std::vector<std::uint32_t>> keysOfSection_;  // per section number, its entries in order
};

}  // namespace formats
