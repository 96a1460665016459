// Reading a hive from Wine's registry text: the lines of the file, the values and
// key paths on them, the check of every line by Parse and the decoding of a key's
// values when they are first asked for.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "formats/registry_hive.h"
#include "formats/registry_lexing.h"

namespace formats {

namespace {

using namespace registry_detail;

inline std::size_t SkipSpaces(std::string_view s, std::size_t i) {
  while (i < s.size() && IsSpace(s[i])) ++i;
  return i;
}

void AppendUtf16Le(std::string* out, const std::u16string& units) {
  for (char16_t u : units) {
    out->push_back(static_cast<char>(u & 0xFF));
    out->push_back(static_cast<char>(u >> 8));
  }
}

// Whether a value repeats in |values| (which it may reorder).
bool HasRepeats(std::vector<std::uint64_t>* values) {
  constexpr std::size_t kFew = 8;  // compared pair by pair
  if (values->size() <= kFew) {
    for (std::size_t i = 0; i < values->size(); ++i) {
      for (std::size_t j = i + 1; j < values->size(); ++j) {
        if ((*values)[i] == (*values)[j]) return true;
      }
    }
    return false;
  }
  std::sort(values->begin(), values->end());
  return std::adjacent_find(values->begin(), values->end()) != values->end();
}

// Reads the lines of a file one by one, keeping each line's exact bytes.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  // The next line with its line break, false at the end.
  bool Next(std::string_view* raw) {
    if (at_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', at_);
    end = end == std::string_view::npos ? text_.size() : end + 1;
    *raw = std::string_view(text_.data() + at_, end - at_);
    at_ = end;
    ++line_;
    return true;
  }
  int line() const { return line_; }
  std::size_t offset() const { return at_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 0;
};

// The line without its line break (and a carriage return before it).
inline std::string_view Content(std::string_view raw) {
  if (!raw.empty() && raw.back() == '\n') raw.remove_suffix(1);
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  return raw;
}

// Comma-separated hex bytes from |s| at |i|, as Wine reads them; false on a
// number above 0xff.
bool ParseHexBytes(const std::string& s, std::size_t* i, std::string* out) {
  while (*i < s.size() && IsHexDigit(s[*i])) {
    const char* start = s.c_str() + *i;
    char* end = nullptr;
    unsigned long value = std::strtoul(start, &end, 16);
    if (end == start || value > 0xFF) return false;
    out->push_back(static_cast<char>(value));
    *i += static_cast<std::size_t>(end - start);
    *i = SkipSpaces(s, *i);
    if (*i < s.size() && s[*i] == ',') ++*i;
    *i = SkipSpaces(s, *i);
  }
  return true;
}

// Parses the value that starts on |first| (the line without leading blanks);
// hex data continued with a backslash pulls further lines from |reader|.
bool ParseValue(std::string_view first, LineReader* reader, HiveValue* value, std::string* raw,
                std::string* message) {
  std::string_view s = Content(first);
  std::size_t i;
  if (s[0] == '@') {
    value->name.clear();
    i = 1;
  } else {
    std::size_t used = UnescapeRegistryText(s.substr(1), '"', &value->name);
    if (used == std::string_view::npos) {
      *message = "malformed value name";
      return false;
    }
    i = 1 + used;
  }
  i = SkipSpaces(s, i);
  if (i >= s.size() || s[i] != '=') {
    *message = "malformed value name";
    return false;
  }
  i = SkipSpaces(s, i + 1);
  std::string_view rest = s.substr(i);

  struct Tag {
    std::string_view text;
    std::uint32_t type;
    bool string;
  };
  value->type = kNone;  // |value| may hold the type of an earlier line
  static const Tag kTags[] = {{"\"", kSz, true},
                              {"str:\"", kSz, true},
                              {"str(2):\"", kExpandSz, true},
                              {"str(7):\"", kMultiSz, true},
                              {"hex:", kBinary, false},
                              {"dword:", kDword, false}};
  for (const Tag& tag : kTags) {
    if (rest.substr(0, tag.text.size()) != tag.text) continue;
    rest.remove_prefix(tag.text.size());
    value->type = tag.type;
    if (tag.string) {
      std::u16string units;
      if (UnescapeRegistryText(rest, '"', &units) == std::string_view::npos) {
        *message = "unterminated string";
        return false;
      }
      units.push_back(u'\0');
      value->data.clear();
      AppendUtf16Le(&value->data, units);
      return true;
    }
    if (tag.type == kDword) {
      std::string digits(rest);
      std::uint32_t number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
      value->data.assign(reinterpret_cast<const char*>(&number), 4);
      return true;
    }
    break;  // hex:
  }
  if (value->type != kBinary) {
    if (rest.substr(0, 4) != "hex(") {
      *message = "unknown value type";
      return false;
    }
    std::string digits(rest.substr(4));
    char* end = nullptr;
    unsigned long type = std::strtoul(digits.c_str(), &end, 16);
    if (end == digits.c_str() || std::string_view(end).substr(0, 2) != "):") {
      *message = "malformed hex type";
      return false;
    }
    value->type = static_cast<std::uint32_t>(type);
    rest.remove_prefix(4 + static_cast<std::size_t>(end - digits.c_str()) + 2);
  }
  value->data.clear();
  std::string line(rest);
  for (;;) {
    std::size_t at = 0;
    if (!ParseHexBytes(line, &at, &value->data)) {
      *message = "malformed hex data";
      return false;
    }
    at = SkipSpaces(line, at);
    if (at == line.size()) return true;
    if (line[at] != '\\') {
      *message = "malformed hex data";
      return false;
    }
    std::string_view next;
    if (!reader->Next(&next)) {
      *message = "hex data continued past the end of the file";
      return false;
    }
    raw->append(next);
    std::string_view content = Content(next);
    line.assign(content.substr(SkipSpaces(content, 0)));
  }
}

// ---- the quick check of Parse ---------------------------------------------------
// A value line is "plain" when its form is one that ParseValue is sure to accept:
// a name read to its closing quote, '=', and a string, dword or hex value whose
// bytes are two-digit numbers. Any other line is handed to ParseValue itself.

// End of escaped text that ends with an unescaped '"', as UnescapeRegistryText
// reads it (a zero byte or the end of the text before it fails): npos on failure,
// else the index of the quote.
std::size_t QuotedEnd(std::string_view s, std::size_t from) {
  for (std::size_t at = from;;) {
    std::size_t quote = s.find('"', at);
    if (quote == std::string_view::npos) return quote;
    // Backslashes before the quote pair up from the first: an odd one escapes it.
    std::size_t backslashes = 0;
    while (quote - backslashes > from && s[quote - backslashes - 1] == '\\') ++backslashes;
    if (backslashes % 2 == 0) {
      bool zero = s.substr(from, quote - from).find('\0') != std::string_view::npos;
      return zero ? std::string_view::npos : quote;
    }
    at = quote + 1;
  }
}

// Two-digit hex bytes separated by commas. Returns 0 when the line is done, 1 when
// a backslash continues the data on the next line, -1 for any other form.
int PlainHexLine(std::string_view v) {
  std::size_t p = 0;
  while (p + 3 <= v.size() && v[p + 2] == ',' && IsHexDigit(v[p]) && IsHexDigit(v[p + 1])) p += 3;
  // What is left: nothing, a backslash, or a last byte with or without one.
  if (p == v.size()) return 0;
  if (v[p] == '\\') return 1;
  if (p + 1 >= v.size() || !IsHexDigit(v[p]) || !IsHexDigit(v[p + 1])) return -1;
  p += 2;
  if (p == v.size()) return 0;
  return v[p] == '\\' ? 1 : -1;
}

inline bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && std::memcmp(s.data(), prefix.data(), prefix.size()) == 0;
}

// Checks the value that starts on |first| (as ParseValue gets it) and reads its
// continuation lines from |reader|. False when the form is not plain; |reader| is
// then where it was. On success |nameHash| is the hash of the folded name.
bool PlainValue(std::string_view first, LineReader* reader, std::u16string* scratch,
                std::uint64_t* nameHash) {
  std::string_view s = Content(first);
  std::size_t i;
  std::uint64_t hash;
  if (s[0] == '@') {
    hash = HashFolded(u"", 0);
    i = 1;
  } else {
    std::size_t end = FindSpecial(s, 1, '"', true);
    if (end < s.size() && s[end] == '"') {
      // ASCII without escapes: the bytes are the units.
      hash = HashFolded(reinterpret_cast<const unsigned char*>(s.data()) + 1, end - 1);
    } else {
      end = QuotedEnd(s, 1);
      if (end == std::string_view::npos) return false;
      if (UnescapeRegistryText(s.substr(1), '"', scratch) == std::string_view::npos) return false;
      hash = HashFolded(scratch->data(), scratch->size());
    }
    i = end + 1;
  }
  i = SkipSpaces(s, i);
  if (i >= s.size() || s[i] != '=') return false;
  std::string_view rest = s;
  rest.remove_prefix(SkipSpaces(s, i + 1));
  *nameHash = hash;

  for (std::string_view tag : {std::string_view("\""), std::string_view("str:\""),
                               std::string_view("str(2):\""), std::string_view("str(7):\"")}) {
    if (StartsWith(rest, tag)) return QuotedEnd(rest, tag.size()) != std::string_view::npos;
  }
  if (StartsWith(rest, "hex:")) {
    rest.remove_prefix(4);
  } else if (StartsWith(rest, "dword:")) {
    return true;
  } else if (StartsWith(rest, "hex(")) {
    std::size_t p = 4;
    while (p < rest.size() && IsHexDigit(rest[p])) ++p;
    if (p == 4 || rest.substr(p, 2) != "):") return false;
    rest.remove_prefix(p + 2);
  } else {
    return false;
  }
  LineReader start = *reader;
  for (int state = PlainHexLine(rest); state != 0; state = PlainHexLine(rest)) {
    std::string_view next;
    if (state < 0 || !reader->Next(&next)) {
      *reader = start;
      return false;
    }
    std::string_view content = Content(next);
    rest = content.substr(SkipSpaces(content, 0));
  }
  return true;
}

// How many bytes two texts share at their start.
std::size_t SharedStart(std::string_view a, std::string_view b) {
  std::size_t limit = std::min(a.size(), b.size());
  std::size_t k = 0;
  for (; k + 8 <= limit; k += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a.data() + k, 8);
    std::memcpy(&y, b.data() + k, 8);
    if (x != y) break;
  }
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

// The keys of the key lines of a file, one line after the other. Wine writes a
// parent before its subkeys, so a path mostly starts with the names of the path
// before it: the start they share is not decoded again, and the keys of the
// names they share are kept instead of being looked up.
class KeyPathSteps {
 public:
  // Reads the path of a key line from |source|, the text after its '[', and
  // splits it at its backslashes (empty names left out). Returns the bytes read
  // with the closing ']', npos when there is none.
  std::size_t Read(std::string_view source) {
    // Up to a two-byte escaped backslash, a start of the text that the line
    // before shares decodes as it did there.
    std::size_t shared = SharedStart(source, previousSource_);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < previousMarks_.size() && previousMarks_[k].source <= shared; ++k) {
      if (previousMarks_[k].twoBytes) kept = k + 1;
    }
    EscapedBackslash from = kept ? previousMarks_[kept - 1] : EscapedBackslash{0, 0, true};
    path_.assign(previousPath_, 0, from.units);
    marks_.assign(previousMarks_.begin(), previousMarks_.begin() + static_cast<std::ptrdiff_t>(kept));
    std::size_t used = UnescapeAppending(source.substr(from.source), ']', &path_, &marks_);
    if (used == std::string_view::npos) return used;
    for (std::size_t k = kept; k < marks_.size(); ++k) marks_[k].source += from.source;
    source_ = source;
    Split(from.units);
    return from.source + used;
  }
  // How many first names are those of the path before, whose keys Node() gives.
  // The keys of the other names are to be added in order.
  std::size_t Same() const { return nodes_.size(); }
  std::size_t NameCount() const { return names_.size(); }
  std::u16string_view Name(std::size_t k) const { return View(path_, names_[k]); }
  HiveNode* Node(std::size_t k) const { return nodes_[k]; }
  void Add(HiveNode* node) { nodes_.push_back(node); }
  // Done with the line: its path becomes the path before the next one.
  void Keep() {
    previousSource_ = source_;
    previousPath_.swap(path_);
    previousNames_.swap(names_);
    previousMarks_.swap(marks_);
  }

