#include "database/database_file.h"

#include <bit>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/ini_text.h"
#include "platform/files.h"
#include "platform/ini_file.h"

namespace velmora {

namespace {

constexpr char kFileKey[8] = {'5', '7', '3', '9', '0', '2', '6', '4'};
constexpr char kValueKey[7] = {'8', '0', '6', '3', '5', '1', '7'};
constexpr std::size_t kVersionHeadSize = 256;

}  // namespace

std::string DatabasePath(const std::string& programDir) { return programDir + "\\" + kDatabaseFileName; }
std::string WorkingCopyPath(const std::string& programDir) {
  return programDir + "\\" + kWorkingCopyFileName;
}

std::string DefnsVersionOf(const std::string& fileBytes) {
  std::string head = fileBytes.substr(0, kVersionHeadSize);
  std::size_t lineEnd = head.find("\r\n");
  if (lineEnd == std::string::npos) return "";
  std::string version = head.substr(0, lineEnd);
  while (!version.empty() && version.back() == ' ') version.pop_back();
  std::size_t first = version.find('/');
  std::size_t second = version.find('/', 3);
  if (first != 2 || second != 5) return "";
  return version;
}

std::string ReadDefnsVersion(platform::ManagedSystem& system, const std::string& programDir) {
  // The version is the first line: the head of the file is read, not its megabytes.
  std::string bytes;
  if (platform::files::ReadFileStart(system, DatabasePath(programDir), kVersionHeadSize, &bytes) !=
      platform::kSuccess)
    return "";
  return DefnsVersionOf(bytes);
}

void ToggleBodyScrambling(std::string& body) {
  // Eight bytes at a time: the key and each block are taken in the same byte order.
  std::uint64_t key;
  std::memcpy(&key, kFileKey, 8);
  char* data = body.data();
  for (std::size_t k = 0; k + 8 <= body.size(); k += 8) {
    std::uint64_t block;
    std::memcpy(&block, data + k, 8);
    block ^= key;
    std::memcpy(data + k, &block, 8);
  }
}

namespace {

// Turns the bytes of a whole database file into its plain body, in place; false
// when there is no line before the body.
bool StripToPlainBody(std::string* bytes) {
  std::size_t lineEnd = bytes->find("\r\n");
  if (lineEnd == std::string::npos) return false;
  bytes->erase(0, lineEnd + 2);
  ToggleBodyScrambling(*bytes);
  return true;
}

}  // namespace

bool ExtractPlainBody(const std::string& fileBytes, std::string* plainBody) {
  std::string body = fileBytes;
  if (!StripToPlainBody(&body)) return false;
  *plainBody = std::move(body);
  return true;
}

std::string BuildDatabaseFile(const std::string& version, const std::string& plainBody) {
  std::string body = plainBody;
  ToggleBodyScrambling(body);
  return version + "\r\n" + body;
}

long DefnsDateValue(const std::string& version) {
  if (version.size() < 10) return 0;
  long value = 0;
  for (std::size_t i : {6u, 7u, 8u, 9u, 3u, 4u, 0u, 1u}) {
    if (version[i] < '0' || version[i] > '9') return 0;
    value = value * 10 + (version[i] - '0');
  }
  return value;
}

std::string DatabaseDirInUse(platform::ManagedSystem& system, const std::string& programDir,
                             const std::string& dataDir) {
  if (dataDir.empty() || dataDir == programDir) return programDir;
  std::string own = ReadDefnsVersion(system, dataDir);
  if (own.empty()) return programDir;
  std::string shipped = ReadDefnsVersion(system, programDir);
  if (shipped.empty()) return dataDir;
  return DefnsDateValue(own) >= DefnsDateValue(shipped) ? dataDir : programDir;
}

bool DecodeDatabase(platform::ManagedSystem& system, const std::string& programDir) {
  return DecodeDatabase(system, programDir, programDir);
}

bool DecodeDatabase(platform::ManagedSystem& system, const std::string& databaseDir,
                    const std::string& workingDir) {
  const std::string database = DatabasePath(databaseDir);
  const std::string copy = WorkingCopyPath(workingDir);
  // A copy made from this database carries the database's last-write time plus
  // one unit (given to it below): such a copy is taken as it is, without decoding
  // the database or comparing megabytes. Any other write to either file changes
  // the time; one in the same tick of the clock as the database's gives its time
  // itself, not one unit past it.
  // Such a copy is opened here and read by the first look-up (the index's own
  // thread), not on the way to the entries.
  std::uint64_t databaseSize = 0, databaseTime = 0, copySize = 0, copyTime = 0;
  const bool stamped = platform::files::FileStamp(system, database, &databaseSize, &databaseTime);
  if (stamped && platform::files::FileStamp(system, copy, &copySize, &copyTime) &&
      copyTime == databaseTime + 1 && copySize < databaseSize &&
      platform::TakeIniFileAsItIs(system, copy, copySize, copyTime))
    return true;
  std::string body;
  if (platform::files::ReadWholeFile(system, database, &body) != platform::kSuccess) return false;
  // The body in place of the file's bytes: a database is megabytes, copied once too often.
  if (!StripToPlainBody(&body)) return false;
  // A copy that holds these bytes already stays as it is: comparing it piece by
  // piece costs far less than writing megabytes again.
  if (!platform::files::FileHolds(system, copy, body) &&
      platform::files::WriteScratchFile(system, copy, body) != platform::kSuccess)
    return false;
  // Stamped only once it holds the whole body; a copy that cannot be stamped is
  // compared again at the next start.
  if (stamped) platform::files::SetFileModified(system, copy, databaseTime + 1);
  platform::RememberIniFile(system, copy, std::move(body));
  return true;
}

void DeleteWorkingCopy(platform::ManagedSystem& system, const std::string& programDir) {
  platform::files::RemoveFile(system, WorkingCopyPath(programDir));
}

namespace {

void ScrambleInto(std::string_view plain, std::string* out) {
  out->resize(plain.size());
  char* to = out->data();
  for (std::size_t i = 0, k = 0; i < plain.size(); ++i, k = k == 6 ? 0 : k + 1) {
    unsigned c = (static_cast<unsigned char>(plain[i]) + static_cast<unsigned char>(kValueKey[k])) & 0xFF;
    if (c == ';' || c == '=') c += 128;
    to[i] = static_cast<char>(c);
  }
}

// The plain byte of every stored byte at every key position, and the digit a
// stored byte of a key stands for (letters compared without regard to case), or -1.
struct UnscrambleTable {
  constexpr UnscrambleTable() : plain(), digit() {
    for (unsigned k = 0; k < 7; ++k) {
      for (unsigned s = 0; s < 256; ++s) {
        unsigned stored = s == 0xBB || s == 0xBD ? s - 128 : s;
        plain[k][s] = static_cast<char>((stored - static_cast<unsigned char>(kValueKey[k]) + 256) & 0xFF);
        // A digit scrambles to 0x60..0x71, which folding leaves as it is.
        const unsigned folded = s >= 'A' && s <= 'Z' ? s - 'A' + 'a' : s;
        const int value = static_cast<int>(folded) - static_cast<unsigned char>(kValueKey[k]) - '0';
        digit[k][s] = static_cast<signed char>(value >= 0 && value <= 9 ? value : -1);
      }
    }
  }
  char plain[7][256];
  signed char digit[7][256];
};
constexpr UnscrambleTable kUnscramble;

// The digit rows of the table by place in a key, for keys of up to 16 bytes.
constexpr std::size_t kDigitPlaces = 16;
struct DigitsByPlace {
  constexpr DigitsByPlace() : digit() {
    for (std::size_t i = 0; i < kDigitPlaces; ++i)
      for (unsigned s = 0; s < 256; ++s) digit[i][s] = kUnscramble.digit[i % 7][s];
  }
  signed char digit[kDigitPlaces][256];
};
constexpr DigitsByPlace kDigitAt;

// |stored| without its inner layer into stored.size() bytes at |to|.
void UnscrambleTo(std::string_view stored, char* to) {
  const auto* from = reinterpret_cast<const unsigned char*>(stored.data());
  std::size_t i = 0;
  // Seven bytes at a time, one for each key position.
  for (; i + 7 <= stored.size(); i += 7) {
    for (std::size_t k = 0; k < 7; ++k) to[i + k] = kUnscramble.plain[k][from[i + k]];
  }
  for (std::size_t k = 0; i < stored.size(); ++i, ++k) to[i] = kUnscramble.plain[k][from[i]];
}

void UnscrambleInto(std::string_view stored, std::string* out) {
  out->resize(stored.size());
  UnscrambleTo(stored, out->data());
}

// The rules every read of a value shares, after the INI reader: |received| is
// what the reader delivered into a buffer of |size| bytes for the scrambled
// names. The default comes back as it is, anything else loses its inner layer
// (into |scratch|); the result is cut to size - 1 bytes. A zero byte the inner
// layer yields stays in it: the callers' text ends there.
std::string_view DeliveredValue(std::string_view received, const std::string& defaultValue,
                                std::uint32_t size, std::string* scratch) {
  if (received == defaultValue) return received.substr(0, size - 1);
  UnscrambleInto(received, scratch);
  return std::string_view(*scratch).substr(0, size - 1);
}

// A value as text: it ends at its first zero byte, as a reader of the buffer sees it.
std::string_view AsText(std::string_view value) { return value.substr(0, value.find('\0')); }

void CopyToBuffer(std::string_view value, char* buffer) {
  value.copy(buffer, value.size());
  buffer[value.size()] = '\0';
}

// A missing working copy reads as one without sections.
const formats::IniDocument& DocumentOrEmpty(const formats::IniDocument* document) {
  static const formats::IniDocument empty{std::string()};
  return document ? *document : empty;
}

}  // namespace

// The look-up compares ASCII letters without regard to case; the scrambled digits
// are never blanks, so no trimming of the key shifts them.
long long NumberOfScrambledKey(std::string_view stored, std::string_view scrambledStem) {
  using formats::ini_text::Fold;
  constexpr std::size_t kMostDigits = 9;
  const std::size_t stem = scrambledStem.size();
  if (stored.size() <= stem || stored.size() > stem + kMostDigits) return -1;
  for (std::size_t i = 0; i < stem; ++i)
    if (Fold(stored[i]) != Fold(scrambledStem[i])) return -1;
  return NumberOfScrambledDigits(stored, stem);
}

long long NumberOfScrambledDigits(std::string_view stored, std::size_t stem) {
  constexpr std::size_t kMostDigits = 9;
  if (stored.size() <= stem || stored.size() > stem + kMostDigits) return -1;
  const auto* from = reinterpret_cast<const unsigned char*>(stored.data());
  if (stored.size() <= kDigitPlaces) {
    // The usual short key: each place has its own row, no key position to count.
    if (stored.size() > stem + 1 && kDigitAt.digit[stem][from[stem]] == 0) return -1;
    long long number = 0;
    for (std::size_t i = stem; i < stored.size(); ++i) {
      const int digit = kDigitAt.digit[i][from[i]];
      if (digit < 0) return -1;
      number = number * 10 + digit;
    }
    return number;
  }
  // A leading zero is no number as written.
  if (stored.size() > stem + 1 && kUnscramble.digit[stem % 7][from[stem]] == 0) return -1;
  long long number = 0;
  for (std::size_t i = stem, k = stem % 7; i < stored.size(); ++i, k = k == 6 ? 0 : k + 1) {
    const int digit = kUnscramble.digit[k][from[i]];
    if (digit < 0) return -1;
    number = number * 10 + digit;
  }
  return number;
}

std::string ScrambleText(const std::string& plain) {
  std::string out;
  ScrambleInto(plain, &out);
  return out;
}

std::string UnscrambleText(const std::string& stored) {
  std::string out;
  UnscrambleInto(stored, &out);
  return out;
}

std::uint32_t ReadDatabaseValue(platform::ManagedSystem& system, const std::string& section,
                                const std::string& key, const std::string& defaultValue, char* buffer,
                                std::uint32_t size, const std::string& iniPath) {
  if (!buffer || size == 0) return 0;
  std::vector<char> received(size, '\0');
  std::uint32_t count = platform::ini::ReadString(system, ScrambleText(section), ScrambleText(key),
                                                  defaultValue, received.data(), size, iniPath);
  std::string scratch;
  CopyToBuffer(DeliveredValue(std::string_view(received.data(), count), defaultValue, size, &scratch),
               buffer);
  return count;
}

std::uint32_t ReadDatabaseValue(const formats::IniDocument* document, const std::string& section,
                                const std::string& key, const std::string& defaultValue, char* buffer,
                                std::uint32_t size) {
  if (!buffer || size == 0) return 0;
  const formats::IniDocument& text = DocumentOrEmpty(document);
  std::string_view received =
      text.ViewIn(text.SectionNumber(ScrambleText(section)), ScrambleText(key), defaultValue, size);
  std::string scratch;
  CopyToBuffer(DeliveredValue(received, defaultValue, size, &scratch), buffer);
  return static_cast<std::uint32_t>(received.size());
}

std::string ReadDatabaseString(platform::ManagedSystem& system, const std::string& section,
                               const std::string& key, const std::string& defaultValue,
                               const std::string& iniPath, std::uint32_t* count) {
  char buffer[kDatabaseValueSize];
  std::uint32_t n =
      ReadDatabaseValue(system, section, key, defaultValue, buffer, kDatabaseValueSize, iniPath);
  if (count) *count = n;
  // The value is text: it ends at its first zero byte, as the buffer's reader sees it.
  return std::string(buffer);
}

std::string ReadDatabaseString(const formats::IniDocument* document, const std::string& section,
                               const std::string& key, const std::string& defaultValue,
                               std::uint32_t* count) {
  return std::string(DatabaseSectionReader(document, section).Read(key, defaultValue, count));
}

DatabaseSectionReader::DatabaseSectionReader(const formats::IniDocument* document, const std::string& section)
    : document_(&DocumentOrEmpty(document)) {
  ScrambleInto(section, &key_);
  section_ = document_->SectionNumber(key_);
}

std::string_view DatabaseSectionReader::Read(std::string_view key, const std::string& defaultValue,
                                             std::uint32_t* count) {
  ScrambleInto(key, &key_);
  std::string_view received = document_->ViewIn(section_, key_, defaultValue, kDatabaseValueSize);
  if (count) *count = static_cast<std::uint32_t>(received.size());
  return AsText(DeliveredValue(received, defaultValue, kDatabaseValueSize, &value_));
}

std::string DatabaseStringOf(const std::string_view* stored, const std::string& defaultValue,
                             std::uint32_t* count) {
  const std::string_view received =
      formats::ini_text::Delivered(stored ? *stored : std::string_view(defaultValue), kDatabaseValueSize);
  if (count) *count = static_cast<std::uint32_t>(received.size());
  std::string scratch;
  return std::string(AsText(DeliveredValue(received, defaultValue, kDatabaseValueSize, &scratch)));
}

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x80 * kOnes;

// A high bit set in the byte of every zero byte of |word| (above the first one
// also in some others).
constexpr std::uint64_t ZeroBytes(std::uint64_t word) { return (word - kOnes) & ~word & kHighBits; }
// Whether one of the eight bytes of |word| is |byte|.
constexpr bool HasByte(std::uint64_t word, unsigned char byte) {
  return ZeroBytes(word ^ (byte * kOnes)) != 0;
}

// The value key from each of its positions on, eight bytes long, in memory order.
struct KeyWords {
  constexpr KeyWords() : from() {
    for (unsigned k = 0; k < 7; ++k)
      for (unsigned j = 0; j < 8; ++j)
        from[k] |= std::uint64_t{static_cast<unsigned char>(kValueKey[(k + j) % 7])} << (8 * j);
  }
  std::uint64_t from[7];
};
constexpr KeyWords kKeyWords;

}  // namespace

