// The key tree of a hive: keys made from their key lines when first asked for,
// keys found and made, values set and removed, the index of the subkeys of a key
// with many, and the place of a new key in the file.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/registry_hive.h"

namespace formats {

namespace {

std::uint64_t NowFileTime() {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks =
      std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(sinceEpoch);
  return static_cast<std::uint64_t>(ticks.count()) + 116444736000000000ull;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

// The chain of keys from the root's child down to |node|.
void ChainOf(const HiveNode* node, std::vector<const HiveNode*>* chain) {
  chain->clear();
  for (; node && node->parent; node = node->parent) chain->push_back(node);
  std::reverse(chain->begin(), chain->end());
}

// Wine's file order of two keys: a parent first, then its subkeys by name.
int CompareChains(const std::vector<const HiveNode*>& a, const std::vector<const HiveNode*>& b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    int order = CompareNames(a[i]->name, b[i]->name);
    if (order) return order;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Whether |n| bytes at |a| and |b| are the same: names are short, and a call of
// memcmp for each would cost more than the compare. The last word compared may
// overlap the one before; nothing outside the |n| bytes is read.
inline bool SameBytes(const char* a, const char* b, std::size_t n) {
  auto word = [](const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
  };
  auto half = [](const char* p) {
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
  };
  if (n >= 8) {
    for (; n > 8; a += 8, b += 8, n -= 8) {
      if (word(a) != word(b)) return false;
    }
    return word(a + n - 8) == word(b + n - 8);
  }
  if (n >= 4) return half(a) == half(b) && half(a + n - 4) == half(b + n - 4);
  for (; n; ++a, ++b, --n) {
    if (*a != *b) return false;
  }
  return true;
}

// ASCII letters in upper case, as Wine orders the keys of its files.
inline unsigned char UpperAscii(char c) {
  return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
}

// Whether the |name.size()| bytes at |a| are |name| but for the case of letters.
inline bool SameFoldedAscii(const char* a, std::string_view name) {
  if (SameBytes(a, name.data(), name.size())) return true;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(name[i])) return false;
  }
  return true;
}

// Where the first |n| bytes at |a| and |b| first differ, or |n|.
std::size_t FirstDifference(const char* a, const char* b, std::size_t n) {
  std::size_t m = 0;
#if defined(__SSE2__)
  for (; m + 16 <= n; m += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + m));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + m));
    const unsigned differ = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xffffu;
    if (differ) return m + static_cast<std::size_t>(std::countr_zero(differ));
  }
  // The last bytes as 16 that end with them: those before |m| are the same.
  if (m < n && n >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + n - 16));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + n - 16));
    const unsigned differ = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xffffu;
    return differ ? n - 16 + static_cast<std::size_t>(std::countr_zero(differ)) : n;
  }
#endif
  for (; m < n && a[m] == b[m]; ++m) {
  }
  return m;
}

#if defined(__SSE2__)
// The same as FirstDifference, 32 bytes at a time, for bytes readable up to the
// next multiple of 32 past |n|: what lies past |n| does not change the answer.
inline std::size_t FirstDifferenceReadingOn(const char* a, const char* b, std::size_t n) {
  for (std::size_t m = 0; m < n; m += 32) {
    const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + m));
    const __m128i y0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + m));
    const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + m + 16));
    const __m128i y1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + m + 16));
    const std::uint32_t same = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x0, y0))) |
                               static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x1, y1))) << 16;
    if (same != 0xffffffffu) return std::min(n, m + static_cast<std::size_t>(std::countr_zero(~same)));
  }
  return n;
}
#endif

// The order of two plain key paths whose first |m| bytes are the same and
// differ at |m| or end there: name by name, letters in upper case, a shorter
// name and a parent first. Names equal but for case are equal here.
inline int ComparePlainPathsFrom(std::string_view a, std::string_view b, std::size_t m) {
  if (m == a.size() && m == b.size()) return 0;
  // Backslashes come in pairs, so |m| is not inside a separator, and the bytes of
  // its name before it are the same in both.
  std::size_t i = m;
  for (;;) {
    const bool endA = i == a.size() || a[i] == '\\';
    const bool endB = i == b.size() || b[i] == '\\';
    if (endA || endB) {
      if (!endA) return 1;
      if (!endB) return -1;
      if (i == a.size() || i == b.size()) return i == a.size() ? (i == b.size() ? 0 : -1) : 1;
      i += 2;
      continue;
    }
    const int order = UpperAscii(a[i]) - UpperAscii(b[i]);
    if (order) return order;
    ++i;
  }
}

