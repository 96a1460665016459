// The database file, its working copy and the two scrambling layers, over files
// made by hand from the format.
#include "database/database_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <random>

#include "base/text.h"
#include "database/definitions_index.h"
#include "formats/ini_text.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

const char kFileKey[] = "57390264";

class DatabaseFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    programDir_ = platform::files::WindowsPathFromHost(velmora::test::System(), dir_.path());
  }
  std::string DatabaseHost() const { return dir_.path() + "/vlmdb.vmd"; }
  std::string CopyHost() const { return dir_.path() + "/vlmdb2.vmd"; }
  void WriteDatabase(const std::string& bytes) { test::WriteFile(DatabaseHost(), bytes); }

  test::TestSystem system_;
  test::TempDir dir_;
  std::string programDir_;
};

// The outer layer as the format describes it, written independently of the code.
std::string XorBlocks(std::string body) {
  for (std::size_t k = 0; k + 8 <= body.size(); k += 8)
    for (std::size_t i = 0; i < 8; ++i) body[k + i] ^= kFileKey[i];
  return body;
}

TEST(Scrambling, KnownValuesAndTheEscapedSeparators) {
  // 'A' + '8' = 'y'; 0x03 + '8' = ';' and 0x05 + '8' = '=' are stored with the high bit.
  EXPECT_EQ(ScrambleText("A"), "y");
  EXPECT_EQ(ScrambleText(std::string("\x03", 1)), "\xBB");
  EXPECT_EQ(ScrambleText(std::string("\x05", 1)), "\xBD");
  // The key runs with the position: "PRON0" is P+8 R+0 O+6 N+3 0+5.
  EXPECT_EQ(ScrambleText("PRON0"), "\x88\x82\x85\x81\x65");
  // Position 7 starts the key again.
  EXPECT_EQ(ScrambleText("AAAAAAAA").substr(7), "y");
  EXPECT_EQ(UnscrambleText("\xBB"), std::string("\x03", 1));
  EXPECT_EQ(UnscrambleText("\xBD"), std::string("\x05", 1));
  EXPECT_EQ(ScrambleText(""), "");
}

TEST(Scrambling, EveryAsciiTextComesBackAndHoldsNoSeparator) {
  std::string all;
  for (int round = 0; round < 7; ++round)  // every character at every key position
    for (int c = 0; c < 128; ++c) all += static_cast<char>(c);
  all += "x";
  std::string stored = ScrambleText(all);
  ASSERT_EQ(stored.size(), all.size());
  EXPECT_EQ(stored.find(';'), std::string::npos);
  EXPECT_EQ(stored.find('='), std::string::npos);
  EXPECT_EQ(UnscrambleText(stored), all);
}

TEST(Scrambling, NamesOpenedEightBytesAtATimeMatchTheByteReader) {
  // Every stored byte at every key position and at every place in a word, with
  // zero bytes, blanks and the high-bit separators among them: the fast opening
  // of a name must give what unscrambling, cutting at the zero and trimming give.
  std::uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  char buffer[kDatabaseValueSize];
  for (int round = 0; round < 4000; ++round) {
    std::string stored(1 + next() % 40, '\0');
    for (char& c : stored) {
      const unsigned pick = next() % 8;
      c = static_cast<char>(pick == 0 ? 0xBB : pick == 1 ? 0xBD : next() % 256);
    }
    if (round % 3 == 0) stored = ScrambleText("  " + std::to_string(round) + "Name.EXE \t");
    std::string expected = UnscrambleText(stored);
    expected = std::string(formats::ini_text::Trim(expected.substr(0, expected.find('\0'))));
    ASSERT_EQ(std::string(PlainNumberedValue(stored, buffer)), expected) << round;
  }
}

TEST(OuterLayer, WholeBlocksOnlyFromTheFirstByteOfTheBody) {
  for (std::size_t length : {0u, 1u, 7u, 8u, 13u, 16u, 23u}) {
    std::string body;
    for (std::size_t i = 0; i < length; ++i) body += static_cast<char>('a' + i % 26);
    std::string stored = body;
    ToggleBodyScrambling(stored);
    EXPECT_EQ(stored, XorBlocks(body)) << length;
    // The tail that fills no block stands plain.
    std::size_t tail = length % 8;
    EXPECT_EQ(stored.substr(length - tail), body.substr(length - tail)) << length;
    ToggleBodyScrambling(stored);
    EXPECT_EQ(stored, body);
  }
}

