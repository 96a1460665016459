// vlmdb-pack as a real process: packing the shipped source, reading databases
// back, refusing sources with mistakes; and the shipped definitions at work.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/language.h"
#include "base/text.h"
#include "database/database_file.h"
#include "database/definitions_source.h"
#include "database/rating.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "tests/support/fault_runner.h"
#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string Tool() { return std::string(VELMORA_PROGRAM_DIR) + "/vlmdb-pack"; }
using test::ShellQuote;

class DbPackTest : public ::testing::Test {
 protected:
  // Runs the tool; its output and messages land in out_ and err_.
  int Run(const std::string& arguments) {
    std::string out = dir_.path() + "/out.txt", err = dir_.path() + "/err.txt";
    int status = test::RunCommand(ShellQuote(Tool()) + " " + arguments + " >" + ShellQuote(out) + " 2>" +
                                  ShellQuote(err));
    out_ = test::ReadFile(out);
    err_ = test::ReadFile(err);
    return status;
  }
  std::string Path(const std::string& name) const { return dir_.path() + "/" + name; }
  std::string WriteSource(const std::string& name, const std::string& text) {
    test::WriteFile(Path(name), text);
    return Path(name);
  }

  test::TempDir dir_;
  std::string out_, err_;
};

TEST_F(DbPackTest, ShippedSourcePacksAndReadsBackUnchanged) {
  std::string source = test::SourcePath("data/definitions.txt");
  ASSERT_EQ(Run("pack " + ShellQuote(source) + " " + ShellQuote(Path("vlmdb.vmd"))), 0) << err_;
  std::string packed = test::ReadFile(Path("vlmdb.vmd"));
  DefinitionSet set;
  std::vector<std::string> errors;
  ASSERT_TRUE(ParseDefinitionsSource(test::ReadFile(source), &set, &errors));
  EXPECT_GE(set.definitions.size(), 200u);
  EXPECT_EQ(DefnsVersionOf(packed), set.version);
  EXPECT_EQ(packed.substr(0, set.version.size() + 2), set.version + "\r\n");

  ASSERT_EQ(Run("unpack " + ShellQuote(Path("vlmdb.vmd"))), 0) << err_;
  EXPECT_EQ(out_, FormatDefinitionsSource(set));

  // What unpack prints packs to the same bytes.
  WriteSource("again.txt", out_);
  ASSERT_EQ(Run("pack " + ShellQuote(Path("again.txt")) + " " + ShellQuote(Path("again.vmd"))), 0) << err_;
  EXPECT_EQ(test::ReadFile(Path("again.vmd")), packed);

  ASSERT_EQ(Run("verify " + ShellQuote(source) + " " + ShellQuote(Path("vlmdb.vmd"))), 0) << err_;
  EXPECT_NE(out_.find(std::to_string(set.definitions.size()) + " definitions"), std::string::npos);
}

TEST_F(DbPackTest, TheBuiltDatabaseMatchesTheSource) {
  std::string built = std::string(VELMORA_PROGRAM_DIR) + "/vlmdb.vmd";
  if (!fs::exists(built)) GTEST_SKIP() << "the database has not been built";
  EXPECT_EQ(Run("verify " + ShellQuote(test::SourcePath("data/definitions.txt")) + " " + ShellQuote(built)),
            0)
      << err_;
}

TEST_F(DbPackTest, BodyHasCrLfLinesAndTheVersionOptionWins) {
  WriteSource("s.txt", "@version 01/02/2003\nNORM | a.exe | A.\nSPC | pat | KEY |\n");
  ASSERT_EQ(
      Run("pack " + ShellQuote(Path("s.txt")) + " " + ShellQuote(Path("d.vmd")) + " --version 09/08/2007"), 0)
      << err_;
  std::string file = test::ReadFile(Path("d.vmd"));
  EXPECT_EQ(DefnsVersionOf(file), "09/08/2007");
  std::string body;
  ASSERT_TRUE(ExtractPlainBody(file, &body));
  std::string expected = "[" + ScrambleText("NORM") + "]\r\n" + ScrambleText("PRON0") + "=" +
                         ScrambleText("a.exe") + "\r\n" + ScrambleText("PROD0") + "=" + ScrambleText("A.") +
                         "\r\n\r\n[" + ScrambleText("SPC") + "]\r\n" + ScrambleText("PRON0") + "=" +
                         ScrambleText("pat") + "\r\n" + ScrambleText("PROD0") + "=" + ScrambleText("NULL") +
                         "\r\n" + ScrambleText("PROT0") + "=" + ScrambleText("KEY") + "\r\n";
  EXPECT_EQ(body, expected);
  EXPECT_NE(
      Run("pack " + ShellQuote(Path("s.txt")) + " " + ShellQuote(Path("e.vmd")) + " --version 1/2/2003"), 0);
}

