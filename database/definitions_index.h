// The definitions of the working copy, read into memory once and looked up from
// there: per section the names in entry order, each with a hash of its plain
// text, walked for the names asked for. The numbered keys of every section are
// taken in one walk over the copy's text and held as places in it; the reader's
// table of all keys is made only for a key that is not such a number.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ini_file.h"

namespace velmora {

class DefinitionsIndex {
 public:
  // |document| is the parsed working copy, or null when it cannot be read (then
  // every section is empty and every value its default).
  explicit DefinitionsIndex(std::shared_ptr<const formats::IniDocument> document);
  virtual ~DefinitionsIndex() = default;

  // A value of the copy's text as the reader delivers it (cut to the reader's
  // buffer, still scrambled): its place and length, or kMissing for a key
  // without a line.
  struct Stored {
    // A value lies past its key and its '=': a place 0 is no value's. (Zero
    // bytes throughout, Stored{} is the missing one, filled and moved in bulk.)
    static constexpr std::uint32_t kMissing = 0;
    std::uint32_t at;
    std::uint32_t size;
  };

  // Names to look up in several sections, hashed once: by hash in a table of
  // open addressing, behind a filter of one bit per hash's low 16 bits, so that
  // most names of a section are passed over by one test of a bit that stays in
  // the cache.
  class NameSet {
   public:
    explicit NameSet(std::vector<std::string_view> names);
    std::size_t Size() const { return names_.size(); }

   private:
    friend class DefinitionsIndex;
    struct Slot {
      std::uint32_t hash = 0;
      std::uint32_t index = 0;  // into names_, + 1; 0 free
    };
    std::vector<std::string_view> names_;
    std::vector<Slot> slots_;
    std::vector<std::uint64_t> filter_;
  };

  class Section {
   public:
    // The number of names: "PRON%d" of entry n for n = 0 up to the first missing
    // or empty one.
    std::size_t Size() const { return size_; }
    // The name of entry n (n < Size()), stripped.
    std::string Name(std::size_t n) const;
    // The first and the last n that carry |name| (letters compared without regard
    // to ASCII case), or nothing when none does.
    std::optional<std::pair<int, int>> EntriesOf(std::string_view name) const;
    // EntriesOf for each name of |names| (in their order), in one walk over the
    // section's names.
    std::vector<std::optional<std::pair<int, int>>> EntriesOfAll(const NameSet& names) const;

   private:
    friend class DefinitionsIndex;
    // Name n as the reader delivers it, still scrambled: each is opened when it
    // is hashed, compared or asked for, never kept open.
    std::string_view Delivered(std::size_t n) const;
    // Whether name n is |name| (folded), for an n whose hash matched.
    bool NameIs(std::size_t n, std::string_view name) const;
    std::string_view text_;
    // The values of the section's "PRON" keys, held by the index, of which the
    // first |size_| are the names; or, for a text too long for the places of
    // Stored, the names themselves.
    const std::vector<Stored>* names_ = nullptr;
    std::vector<std::string_view> longNames_;
    std::size_t size_ = 0;
    // Of each plain name, folded (NameHash): the index's own, made in its walk
    // over the text, or for a text too long for it those in |longHashes_|.
    const std::uint32_t* hashes_ = nullptr;
    std::vector<std::uint32_t> longHashes_;
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
  // by number; kMissing for a missing key (also past the end).
  // Numbers from |held| (the section's count of numbered keys) on are not held:
  // reaching one takes more keys than the section has.
  struct Numbered {
    std::vector<Stored> values[kStems];
    std::vector<std::uint32_t> nameHashes;  // NameHash of each name of values[0]
    std::size_t held = 0;
  };
  const Numbered* NumberedOf(const std::string& section) const;
  void IndexNumberedKeys();

  std::shared_ptr<const formats::IniDocument> document_;
  // The text is too long for the places of Stored: every value is looked up by
  // the reader.
  bool long_ = false;
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