std::string_view PlainNumberedValue(std::string_view delivered, char* buffer) {
  // Never the empty default here: always without its inner layer, then up to its
  // first zero byte.
  const auto* from = reinterpret_cast<const unsigned char*>(delivered.data());
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes at a time, each less its key byte (no borrow crosses a byte);
    // the rare bytes stored with their high bit set for ';' and '=' go through the table.
    for (std::size_t k = 0; i + 8 <= delivered.size(); i += 8, k = k == 6 ? 0 : k + 1) {
      std::uint64_t word;
      std::memcpy(&word, from + i, 8);
      if (HasByte(word, 0xBB) || HasByte(word, 0xBD)) {
        for (std::size_t j = 0; j < 8; ++j) {
          buffer[i + j] = kUnscramble.plain[(i + j) % 7][from[i + j]];
          if (buffer[i + j] == '\0') return formats::ini_text::Trim(std::string_view(buffer, i + j));
        }
        continue;
      }
      const std::uint64_t key = kKeyWords.from[k];
      word = ((word | kHighBits) - (key & ~kHighBits)) ^ ((word ^ ~key) & kHighBits);
      std::memcpy(buffer + i, &word, 8);
      if (const std::uint64_t zeros = ZeroBytes(word))
        return formats::ini_text::Trim(std::string_view(buffer, i + std::countr_zero(zeros) / 8));
    }
    // The last bytes as the last eight, over some opened already: those hold no
    // zero byte, so the first one of this word is the value's first.
    if (i < delivered.size() && delivered.size() >= 8) {
      const std::size_t last = delivered.size() - 8;
      std::uint64_t word;
      std::memcpy(&word, from + last, 8);
      if (!HasByte(word, 0xBB) && !HasByte(word, 0xBD)) {
        const std::uint64_t key = kKeyWords.from[last % 7];
        word = ((word | kHighBits) - (key & ~kHighBits)) ^ ((word ^ ~key) & kHighBits);
        std::memcpy(buffer + last, &word, 8);
        if (const std::uint64_t zeros = ZeroBytes(word))
          return formats::ini_text::Trim(std::string_view(buffer, last + std::countr_zero(zeros) / 8));
        return formats::ini_text::Trim(std::string_view(buffer, delivered.size()));
      }
    }
  }
  for (std::size_t k = i % 7; i < delivered.size(); ++i, k = k == 6 ? 0 : k + 1) {
    buffer[i] = kUnscramble.plain[k][from[i]];
    if (buffer[i] == '\0') break;
  }
  return formats::ini_text::Trim(std::string_view(buffer, i));
}

