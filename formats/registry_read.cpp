// Reading a hive from Wine's registry text: the values and key paths on its
// lines, the decoding of a key's values when they are first asked for, and the
// whole file read the slow way that the check of Parse is compared with.
#include <algorithm>
#include <bit>
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

void AppendUtf16Le(std::string* out, std::u16string_view units) {
  const std::size_t at = out->size();
  out->resize(at + 2 * units.size());
  char* to = out->data() + at;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(to, units.data(), 2 * units.size());
    return;
  }
  for (char16_t u : units) {
    *to++ = static_cast<char>(u & 0xFF);
    *to++ = static_cast<char>(u >> 8);
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

inline unsigned HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

// Comma-separated hex bytes from |s| at |i|, as Wine reads them with strtoul
// (a number may have leading zeros and a "0x" before its digits); false on a
// number above 0xff.
bool ParseHexBytes(std::string_view s, std::size_t* i, std::string* out) {
  std::size_t p = *i;
  const std::size_t n = s.size();
  while (p < n && IsHexDigit(s[p])) {
    if (s[p] == '0' && p + 2 < n && (s[p + 1] | 0x20) == 'x' && IsHexDigit(s[p + 2])) p += 2;
    unsigned value = 0;
    do {
      value = value * 16 + HexDigitValue(s[p++]);
      if (value > 0xFF) return false;
    } while (p < n && IsHexDigit(s[p]));
    out->push_back(static_cast<char>(value));
    p = SkipSpaces(s, p);
    if (p < n && s[p] == ',') ++p;
    p = SkipSpaces(s, p);
  }
  *i = p;
  return true;
}

// The number of |digits| hex digits at the start of |s| when no further hex digit
// follows them: what strtoul reads there, without a copy to end it.
bool FixedHexNumber(std::string_view s, std::size_t digits, std::uint32_t* number) {
  if (s.size() < digits || (s.size() > digits && IsHexDigit(s[digits]))) return false;
  std::uint32_t value = 0;
  for (std::size_t k = 0; k < digits; ++k) {
    if (!IsHexDigit(s[k])) return false;
    value = value * 16 + HexDigitValue(s[k]);
  }
  *number = value;
  return true;
}

// Writes |size| ASCII bytes as UTF-16LE units; returns the end of what it wrote.
inline char* WidenAscii(const char* from, std::size_t size, char* to) {
  std::size_t k = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four bytes spread to four units at a time: each byte moves to its unit's low byte.
    for (; k + 4 <= size; k += 4, to += 8) {
      std::uint32_t four;
      std::memcpy(&four, from + k, sizeof four);
      std::uint64_t units = four;
      units = (units | units << 16) & 0x0000FFFF0000FFFFull;
      units = (units | units << 8) & 0x00FF00FF00FF00FFull;
      std::memcpy(to, &units, sizeof units);
    }
  }
  for (; k < size; ++k, to += 2) {
    to[0] = from[k];
    to[1] = 0;
  }
  return to;
}

// A string's data from its escaped text: UTF-16LE units and a zero unit.
// ASCII whose only escapes are a backslash or a quote after a backslash (paths,
// command lines) is widened straight into |data|; other text is decoded by
// UnescapeRegistryText through |scratch|.
bool ParseStringData(std::string_view rest, std::string* data, std::u16string* scratch) {
  // Every unit takes at least a byte of |rest|, the closing quote gives the zero.
  data->resize(2 * (rest.size() + 1));
  char* const begin = data->data();
  char* to = begin;
  for (std::size_t p = 0;;) {
    const std::size_t run = FindSpecial(rest, p, '"', true);
    to = WidenAscii(rest.data() + p, run - p, to);
    p = run;
    if (run == rest.size()) break;
    const char special = rest[run];
    if (special == '"') {
      to[0] = 0;
      to[1] = 0;
      data->resize(static_cast<std::size_t>(to + 2 - begin));
      return true;
    }
    if (special != '\\' || run + 1 == rest.size() || (rest[run + 1] != '\\' && rest[run + 1] != '"')) break;
    to[0] = rest[run + 1];  // the escaped character stands for itself
    to[1] = 0;
    to += 2;
    p = run + 2;
  }
  if (UnescapeRegistryText(rest, '"', scratch) == std::string_view::npos) return false;
  scratch->push_back(u'\0');
  data->clear();
  AppendUtf16Le(data, *scratch);
  return true;
}

