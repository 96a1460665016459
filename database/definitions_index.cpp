#include "database/definitions_index.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <iterator>
#include <limits>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/text.h"
#include "database/database_file.h"
#include "formats/ini_text.h"

namespace velmora {

namespace {

constexpr std::string_view kStemNames[] = {"PRON", "PROD", "PROT"};

// The number n of a key written as |stem| + n (as std::to_chars writes n, at most
// nine digits), or -1.
long long NumberOfPlainKey(std::string_view key, std::string_view stem) {
  if (key.size() <= stem.size() || key.size() > stem.size() + 9 || key.substr(0, stem.size()) != stem)
    return -1;
  const std::string_view digits = key.substr(stem.size());
  if (digits.size() > 1 && digits.front() == '0') return -1;
  long long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::uint32_t NameHash(std::string_view name) {
  return static_cast<std::uint32_t>(formats::ini_text::FoldedHash(0, name) >> 32);
}

// A section's name as the reader compares it.
std::string ReaderSectionName(const std::string& section) {
  return formats::ini_text::Folded(formats::ini_text::Trim(ScrambleText(section)));
}

// The keys numbered by the index, as the reader finds them: one of the scrambled
// stems + a number as std::to_chars writes it (at most nine digits), scrambled,
// all compared without regard to ASCII case.
constexpr std::size_t kStemCount = std::size(kStemNames);
constexpr std::size_t kStemSize = 4;
#if defined(__SSE2__)
constexpr std::size_t kMostDigits = 9;
#endif

// NameHash of the plain name |value| (as the reader delivers it: at most
// kDatabaseValueSize - 1 bytes) in |text|.
std::uint32_t NameHashOf(std::string_view text, std::string_view value) {
  const std::size_t at = static_cast<std::size_t>(value.data() - text.data());
  return static_cast<std::uint32_t>(
      PlainNumberedValueHash(value.substr(0, kDatabaseValueSize - 1), text.size() - at) >> 32);
}

#if defined(__SSE2__)
// What the usual shape of a line asks of the bytes at its ends and around its '='.
enum : unsigned char { kBlank = 1, kOpens = 2, kQuote = 4 };
struct ByteKinds {
  constexpr ByteKinds() : of() {
    for (unsigned c : {' ', '\t', '\n', '\v', '\f', '\r'}) of[c] |= kBlank;  // ini_text::IsBlank
    of[static_cast<unsigned char>(';')] |= kOpens;
    of[static_cast<unsigned char>('[')] |= kOpens;
    of[static_cast<unsigned char>('"')] |= kQuote;
    of[static_cast<unsigned char>('\'')] |= kQuote;
  }
  unsigned char of[256];
};
constexpr ByteKinds kBytes;
#endif

class NumberedKeys {
 public:
  NumberedKeys() {
    // The stems differ in their last letter only, which scrambles alike wherever
    // it stands: the first three letters are compared once for all three. A key's
    // first four bytes are compared as one word, folded.
    for (std::size_t s = 0; s < kStemCount; ++s) {
      stems_[s] = ScrambleText(std::string(kStemNames[s]));
      heads_[s] = HeadOf(stems_[s].data());
    }
    std::memcpy(&sharedBytes_, "\xFF\xFF\xFF", kStemSize);
    // A digit d at place i of a key is stored as the scrambled '0' at that place
    // plus d: scrambled digits are never the bytes stored apart for ';' and '='.
    ScrambleText(std::string(16, '0')).copy(digitZeros_, 16);
    ScrambleText(std::string(16, '9')).copy(digitNines_, 16);
#if defined(__SSE2__)
    // A key expected is taken as it stands, up to the byte after it: no byte of
    // it may be '=' or a blank, nor its first ';' or '['.
    const auto usual = [](char c) {
      return c != '=' && !(kBytes.of[static_cast<unsigned char>(c)] & kBlank);
    };
    for (std::size_t s = 0; s < kStemCount; ++s) {
      stemFourths_[s] = stems_[s][kStemSize - 1];
      if (kBytes.of[static_cast<unsigned char>(stems_[s][0])] & kOpens) expectKeys_ = false;
      for (std::size_t i = 0; i < kStemSize; ++i) expectKeys_ = expectKeys_ && usual(stems_[s][i]);
    }
    for (std::size_t i = kStemSize; i < kStemSize + kMostDigits; ++i)
      for (char d = 0; d <= 9; ++d) expectKeys_ = expectKeys_ && usual(static_cast<char>(digitZeros_[i] + d));
#endif
    // The value key itself: what a zero byte is stored as at each place.
    ScrambleText(std::string(16, '\0')).copy(valueKey_, 16);
  }

  // The number of |key| (its stem in |stem|), or -1 when it is not a numbered key.
  long long NumberOf(std::string_view key, std::size_t* stem) const {
    if (key.size() <= kStemSize) return -1;
    const std::uint32_t head = HeadOf(key.data());
    if ((head ^ heads_[0]) & sharedBytes_) return -1;
    for (std::size_t s = 0; s < kStemCount; ++s) {
      if (head != heads_[s]) continue;
      *stem = s;
      return NumberOfScrambledDigits(key, kStemSize);
    }
    return -1;
  }

#if defined(__SSE2__)
  // A line of the usual shape: its value, and the stem (kStemCount for none)
  // and number of its key.
  struct UsualLine {
    std::string_view value;
    std::size_t stem;
    std::size_t number;
  };
  // Reads the line from |start| to |end| (its '\n') of a text without zero bytes
  // when it has the usual shape, "key=value" ended by "\r\n" or "\n", with nothing
  // to trim around the key or the value, no quote opening the value, and its key
  // within its first 16 bytes (the text going on for 16 bytes past them): what
  // the rules of the readers take from it, its key read as NumberOf reads it.
  // False for any other line: the rules of the readers take it.
  bool ReadUsualLine(std::string_view text, std::size_t start, std::size_t end, UsualLine* line) {
    const char* t = text.data();
    if (text.size() - start < 16) return false;
    const __m128i bytes = Load(t + start);
    // Most keys are the one after the last read of their stem, byte for byte
    // (the stem told by the fourth byte), followed by the line's first '=': no
    // scrambled stem or digit is '=', a blank, ';' or '['.
    std::size_t s = 0;
    while (s < kStemCount && t[start + kStemSize - 1] != stemFourths_[s]) ++s;
    if (s < kStemCount) {
      const unsigned keySize = expected_[s].size;
      const unsigned kept = (1u << keySize) - 1;
      if (keySize != 0 && keySize < end - start && t[start + keySize] == '=' &&
          (Marks(bytes, Load(expected_[s].bytes)) & kept) == kept) {
        if (!ReadValue(t, start + keySize + 1, end, line)) return false;
        line->stem = s;
        line->number = expected_[s].number;
        ExpectNext(s);
        return true;
      }
    }
    // The first '=' of the line, among its first 16 bytes.
    const unsigned equalsMarks = Marks(bytes, '=') & (end - start < 16 ? (1u << (end - start)) - 1 : 0xFFFFu);
    if (equalsMarks == 0) return false;
    const auto keySize = static_cast<unsigned>(std::countr_zero(equalsMarks));
    if (keySize == 0 ||
        (kBytes.of[Byte(t[start])] & (kBlank | kOpens)) | (kBytes.of[Byte(t[start + keySize - 1])] & kBlank))
      return false;
    if (!ReadValue(t, start + keySize + 1, end, line)) return false;
    line->stem = kStemCount;
    line->number = NumberFrom(bytes, keySize, &line->stem);
    if (line->stem < kStemCount) Expect(line->stem, line->number + 1);
    return true;
  }

  // The NameHash of a name read by ReadUsualLine, of up to 16 bytes in one step.
  std::uint32_t NameHashOfUsual(std::string_view text, std::string_view value) const {
    const std::size_t at = static_cast<std::size_t>(value.data() - text.data());
    std::uint64_t hash = value.size();  // FoldedHash's seed 0 ^ size
    if (value.size() - 1 < 16 && text.size() - at >= 16 &&
        MixPlainBlock(Load(value.data()), Load(valueKey_), static_cast<unsigned>(value.size()),
                      1u | (1u << (value.size() - 1)), &hash))
      return static_cast<std::uint32_t>(formats::ini_text::FinishHash(hash) >> 32);
    return NameHashOf(text, value);
  }
#endif

 private:
  static std::uint32_t HeadOf(const char* key) {
    std::uint32_t head;
    std::memcpy(&head, key, kStemSize);
    return static_cast<std::uint32_t>(formats::ini_text::FoldWord(head));
  }

#if defined(__SSE2__)
  static unsigned char Byte(char c) { return static_cast<unsigned char>(c); }
  static __m128i Load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static unsigned Marks(__m128i bytes, __m128i wanted) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
  }
  static unsigned Marks(__m128i bytes, char c) { return Marks(bytes, _mm_set1_epi8(c)); }

  // The value of a usual line from |valueStart| to |end| (its '\n'), without a
  // '\r' before that; false when there is a blank to trim at either end of it or a
  // quote opening it.
  static bool ReadValue(const char* t, std::size_t valueStart, std::size_t end, UsualLine* line) {
    std::size_t valueEnd = end;
    if (valueEnd > valueStart && t[valueEnd - 1] == '\r') --valueEnd;
    if (valueEnd > valueStart &&
        ((kBytes.of[Byte(t[valueStart])] & (kBlank | kQuote)) | (kBytes.of[Byte(t[valueEnd - 1])] & kBlank)))
      return false;
    line->value = std::string_view(t + valueStart, valueEnd - valueStart);
    return true;
  }

  // NumberOf for the key of |size| bytes at the start of |bytes|.
  std::size_t NumberFrom(__m128i bytes, std::size_t size, std::size_t* stem) const {
    if (size <= kStemSize || size > kStemSize + kMostDigits) return 0;
    // Folded as the reader compares it.
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('A' - 1)),
                                        _mm_cmplt_epi8(bytes, _mm_set1_epi8('Z' + 1)));
    const __m128i folded = _mm_or_si128(bytes, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
    const auto head = static_cast<std::uint32_t>(_mm_cvtsi128_si32(folded));
    std::size_t s = 0;
    while (s < kStemCount && head != heads_[s]) ++s;
    if (s == kStemCount) return 0;
    // Each place of the number, less the scrambled '0' there: a digit where that
    // leaves 0 to 9, as the reader's table reads it.
    const __m128i digits = _mm_sub_epi8(folded, Load(digitZeros_));
    const auto isDigit = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(digits, _mm_set1_epi8(9)), digits)));
    const unsigned wanted = ((1u << size) - 1) & ~((1u << kStemSize) - 1);
    if ((isDigit & wanted) != wanted) return 0;
    // The digits after sixteen zero bytes, the stem's places zero too: the last
    // eight places of the key, read as one word, are its last eight digits.
    alignas(16) unsigned char places[32] = {};
    _mm_store_si128(reinterpret_cast<__m128i*>(places + 16),
                    _mm_and_si128(digits, _mm_setr_epi32(0, -1, -1, -1)));
    const std::size_t digitCount = size - kStemSize;
    if (digitCount > 1 && places[16 + kStemSize] == 0) return 0;  // a leading zero: no number as written
    std::uint64_t last8;
    std::memcpy(&last8, places + 16 + size - 8, 8);
    std::size_t number = EightDigits(last8);
    if (digitCount == 9) number += places[16 + kStemSize] * std::size_t{100000000};
    *stem = s;
    return number;
  }
  // The number of eight digits, one per byte, the first in the lowest byte.
  static std::size_t EightDigits(std::uint64_t digits) {
    digits = (digits * (10 * 256 + 1)) >> 8;                                // pairs of digits
    digits = ((digits & 0x00FF00FF00FF00FFull) * (100 * 65536 + 1)) >> 16;  // fours
    return static_cast<std::size_t>(
        ((digits & 0x0000FFFF0000FFFFull) * (10000 * (std::uint64_t{1} << 32) + 1)) >> 32);
  }

  // The key that |number| of stem |s| is stored as: the scrambled stem, then
  // each digit as the scrambled '0' of its place plus the digit.
  void Expect(std::size_t s, std::size_t number) {
    Expected& expected = expected_[s];
    char digits[20];
    const std::size_t count =
        static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
    expected.size = 0;  // none
    if (count > kMostDigits || !expectKeys_) return;
    std::memcpy(expected.bytes, stems_[s].data(), kStemSize);
    for (std::size_t i = 0; i < count; ++i)
      expected.bytes[kStemSize + i] = static_cast<char>(digitZeros_[kStemSize + i] + (digits[i] - '0'));
    expected.size = static_cast<unsigned>(kStemSize + count);
    expected.number = number;
  }
  // Expect(s, number + 1) after Expect(s, number): the last digit that is not 9
  // counts up, the 9s after it turn 0.
  void ExpectNext(std::size_t s) {
    Expected& expected = expected_[s];
    for (std::size_t i = expected.size; i-- > kStemSize;) {
      if (expected.bytes[i] != digitNines_[i]) {
        ++expected.bytes[i];
        ++expected.number;
        return;
      }
      expected.bytes[i] = digitZeros_[i];
    }
    Expect(s, expected.number + 1);  // one digit more
  }
  struct Expected {
    char bytes[16] = {};
    unsigned size = 0;  // 0: none
    std::size_t number = 0;
  };
  Expected expected_[kStemCount];
  bool expectKeys_ = true;
  char stemFourths_[kStemCount];  // the scrambled stems' fourth bytes