TEST_F(DbPackTest, SourcesWithMistakesAreRefusedLineByLine) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"@version 01/01/2020\nFOO | a.exe | x\n", "line 2: unknown category code"},
      {"@version 01/01/2020\nNORM | a.exe |\nSYS | A.EXE |\n",
       "line 3: file name \"A.EXE\" is defined twice"},
      {"@version 01/01/2020\nSPC | p | NOPE | x\n", "line 2: unknown category code \"NOPE\" for the pattern"},
      {"@version 01/01/2020\nNORM | caf\xC3\xA9.exe |\n", "line 2: only printable ASCII"},
      {"@version 01/01/2020\nNORM | a.exe | " + std::string(260, 'd') + "\n",
       "line 2: a name or description longer"},
      {"@version 01/01/2020\nNORM | C:\\a.exe |\n", "line 2: a category entry names a bare file name"},
      {"@version 01/01/2020\nNORM\n", "line 2: expected CODE | file name | description"},
      {"NORM | a.exe |\n", "no @version line"},
      {"@version 2020-01-01\n", "line 1: version must read dd/mm/yyyy"},
  };
  for (const Case& c : cases) {
    WriteSource("bad.txt", c.text);
    EXPECT_EQ(Run("pack " + ShellQuote(Path("bad.txt")) + " " + ShellQuote(Path("bad.vmd"))), 1) << c.text;
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(Path("bad.vmd"))) << c.text;
  }
  EXPECT_EQ(Run("pack " + ShellQuote(Path("missing.txt")) + " " + ShellQuote(Path("bad.vmd"))), 1);
  EXPECT_EQ(Run("pack onlyone"), 2);
  EXPECT_EQ(Run("frobnicate"), 2);
}

TEST_F(DbPackTest, VerifyAndUnpackReportWhatTheDatabaseReallyHolds) {
  WriteSource("a.txt", "@version 01/01/2020\nNORM | a.exe | A.\nSPY | s.exe |\n");
  WriteSource("b.txt", "@version 01/01/2020\nNORM | a.exe | Changed.\nSPY | s.exe |\n");
  ASSERT_EQ(Run("pack " + ShellQuote(Path("a.txt")) + " " + ShellQuote(Path("a.vmd"))), 0) << err_;
  EXPECT_EQ(Run("verify " + ShellQuote(Path("b.txt")) + " " + ShellQuote(Path("a.vmd"))), 1);
  EXPECT_NE(err_.find("NORM | a.exe | Changed."), std::string::npos) << err_;

  // A database made by hand: a gap after entry 0 hides entry 2, as the program
  // reads it; a first line without a date is refused.
  std::string body = "[" + ScrambleText("SYS") + "]\r\n" + ScrambleText("PRON0") + "=" +
                     ScrambleText("k.exe") + "\r\n" + ScrambleText("PRON2") + "=" +
                     ScrambleText("hidden.exe") + "\r\n";
  test::WriteFile(Path("hand.vmd"), BuildDatabaseFile("05/06/2007", body));
  ASSERT_EQ(Run("unpack " + ShellQuote(Path("hand.vmd"))), 0) << err_;
  EXPECT_EQ(out_, "@version 05/06/2007\nSYS | k.exe | NULL\n");
  test::WriteFile(Path("nodate.vmd"), "2007-06-05\r\n" + body);
  EXPECT_EQ(Run("unpack " + ShellQuote(Path("nodate.vmd"))), 1);
  EXPECT_NE(err_.find("no version line"), std::string::npos);
}