 private:
  struct Span {
    std::size_t at;
    std::size_t size;
  };
  static std::u16string_view View(const std::u16string& path, Span span) {
    return std::u16string_view(path).substr(span.at, span.size);
  }
  static bool SameUnits(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
  }
  std::u16string_view PreviousName(std::size_t k) const { return View(previousPath_, previousNames_[k]); }

  // Every backslash of the path comes from an escape: the names lie between the
  // marks. Those that end before |shared| units are the names of the path before.
  void Split(std::size_t shared) {
    names_.clear();
    std::size_t start = 0;
    std::size_t same = 0;
    for (const EscapedBackslash& mark : marks_) {
      std::size_t separator = mark.units - 1;
      if (separator > start) {
        names_.push_back({start, separator - start});
        if (separator < shared) ++same;
      }
      start = separator + 1;
    }
    if (path_.size() > start) names_.push_back({start, path_.size() - start});
    same = std::min(same, nodes_.size());
    while (same < names_.size() && same < nodes_.size() && SameUnits(Name(same), PreviousName(same))) ++same;
    nodes_.resize(same);
  }

  std::string_view source_, previousSource_;
  std::u16string path_, previousPath_;
  std::vector<Span> names_, previousNames_;
  std::vector<EscapedBackslash> marks_, previousMarks_;
  std::vector<HiveNode*> nodes_;  // the keys of the names of the path before
};

}  // namespace