TEST_F(DatabaseFileTest, ThirteenByteBodyDecodesToThirteenBytes) {
  std::string body = "[abc]\r\nx=yz\r\n";  // 13 bytes, a CR LF inside the first block
  ASSERT_EQ(body.size(), 13u);
  WriteDatabase("27/04/2006\r\n" + XorBlocks(body));
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  EXPECT_EQ(test::ReadFile(CopyHost()), body);
}

TEST_F(DatabaseFileTest, ShortAndEmptyBodiesAreCopiedPlain) {
  WriteDatabase("27/04/2006\r\nabcdefg");
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  EXPECT_EQ(test::ReadFile(CopyHost()), "abcdefg");

  WriteDatabase("27/04/2006\r\n");
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  EXPECT_TRUE(fs::exists(CopyHost()));
  EXPECT_EQ(fs::file_size(CopyHost()), 0u);
}

TEST_F(DatabaseFileTest, BlocksAlignOnTheBodyNotOnTheFile) {
  // A version line with trailing blanks moves the body to an odd offset; the
  // blocks still start at the body's first byte, and a later CR LF is body data.
  std::string body = "0123456789\r\nABCDEFGH\r\n+";
  WriteDatabase("27/04/2006   \r\n" + XorBlocks(body));
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  EXPECT_EQ(test::ReadFile(CopyHost()), body);
  EXPECT_EQ(ReadDefnsVersion(velmora::test::System(), programDir_), "27/04/2006");
}

TEST_F(DatabaseFileTest, DecodeReplacesAnOldCopyAndFailsWithoutDatabaseOrPlace) {
  test::WriteFile(CopyHost(), "stale contents that are longer than the new copy");
  WriteDatabase("01/01/2020\r\nnew");
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  EXPECT_EQ(test::ReadFile(CopyHost()), "new");
  // No temporary files are left beside it.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir_.path())) files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 2);

  // A copy that holds the body already is not written again (a new file renamed
  // over it would part it from its second link), neither when it is compared
  // nor when it is known by its time; one that differs is.
  const auto past = fs::last_write_time(CopyHost()) - std::chrono::hours(1);
  fs::last_write_time(CopyHost(), past);
  fs::create_hard_link(CopyHost(), dir_.path() + "/link");
  for (int start = 0; start < 2; ++start) {
    ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
    EXPECT_TRUE(fs::equivalent(CopyHost(), dir_.path() + "/link"));
    EXPECT_EQ(test::ReadFile(CopyHost()), "new");
  }
  fs::remove(dir_.path() + "/link");
  test::WriteFile(CopyHost(), "neW");
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  EXPECT_EQ(test::ReadFile(CopyHost()), "new");

  fs::remove(CopyHost());
  fs::create_directories(CopyHost() + "/occupied");  // the copy's name is taken by a folder
  EXPECT_FALSE(DecodeDatabase(velmora::test::System(), programDir_));
  fs::remove_all(CopyHost());

  fs::remove(DatabaseHost());
  EXPECT_FALSE(DecodeDatabase(velmora::test::System(), programDir_));
  EXPECT_FALSE(fs::exists(CopyHost()));

  WriteDatabase("01/01/2020 with no line end");
  EXPECT_FALSE(DecodeDatabase(velmora::test::System(), programDir_));
}

TEST_F(DatabaseFileTest, VersionLine) {
  struct Case {
    std::string file;
    std::string version;
  };
  std::string longLine(254, 'x');
  longLine.replace(0, 10, "27/04/2006");
  const Case cases[] = {
      {"27/04/2006\r\nbody", "27/04/2006"},
      {"27/04/2006   \r\n", "27/04/2006"},
      {"27/04/2006 \t\r\n", "27/04/2006 \t"},  // only trailing blanks are removed
      {"7/04/2006\r\n", ""},                   // first slash at index 1
      {"27-04-2006\r\n", ""},
      {"27/4/2006\r\n", ""},             // second slash at index 4
      {"ab/cd/efgh\r\n", "ab/cd/efgh"},  // nothing but the slashes is checked
      {"27/04/2006\n", ""},              // a bare LF ends no line
      {"", ""},
      {longLine + "\r\n", longLine},  // CR LF at bytes 254 and 255: still inside
      {longLine + "x\r\n", ""},       // LF at byte 256: outside the first 256 bytes
  };
  for (const Case& c : cases) {
    WriteDatabase(c.file);
    EXPECT_EQ(ReadDefnsVersion(velmora::test::System(), programDir_), c.version) << c.file;
  }
  fs::remove(DatabaseHost());
  EXPECT_EQ(ReadDefnsVersion(velmora::test::System(), programDir_), "");
  fs::create_directories(DatabaseHost());
  EXPECT_EQ(ReadDefnsVersion(velmora::test::System(), programDir_), "");
}

