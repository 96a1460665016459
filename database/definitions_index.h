// The definitions of the working copy, read into memory once and looked up from
// there: per section the names in entry order, with the first and last entry that
// carries each name. The numbered keys of every section are taken in one walk over
// the copy's text; the reader's table of all keys is made only for a key that is
// not such a number.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/ini_file.h"

namespace velmora {

class DefinitionsIndex {
 public:
  // |document| is the parsed working copy, or null when it cannot be read (then
  // every section is empty and every value its default).
  explicit DefinitionsIndex(std::shared_ptr<const formats::IniDocument> document);
  virtual ~DefinitionsIndex() = default;

  class Section {
   public:
    // The number of names: "PRON%d" of entry n for n = 0 up to the first missing
    // or empty one.
    std::size_t Size() const { return size_; }
    // The name of entry n (n < Size()), stripped.
    std::string Name(std::size_t n) const;
    // The first and the last n that carry |name| (letters compared without regard
    // to ASCII case), or null when none does.
    const std::pair<int, int>* EntriesOf(std::string_view name) const;

   private:
    friend class DefinitionsIndex;
    // One distinct name: its folded hash and its first and last n.
    struct Named {
      std::uint64_t hash;
      std::pair<int, int> entries;
    };
    void BuildTable();
    // The slot that holds |name|, or the free one where it would go.
    std::size_t SlotOf(std::string_view name, std::uint64_t hash) const;
    // Name n as the reader delivers it (cut to the reader's buffer), still
    // scrambled: each is opened when it is hashed, compared or asked for, never
    // kept open.
    std::string_view Delivered(std::size_t n) const;
    // The values of the section's "PRON" keys, held by the index, of which the
    // first |size_| are the names.
    const std::vector<std::string_view>* names_ = nullptr;
    std::size_t size_ = 0;
    std::vector<Named> named_;
    std::vector<std::uint32_t> slots_;  // open addressing over named_ (index + 1; 0 free)
  };
  // The section of |code| (built on first use; safe from any thread).
  const Section& SectionOf(const std::string& code);
  // ReadDatabaseString over the working copy held.
  std::string Read(const std::string& section, const std::string& key, const std::string& defaultValue,
                   std::uint32_t* count = nullptr) const;

 private:
  // The stems of the numbered keys: "PRON", "PROD", "PROT".
  static constexpr std::size_t kStems = 3;
  // The values of one section's numbered keys as the reader finds them, per stem
  // by number; a view without data for a missing key (also past the end).
  // Numbers from |held| (the section's count of numbered keys) on are not held:
  // reaching one takes more keys than the section has.
  struct Numbered {
    std::vector<std::string_view> values[kStems];
    std::size_t held = 0;
  };
  const Numbered* NumberedOf(const std::string& section) const;

  std::shared_ptr<const formats::IniDocument> document_;
  // By the section's name as the reader compares it (scrambled, folded).
  std::unordered_map<std::string, Numbered> numbered_;
  std::mutex mutex_;  // over sections_: built on first use, from any thread
  std::map<std::string, Section> sections_;
};

// The index of the working copy at |path|, as the file holds it now: built again
// only when the file changed since it was built.
std::shared_ptr<DefinitionsIndex> DefinitionsIndexOf(platform::ManagedSystem& system,
                                                     const std::string& path);

}  // namespace velmora