// |bytes| as units, one each, into |units|: assign() from a range of another
// character type builds a string of its own first.
inline void WidenInto(std::u16string* units, std::string_view bytes) {
  units->resize(bytes.size());
  std::copy(bytes.begin(), bytes.end(), units->begin());
}

// Subkeys from which on a key keeps an index of them.
constexpr std::size_t kIndexedChildren = 8;

}  // namespace

HiveNode* ChildIndex::Find(std::u16string_view name, std::size_t hash) const {
  if (slots_.empty()) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (!slot.node) return nullptr;
    if (slot.hash == hash && SameName(slot.node->name, name)) return slot.node;
  }
}

void ChildIndex::Add(HiveNode* child, std::size_t hash) {
  if ((count_ + 1) * 4 > slots_.size() * 3) {
    std::vector<Slot> old(std::max<std::size_t>(32, slots_.size() * 2));
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.node) Place(slot);
    }
  }
  Place({hash, child});
  ++count_;
}

void ChildIndex::Place(Slot slot) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = slot.hash & mask;
  while (slots_[at].node) at = (at + 1) & mask;
  slots_[at] = slot;
}

void ChildIndex::Clear() {
  slots_ = {};
  count_ = 0;
}

HiveNode* HiveNode::KnownChild(std::u16string_view wanted) const {
  if (!index.Empty()) return index.Find(wanted, FoldedNameHash()(wanted));
  for (HiveNode* child : children) {
    if (SameName(child->name, wanted)) return child;
  }
  return nullptr;
}

const std::vector<HiveNode*>& HiveNode::Subkeys() {
  if (!complete) hive->Expand(this);
  return children;
}

HiveNode* HiveNode::Child(std::u16string_view wanted) {
  if (!complete) hive->Expand(this);
  return KnownChild(wanted);
}

Hive::Hive() { root_.hive = this; }

void Hive::Reset(std::string header) {
  text_.clear();
  header_ = std::move(header);
  trailer_.clear();
  blocks_.clear();
  keyLines_ = {};
  lazy_ = false;
  ordered_ = false;
  repeatsMerged_ = true;
  root_.children.clear();
  root_.pending = {};
  root_.nameAt = 0;
  root_.complete = true;
  nodes_.Clear();
  blockPool_.Clear();
  root_.index.Clear();
  root_.block = nullptr;
}

void Hive::Expand(HiveNode* node) {
  if (node->complete) return;
  node->complete = true;
  if (ordered_) {
    ExpandOrdered(node);
    return;
  }
  const HiveNode::PendingLines pending = node->pending.Take();
  std::vector<HiveBlock*> merged;  // blocks whose key came again
  HiveNode* last = nullptr;
  std::string_view lastName;  // the bytes of the name that gave |last|, for a plain path
  std::u16string& units = nameUnits_;
  std::vector<std::u16string_view> names;
  for (const HiveNode::Pending& line : pending) {
    const HiveKeyLine& key = keyLines_[line.line];
    HiveNode::Pending next{line.line, 0};
    bool ends = false;
    std::u16string_view name;
    std::string_view bytes;
    if (key.plain) {
      // ASCII names between separators of two backslashes: the bytes are the units.
      const char* from = text_.data() + line.at;
      const std::size_t left = key.pathEnd - line.at;
      // Lines of one subkey mostly follow each other: the name of the line
      // before, then a separator or the end, is looked for first.
      const std::size_t same = lastName.size();
      bool separator;
      bool again = last && same && same <= left && (same == left || from[same] == '\\') &&
                   SameBytes(from, lastName.data(), same);
      if (again) {
        bytes = lastName;
        separator = same < left;
      } else {
        const void* found = std::memchr(from, '\\', left);
        separator = found != nullptr;
        bytes = std::string_view(
            from, found ? static_cast<std::size_t>(static_cast<const char*>(found) - from) : left);
      }
      next.at = separator ? line.at + static_cast<std::uint32_t>(bytes.size()) + 2 : key.pathEnd;
      ends = next.at == key.pathEnd;
      if (again || (last && bytes.size() == same && SameBytes(bytes.data(), lastName.data(), same))) {
        if (ends) {
          AddBlock(last, line.line);
          if (!last->block->laterSpans.empty()) merged.push_back(last->block);
        } else {
          last->pending.push_back(next);
        }
        continue;
      }
      WidenInto(&units, bytes);
      name = units;
    } else {
      DecodePath(key, &units, &names);
      name = names[line.at];
      next.at = line.at + 1;
      ends = next.at == names.size();
    }
    HiveNode* child = node->KnownChild(name);
    if (!child) {
      child = AddChild(node, name, false, FoldedNameHash()(name));
      child->complete = false;
    }
    if (ends) {
      AddBlock(child, line.line);
      if (!child->block->laterSpans.empty()) merged.push_back(child->block);
    } else {
      child->pending.push_back(next);
    }
    last = child;
    lastName = bytes;
  }
  // A key given twice: its lines join the first block, as Wine merges them.
  for (HiveBlock* block : merged) Decode(block);
}