bool Hive::Parse(std::string_view input, HiveParseError* error) {
  return ParseOwned(std::string(input), error);
}

bool Hive::ParseOwned(std::string&& input, HiveParseError* error) {
  Reset("");
  text_ = std::move(input);
  const std::string_view text(text_);
  LineReader reader(text);
  std::string_view raw;
  auto fail = [&](int line, std::string message) {
    if (error) *error = HiveParseError{line, std::move(message)};
    Reset("");
    text_.clear();
    return false;
  };
  if (!reader.Next(&raw) || Content(raw) != "WINE REGISTRY Version 2")
    return fail(1, "not a Wine registry file (first line is not \"WINE REGISTRY Version 2\")");

  std::size_t contentEnd = reader.offset();  // after the last line that is not blank
  HiveBlock* block = nullptr;
  std::size_t spanStart = 0;
  std::vector<std::uint64_t> names;  // hashes of the value names of the current span
  std::vector<HiveBlock*> merged;    // blocks that must be decoded before use
  KeyPathSteps keys;
  std::u16string scratch;
  HiveValue checked;

  auto closeSpan = [&]() {
    if (!block) return;
    std::string_view span = text.substr(spanStart, contentEnd - spanStart);
    if (block->span.data() == nullptr) {
      block->span = span;
    } else {
      block->laterSpans.push_back(span);
    }
    // Two values of the same name (or of the same hash) merge: decoded at once.
    if (HasRepeats(&names)) merged.push_back(block);
    names.clear();
  };

  for (std::size_t lineStart = reader.offset(); reader.Next(&raw); lineStart = reader.offset()) {
    std::string_view content = Content(raw);
    std::size_t start = SkipSpaces(content, 0);
    char first = start < content.size() ? content[start] : '\0';
    std::string_view line = content;
    line.remove_prefix(start);
    int lineNumber = reader.line();
    switch (first) {
      case '[': {
        if (keys.Read(line.substr(1)) == std::string_view::npos)
          return fail(lineNumber, "malformed key name");
        closeSpan();
        std::string_view lead = text.substr(contentEnd, lineStart - contentEnd);
        if (!block) header_.assign(text.substr(0, contentEnd));
        std::size_t same = keys.Same();
        HiveNode* node = same ? keys.Node(same - 1) : &root_;
        for (std::size_t k = same; k < keys.NameCount(); ++k) {
          node = ChildOrNew(node, keys.Name(k));
          keys.Add(node);
        }
        keys.Keep();
        contentEnd = reader.offset();
        spanStart = contentEnd;
        if (node->block) {
          // The same key a second time: its lines join the first block, as Wine
          // merges them.
          block = node->block;
          if (block->laterSpans.empty()) merged.push_back(block);
          break;
        }
        HiveBlock* fresh = blockPool_.New();
        fresh->lead = lead;
        fresh->keyLine = raw;
        fresh->node = node;
        fresh->decoded = false;
        node->block = fresh;
        block = fresh;
        blocks_.push_back(fresh);
        break;
      }
      case '@':
      case '"': {
        if (!block) return fail(lineNumber, "value outside of any key");
        std::uint64_t hash = 0;
        if (!PlainValue(line, &reader, &scratch, &hash)) {
          std::string valueText(raw);
          std::string message;
          if (!ParseValue(line, &reader, &checked, &valueText, &message)) return fail(lineNumber, message);
          hash = FoldedNameHash()(checked.name);
        }
        names.push_back(hash);
        contentEnd = reader.offset();
        break;
      }
      case '#':
      case ';':
        contentEnd = reader.offset();
        break;
      case '\0':
        break;
      default:
        return fail(lineNumber, "unrecognised line");
    }
  }
  if (!block) {
    header_.assign(text);
  } else {
    closeSpan();
    trailer_.assign(text.substr(contentEnd));
  }
  for (HiveBlock* b : merged) Decode(b);
  return true;
}