#endif
  char digitZeros_[16];
  char digitNines_[16];
  char valueKey_[16];
  std::string stems_[kStemCount];
  std::uint32_t heads_[kStemCount];
  std::uint32_t sharedBytes_;  // the bits of a word's first three bytes
};

}  // namespace

DefinitionsIndex::DefinitionsIndex(std::shared_ptr<const formats::IniDocument> document)
    : document_(std::move(document)) {
  if (!document_) return;
  // A text whose places do not fit Stored (four gigabytes) is left to the reader.
  long_ = document_->Text().size() >= std::numeric_limits<std::uint32_t>::max();
  if (!long_) IndexNumberedKeys();
}

void DefinitionsIndex::IndexNumberedKeys() {
  const std::string_view text = document_->Text();
  static_assert(kStemCount == kStems);
  NumberedKeys keys;
  // Each numbered key is placed by its number as it is met. A number far past
  // the keys met so far waits in |far| (in file order) until the section's count
  // of keys is known: reaching number n takes n + 1 keys of the section, and a
  // larger one is left to the reader.
  struct Far {
    Numbered* section;
    std::size_t stem;
    std::size_t number;
    Stored value;
  };
  std::vector<Far> far;
  Numbered* section = &numbered_[""];  // the lines before the first section
  std::size_t sizeHint[kStems] = {};
  // Places a numbered value; for a name placed, the slot of its hash.
  const auto place = [&](std::size_t s, std::size_t number, std::string_view value)
                         __attribute__((always_inline))
                             ->std::uint32_t* {
    std::vector<Stored>& values = section->values[s];
    ++section->held;
    // Held as the reader's buffer receives it: no more is ever read of it.
    const Stored stored{
        static_cast<std::uint32_t>(value.data() - text.data()),
        static_cast<std::uint32_t>(std::min<std::size_t>(value.size(), kDatabaseValueSize - 1))};
    if (number >= values.size()) {
      if (number >= 2 * section->held + 64) {
        far.push_back(Far{section, s, number, stored});
        return nullptr;
      }
      // The usual next number is appended; past a gap, the places between are
      // missing ones (those past the count are dropped below).
      if (number == values.size()) {
        // In steps that double, each of which moves what was placed before; a
        // section's first step as large as the section before it (sections of a
        // database are mostly of a size, and one step too large costs one section).
        if (values.size() == values.capacity())
          values.reserve(std::max({std::size_t{256}, 2 * values.size(), sizeHint[s]}));
        values.push_back(stored);
        if (s != 0) return nullptr;
        if (section->nameHashes.size() == section->nameHashes.capacity())
          section->nameHashes.reserve(values.capacity());
        section->nameHashes.emplace_back();
        return &section->nameHashes.back();
      }
      values.resize(number + 1);
      if (s == 0) section->nameHashes.resize(values.size());
    }
    // Of several lines of one key the first wins.
    if (values[number].at != Stored::kMissing) return nullptr;
    values[number] = stored;
    return s == 0 ? &section->nameHashes[number] : nullptr;
  };
  const auto onSection = [&](std::string_view name) {
    for (std::size_t s = 0; s < kStems; ++s) sizeHint[s] = section->values[s].size();
    section = &numbered_[formats::ini_text::Folded(name)];
  };
  const auto onKey = [&](std::string_view key, std::string_view value) {
    std::size_t s;
    const long long number = keys.NumberOf(key, &s);
    if (number < 0) return;
    // A name is hashed while its line is at hand.
    if (std::uint32_t* hash = place(s, static_cast<std::size_t>(number), value))
      *hash = NameHashOf(text, value);
  };
  std::size_t start = 0;
#if defined(__SSE2__)
  // The line breaks are found 64 bytes at a time, and a line of the usual shape
  // between two of them is read here; any other line, and every line of a text
  // that holds a zero byte, is read by the rules of the readers.
  if (text.find('\0') == std::string_view::npos) {
    for (std::size_t block = 0; text.size() - block >= 64; block += 64) {
      const auto breaksAt = [&](std::size_t k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + block + 16 * k));
        return std::uint64_t{
                   static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))))}
               << (16 * k);
      };
      std::uint64_t breaks = breaksAt(0) | breaksAt(1) | breaksAt(2) | breaksAt(3);
      for (; breaks != 0; breaks &= breaks - 1) {
        const std::size_t end = block + static_cast<std::size_t>(std::countr_zero(breaks));
        NumberedKeys::UsualLine line;
        if (!keys.ReadUsualLine(text, start, end, &line)) {
          formats::ini_text::WalkLine(text, start, onSection, onKey);
        } else if (line.stem < kStems) {
          if (std::uint32_t* hash = place(line.stem, line.number, line.value))
            *hash = keys.NameHashOfUsual(text, line.value);
        }
        start = end + 1;
      }
    }
  }