bool Hive::OrderedRuns() {
  const char* text = text_.data();
  const HiveKeyLine* lines = keyLines_.data();  // not changed below: kept out of memory
  const std::uint32_t count = static_cast<std::uint32_t>(keyLines_.size());
  if (count && !lines[0].plain) return false;
  // Key paths are followed by more of their line, so the compare of a path with
  // the one before may read on 32 bytes past it, but near the end of the text.
  std::uint32_t readOn = count;
  while (readOn && static_cast<std::size_t>(lines[readOn - 1].pathEnd) + 32 > text_.size()) --readOn;
  HiveNode::PendingLines runs;
  std::uint32_t runStart = 0;
  // The path of the line before, kept from one line to the next.
  std::string_view before;
  if (count) before = std::string_view(text + lines[0].pathStart, lines[0].pathEnd - lines[0].pathStart);
  // Lines [from, to), compared reading on past their paths or not: two loops
  // rather than a choice on every line.
  auto compareLines = [&]<bool kReadOn>(std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t k = from; k < to; ++k) {
      const HiveKeyLine& line = lines[k];
      if (!line.plain) return false;
      const std::string_view path(text + line.pathStart, line.pathEnd - line.pathStart);
      const std::size_t n = std::min(before.size(), path.size());
#if defined(__SSE2__)
      const std::size_t m = kReadOn ? FirstDifferenceReadingOn(before.data(), path.data(), n)
                                    : FirstDifference(before.data(), path.data(), n);
#else
      const std::size_t m = FirstDifference(before.data(), path.data(), n);
#endif
      // Mostly the paths differ in a byte of a name in both, which orders them
      // unless the two differ only in case.
      int order = 0;
      if (m < n && before[m] != '\\' && path[m] != '\\')
        order = static_cast<int>(UpperAscii(before[m])) - static_cast<int>(UpperAscii(path[m]));
      if (order == 0) order = ComparePlainPathsFrom(before, path, m);
      if (order > 0) {
        runs.push_back({runStart, k});
        runStart = k;
      }
      before = path;
    }
    return true;
  };
  const std::uint32_t split = std::max<std::uint32_t>(1, std::min(readOn, count));
  if (!compareLines.operator()<true>(1, split) || !compareLines.operator()<false>(split, count)) return false;
  runs.push_back({runStart, count});
  root_.pending = std::move(runs);
  root_.nameAt = 0;
  return true;
}

void Hive::ExpandOrdered(HiveNode* node) {
  std::vector<HiveBlock*> merged;  // blocks whose key came again
  const char* text = text_.data();
  const std::uint32_t nameAt = node->nameAt;
  std::u16string& units = nameUnits_;
  const HiveNode::PendingLines runs = node->pending.Take();
  // Runs in file order, so subkeys are made in the order of their first lines.
  // Every line of a run goes on past this key's path, which all of them share.
  for (const HiveNode::Pending& run : runs) {
    const std::uint32_t end = run.at;
    for (std::uint32_t k = run.line; k < end;) {
      const HiveKeyLine& key = keyLines_[k];
      const char* from = text + key.pathStart + nameAt;
      const std::size_t left = key.pathEnd - key.pathStart - nameAt;
      const void* found = std::memchr(from, '\\', left);
      const std::string_view bytes(
          from, found ? static_cast<std::size_t>(static_cast<const char*>(found) - from) : left);
      auto sameName = [&](std::uint32_t other) {
        const HiveKeyLine& line = keyLines_[other];
        const std::size_t length = line.pathEnd - line.pathStart - nameAt;
        if (length < bytes.size()) return false;
        const char* name = text + line.pathStart + nameAt;
        return (length == bytes.size() || name[bytes.size()] == '\\') && SameFoldedAscii(name, bytes);
      };
      // The lines of this subkey follow each other in the run: the first line
      // past them is found by doubling the step, then halving it.
      std::uint32_t same = k;  // a line of this subkey
      std::uint32_t step = 1;
      while (step < end - same && sameName(same + step)) {
        same += step;
        step *= 2;
      }
      std::uint32_t past = same + std::min(step, end - same);  // not of it, or the end
      while (past - same > 1) {
        std::uint32_t middle = same + (past - same) / 2;
        (sameName(middle) ? same : past) = middle;
      }
      WidenInto(&units, bytes);
      HiveNode* child = node->KnownChild(units);
      if (!child) {
        child = AddChild(node, units, false, FoldedNameHash()(units));
        child->complete = false;
        child->nameAt = nameAt + static_cast<std::uint32_t>(bytes.size()) + 2;
      }
      // The key's own lines come before those below it.
      const std::size_t ownLength = nameAt + bytes.size();
      for (; k < past && keyLines_[k].pathEnd - keyLines_[k].pathStart == ownLength; ++k) {
        AddBlock(child, k);
        if (!child->block->laterSpans.empty()) merged.push_back(child->block);
      }
      if (k < past) child->pending.push_back({k, past});
      k = past;
    }
  }
  // A key given twice: its lines join the first block, as Wine merges them.
  for (HiveBlock* block : merged) Decode(block);
}