// The working copy lies in the program folder, which other processes may share:
// one that exits deletes the copy, one that starts writes its own. What this
// process decoded stays what it reads.
TEST_F(DatabaseFileTest, TheDecodedCopyIsReadEvenWhenAnotherProcessRemovesOrReplacesIt) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows build reads the copy through the system's profile functions";
#endif
  const std::string body = "[" + ScrambleText("SYS") + "]\r\n" + ScrambleText("PRON0") + "=" +
                           ScrambleText("explorer.exe") + "\r\n";
  WriteDatabase("01/01/2020\r\n" + XorBlocks(body));
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  const std::string path = WorkingCopyPath(programDir_);
  ASSERT_EQ(ReadDatabaseString(velmora::test::System(), "SYS", "PRON0", "", path), "explorer.exe");

  fs::remove(CopyHost());
  EXPECT_EQ(ReadDatabaseString(velmora::test::System(), "SYS", "PRON0", "", path), "explorer.exe");
  ASSERT_NE(DefinitionsIndexOf(velmora::test::System(), path), nullptr);
  const DefinitionsIndex::Section& sys = DefinitionsIndexOf(velmora::test::System(), path)->SectionOf("SYS");
  ASSERT_EQ(sys.Size(), 1u);
  EXPECT_EQ(sys.Name(0), "explorer.exe");
  test::WriteFile(CopyHost(), "[other]\r\n");
  EXPECT_EQ(ReadDatabaseString(velmora::test::System(), "SYS", "PRON0", "", path), "explorer.exe");

  // A copy the process did not write itself is read as the file stands.
  const std::string other = WorkingCopyPath(programDir_ + "\\other");
  fs::create_directories(dir_.path() + "/other");
  test::WriteFile(dir_.path() + "/other/vlmdb2.vmd", body);
  EXPECT_EQ(ReadDatabaseString(velmora::test::System(), "SYS", "PRON0", "", other), "explorer.exe");
  fs::remove(dir_.path() + "/other/vlmdb2.vmd");
  EXPECT_EQ(ReadDatabaseString(velmora::test::System(), "SYS", "PRON0", "", other), "");

  // A later start takes the copy made before as it stands (it is read only when
  // first looked up): what it opened is what it reads when another process then
  // replaces the file or removes it.
  WriteDatabase("01/01/2020\r\n" + XorBlocks(body));
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  platform::ini::ClearCache(velmora::test::System());
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  test::WriteFile(dir_.path() + "/replacement", "[other]\r\n");
  fs::rename(dir_.path() + "/replacement", CopyHost());
  EXPECT_EQ(ReadDatabaseString(velmora::test::System(), "SYS", "PRON0", "", path), "explorer.exe");
  fs::remove(CopyHost());
  EXPECT_EQ(DefinitionsIndexOf(velmora::test::System(), path)->SectionOf("SYS").Name(0), "explorer.exe");
}

TEST_F(DatabaseFileTest, DeleteWorkingCopyIgnoresAMissingFile) {
  test::WriteFile(CopyHost(), "x");
  DeleteWorkingCopy(velmora::test::System(), programDir_);
  EXPECT_FALSE(fs::exists(CopyHost()));
  DeleteWorkingCopy(velmora::test::System(), programDir_);
  EXPECT_FALSE(fs::exists(CopyHost()));
}