// Parses the value that starts on |first| (the line without leading blanks);
// hex data continued with a backslash pulls further lines from |reader|, so the
// value's text ends where |reader| is then. |scratch| holds the units of a string
// while it is decoded.
bool ParseValue(std::string_view first, LineReader* reader, HiveValue* value, std::u16string* scratch,
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
      if (!ParseStringData(rest, &value->data, scratch)) {
        *message = "unterminated string";
        return false;
      }
      return true;
    }
    if (tag.type == kDword) {
      std::uint32_t number;
      if (!FixedHexNumber(rest, 8, &number)) {  // not as Wine writes it: strtoul decides
        std::string digits(rest);
        number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
      }
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
    std::uint32_t type;
    std::size_t digits = 1;
    while (digits < 8 && 4 + digits < rest.size() && IsHexDigit(rest[4 + digits])) ++digits;
    if (FixedHexNumber(rest.substr(4), digits, &type) && rest.substr(4 + digits, 2) == "):") {
      rest.remove_prefix(4 + digits + 2);
    } else {
      std::string number(rest.substr(4));
      char* end = nullptr;
      unsigned long read = std::strtoul(number.c_str(), &end, 16);
      if (end == number.c_str() || std::string_view(end).substr(0, 2) != "):") {
        *message = "malformed hex type";
        return false;
      }
      type = static_cast<std::uint32_t>(read);
      rest.remove_prefix(4 + static_cast<std::size_t>(end - number.c_str()) + 2);
    }
    value->type = type;
  }
  value->data.clear();
  value->data.reserve(rest.size() / 3 + 1);
  for (std::string_view line = rest;;) {
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
    std::string_view content = Content(next);
    line = content.substr(SkipSpaces(content, 0));
  }
}

// ---- the names of a block's values ---------------------------------------------
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

}  // namespace

bool Hive::Parse(std::string_view input, HiveParseError* error) {
  return ParseOwned(std::string(input), error);
}

bool Hive::ParseOwned(std::string&& input, HiveParseError* error, RunBeside runBeside, HiveIndex* scanned) {
  Reset("");
  text_ = std::move(input);
  std::size_t headerEnd = 0;
  std::size_t trailerStart = 0;
  keyLines_.reserve(text_.size() / 192);  // Wine's files have a key line in about 200 bytes
  if (!ScanRegistryText(text_, error, &keyLines_, &headerEnd, &trailerStart, runBeside)) {
    Reset("");
    return false;
  }
  if (scanned) {
    scanned->keys = keyLines_;
    scanned->headerEnd = static_cast<std::uint32_t>(headerEnd);
    scanned->trailerStart = static_cast<std::uint32_t>(trailerStart);
  }
  StartTree(headerEnd, trailerStart);
  return true;
}

void Hive::AdoptChecked(std::string&& input, HiveIndex&& index) {
  Reset("");
  text_ = std::move(input);
  keyLines_ = std::move(index.keys);
  StartTree(index.headerEnd, index.trailerStart);
}

void Hive::StartTree(std::size_t headerEnd, std::size_t trailerStart) {
  header_.assign(text_, 0, headerEnd);
  trailer_.assign(text_, trailerStart);
  if (keyLines_.empty()) return;
  // Every key line is below the root; those of no name are the root's own.
  lazy_ = true;
  repeatsMerged_ = false;
  root_.complete = false;
  if (OrderedRuns()) {
    ordered_ = true;
    return;
  }
  root_.pending.reserve(keyLines_.size());
  std::u16string units;
  std::vector<std::u16string_view> names;
  for (std::uint32_t k = 0; k < keyLines_.size(); ++k) {
    const HiveKeyLine& line = keyLines_[k];
    if (line.plain) {
      root_.pending.push_back({k, line.pathStart});
      continue;
    }
    DecodePath(line, &units, &names);
    if (names.empty()) {
      AddBlock(&root_, k);
    } else {
      root_.pending.push_back({k, 0});
    }
  }
  if (root_.block && !root_.block->laterSpans.empty()) Decode(root_.block);
}

void Hive::DecodePath(const HiveKeyLine& line, std::u16string* units,
                      std::vector<std::u16string_view>* names) const {
  // Checked: the path ends at its ']'. Every backslash of it is a separator.
  UnescapeRegistryText(std::string_view(text_).substr(line.pathStart, line.pathEnd + 1 - line.pathStart), ']',
                       units);
  names->clear();
  std::u16string_view path(*units);
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t separator = path.find(u'\\', start);
    if (separator == std::u16string_view::npos) separator = path.size();
    if (separator > start) names->push_back(path.substr(start, separator - start));
    start = separator + 1;
  }
}

void Hive::MergeRepeatedValues() {
  if (repeatsMerged_) return;
  repeatsMerged_ = true;
  std::vector<std::uint64_t> names;
  std::u16string scratch;
  HiveValue checked;
  for (HiveBlock* block : blocks_) {
    if (block->decoded) continue;
    names.clear();
    LineReader reader(block->span);
    std::string_view raw;
    while (reader.Next(&raw)) {
      std::string_view content = Content(raw);
      std::string_view line = content.substr(SkipSpaces(content, 0));
      if (line.empty() || (line[0] != '@' && line[0] != '"')) continue;
      std::uint64_t hash = 0;
      if (!PlainValue(line, &reader, &scratch, &hash)) {
        std::string message;
        if (!ParseValue(line, &reader, &checked, &scratch, &message)) continue;  // checked already
        hash = FoldedNameHash()(checked.name);
      }
      names.push_back(hash);
    }
    // Two values of the same name (or of the same hash) merge.
    if (HasRepeats(&names)) Decode(block);
  }
}