#endif
  while (start < text.size()) start = formats::ini_text::WalkLine(text, start, onSection, onKey);
  // A far key comes before any line of its number placed as it was met (the
  // count only grows): the first of them wins, written last.
  for (auto it = far.rbegin(); it != far.rend(); ++it) {
    if (it->number >= it->section->held) continue;
    std::vector<Stored>& values = it->section->values[it->stem];
    if (it->number >= values.size()) values.resize(it->number + 1);
    values[it->number] = it->value;
    if (it->stem == 0) {
      it->section->nameHashes.resize(values.size());
      it->section->nameHashes[it->number] = NameHashOf(text, text.substr(it->value.at, it->value.size));
    }
  }
  for (auto& [name, numbered] : numbered_) {
    for (std::vector<Stored>& values : numbered.values)
      if (values.size() > numbered.held) values.resize(numbered.held);
    numbered.nameHashes.resize(numbered.values[0].size());
  }
}

const DefinitionsIndex::Numbered* DefinitionsIndex::NumberedOf(const std::string& section) const {
  auto it = numbered_.find(ReaderSectionName(section));
  return it == numbered_.end() ? nullptr : &it->second;
}

std::string DefinitionsIndex::Read(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, std::uint32_t* count) const {
  for (std::size_t s = 0; s < kStems && !long_; ++s) {
    const long long number = NumberOfPlainKey(key, kStemNames[s]);
    if (number < 0) continue;
    const auto n = static_cast<std::size_t>(number);
    const Numbered* numbered = NumberedOf(section);
    if (numbered && n >= numbered->held) break;  // not held: the reader looks it up
    if (!numbered || n >= numbered->values[s].size() || numbered->values[s][n].at == Stored::kMissing)
      return DatabaseStringOf(nullptr, defaultValue, count);
    const Stored& stored = numbered->values[s][n];
    const std::string_view value = document_->Text().substr(stored.at, stored.size);
    return DatabaseStringOf(&value, defaultValue, count);
  }
  return ReadDatabaseString(document_.get(), section, key, defaultValue, count);
}

