// The definitions database file "vlmdb.vmd", its working copy "vlmdb2.vmd" and
// the two scrambling layers that protect it.
//
// File layout: a plain version line ("dd/mm/yyyy", optionally followed by blanks)
// ended by the first CR LF, then the body. The body is an INI text whose section
// names, key names and values are each scrambled with ScrambleText, and the whole
// body is XOR-scrambled with the file key in whole blocks of 8 bytes (a tail of
// fewer than 8 bytes stays plain). The working copy is the body with the outer
// layer removed; the look-ups read it through the INI reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/ini_text.h"

namespace formats {
class IniDocument;
}

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

inline constexpr char kDatabaseFileName[] = "vlmdb.vmd";
inline constexpr char kWorkingCopyFileName[] = "vlmdb2.vmd";
inline constexpr std::uint32_t kDatabaseValueSize = 260;  // buffer of one value

// programDir + "\vlmdb.vmd" and programDir + "\vlmdb2.vmd".
std::string DatabasePath(const std::string& programDir);
std::string WorkingCopyPath(const std::string& programDir);

// The version on the first line of |programDir|\vlmdb.vmd: the text before the
// first CR LF within the first 256 bytes, trailing blanks removed, accepted only
// when its first '/' is at index 2 and the next one at index 5. "" when the file
// cannot be read or the line is not such a version.
std::string ReadDefnsVersion(platform::ManagedSystem& system, const std::string& programDir);
// The version of a database held in memory, by the same rules.
std::string DefnsVersionOf(const std::string& fileBytes);

// "dd/mm/yyyy" as the number yyyymmdd, to tell an older database from a newer
// one; 0 when |version| is not such a date.
long DefnsDateValue(const std::string& version);

// The folder whose vlmdb.vmd is the one in use: |dataDir| when it holds a
// database with a version that is not older than the one in |programDir| (a
// database the user installed for himself while the program folder is not his
// to write), else |programDir|. A newer database in the program folder (an
// upgraded package) takes over from an older one of the user's.
std::string DatabaseDirInUse(platform::ManagedSystem& system, const std::string& programDir,
                             const std::string& dataDir);

// Reads |programDir|\vlmdb.vmd, removes the outer layer and writes the body as
// |programDir|\vlmdb2.vmd (through a temporary file renamed over it, not flushed to
// disk: the copy is scratch). The look-ups take the copy's text from here and need
// not read the file again; a copy made from this database before is kept and
// opened here, and read by the first look-up. False when the database cannot be
// read, holds no CR LF, or the copy cannot be written.
bool DecodeDatabase(platform::ManagedSystem& system, const std::string& programDir);
// The same from |databaseDir|\vlmdb.vmd into |workingDir|\vlmdb2.vmd.
bool DecodeDatabase(platform::ManagedSystem& system, const std::string& databaseDir,
                    const std::string& workingDir);

// Deletes the working copy; a missing file is no error worth reporting.
void DeleteWorkingCopy(platform::ManagedSystem& system, const std::string& programDir);

// Value |key| of |section| (both plain) from the working copy at |iniPath|, with
// the inner layer removed; |defaultValue| is delivered unchanged when the reader
// returns it. At most size-1 characters reach |buffer|. Returns the number of
// characters the INI reader delivered (0 for a missing entry with an empty default).
std::uint32_t ReadDatabaseValue(platform::ManagedSystem& system, const std::string& section,
                                const std::string& key, const std::string& defaultValue, char* buffer,
                                std::uint32_t size, const std::string& iniPath);
// The same into a string, with the buffer size of 260; |count| receives the count.
std::string ReadDatabaseString(platform::ManagedSystem& system, const std::string& section,
                               const std::string& key, const std::string& defaultValue,
                               const std::string& iniPath, std::uint32_t* count = nullptr);

// The same over a working copy parsed before (null: a missing file).
std::uint32_t ReadDatabaseValue(const formats::IniDocument* document, const std::string& section,
                                const std::string& key, const std::string& defaultValue, char* buffer,
                                std::uint32_t size);
std::string ReadDatabaseString(const formats::IniDocument* document, const std::string& section,
                               const std::string& key, const std::string& defaultValue,
                               std::uint32_t* count = nullptr);

// Reads many values of one section of a parsed working copy (null: a missing
// file), each exactly as ReadDatabaseString reads it, with the section looked up
// once and the scratch space kept from one read to the next.
class DatabaseSectionReader {
 public:
  DatabaseSectionReader(const formats::IniDocument* document, const std::string& section);
  // ReadDatabaseString(document, section, key, defaultValue, count); the view
  // lasts until the next Read or the reader's end.
  std::string_view Read(std::string_view key, const std::string& defaultValue,
                        std::uint32_t* count = nullptr);