void Hive::Decode(HiveBlock* block) const {
  if (block->decoded) return;
  block->decoded = true;
  std::unordered_map<std::u16string, std::size_t> valuesOfBlock;  // folded name -> item
  std::vector<std::string_view> spans{block->span};
  spans.insert(spans.end(), block->laterSpans.begin(), block->laterSpans.end());
  for (std::string_view span : spans) {
    LineReader reader(span);
    std::string_view raw;
    std::string pending;  // blank lines not yet given to an item
    auto flushPending = [&]() {
      if (pending.empty()) return;
      block->items.push_back(HiveItem{HiveItem::kOther, pending, {}});
      pending.clear();
    };
    while (reader.Next(&raw)) {
      std::string_view content = Content(raw);
      std::size_t start = SkipSpaces(content, 0);
      char first = start < content.size() ? content[start] : '\0';
      std::string_view line = content.substr(start);
      if (first == '\0') {
        pending.append(raw);
        continue;
      }
      flushPending();
      if (first != '@' && first != '"') {
        bool time = line.substr(0, 6) == "#time=";
        block->items.push_back(HiveItem{time ? HiveItem::kTime : HiveItem::kOther, std::string(raw), {}});
        continue;
      }
      HiveItem item;
      item.kind = HiveItem::kValue;
      std::string valueText(raw);
      std::string message;
      if (!ParseValue(line, &reader, &item.value, &valueText, &message)) {
        // Parse accepted this line, so this does not happen; the text stays as it was.
        block->items.push_back(HiveItem{HiveItem::kOther, std::move(valueText), {}});
        continue;
      }
      std::u16string folded = FoldName(item.value.name);
      auto known = valuesOfBlock.find(folded);
      if (known != valuesOfBlock.end()) {
        // A value named twice: the later data wins, under the first spelling.
        HiveValue& earlier = block->items[known->second].value;
        earlier.type = item.value.type;
        earlier.data = std::move(item.value.data);
        earlier.text.clear();
        continue;
      }
      item.value.text = std::move(valueText);
      valuesOfBlock.emplace(std::move(folded), block->items.size());
      block->items.push_back(std::move(item));
    }
    flushPending();
  }
  block->span = {};
  block->laterSpans.clear();
}

}  // namespace formats