// The names in |folder|, sorted.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Packing over a database while the disk fails at each file change in turn (full,
// an I/O error, or the packer killed): a failure says so and leaves the old
// database whole; a success leaves the new one; and no scratch file stays behind,
// beside the database or in the temporary folder.
TEST_F(DbPackTest, AFailedPackLeavesTheOldDatabaseAndNothingElse) {
  std::string a = WriteSource("a.txt", "@version 01/01/2020\nNORM | a.exe | A.\n");
  std::string b = WriteSource("b.txt", "@version 02/02/2022\nNORM | b.exe | B.\nSPY | s.exe |\n");
  EXPECT_EQ(Run("pack " + ShellQuote(a) + " " + ShellQuote(Path("missing/d.vmd"))), 1);
  EXPECT_NE(err_.find("vlmdb-pack: cannot write " + Path("missing/d.vmd")), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(Path("missing")));

  ASSERT_EQ(Run("pack " + ShellQuote(a) + " " + ShellQuote(Path("old.vmd"))), 0) << err_;
  ASSERT_EQ(Run("pack " + ShellQuote(b) + " " + ShellQuote(Path("new.vmd"))), 0) << err_;
  const std::string oldBytes = test::ReadFile(Path("old.vmd")), newBytes = test::ReadFile(Path("new.vmd"));
  fs::create_directory(Path("db"));
  fs::create_directory(Path("tmp"));
  const std::string database = Path("db/d.vmd");
  for (const char* kind : {"enospc", "eio", "kill"}) {
    for (long at = 1;; ++at) {
      ASSERT_LT(at, 100) << "the fault never stopped hitting";
      test::WriteFile(database, oldBytes);
      test::FaultOutcome outcome = test::RunUnderFault(Tool(), "TMPDIR=" + ShellQuote(Path("tmp")),
                                                       {"pack", b, database}, Path("report"), {kind, at});
      SCOPED_TRACE(std::string(kind) + " at change " + std::to_string(at) + ": " + outcome.out);
      if (outcome.status == 0) {
        EXPECT_EQ(test::ReadFile(database), newBytes);
      } else {
        EXPECT_EQ(test::ReadFile(database), oldBytes);
        if (outcome.status == 1) {
          EXPECT_NE(outcome.out.find("vlmdb-pack: cannot "), std::string::npos);
        }
      }
      if (outcome.status != 137) {
        EXPECT_EQ(Listing(Path("db")), std::vector<std::string>{"d.vmd"});
        EXPECT_EQ(Listing(Path("tmp")), std::vector<std::string>{});
      }
      for (const std::string& folder : {Path("db"), Path("tmp")}) {
        fs::remove_all(folder);
        fs::create_directory(folder);
      }
      if (!outcome.hit) break;
    }
  }
}

TEST_F(DbPackTest, ShippedDefinitionsRateWellKnownFiles) {
  test::TempPrefix prefix;
  ASSERT_EQ(Run("pack " + ShellQuote(test::SourcePath("data/definitions.txt")) + " " +
                ShellQuote(Path("vlmdb.vmd"))),
            0);
  ProgramContext context;
  context.programDir = platform::files::WindowsPathFromHost(velmora::test::System(), dir_.path());
  ASSERT_TRUE(DecodeDatabase(velmora::test::System(), context.programDir));
  platform::ini::ClearCache(velmora::test::System());

  Rater rater(context);
  rater.FillCategoryCodes();
  struct Expect {
    const char* fileName;
    const char* rating;
  };
  const Expect expectations[] = {
      {"explorer.exe", "System File"},  {"CTFMON.EXE", "System File"}, {"jusched.exe", "Normal File"},
      {"msblast.exe", "Worm"},          {"avserve.exe", "Worm"},       {"SpySheriff.exe", "Trojan"},
      {"mykeylogger.exe", "Keylogger"}, {"gator.exe", "Adware"},       {"unknown-tool.exe", "Unknown File"},
  };
  std::vector<Task> tasks(std::size(expectations));
  std::vector<Task*> pointers;
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    tasks[i].name = "entry" + std::to_string(i);
    tasks[i].fileName = expectations[i].fileName;
    pointers.push_back(&tasks[i]);
  }
  rater.RateAll(velmora::test::System(), pointers);
  int i = 0;
  for (const Expect& e : expectations) {
    const Task& task = tasks[i++];
    EXPECT_EQ(task.rating, e.rating) << e.fileName;
    EXPECT_FALSE(task.description.empty());
  }
}

}  // namespace
}  // namespace velmora
