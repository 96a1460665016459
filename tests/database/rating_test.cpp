// Rating entries from a working copy: order of the sections, later hits, the
// patterns, and the equivalence of the indexed full pass with the plain one.
#include "database/rating.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "app/language.h"
#include "base/text.h"
#include "database/database_file.h"
#include "database/definitions_source.h"
#include "database/name_pattern.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

Definition Def(const std::string& section, const std::string& name, const std::string& description = "NULL",
               const std::string& category = "") {
  Definition d;
  d.section = section;
  d.name = name;
  d.description = description;
  d.category = category;
  return d;
}

std::string Line(const std::string& key, const std::string& value) {
  return ScrambleText(key) + "=" + ScrambleText(value) + "\r\n";
}

using Tasks = std::vector<std::unique_ptr<Task>>;

std::vector<Task*> Pointers(const Tasks& tasks) {
  std::vector<Task*> pointers;
  for (const auto& task : tasks) pointers.push_back(task.get());
  return pointers;
}

class RatingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.programDir = platform::files::WindowsPathFromHost(velmora::test::System(), dir_.path());
    rater_.FillCategoryCodes();
  }
  void WriteCopy(const std::string& text) {
    test::WriteFile(dir_.path() + "/vlmdb2.vmd", text);
    platform::ini::ClearCache(velmora::test::System());
  }
  void WriteDefinitions(const std::vector<Definition>& definitions) {
    WriteCopy(BuildWorkingCopyText(definitions));
  }
  Task& Add(int location, const std::string& name, const std::string& fileName, Tasks* into = nullptr) {
    auto task = std::make_unique<Task>();
    task->name = name;
    task->fileName = fileName;
    task->command = "C:\\Programs\\" + fileName;
    task->location = location;
    task->description = GetString(text_id::kNoInformation);  // as the scans give it
    Task& ref = *task;
    (into ? *into : tasks_).push_back(std::move(task));
    return ref;
  }
  void RateAll() { rater_.RateAll(velmora::test::System(), Pointers(tasks_)); }

  test::TestSystem system_;
  test::TempDir dir_;
  ProgramContext context_;
  Rater rater_{context_};
  Tasks tasks_;
};