class ReadValueTest : public DatabaseFileTest {
 protected:
  std::string Read(const std::string& section, const std::string& key, const std::string& def,
                   std::uint32_t* count = nullptr, std::uint32_t size = 260) {
    char buffer[300];
    std::uint32_t n = ReadDatabaseValue(velmora::test::System(), section, key, def, buffer, size,
                                        WorkingCopyPath(programDir_));
    if (count) *count = n;
    return buffer;
  }
  void WriteCopy(const std::string& text) {
    test::WriteFile(CopyHost(), text);
    platform::ini::ClearCache(velmora::test::System());
  }
  static std::string Line(const std::string& key, const std::string& value) {
    return ScrambleText(key) + "=" + ScrambleText(value) + "\r\n";
  }
};

TEST_F(ReadValueTest, ValuesWhoseScrambledBytesLandOnTheSeparators) {
  // Plain bytes that scramble to ';' or '=' at several key positions: 0x03 at 0
  // ('8'), 0x0B at 1 ('0'), 0x07 at 2 ('6'), 0x04 at 6 ('7') and 0x05 at 7 ('8').
  std::string tricky = std::string("\x03\x0B\x07", 3) + "mid" + std::string("\x04\x05", 2);
  std::string stored = ScrambleText(tricky);
  for (std::size_t i : {0u, 1u, 6u}) EXPECT_EQ(stored[i], '\xBB') << i;
  for (std::size_t i : {2u, 7u}) EXPECT_EQ(stored[i], '\xBD') << i;
  WriteCopy("[" + ScrambleText("NORM") + "]\r\n" + Line("PRON0", tricky) + Line("PROD0", "a;b=c") +
            Line("PRON1", "name.exe"));
  std::uint32_t count = 0;
  EXPECT_EQ(Read("NORM", "PRON0", "", &count), tricky);
  EXPECT_EQ(count, tricky.size());
  EXPECT_EQ(Read("NORM", "PROD0", "NULL"), "a;b=c");
  EXPECT_EQ(Read("NORM", "PRON1", ""), "name.exe");
}

TEST_F(ReadValueTest, DefaultsComeBackPlainAndCountsTellMissingEntries) {
  WriteCopy("[" + ScrambleText("SPC") + "]\r\n" + Line("PRON0", "pat"));
  std::uint32_t count = 7;
  EXPECT_EQ(Read("SPC", "PROD0", "NULL", &count), "NULL");
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(Read("SPC", "PRON1", "", &count), "");
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Read("NORM", "PRON0", "", &count), "") << "a missing section is an empty one";
  EXPECT_EQ(count, 0u);
  fs::remove(CopyHost());
  platform::ini::ClearCache(velmora::test::System());
  EXPECT_EQ(Read("SPC", "PRON0", "", &count), "");
  EXPECT_EQ(count, 0u);
}

TEST_F(ReadValueTest, LongValuesAreCutToTheBuffer) {
  std::string longValue(400, 'q');
  WriteCopy("[" + ScrambleText("SYS") + "]\r\n" + Line("PROD0", longValue));
  std::uint32_t count = 0;
  EXPECT_EQ(Read("SYS", "PROD0", "NULL", &count), std::string(259, 'q'));
  EXPECT_EQ(count, 259u);
  EXPECT_EQ(Read("SYS", "PROD0", "NULL", &count, 10), std::string(9, 'q'));
  EXPECT_EQ(count, 9u);
  EXPECT_EQ(ReadDatabaseString(velmora::test::System(), "SYS", "PROD0", "NULL", WorkingCopyPath(programDir_)),
            std::string(259, 'q'));
}

TEST_F(ReadValueTest, FileBuiltByTheHelpersReadsBackThroughTheCopy) {
  std::string body = "[" + ScrambleText("TROJ") + "]\r\n" + Line("PRON0", "evil.exe") + Line("PROD0", "NULL");
  WriteDatabase(BuildDatabaseFile("02/03/2024", body));
  EXPECT_EQ(ReadDefnsVersion(velmora::test::System(), programDir_), "02/03/2024");
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), programDir_));
  platform::ini::ClearCache(velmora::test::System());
  EXPECT_EQ(Read("TROJ", "PRON0", ""), "evil.exe");
  std::string extracted;
  ASSERT_TRUE(ExtractPlainBody(test::ReadFile(DatabaseHost()), &extracted));
  EXPECT_EQ(extracted, body);
}