std::string_view DefinitionsIndex::Section::Delivered(std::size_t n) const {
  if (!names_) return longNames_[n];
  const Stored& stored = (*names_)[n];
  return text_.substr(stored.at, stored.size);
}

std::string DefinitionsIndex::Section::Name(std::size_t n) const {
  char buffer[kDatabaseValueSize];
  return std::string(PlainNumberedValue(Delivered(n), buffer));
}

bool DefinitionsIndex::Section::NameIs(std::size_t n, std::string_view name) const {
  char buffer[kDatabaseValueSize];
  return formats::ini_text::EqualFolded(PlainNumberedValue(Delivered(n), buffer), name);
}

DefinitionsIndex::NameSet::NameSet(std::vector<std::string_view> names)
    : names_(std::move(names)), filter_(std::size_t{1} << 10) {
  std::size_t capacity = 16;
  while (capacity < names_.size() * 2) capacity *= 2;
  slots_.resize(capacity);
  for (std::size_t i = 0; i < names_.size(); ++i) {
    const std::uint32_t hash = NameHash(names_[i]);
    filter_[(hash >> 6) & 1023] |= std::uint64_t{1} << (hash & 63);
    std::size_t at = hash & (capacity - 1);
    while (slots_[at].index != 0) at = (at + 1) & (capacity - 1);
    slots_[at] = Slot{hash, static_cast<std::uint32_t>(i + 1)};
  }
}