#if defined(__SSE2__)
namespace {

// The value key from each of its positions on, sixteen bytes long.
struct KeyBlocks {
  constexpr KeyBlocks() : from() {
    for (unsigned k = 0; k < 7; ++k)
      for (unsigned j = 0; j < 16; ++j) from[k][j] = kValueKey[(k + j) % 7];
  }
  char from[7][16];
};
constexpr KeyBlocks kKeyBlocks;

}  // namespace
#endif

namespace {

// PlainNumberedValueHash the plain way: opened into a buffer, then hashed.
[[gnu::noinline]] std::uint64_t PlainNumberedValueHashOfCopy(std::string_view delivered) {
  char buffer[kDatabaseValueSize];
  return formats::ini_text::FoldedHash(0, PlainNumberedValue(delivered, buffer));
}

}  // namespace

std::uint64_t PlainNumberedValueHash(std::string_view delivered, std::size_t readable) {
#if defined(__SSE2__)
  // Sixteen bytes at a time, the last ones cut to the value.
  const std::size_t size = delivered.size();
  if (size == 0 || readable < ((size + 15) & ~std::size_t{15}))
    return PlainNumberedValueHashOfCopy(delivered);
  std::uint64_t hash = size;  // FoldedHash's seed 0 ^ size
  for (std::size_t i = 0, k = 0;; i += 16, k = k >= 5 ? k - 5 : k + 2) {
    const auto kept = static_cast<unsigned>(std::min<std::size_t>(size - i, 16));
    const unsigned ends = (i == 0 ? 1u : 0u) | (i + 16 >= size ? 1u << (kept - 1) : 0u);
    if (!MixPlainBlock(_mm_loadu_si128(reinterpret_cast<const __m128i*>(delivered.data() + i)),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeyBlocks.from[k])), kept, ends,
                       &hash))
      return PlainNumberedValueHashOfCopy(delivered);
    if (i + 16 >= size) return formats::ini_text::FinishHash(hash);
  }
#else
  (void)readable;
  return PlainNumberedValueHashOfCopy(delivered);
#endif
}

}  // namespace velmora
