// One registry hive held as the text of Wine's registry file.
//
// The file is split into its key blocks; every block and every value keeps the
// text it was read from, so that writing the hive back reproduces each untouched
// byte. Only what a call changed is written anew, in the form Wine writes it.
//
// Parsing checks every line but builds only the tree of keys: the values of a key
// are decoded from the block's text when the key is first asked for them. A block
// never asked for is written back from its text.
// Names are UTF-16 as Wine holds them and compare as Wine compares them.
//
// registry_read.cpp reads a file (its lines, values and key paths), registry_tree.cpp
// keeps the tree of keys with the index of their subkeys, registry_write.cpp writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formats/registry_text.h"

namespace formats {

struct HiveValue {
  std::u16string name;  // empty for the default value
  std::uint32_t type = 0;
  std::string data;  // bytes as the registry holds them (UTF-16LE for strings)
  std::string text;  // its lines in the file; empty when it must be written anew
};

// The lines of a value as Wine writes them, wrapped hex lines included.
std::string FormatValue(const HiveValue& value);

struct HiveItem {
  enum Kind { kValue, kTime, kOther };
  Kind kind = kOther;
  std::string text;  // kTime and kOther: the line(s) as read
  HiveValue value;   // kValue
};

struct HiveNode;

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

struct HiveNode {
  std::u16string name;
  HiveNode* parent = nullptr;
  std::vector<HiveNode*> children;  // in file order; owned by the hive
  // Kept once a key has many subkeys; a key with few is searched in order.
  ChildIndex index;
  HiveBlock* block = nullptr;  // null for a key implied by its subkeys

  HiveNode* Child(std::u16string_view wanted) const;
};

struct HiveParseError {
  int line = 0;
  std::string message;
};

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
  bool ParseOwned(std::string&& text, HiveParseError* error);
  std::string Serialize() const;

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

  std::size_t BlockCount() const { return blocks_.size(); }
  // The lines before the first key (the version line, comments, "#arch=").
  const std::string& Header() const { return header_; }

 private:
  // The subkey |name| of |parent|, added after the others when it is missing.
  HiveNode* ChildOrNew(HiveNode* parent, std::u16string_view name);
  // |hash| is that of |name|, used when |parent| already has an index.
  HiveNode* AddChild(HiveNode* parent, std::u16string_view name, bool sorted, std::size_t hash);
  // Decodes the items of a block from its text (a block that passed Parse).
  void Decode(HiveBlock* block) const;
  HiveBlock* EnsureBlock(HiveNode* node);
  void Touch(HiveBlock* block);

  std::string text_;  // the file as parsed; undecoded blocks point into it
  std::string header_;
  std::string trailer_;
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