void Hive::AddBlock(HiveNode* node, std::uint32_t line) {
  const HiveKeyLine& key = keyLines_[line];
  std::string_view text(text_);
  std::string_view span = text.substr(key.bodyStart, key.bodyEnd - key.bodyStart);
  if (node->block) {
    node->block->laterSpans.push_back(span);
    return;
  }
  std::size_t leadStart = line == 0 ? header_.size() : keyLines_[line - 1].bodyEnd;
  HiveBlock* block = blockPool_.New();
  block->lead = text.substr(leadStart, key.lineStart - leadStart);
  block->keyLine = text.substr(key.lineStart, key.bodyStart - key.lineStart);
  block->span = span;
  block->node = node;
  block->decoded = false;
  node->block = block;
  blocks_.push_back(block);
}

void Hive::Complete() {
  if (!lazy_) return;
  std::vector<HiveNode*> stack{&root_};
  while (!stack.empty()) {
    HiveNode* node = stack.back();
    stack.pop_back();
    Expand(node);
    stack.insert(stack.end(), node->children.begin(), node->children.end());
  }
  // Blocks were made as their keys were; the file has them in the order of their
  // first key lines.
  std::sort(blocks_.begin(), blocks_.end(),
            [](const HiveBlock* a, const HiveBlock* b) { return a->keyLine.data() < b->keyLine.data(); });
  keyLines_ = {};
  lazy_ = false;
  ordered_ = false;
}

HiveNode* Hive::Find(const std::vector<std::u16string>& path) {
  HiveNode* node = &root_;
  for (const std::u16string& part : path) {
    node = node->Child(part);
    if (!node) return nullptr;
  }
  return node;
}

HiveNode* Hive::Create(const std::vector<std::u16string>& path) {
  Complete();
  HiveNode* node = &root_;
  bool created = false;
  for (const std::u16string& part : path) {
    HiveNode* child = node->Child(part);
    if (!child) {
      child = AddChild(node, part, true, FoldedNameHash()(part));
      created = true;
    }
    node = child;
  }
  // A new key is written as a block of its own; its new parents are implied.
  if (created) EnsureBlock(node);
  return node;
}

std::vector<std::u16string> Hive::PathOf(const HiveNode* node) {
  std::vector<std::u16string> path;
  for (; node && node->parent; node = node->parent) path.push_back(node->name);
  std::reverse(path.begin(), path.end());
  return path;
}

std::vector<const HiveValue*> Hive::Values(const HiveNode* node) const {
  std::vector<const HiveValue*> values;
  if (!node || !node->block) return values;
  Decode(node->block);
  for (const HiveItem& item : node->block->items) {
    if (item.kind == HiveItem::kValue) values.push_back(&item.value);
  }
  return values;
}

const HiveValue* Hive::ValueAt(const HiveNode* node, std::size_t index) const {
  if (!node || !node->block) return nullptr;
  HiveBlock* block = node->block;
  Decode(block);
  if (!block->positionsKnown) {
    block->valuePositions.clear();
    for (std::size_t k = 0; k < block->items.size(); ++k) {
      if (block->items[k].kind == HiveItem::kValue) block->valuePositions.push_back(k);
    }
    block->positionsKnown = true;
  }
  if (index >= block->valuePositions.size()) return nullptr;
  return &block->items[block->valuePositions[index]].value;
}