// The index reads a section through the working copy held in memory; every name
// and value must come out as the file reader delivers it.
TEST_F(ReadValueTest, TheIndexReadsWhatTheFileReaderReads) {
#ifdef _WIN32
  // Wine's profile functions read repeated sections and long lines otherwise;
  // the index follows the program's own reader of the POSIX build.
  GTEST_SKIP() << "the Windows build reads the copy through the system's profile functions";
#endif
  // A section name whose scrambled form holds letters, written in lower case.
  const std::string code("\x09\x12", 2);
  ASSERT_EQ(ScrambleText(code), "AB");
  std::string text = "[ab]\r\n" + Line("PRON0", std::string("ab\0cd", 5)) +
                     Line("PRON1", std::string(400, 'q')) + Line("PRON2", "first.exe") +
                     Line("PRON2", "other.exe") + Line("PRON3", " First.EXE ") + ScrambleText("PROD3") +
                     "=NULL\r\n" + Line("PRON4", "") + Line("PRON5", "after.exe");
  // Keys that are not the numbers in order: a number past a gap, the gap's own
  // number in another case in a later block of the section (the first line of a
  // key wins), and a number with a leading zero.
  std::string upper = ScrambleText("PRON4");
  for (char& c : upper) c = formats::ini_text::Fold(c) == c && c >= 'a' && c <= 'z' ? c - 32 : c;
  text = "[AB]\r\n" + Line("PRON9", "gap.exe") + text + "[Ab]\r\n" + upper + "=" + ScrambleText("late.exe") +
         "\r\n" + Line("PRON01", "zero.exe") + Line("PROD999999", "far past the keys");
  // A number far past the keys read so far that the keys after it reach: its
  // first line still wins over a later one.
  text += "[" + ScrambleText("SYS") + "]\r\n" + Line("PROD150", "early");
  for (int n = 0; n < 160; ++n) text += Line("PROD" + std::to_string(n), n == 150 ? "late" : "d");
  WriteCopy(text);
  const std::string path = WorkingCopyPath(programDir_);
  std::shared_ptr<DefinitionsIndex> index = DefinitionsIndexOf(velmora::test::System(), path);
  const DefinitionsIndex::Section& section = index->SectionOf(code);

  const std::vector<std::string> expected = {"ab", std::string(259, 'q'), "first.exe", "First.EXE"};
  std::vector<std::string> names;
  for (std::size_t n = 0; n < section.Size(); ++n) names.push_back(section.Name(n));
  EXPECT_EQ(names, expected);
  std::vector<std::string> fromFile;
  for (int n = 0;; ++n) {
    std::uint32_t count = 0;
    std::string name = TrimWhiteSpace(
        ReadDatabaseString(velmora::test::System(), code, "PRON" + std::to_string(n), "", path, &count));
    if (count == 0) break;
    fromFile.push_back(name);
  }
  EXPECT_EQ(fromFile, expected);

  const std::optional<std::pair<int, int>> first = section.EntriesOf("FIRST.exe");
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(*first, std::make_pair(2, 3));
  EXPECT_FALSE(section.EntriesOf("other.exe")) << "a repeated key keeps its first line";
  EXPECT_FALSE(section.EntriesOf("after.exe")) << "the names end at the first empty one";

  // A stored value equal to the default comes back as it is, through both readers;
  // so do keys the index does not hold (past every number the section can reach,
  // or no number as written).
  for (const char* key : {"PROD3", "PRON0", "PRON1", "PROD9", "PROD999999", "PRON01", "PROT0", "pron0"}) {
    std::uint32_t countIndexed = 0, countFile = 0;
    EXPECT_EQ(index->Read(code, key, "NULL", &countIndexed),
              ReadDatabaseString(velmora::test::System(), code, key, "NULL", path, &countFile))
        << key;
    EXPECT_EQ(countIndexed, countFile) << key;
  }
  EXPECT_EQ(index->Read("SYS", "PROD150", ""), "early");
  EXPECT_EQ(index->Read("SYS", "PROD159", ""), "d");
  EXPECT_EQ(index->Read(code, "PROD3", "NULL"), "NULL");
  EXPECT_EQ(index->Read(code, "PROD3", ""), UnscrambleText("NULL"));
}