 private:
  const formats::IniDocument* document_;
  std::uint32_t section_;
  std::string key_;    // scrambled names
  std::string value_;  // the value without its inner layer
};

// What ReadDatabaseString delivers for a key whose value the reader found as
// |stored| (null: a missing key), with |count| as it gives it.
std::string DatabaseStringOf(const std::string_view* stored, const std::string& defaultValue,
                             std::uint32_t* count = nullptr);
// The number n of a stored (scrambled) key that a look-up of |scrambledStem| +
// the scrambled n (n written as std::to_chars writes it) finds, or -1.
long long NumberOfScrambledKey(std::string_view stored, std::string_view scrambledStem);
// The same number for a stored key whose first |stem| bytes are known to match
// the scrambled stem (at most nine digits after them).
long long NumberOfScrambledDigits(std::string_view stored, std::size_t stem);
// The value of a numbered key as the reader delivers it (ended before any zero
// byte, cut to the buffer, never empty; still scrambled), opened as a read with
// the empty default delivers it: without its inner layer and its surrounding
// blanks, in |buffer| (kDatabaseValueSize bytes at least).
std::string_view PlainNumberedValue(std::string_view delivered, char* buffer);
// ini_text::FoldedHash(0, PlainNumberedValue(delivered, buffer)), where |readable|
// bytes can be read from delivered.data() on (at least delivered.size()): a value
// with nothing to trim or cut is opened and hashed sixteen bytes at a time without
// being copied.
std::uint64_t PlainNumberedValueHash(std::string_view delivered, std::size_t readable);
#if defined(__SSE2__)
// One step of PlainNumberedValueHash: the block of sixteen stored bytes that
// starts at byte i of a value, of which the first |kept| (1 to 16) are the
// value's, opened with |key| (the value key from place i % 7 on: a byte stored
// with its high bit set for ';' or '=' loses 0x80 too), folded, and mixed into
// |hash| as ini_text::FoldedHash mixes its eight-byte words. False, and |hash|
// unchanged, when a kept byte opens to a zero byte or one that |ends| marks (a
// bit per byte: the value's first and last) opens to a blank: the value is then
// opened the plain way.
inline bool MixPlainBlock(__m128i stored, __m128i key, unsigned kept, unsigned ends, std::uint64_t* hash) {
  const __m128i marked =
      _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(stored, _mm_set1_epi8(static_cast<char>(0xBB))),
                                 _mm_cmpeq_epi8(stored, _mm_set1_epi8(static_cast<char>(0xBD)))),
                    _mm_set1_epi8(static_cast<char>(0x80)));
  const __m128i keptBytes =
      _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(kept)),
                     _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  __m128i plain = _mm_and_si128(_mm_sub_epi8(_mm_sub_epi8(stored, key), marked), keptBytes);
  // Blanks: ' ', and '\t' to '\r' (less '\t', at most 4).
  const __m128i fromTab = _mm_sub_epi8(plain, _mm_set1_epi8('\t'));
  const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(plain, _mm_set1_epi8(' ')),
                                     _mm_cmpeq_epi8(_mm_min_epu8(fromTab, _mm_set1_epi8(4)), fromTab));
  const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(plain, _mm_setzero_si128())));
  if ((zeros & ((1u << kept) - 1)) | (static_cast<unsigned>(_mm_movemask_epi8(blank)) & ends)) return false;
  const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(plain, _mm_set1_epi8('A' - 1)),
                                      _mm_cmplt_epi8(plain, _mm_set1_epi8('Z' + 1)));
  plain = _mm_or_si128(plain, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
  alignas(16) std::uint64_t words[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(words), plain);
  *hash = formats::ini_text::MixWord(*hash, words[0]);
  if (kept > 8) *hash = formats::ini_text::MixWord(*hash, words[1]);
  return true;
}
#endif

// The inner layer: an additive key of 7 characters, restarting for every name and
// value; a result byte ';' or '=' is stored with its high bit set.
std::string ScrambleText(const std::string& plain);
std::string UnscrambleText(const std::string& stored);

// The outer layer, its own inverse: XOR of every whole 8-byte block with the file key.
void ToggleBodyScrambling(std::string& body);

// A whole database file: version line, CR LF, and |plainBody| with the outer layer
// applied. |plainBody| is the working copy's text (names and values already
// scrambled with ScrambleText).
std::string BuildDatabaseFile(const std::string& version, const std::string& plainBody);
// The working copy's bytes of a database file: everything after the first CR LF,
// outer layer removed. False when the file holds no CR LF.
bool ExtractPlainBody(const std::string& fileBytes, std::string* plainBody);

}  // namespace velmora