TEST(MatchNamePattern, ContainmentStarsAndTheExeRule) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"upd", "myupdater.exe", true},
      {"upd", "UPD.EXE", true},
      {"UPD", "upd.exe", true},
      {"upd", "up.exe", false},
      {"*.exe", "notes.txt", true},
      {".exe", "anything", true},
      {".EXE", "", true},
      {"a*b*.exe", "xaybz.exe", true},
      {"a*b*.exe", "ab", true},
      {"a*b*.exe", "ba.txt", false},
      {"abc*.exe", "zzabczz.dll", true},
      {"x*yz", "xaaay", false},
      {"x*yz", "xqqyzq", true},
      {"*", "", true},
      {"", "name", true},
      {"x*", "x", true},
      {"*x", "abc", false},
      {"ab*ab", "ab", false},
      {"ab*ab", "abab", true},
      {"a*.exe", "b.exe", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchNamePattern(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

// The pattern taken apart once must agree with the plain matcher: random
// patterns and names over few bytes (stars, ".exe" pieces, letters in both cases
// and bytes that share their low six bits, such as 'p' and '0').
TEST(NamePattern, AgreesWithThePlainMatcher) {
  std::mt19937 random(20261209);
  const std::vector<std::string> pieces = {"a", "B", "p",    "0",    "*",  "*", ".",
                                           "e", "X", ".exe", ".EXE", "ab", "pa"};
  auto make = [&](std::size_t most) {
    std::string text;
    for (std::size_t n = random() % (most + 1); n > 0; --n) text += pieces[random() % pieces.size()];
    return text;
  };
  int matches = 0;
  for (int round = 0; round < 4000; ++round) {
    const std::string pattern = make(6);
    const NamePattern compiled(pattern);
    for (int i = 0; i < 10; ++i) {
      std::string name = make(8);
      name.erase(std::remove(name.begin(), name.end(), '*'), name.end());
      const std::string lower = ToLowerAscii(name);
      const bool expected = MatchNamePattern(pattern, name);
      ASSERT_EQ(compiled.Matches(lower, NamePattern::BytesOf(lower)), expected) << pattern << " / " << name;
      matches += expected;
    }
  }
  // Both outcomes are met often.
  EXPECT_GT(matches, 4000);
  EXPECT_LT(matches, 36000);
}

TEST(Categories, RatingNamesAndStandardTexts) {
  EXPECT_EQ(RatingName("NORM"), "Normal File");
  EXPECT_EQ(RatingName("sys"), "System File");
  EXPECT_EQ(RatingName("Dial"), "Dialer");
  EXPECT_EQ(RatingName("XYZ"), "Unknown");
  EXPECT_EQ(RatingName(""), "Unknown");
  EXPECT_EQ(StandardDescriptionId("troj"), 7019u);
  EXPECT_EQ(StandardDescriptionId("MAC"), 7024u);
  EXPECT_EQ(StandardDescriptionId("NULL"), 7025u);
}

TEST_F(RatingTest, LaterHitsWinInTheFullPassTheFirstInRateTask) {
  WriteDefinitions({Def("NORM", "a.exe"), Def("NORM", "dup.exe", "first"), Def("NORM", "dup.exe", "second"),
                    Def("NORM", "both.exe", "normal"), Def("SPY", "x.exe"), Def("SPY", "y.exe"),
                    Def("SPY", "z.exe"), Def("SPY", "both.exe", "spy"), Def("DIAL", "nd.exe"),
                    Def("NORM", "nd.exe")});
  Task& both = Add(0, "Both", "both.exe");
  Task& dup = Add(3, "Dup", "dup.exe");
  Task& nd = Add(5, "ND", "nd.exe");
  RateAll();
  EXPECT_EQ(both.rating, "Spyware");
  EXPECT_EQ(both.description, "spy");
  EXPECT_EQ(dup.description, "second");
  EXPECT_EQ(nd.rating, "Dialer");
  EXPECT_EQ(nd.description, GetString(7022));

  Task fresh;
  fresh.command = "C:\\Programs\\BOTH.EXE /q";
  rater_.RateTask(velmora::test::System(), fresh);
  EXPECT_EQ(fresh.fileName, "BOTH.EXE");
  EXPECT_EQ(fresh.rating, "Normal File");
  EXPECT_EQ(fresh.description, "normal");
  Task again;
  again.command = "C:\\dup.exe";
  rater_.RateTask(velmora::test::System(), again);
  EXPECT_EQ(again.description, "first");
}

// Standard descriptions and "no information" are the context's texts.
TEST_F(RatingTest, TextsComeFromTheContext) {
  WriteDefinitions({Def("SYS", "explorer.exe"), Def("SPC", "upd", "NULL", "HIJ")});
  context_.textLookup = [](unsigned id) { return "text " + std::to_string(id); };
  Task& explorer = Add(0, "Shell", "explorer.exe");
  explorer.description.clear();
  Task& other = Add(1, "Other", "other.exe");
  other.description.clear();
  RateAll();
  EXPECT_EQ(explorer.description, "text 7014");
  EXPECT_EQ(other.description, "text 7025");
  Task fresh;  // a task not yet filled: no description, so the patterns are tried
  fresh.command = "C:\\upd.exe";
  rater_.RateTask(velmora::test::System(), fresh);
  EXPECT_EQ(fresh.description, "text 7021");
}

TEST_F(RatingTest, NamesCompareWithoutCaseAndStandardTextsStandForNull) {
  WriteDefinitions({Def("SYS", "EXPLORER.EXE", "null"), Def("SYS", "svchost.exe", "NULL"),
                    Def("NORM", "Tool.exe", "A tool.")});
  Task& explorer = Add(0, "Shell", "explorer.exe");
  Task& host = Add(1, "Host", "SvcHost.exe");
  Task& tool = Add(2, "Tool", "tool.EXE");
  Task& other = Add(3, "Other", "other.exe");
  RateAll();
  EXPECT_EQ(explorer.rating, "System File");
  EXPECT_EQ(explorer.description, GetString(7014));
  EXPECT_EQ(host.description, GetString(7014));
  EXPECT_EQ(tool.rating, "Normal File");
  EXPECT_EQ(tool.description, "A tool.");
  EXPECT_EQ(other.rating, kUnknownFileRating);
  EXPECT_EQ(other.description, GetString(7025));
}

TEST_F(RatingTest, AMissingDescriptionAndSectionsThatEndEarly) {
  // NORM: PRON0, PRON1 without PROD1, then a gap at 2 that hides PRON3.
  // SYS: no PRON0, so its PRON1 is never read.
  WriteCopy("[" + ScrambleText("NORM") + "]\r\n" + Line("PRON0", "zero.exe") + Line("PROD0", "Zero.") +
            Line("PRON1", "  one.exe  ") + Line("PRON3", "three.exe") + Line("PROD3", "Three.") + "[" +
            ScrambleText("SYS") + "]\r\n" + Line("PRON1", "hidden.exe") + Line("PROD1", "Hidden."));
  Task& zero = Add(0, "Zero", "zero.exe");
  Task& one = Add(0, "One", "one.exe");
  Task& three = Add(0, "Three", "three.exe");
  Task& hidden = Add(0, "Hidden", "hidden.exe");
  RateAll();
  EXPECT_EQ(zero.description, "Zero.");
  EXPECT_EQ(one.rating, "Normal File");
  EXPECT_EQ(one.description, GetString(7015));
  EXPECT_EQ(three.rating, kUnknownFileRating);
  EXPECT_EQ(hidden.rating, kUnknownFileRating);
}

TEST_F(RatingTest, PatternsRateOnlyWhatTheSectionsLeftAndTheFirstMatchDecides) {
  WriteDefinitions({Def("SYS", "explorer.exe"), Def("SPC", "zzz", "NULL", "XYZ"),
                    Def("SPC", "upd", " Updater. ", " troj "), Def("SPC", "*.exe", "NULL", "NORM"),
                    Def("SPC", "upd", "never", "SPY")});
  Task& explorer = Add(0, "Explorer", "explorer.exe");
  Task& updater = Add(1, "Updater", "MyUpdater.exe");
  Task& odd = Add(2, "Odd", "zzz.exe");
  Task& plain = Add(3, "Plain", "tool.bin");
  RateAll();
  EXPECT_EQ(explorer.rating, "System File") << "a category hit is never overwritten by a pattern";
  EXPECT_EQ(updater.rating, "Trojan");
  EXPECT_EQ(updater.description, "Updater.") << "pattern values are stripped";
  EXPECT_EQ(odd.rating, "Unknown") << "an unknown category still takes the entry";
  EXPECT_EQ(odd.description, GetString(7025));
  EXPECT_EQ(plain.rating, "Normal File") << "*.exe matches every name";

  // A second pass keeps what the first gave: none of them is "Unknown File" any more.
  WriteDefinitions({Def("SPC", "*", "Other.", "WOR")});
  RateAll();
  EXPECT_EQ(odd.rating, "Unknown");
  EXPECT_EQ(plain.rating, "Normal File");

  Task fresh;
  fresh.command = "\"C:\\Program Files\\Up\\upd.exe\" -x";
  WriteDefinitions(
      {Def("SPC", "nomatch", "x", "SPY"), Def("SPC", "UPD", "NULL", "HIJ"), Def("SPC", "upd", "y", "AD")});
  rater_.RateTask(velmora::test::System(), fresh);
  EXPECT_EQ(fresh.fileName, "upd.exe");
  EXPECT_EQ(fresh.rating, "Hijack");
  EXPECT_EQ(fresh.description, GetString(7021));
}

// A Squirrel install starts its program through its updater: the entry is rated
// as the program named by --processStart, in both passes, whatever its quoting.
TEST_F(RatingTest, SquirrelUpdaterIsRatedAsTheProgramItStarts) {
  WriteDefinitions({Def("NORM", "discord.exe", "Chat."), Def("NORM", "teams.exe", "Meetings."),
                    Def("SPY", "update.exe", "An updater."), Def("SPC", "slack", "Team chat.", "NORM")});
  struct Case {
    const char* command;
    const char* description;
  };
  const Case cases[] = {
      {"C:\\users\\u\\AppData\\Local\\Discord\\Update.exe --processStart Discord.exe", "Chat."},
      {"\"C:\\users\\u\\AppData\\Local\\Microsoft\\Teams\\Update.exe\" --processStart \"Teams.exe\" "
       "--process-start-args \"--system-initiated\"",
       "Meetings."},
      {"\"C:\\Apps\\UPDATE.EXE\" --PROCESSSTART=discord.exe", "Chat."},
      {"C:\\Apps\\Update.exe --processStartAndWait \"C:\\Apps\\app-1.0\\Teams.exe\"", "Meetings."},
      {"C:\\Local\\slack\\Update.exe --processStart slack.exe", "Team chat."},
      // Not a program start: the updater itself.
      {"C:\\Apps\\Update.exe --processStart", "An updater."},
      {"C:\\Apps\\Update.exe --processStartX discord.exe", "An updater."},
      {"C:\\Apps\\Update.exe --update https://example.com/", "An updater."},
  };
  std::vector<Task*> tasks;
  for (const Case& c : cases) {
    Task& task = Add(0, c.command, "Update.exe");
    task.command = c.command;
    tasks.push_back(&task);
  }
  // Another program of that name-ending, with the switch, is not an updater.
  Task& other = Add(1, "Other", "myupdate.exe");
  other.command = "C:\\Apps\\myupdate.exe --processStart discord.exe";
  RateAll();
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    EXPECT_EQ(tasks[i]->description, cases[i].description) << cases[i].command;
    EXPECT_EQ(tasks[i]->fileName, "Update.exe") << "the entry's file stays the updater";
    if (tasks[i]->description == "An updater.") continue;  // RateTask finds the updater by its own rules
    Task fresh;
    fresh.command = cases[i].command;
    rater_.RateTask(velmora::test::System(), fresh);
    EXPECT_EQ(fresh.description, cases[i].description) << cases[i].command;
  }
  EXPECT_EQ(other.rating, kUnknownFileRating);
}

TEST_F(RatingTest, NoWorkingCopyLeavesEverythingUnknown) {
  Task& task = Add(0, "A", "a.exe");
  RateAll();
  EXPECT_EQ(task.rating, kUnknownFileRating);
  EXPECT_EQ(task.description, GetString(7025));
  Task fresh;
  fresh.command = "C:\\a.exe";
  rater_.RateTask(velmora::test::System(), fresh);
  EXPECT_EQ(fresh.rating, kUnknownFileRating);
}

// The full pass exactly as it reads without the index: every definition against
// every entry, a file read per value.
void PlainFullPass(const Tasks& tasks, const std::vector<std::string>& codes, const std::string& programDir) {
  const std::string path = WorkingCopyPath(programDir);
  auto apply = [](Task& task, const std::string& description, const std::string& code) {
    task.description =
        EqualsIgnoreCase(description, "NULL") ? GetString(StandardDescriptionId(code)) : description;
    task.rating = RatingName(code);
  };
  for (const std::string& code : codes) {
    for (int n = 0;; ++n) {
      std::uint32_t count = 0;
      std::string name = TrimWhiteSpace(
          ReadDatabaseString(velmora::test::System(), code, "PRON" + std::to_string(n), "", path, &count));
      if (count == 0) break;
      std::string description =
          ReadDatabaseString(velmora::test::System(), code, "PROD" + std::to_string(n), "NULL", path);
      for (const auto& task : tasks)
        if (EqualsIgnoreCase(task->fileName, name)) apply(*task, description, code);
    }
  }
  for (int n = 0;; ++n) {
    std::uint32_t count = 0;
    std::string pattern = TrimWhiteSpace(
        ReadDatabaseString(velmora::test::System(), "SPC", "PRON" + std::to_string(n), "", path, &count));
    if (count == 0) break;
    std::string description = TrimWhiteSpace(
        ReadDatabaseString(velmora::test::System(), "SPC", "PROD" + std::to_string(n), "NULL", path));
    std::string category = TrimWhiteSpace(
        ReadDatabaseString(velmora::test::System(), "SPC", "PROT" + std::to_string(n), "NULL", path));
    for (const auto& task : tasks)
      if (task->rating == "Unknown File" && MatchNamePattern(pattern, task->fileName))
        apply(*task, description, category);
  }
}

TEST_F(RatingTest, IndexedPassGivesTheResultsOfThePlainOne) {
  std::mt19937 random(20240607);
  const std::vector<std::string> names = {"a.exe", "B.exe", "cc.exe", "upd.exe",   "Updater.EXE", "x.com",
                                          "y",     "",      "zz.exe", "mixed.Exe", "tool.exe",    "a.ex"};
  const std::vector<std::string> patterns = {"upd", "*.exe", "x*", "a*b", "q", "ZZ", "*"};
  const std::vector<std::string> descriptions = {"NULL", "null", "text one", "text two", " spaced "};
  const std::vector<std::string> codes = {"NORM", "SYS", "DIAL", "XYZ", "spy", "NULL"};
  auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
  auto vary = [&](std::string text) {
    for (char& c : text)
      if (random() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  };

  for (int round = 0; round < 25; ++round) {
    std::vector<Definition> definitions;
    for (int i = 0; i < 40; ++i) {
      std::string section = random() % 5 == 0 ? "SPC" : std::string(kCategoryCodeList[random() % 11]);
      if (section == "SPC") {
        definitions.push_back(Def("SPC", pick(patterns), pick(descriptions), pick(codes)));
      } else {
        definitions.push_back(Def(section, vary(pick(names)), pick(descriptions)));
      }
    }
    WriteDefinitions(definitions);
    Tasks indexed, plain;
    for (int i = 0; i < 30; ++i) {
      int location = static_cast<int>(random() % kLocationCount);
      std::string fileName = vary(pick(names));
      std::string name = "entry" + std::to_string(i);
      Add(location, name, fileName, &indexed);
      Add(location, name, fileName, &plain);
    }
    // Twice, so that values left by the first pass meet the second; the index is
    // made on its own thread while the pass asks for it.
    for (int pass = 0; pass < 2; ++pass) {
      rater_.PrepareIndex(velmora::test::System());
      rater_.RateAll(velmora::test::System(), Pointers(indexed));
      PlainFullPass(plain, rater_.CategoryCodes(), context_.programDir);
      ASSERT_EQ(indexed.size(), plain.size());
      for (std::size_t i = 0; i < indexed.size(); ++i) {
        const Task* task = indexed[i].get();
        const Task& other = *plain[i];
        EXPECT_EQ(task->rating, other.rating) << "round " << round << " " << task->fileName;
        EXPECT_EQ(task->description, other.description) << "round " << round << " " << task->fileName;
      }
      definitions.push_back(Def("SPC", "e", "late", "KEY"));
      WriteDefinitions(definitions);
    }
  }
}

}  // namespace
}  // namespace velmora
