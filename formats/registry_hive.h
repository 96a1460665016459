// One registry hive held as the text of Wine's registry file.
//
// The file is split into its key blocks; every block and every value keeps the
// text it was read from, so that writing the hive back reproduces each untouched
// byte. Only what a call changed is written anew, in the form Wine writes it.
//
// Parsing checks every line of the file in one pass over its bytes and notes where
// its key lines stand; nothing else is read then. The keys of the tree are made
// from those lines when their parent is first asked for its subkeys (a look-up of
// Software\Microsoft makes the top keys and those of Software, not the thousands
// below them), and the values of a key are decoded from the block's text when the
// key is first asked for them. A block never asked for is written back from its
// text; a change, or writing the hive, makes the whole tree first.
// Names are UTF-16 as Wine holds them and compare as Wine compares them.
//
// registry_check.cpp checks a file, registry_read.cpp reads values and key paths,
// registry_tree.cpp keeps the tree of keys with the index of their subkeys and
// makes keys from their lines, registry_write.cpp writes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "formats/registry_text.h"

namespace formats {

struct HiveValue {
  std::u16string name;  // empty for the default value
  std::uint32_t type = 0;
  std::string data;  // bytes as the registry holds them (UTF-16LE for strings)
  // Its lines in the hive's text; empty when it must be written anew.
  std::string_view text;
};

// The lines of a value as Wine writes them, wrapped hex lines included.
std::string FormatValue(const HiveValue& value);

struct HiveItem {
  enum Kind { kValue, kTime, kOther };
  Kind kind = kOther;
  std::string_view text;  // kTime and kOther: the line(s) as read, in the hive's text
  HiveValue value;        // kValue
};

class HiveNode;

struct HiveBlock {
  // Both in the hive's text (or a literal); empty key line for a new block.
  std::string_view lead;        // blank lines before the key line
  std::string_view keyLine;     // the "[...]" line as read
  std::vector<HiveItem> items;  // once decoded
  // Not yet decoded: the lines after the key line, in the hive's text, and those
  // after each later line of the same key.
  bool decoded = true;
  std::string_view span;
  std::vector<std::string_view> laterSpans;
  HiveNode* node = nullptr;
  bool touched = false;        // key line and #time are written anew
  std::uint64_t modified = 0;  // FILETIME of the last change, when touched
  // Where the value items stand in |items|: built when values are enumerated by
  // index, dropped when a value is added or removed.
  std::vector<std::size_t> valuePositions;
  bool positionsKnown = false;
};

// The subkeys of a key with many, by name: open addressing over the subkeys,
// with the hashes of their names.
class ChildIndex {
 public:
  // The subkey named |name|, whose hash is |hash|; null when there is none.
  HiveNode* Find(std::u16string_view name, std::size_t hash) const;
  // Adds a subkey whose name is not in the index yet.
  void Add(HiveNode* child, std::size_t hash);
  void Clear();
  bool Empty() const { return count_ == 0; }

 private:
  struct Slot {
    std::size_t hash = 0;
    HiveNode* node = nullptr;  // null for a free slot
  };
  void Place(Slot slot);

  std::vector<Slot> slots_;  // a power of two of them, at most three quarters used
  std::size_t count_ = 0;
};

class Hive;

class HiveNode {
 public:
  std::u16string name;
  HiveNode* parent = nullptr;
  HiveBlock* block = nullptr;  // null for a key implied by its subkeys

  // The subkeys in file order (owned by the hive), made from their key lines
  // when first asked for.
  const std::vector<HiveNode*>& Subkeys();
  HiveNode* Child(std::u16string_view wanted);

 private:
  friend class Hive;
  // A key line below this key not yet given to a subkey, and where its next name
  // starts: a byte of the file for a plain path, else the index of the name.
  struct Pending {
    std::uint32_t line;
    std::uint32_t at;
  };
  // The pending lines of a key in the order given. Nearly every key has a single
  // entry (one run of lines), kept in place: only a second one takes memory.
  class PendingLines {
   public:
    const Pending* begin() const { return many_.empty() ? &one_ : many_.data(); }
    const Pending* end() const {
      return many_.empty() ? &one_ + (hasOne_ ? 1 : 0) : many_.data() + many_.size();
    }
    bool empty() const { return !hasOne_ && many_.empty(); }
    void push_back(Pending line) {
      if (empty()) {
        one_ = line;
        hasOne_ = true;
        return;
      }
      if (many_.empty()) many_.push_back(one_);
      many_.push_back(line);
    }
    void reserve(std::size_t count) { many_.reserve(count); }
    // Hands the entries over, leaving none (and no memory) behind.
    PendingLines Take() { return std::exchange(*this, PendingLines()); }

   private:
    Pending one_{0, 0};  // the entry while it is the only one
    bool hasOne_ = false;
    std::vector<Pending> many_;  // every entry once there are two
  };
  // Among the subkeys made so far.
  HiveNode* KnownChild(std::u16string_view wanted) const;