// Damaged texts of every kind of line: the index must deliver every numbered
// value, every name and every entry of a name exactly as the reader of the text.
// Half the texts hold no zero byte and number many keys in turn (past 9 to 10),
// as a database does, among the damaged lines.
TEST(DefinitionsIndexTest, DamagedTextsReadAsTheReaderReadsThem) {
  std::mt19937 random(7);
  auto pick = [&](std::initializer_list<std::string> from) {
    return *(from.begin() + random() % from.size());
  };
  auto flipCase = [&](std::string text) {
    for (char& c : text)
      if (random() % 3 == 0 && std::isalpha(static_cast<unsigned char>(c))) c ^= 0x20;
    return text;
  };
  const std::vector<std::string> codes = {"SYS", "SPC", std::string("\x09\x12", 2)};
  for (int round = 0; round < 300; ++round) {
    const bool zeros = round % 2 == 0;
    int next[3] = {0, 0, 0};  // per stem, the number in turn
    std::string text;
    for (int line = 0, lines = static_cast<int>(random() % 40); line < lines; ++line) {
      const std::string end = random() % 4 ? "\r\n" : "\n";
      if (random() % 6 == 0) {
        text += pick({"[" + flipCase(ScrambleText("SYS")) + "]", " [ " + ScrambleText("SPC") + " ] x", "[ab]",
                      "[" + ScrambleText("SYS"), ";" + ScrambleText("PRON0") + "=a", "no value", "=v"}) +
                end;
        continue;
      }
      const int stem = static_cast<int>(random() % 3);
      std::string key = std::string(stem == 0   ? "PRON"
                                    : stem == 1 ? "PROD"
                                                : "PROT") +
                        (random() % 2 ? std::to_string(next[stem]++)
                                      : pick({"0", "1", "2", "3", "4", "7", "01", "12", "x"}));
      key = flipCase(ScrambleText(key));
      if (random() % 5 == 0) key = " " + key + "\t";
      // "a\rb.exe" stores its '\r' as the byte kept apart for '='; a zero byte
      // of a plain name ends it.
      std::string value = ScrambleText(pick({"a.exe", "A.EXE", " b.exe ", "NULL", "", std::string(300, 'q'),
                                             "Sixteen.Byte.exe", "a\rb.exe", std::string("c.exe\0d", 7)}));
      value = pick({value, value, "\"" + value + "\"", zeros ? value + std::string("\0z", 2) : value,
                    "'" + value, " " + value + " "});
      text += key + "=" + value + end;
    }
    const auto document = std::make_shared<const formats::IniDocument>(text);
    DefinitionsIndex index(document);
    for (const std::string& code : codes) {
      for (const char* stem : {"PRON", "PROD", "PROT"}) {
        for (int n = 0; n < 14; ++n) {
          const std::string key = stem + std::to_string(n);
          std::uint32_t indexed = 0, read = 0;
          ASSERT_EQ(index.Read(code, key, "NULL", &indexed),
                    ReadDatabaseString(document.get(), code, key, "NULL", &read))
              << round << " " << key;
          ASSERT_EQ(indexed, read) << round << " " << key;
        }
      }
      std::vector<std::string> names;
      for (int n = 0;; ++n) {
        std::uint32_t count = 0;
        std::string name = ReadDatabaseString(document.get(), code, "PRON" + std::to_string(n), "", &count);
        if (count == 0) break;
        names.push_back(std::string(formats::ini_text::Trim(name)));
      }
      const DefinitionsIndex::Section& section = index.SectionOf(code);
      ASSERT_EQ(section.Size(), names.size()) << round;
      for (std::size_t n = 0; n < names.size(); ++n) ASSERT_EQ(section.Name(n), names[n]) << round;
      for (const char* query : {"a.exe", "b.exe", "null", "q", "sixteen.byte.exe", "a\rb.exe", "c.exe"}) {
        std::optional<std::pair<int, int>> expected;
        for (std::size_t n = 0; n < names.size(); ++n) {
          if (!EqualsIgnoreCase(names[n], query)) continue;
          if (!expected) expected.emplace(static_cast<int>(n), static_cast<int>(n));
          expected->second = static_cast<int>(n);
        }
        ASSERT_EQ(section.EntriesOf(query), expected) << round << " " << query;
      }
    }
  }
}

}  // namespace
}  // namespace velmora