bool ParseEveryValue(std::string_view text, HiveParseError* error) {
  LineReader reader(text);
  std::string_view raw;
  auto fail = [&](int line, std::string message) {
    if (error) *error = HiveParseError{line, std::move(message)};
    return false;
  };
  if (!reader.Next(&raw) || Content(raw) != "WINE REGISTRY Version 2")
    return fail(1, "not a Wine registry file (first line is not \"WINE REGISTRY Version 2\")");
  bool inKey = false;
  std::u16string path;
  HiveValue value;
  std::u16string units;
  while (reader.Next(&raw)) {
    std::string_view content = Content(raw);
    std::string_view line = content.substr(SkipSpaces(content, 0));
    char first = line.empty() ? '\0' : line[0];
    int lineNumber = reader.line();
    switch (first) {
      case '[':
        if (UnescapeRegistryText(line.substr(1), ']', &path) == std::string_view::npos)
          return fail(lineNumber, "malformed key name");
        inKey = true;
        break;
      case '@':
      case '"': {
        if (!inKey) return fail(lineNumber, "value outside of any key");
        std::string message;
        if (!ParseValue(line, &reader, &value, &units, &message)) return fail(lineNumber, message);
        break;
      }
      case '#':
      case ';':
      case '\0':
        break;
      default:
        return fail(lineNumber, "unrecognised line");
    }
  }
  return true;
}

namespace {

// Two values of a block whose names differ only in letter case are one: the later
// data wins, under the first spelling and in the first one's place.
void MergeValuesOfOneName(std::vector<HiveItem>* items) {
  std::vector<std::uint64_t> hashes;
  hashes.reserve(items->size());
  for (const HiveItem& item : *items) {
    if (item.kind == HiveItem::kValue) hashes.push_back(FoldedNameHash()(item.value.name));
  }
  if (!HasRepeats(&hashes)) return;                       // no two names alike, as in nearly every block
  std::unordered_map<std::u16string, std::size_t> first;  // folded name -> its item
  std::vector<HiveItem> kept;
  kept.reserve(items->size());
  for (HiveItem& item : *items) {
    if (item.kind != HiveItem::kValue) {
      kept.push_back(std::move(item));
      continue;
    }
    auto [known, added] = first.emplace(FoldName(item.value.name), kept.size());
    if (added) {
      kept.push_back(std::move(item));
      continue;
    }
    HiveValue& earlier = kept[known->second].value;
    earlier.type = item.value.type;
    earlier.data = std::move(item.value.data);
    earlier.text = {};
  }
  *items = std::move(kept);
}

}  // namespace

void Hive::Decode(HiveBlock* block) const {
  if (block->decoded) return;
  block->decoded = true;
  std::size_t lines = 0;  // at most one item each
  auto countLines = [&lines](std::string_view span) {
    ++lines;
    for (std::size_t at = 0; at < span.size(); ++lines, ++at) {
      const void* found = std::memchr(span.data() + at, '\n', span.size() - at);
      if (!found) break;
      at = static_cast<std::size_t>(static_cast<const char*>(found) - span.data());
    }
  };

  countLines(block->span);
  for (std::string_view span : block->laterSpans) countLines(span);
  block->items.reserve(block->items.size() + lines);
  std::u16string units;
  std::string message;
  // The items keep views of their lines in the hive's text, which lives as long
  // as they do.
  auto decodeSpan = [&](std::string_view span) {
    LineReader reader(span);
    std::string_view raw;
    std::string_view pending;  // blank lines not yet given to an item, one run of them
    auto flushPending = [&]() {
      if (pending.empty()) return;
      block->items.push_back(HiveItem{HiveItem::kOther, pending, {}});
      pending = {};
    };
    while (reader.Next(&raw)) {
      std::string_view content = Content(raw);
      std::size_t start = SkipSpaces(content, 0);
      char first = start < content.size() ? content[start] : '\0';
      std::string_view line = content.substr(start);
      if (first == '\0') {
        pending = pending.empty() ? raw : std::string_view(pending.data(), pending.size() + raw.size());
        continue;
      }
      flushPending();
      if (first != '@' && first != '"') {
        bool time = line.substr(0, 6) == "#time=";
        block->items.push_back(HiveItem{time ? HiveItem::kTime : HiveItem::kOther, raw, {}});
        continue;
      }
      HiveItem& item = block->items.emplace_back();
      item.kind = HiveItem::kValue;
      bool parsed = ParseValue(line, &reader, &item.value, &units, &message);
      // The value's lines: its first and those its hex data continued on.
      std::string_view valueText(raw.data(), span.data() + reader.offset() - raw.data());
      if (!parsed) {
        // Parse accepted this line, so this does not happen; the text stays as it was.
        item = HiveItem{HiveItem::kOther, valueText, {}};
        continue;
      }
      item.value.text = valueText;
    }
    flushPending();
  };
  decodeSpan(block->span);
  for (std::string_view span : block->laterSpans) decodeSpan(span);
  MergeValuesOfOneName(&block->items);
  block->span = {};
  block->laterSpans.clear();
}

}  // namespace formats