const HiveValue* Hive::FindValue(const HiveNode* node, std::u16string_view name) const {
  if (!node || !node->block) return nullptr;
  Decode(node->block);
  for (const HiveItem& item : node->block->items) {
    if (item.kind == HiveItem::kValue && SameName(item.value.name, name)) return &item.value;
  }
  return nullptr;
}

void Hive::SetValue(HiveNode* node, const std::u16string& name, std::uint32_t type, std::string data) {
  Complete();
  HiveBlock* block = EnsureBlock(node);
  Decode(block);
  std::vector<HiveItem>& items = block->items;
  for (HiveItem& item : items) {
    if (item.kind == HiveItem::kValue && SameName(item.value.name, name)) {
      item.value.type = type;
      item.value.data = std::move(data);
      item.value.text = {};
      Touch(block);
      return;
    }
  }
  // A new value goes where Wine's sorted order puts it.
  std::size_t at = items.size();
  std::size_t afterLastValue = items.size();
  bool anyValue = false;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (items[k].kind != HiveItem::kValue) continue;
    if (CompareNames(items[k].value.name, name) > 0) {
      at = k;
      break;
    }
    anyValue = true;
    afterLastValue = k + 1;
  }
  if (at == items.size() && anyValue) at = afterLastValue;
  HiveItem item;
  item.kind = HiveItem::kValue;
  item.value.name = name;
  item.value.type = type;
  item.value.data = std::move(data);
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
  block->positionsKnown = false;
  Touch(block);
}

bool Hive::DeleteValue(HiveNode* node, std::u16string_view name) {
  if (!node || !node->block) return false;
  Complete();
  Decode(node->block);
  std::vector<HiveItem>& items = node->block->items;
  for (auto it = items.begin(); it != items.end(); ++it) {
    if (it->kind == HiveItem::kValue && SameName(it->value.name, name)) {
      items.erase(it);
      node->block->positionsKnown = false;
      Touch(node->block);
      return true;
    }
  }
  return false;
}

void Hive::DeleteKey(HiveNode* node) {
  if (!node || node == &root_) return;
  Complete();
  std::unordered_set<const HiveBlock*> doomed;
  std::vector<const HiveNode*> stack{node};
  while (!stack.empty()) {
    const HiveNode* current = stack.back();
    stack.pop_back();
    if (current->block) doomed.insert(current->block);
    for (HiveNode* child : current->children) stack.push_back(child);
  }
  std::erase_if(blocks_, [&](HiveBlock* block) { return doomed.count(block) != 0; });

  HiveNode* parent = node->parent;
  std::erase_if(parent->children, [&](HiveNode* child) { return child == node; });
  parent->index.Clear();
  if (parent->children.size() > kIndexedChildren) {
    for (HiveNode* each : parent->children) parent->index.Add(each, FoldedNameHash()(each->name));
  }
  // A parent that only its subkeys implied keeps existing as a key of its own.
  if (parent != &root_ && !parent->block && parent->children.empty()) EnsureBlock(parent);
}

HiveNode* Hive::AddChild(HiveNode* parent, std::u16string_view name, bool sorted, std::size_t hash) {
  HiveNode* raw = nodes_.New();
  raw->name = name;
  raw->parent = parent;
  raw->hive = this;
  auto at = parent->children.end();
  if (sorted) {
    at = std::find_if(parent->children.begin(), parent->children.end(),
                      [&](const HiveNode* other) { return CompareNames(other->name, name) > 0; });
  }
  parent->children.insert(at, raw);
  if (!parent->index.Empty()) {
    parent->index.Add(raw, hash);
  } else if (parent->children.size() > kIndexedChildren) {
    for (HiveNode* each : parent->children) parent->index.Add(each, FoldedNameHash()(each->name));
  }
  return raw;
}

HiveBlock* Hive::EnsureBlock(HiveNode* node) {
  if (node->block) return node->block;
  HiveBlock* block = blockPool_.New();
  block->lead = "\n";
  block->node = node;
  block->touched = true;
  block->modified = NowFileTime();
  // Wine writes a parent before its subkeys and siblings in sorted order.
  std::vector<const HiveNode*> chain, other;
  ChainOf(node, &chain);
  auto at = std::find_if(blocks_.begin(), blocks_.end(), [&](const HiveBlock* existing) {
    ChainOf(existing->node, &other);
    return CompareChains(other, chain) > 0;
  });
  node->block = block;
  blocks_.insert(at, block);
  return block;
}

void Hive::Touch(HiveBlock* block) {
  block->touched = true;
  block->modified = NowFileTime();
}

}  // namespace formats