  Hive* hive = nullptr;
  std::vector<HiveNode*> children;  // all subkeys once complete
  // Kept once a key has many subkeys; a key with few is searched in order.
  ChildIndex index;
  bool complete = true;
  // Until complete. For a hive whose key lines are all plain, each entry is
  // instead a run of lines in order, [line, at), and the names of the subkeys
  // start |nameAt| bytes into their paths.
  PendingLines pending;
  std::uint32_t nameAt = 0;
};

struct HiveParseError {
  int line = 0;
  std::string message;
};

// Runs |other| beside |mine|, on another thread where the caller has one, and
// returns when both have ended.
using RunBeside = void (*)(const std::function<void()>& other, const std::function<void()>& mine);

// A key line as the check of a file finds it: offsets in the file's text.
struct HiveKeyLine {
  std::uint32_t lineStart;  // the line's first byte
  std::uint32_t pathStart;  // after the '['
  std::uint32_t pathEnd;    // the closing ']'
  std::uint32_t bodyStart;  // after the line break
  std::uint32_t bodyEnd;    // after the block's last line that is not blank
  // Every byte of the path stands for itself but the separators "\\" between
  // names, none of them empty.
  bool plain;
};

// What the check of a file finds: its key lines, where the lines before the first
// key end and where those after the last block start.
struct HiveIndex {
  std::vector<HiveKeyLine> keys;
  std::uint32_t headerEnd = 0;
  std::uint32_t trailerStart = 0;
};

// Whether |text| is a registry file that Hive::Parse accepts, with the same line
// and reason when it is not. One pass over the bytes: nothing is decoded or kept.
bool CheckRegistryText(std::string_view text, HiveParseError* error);
// The same verdict reached the slow way, by decoding every key path and value of
// the file; the check must agree with it (tests and fuzzing compare the two).
bool ParseEveryValue(std::string_view text, HiveParseError* error);

class Hive {
 public:
  Hive();
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  // An empty hive whose file starts with |header|.
  void Reset(std::string header);
  // Parses a whole file; false (and the hive left empty) when it is not one.
  bool Parse(std::string_view text, HiveParseError* error);
  // The same, keeping |text| itself instead of a copy: a hive file is megabytes.
  // With |runBeside|, a large file's check runs in two parts at once.
  // With |scanned|, a file that parses leaves there what its check found.
  bool ParseOwned(std::string&& text, HiveParseError* error, RunBeside runBeside = nullptr,
                  HiveIndex* scanned = nullptr);
  // Takes |text| as parsed without checking it again: |index| is what the check
  // of these very bytes found (kept from an earlier parse of the same file).
  void AdoptChecked(std::string&& text, HiveIndex&& index);
  // The file's text; makes the whole tree first.
  std::string Serialize();

  HiveNode* Root() { return &root_; }
  HiveNode* Find(const std::vector<std::u16string>& path);
  // Finds the key, creating it and its parents when missing.
  HiveNode* Create(const std::vector<std::u16string>& path);
  static std::vector<std::u16string> PathOf(const HiveNode* node);

  // Values of a key in file order.
  std::vector<const HiveValue*> Values(const HiveNode* node) const;
  // The |index|-th value of a key in file order, or null past the last; constant
  // time after the first call, so enumerating a key is linear in its values.
  const HiveValue* ValueAt(const HiveNode* node, std::size_t index) const;
  const HiveValue* FindValue(const HiveNode* node, std::u16string_view name) const;
  void SetValue(HiveNode* node, const std::u16string& name, std::uint32_t type, std::string data);
  bool DeleteValue(HiveNode* node, std::u16string_view name);
  // Removes a key with everything below it (never the root).
  void DeleteKey(HiveNode* node);

  // Makes the whole tree first.
  std::size_t BlockCount() {
    Complete();
    return blocks_.size();
  }
  // The lines before the first key (the version line, comments, "#arch=").
  const std::string& Header() const { return header_; }

 private:
  friend class HiveNode;
  // |hash| is that of |name|, used when |parent| already has an index.
  HiveNode* AddChild(HiveNode* parent, std::u16string_view name, bool sorted, std::size_t hash);
  // Makes the subkeys of |node| from the key lines below it.
  void Expand(HiveNode* node);
  // Expand for a file whose key lines are all plain, given as runs of lines in
  // order: in a run, the lines of each subkey follow each other and are found by
  // searching, not one by one.
  void ExpandOrdered(HiveNode* node);
  // The runs of key lines in order, as the root's pending lines; false (and none
  // given) when a key line is not plain.
  bool OrderedRuns();
  // The key line |line| is one of |node| itself: its block, or more of it.
  void AddBlock(HiveNode* node, std::uint32_t line);
  // The names of a key line's path, decoded (for a path that is not plain).
  void DecodePath(const HiveKeyLine& line, std::u16string* units,
                  std::vector<std::u16string_view>* names) const;
  // Makes the lazy tree from the key lines of a checked |text_|.
  void StartTree(std::size_t headerEnd, std::size_t trailerStart);
  // Makes every key, as a change and writing need.
  void Complete();
  // Decodes the blocks whose values repeat a name, which writing merges.
  void MergeRepeatedValues();
  // Decodes the items of a block from its text (a block that passed Parse).
  void Decode(HiveBlock* block) const;
  HiveBlock* EnsureBlock(HiveNode* node);
  void Touch(HiveBlock* block);

  std::string text_;          // the file as parsed; undecoded blocks point into it
  std::u16string nameUnits_;  // Expand's room for a name, kept from key to key
  std::string header_;
  std::string trailer_;
  std::vector<HiveKeyLine> keyLines_;  // until the tree is complete
  bool lazy_ = false;                  // keys are still made from their lines
  bool ordered_ = false;               // pending lines are runs for ExpandOrdered
  bool repeatsMerged_ = true;
  // Objects made in chunks and released with the hive: a file holds thousands.
  template <typename T>
  class Pool {
   public:
    T* New() {
      if (used_ == kChunk) {
        chunks_.push_back(std::make_unique<T[]>(kChunk));
        used_ = 0;
      }
      return &chunks_.back()[used_++];
    }
    void Clear() {
      chunks_.clear();
      used_ = kChunk;
    }

   private:
    static constexpr std::size_t kChunk = 256;
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t used_ = kChunk;
  };
  Pool<HiveNode> nodes_;
  Pool<HiveBlock> blockPool_;
  std::vector<HiveBlock*> blocks_;  // in file order
  HiveNode root_;
};

}  // namespace formats