std::optional<std::pair<int, int>> DefinitionsIndex::Section::EntriesOf(std::string_view name) const {
  return EntriesOfAll(NameSet({name})).front();
}

std::vector<std::optional<std::pair<int, int>>> DefinitionsIndex::Section::EntriesOfAll(
    const NameSet& names) const {
  std::vector<std::optional<std::pair<int, int>>> found(names.Size());
  const std::vector<std::uint64_t>& filter = names.filter_;
  const std::vector<NameSet::Slot>& slots = names.slots_;
  const std::size_t mask = slots.size() - 1;
  for (std::size_t n = 0; n < size_; ++n) {
    const std::uint32_t hash = hashes_[n];
    if (!((filter[(hash >> 6) & 1023] >> (hash & 63)) & 1)) continue;
    for (std::size_t at = hash & mask; slots[at].index != 0; at = (at + 1) & mask) {
      if (slots[at].hash != hash) continue;
      const std::size_t i = slots[at].index - 1;
      if (!NameIs(n, names.names_[i])) continue;
      std::optional<std::pair<int, int>>& entries = found[i];
      if (entries)
        entries->second = static_cast<int>(n);
      else
        entries.emplace(static_cast<int>(n), static_cast<int>(n));
    }
  }
  return found;
}

const DefinitionsIndex::Section& DefinitionsIndex::SectionOf(const std::string& code) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, fresh] = sections_.try_emplace(code);
  Section& section = it->second;
  if (!fresh || !document_) return section;
  section.text_ = document_->Text();
  if (long_) {
    // The names up to the first one missing or empty, each as the reader finds it.
    const std::uint32_t number = document_->SectionNumber(ScrambleText(code));
    for (std::size_t n = 0;; ++n) {
      const std::string_view* name =
          document_->FindIn(number, ScrambleText(std::string(kStemNames[0]) + std::to_string(n)));
      if (!name || name->empty()) break;
      section.longNames_.push_back(formats::ini_text::Delivered(*name, kDatabaseValueSize));
    }
    section.size_ = section.longNames_.size();
  } else if (const Numbered* numbered = NumberedOf(code)) {
    // The names run up to the first one missing or empty.
    const std::vector<Stored>& names = numbered->values[0];
    section.names_ = &names;
    while (section.size_ < names.size() && names[section.size_].at != Stored::kMissing &&
           names[section.size_].size != 0)
      ++section.size_;
  }
  if (section.names_) {
    section.hashes_ = NumberedOf(code)->nameHashes.data();
  } else {
    section.longHashes_.resize(section.size_);
    char buffer[kDatabaseValueSize];
    for (std::size_t n = 0; n < section.size_; ++n)
      section.longHashes_[n] = NameHash(PlainNumberedValue(section.Delivered(n), buffer));
    section.hashes_ = section.longHashes_.data();
  }
  return section;
}

std::shared_ptr<DefinitionsIndex> DefinitionsIndexOf(platform::ManagedSystem& system,
                                                     const std::string& path) {
  struct Held {
    std::shared_ptr<const formats::IniDocument> document;
    std::shared_ptr<DefinitionsIndex> index;
  };
  // Kept to the end of the process and never taken apart: freeing the names of
  // a large database one by one at exit costs more than looking them all up.
  static auto& held = *new std::map<std::string, Held>;
  // Models of several systems are rated on several threads at once.
  static std::mutex mutex;
  std::shared_ptr<const formats::IniDocument> document = platform::IniDocumentOf(system, path);
  std::lock_guard<std::mutex> lock(mutex);
  Held& entry = held[path];
  if (!entry.index || entry.document != document) {
    entry.document = document;
    entry.index = std::make_shared<DefinitionsIndex>(document);
  }
  return entry.index;
}

}  // namespace velmora
