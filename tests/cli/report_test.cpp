// What is new since the last look, the CSV listing and the registry export of
// velmora-cli, run as a user runs them: real processes on real prefixes, the
// export imported by Wine's own regedit.
#include <gtest/gtest.h>

#include <filesystem>

#include "changes/seen_entries.h"
#include "platform/posix/prefix.h"
#include "tests/changes/changes_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

using Result = test::CommandOutput;

// Runs velmora-cli with |arguments| (quoted by the test); standard error is kept
// apart unless |withErrors|.
Result RunCli(const std::string& env, const std::string& arguments, bool withErrors = false) {
  return test::RunAndCapture(
      "cd / && env " + env + " " + test::ShellQuote(VELMORA_PROGRAM_DIR "/velmora-cli") + " " + arguments,
      withErrors ? test::Errors::kMerged : test::Errors::kDropped);
}

// The JSON object of the entry |name| in a listing ("" when it is not listed).
std::string EntryObject(const std::string& json, const std::string& name) {
  std::size_t at = json.find("\"name\": \"" + name + "\"");
  if (at == std::string::npos) return "";
  std::size_t start = json.rfind('{', at);
  return json.substr(start, json.find('}', at) - start + 1);
}

// An RFC 4180 reader written for the test: records of fields, quotes doubled
// inside quoted fields, CRLF between records.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text, bool* wellFormed) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false, fieldStarted = false;
  *wellFormed = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && !fieldStarted) {
      quoted = fieldStarted = true;
    } else if (c == ',') {
      record.push_back(field);
      field.clear();
      fieldStarted = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      record.push_back(field);
      records.push_back(record);
      record.clear();
      field.clear();
      fieldStarted = false;
      ++i;
    } else if (c == '\n' || c == '\r' || c == '"') {
      *wellFormed = false;  // a bare line feed or a stray quote
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (quoted || !field.empty() || !record.empty()) *wellFormed = false;  // the last record lacks its CRLF
  return records;
}

class CliReportTest : public test::ChangesTest {
 protected:
  Result Run(const std::string& arguments, bool withErrors = false) {
    Result result = RunCli("WINEPREFIX='" + prefix_.prefix() + "'", arguments, withErrors);
    // The program may have changed the hives behind this process's back.
    velmora::test::ResetPrefixForTesting();
    velmora::test::InitPrefix();
    return result;
  }
};

TEST_F(CliReportTest, NewSinceTheLastLookIsMarkedAndOnlySeenUpdatesTheRecord) {
  SetText(kLmRun, "Alpha", "C:\\Tools\\alpha.exe");
  SetText(kCuRun, "Beta", "C:\\Tools\\beta.exe /b");
  SetStore("3|Gamma", "C:\\Tools\\gamma.exe");  // a disabled entry

  // The first look marks nothing, and listings write nothing, whatever the format.
  const std::string userBefore = test::ReadFile(prefix_.HostPath("user.reg"));
  Result first = Run("list --json");
  ASSERT_EQ(first.status, 0) << first.out;
  EXPECT_NE(EntryObject(first.out, "Alpha").find("\"new\": false"), std::string::npos) << first.out;
  EXPECT_EQ(first.out.find("\"new\": true"), std::string::npos);
  EXPECT_EQ(Run("list --new --csv").out.find("Alpha"), std::string::npos);
  EXPECT_EQ(Run("list").status, 0);
  EXPECT_TRUE(test::ReadFile(prefix_.HostPath("user.reg")) == userBefore) << "a listing wrote user.reg";
  EXPECT_FALSE(changes::SeenEntries::Read(velmora::test::System()).Exists());

  Result seen = Run("seen", true);
  ASSERT_EQ(seen.status, 0) << seen.out;
  ASSERT_TRUE(changes::SeenEntries::Read(velmora::test::System()).Exists());

  // An installer adds an entry and changes another's command; a disabled entry
  // and an unchanged one stay as they were seen.
  SetText(kCuRunOnce, "Fresh", "C:\\Setup\\finish.exe");
  SetText(kCuRun, "Beta", "C:\\Tools\\beta.exe /other");
  Result after = Run("list --json");
  ASSERT_EQ(after.status, 0) << after.out;
  EXPECT_NE(EntryObject(after.out, "Fresh").find("\"new\": true"), std::string::npos) << after.out;
  EXPECT_NE(EntryObject(after.out, "Beta").find("\"new\": true"), std::string::npos) << after.out;
  EXPECT_NE(EntryObject(after.out, "Alpha").find("\"new\": false"), std::string::npos) << after.out;
  EXPECT_NE(EntryObject(after.out, "Gamma").find("\"new\": false"), std::string::npos) << after.out;

  Result onlyNew = Run("list --new --json");
  EXPECT_NE(onlyNew.out.find("\"Fresh\""), std::string::npos);
  EXPECT_NE(onlyNew.out.find("\"Beta\""), std::string::npos);
  EXPECT_EQ(onlyNew.out.find("\"Alpha\""), std::string::npos);
  Result table = Run("list --new");
  EXPECT_NE(table.out.find("Fresh   (new)"), std::string::npos) << table.out;
  EXPECT_EQ(table.out.find("Alpha"), std::string::npos) << table.out;

  // Still new until seen; then nothing is. A removed entry leaves the record.
  EXPECT_NE(Run("list --json").out.find("\"new\": true"), std::string::npos);
  ASSERT_EQ(Run("seen").status, 0);
  EXPECT_EQ(Run("list --json").out.find("\"new\": true"), std::string::npos);
  ASSERT_EQ(Run("remove 'CU RunOnce' Fresh").status, 0);
  ASSERT_EQ(Run("seen").status, 0);
  SetText(kCuRunOnce, "Fresh", "C:\\Setup\\finish.exe");
  EXPECT_NE(EntryObject(Run("list --json").out, "Fresh").find("\"new\": true"), std::string::npos);

  EXPECT_EQ(Run("list --json --csv").status, 2);
  EXPECT_EQ(Run("seen now").status, 2);
}

TEST_F(CliReportTest, CsvHasAHeaderRowAndReadsBackFieldForField) {
  SetText(kLmRun, "Plain", "C:\\Tools\\plain.exe");
  SetText(kCuRun, "Comma, \"quoted\" name", "\"C:\\Program Files\\Odd\\odd.exe\" -a, -b");
  SetText(kCuRun, " Padded ", "C:\\Tools\\padded.exe");
  SetStore("4|Off", "C:\\Tools\\off.exe");
  Result csv = Run("list --csv");
  ASSERT_EQ(csv.status, 0) << csv.out;

  bool wellFormed = false;
  std::vector<std::vector<std::string>> records = ParseCsv(csv.out, &wellFormed);
  EXPECT_TRUE(wellFormed) << csv.out;
  ASSERT_EQ(records.size(), 5u) << csv.out;
  EXPECT_EQ(records[0],
            (std::vector<std::string>{"location", "tag", "name", "enabled", "command", "file name",
                                      "file exists", "application name", "product name", "version", "rating",
                                      "memory KB", "new", "starts"}));
  for (const auto& record : records) EXPECT_EQ(record.size(), 14u) << csv.out;

  std::map<std::string, std::vector<std::string>> byName;
  for (std::size_t i = 1; i < records.size(); ++i) byName[records[i][2]] = records[i];
  ASSERT_EQ(byName.count("Comma, \"quoted\" name"), 1u) << csv.out;
  const std::vector<std::string>& odd = byName["Comma, \"quoted\" name"];
  EXPECT_EQ(odd[0], "3");
  EXPECT_EQ(odd[1], "CU Run");
  EXPECT_EQ(odd[3], "true");
  EXPECT_EQ(odd[4], "\"C:\\Program Files\\Odd\\odd.exe\" -a, -b");
  EXPECT_EQ(odd[5], "odd.exe");
  EXPECT_EQ(odd[6], "false");
  EXPECT_EQ(odd[11], "0");
  EXPECT_EQ(odd[12], "false");
  ASSERT_EQ(byName.count(" Padded "), 1u) << csv.out;  // blanks at the ends survive
  ASSERT_EQ(byName.count("Off"), 1u);
  EXPECT_EQ(byName["Off"][3], "false");
  EXPECT_EQ(byName["Off"][1], "CU RunOnce");
}

TEST_F(CliReportTest, ExportIsARegedit4FileOrAVersion5OneForWhatItCannotHold) {
  SetText(kLmRun, "Quoted", "\"C:\\Program Files\\App\\app.exe\" /q");
  SetText(kCuRun, "Expand", "%ProgramFiles%\\Tool\\tool.exe", platform::kRegExpandSz);
  SetText(kCuRun, "Caf\xc3\xa9", "C:\\Caf\xc3\xa9\\caf\xc3\xa9.exe");  // in the ANSI code page
  SetStore("3|Sleeper", "C:\\Tools\\sleeper.exe");
  SetRaw(test::RootOf(kCuRun), test::KeyOf(kCuRun), "Wide", 11, std::string("\x2a\0\0\0\0\0\0\x01", 8));
  const std::string file = prefix_.dir() + "/startup.reg";
  Result exported = Run("export '" + file + "'", true);
  ASSERT_EQ(exported.status, 0) << exported.out;
  const std::string text = test::ReadFile(file);
  EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
                      "\"Quoted\"=\"\\\"C:\\\\Program Files\\\\App\\\\app.exe\\\" /q\"\r\n"),
            std::string::npos)
      << text;
  // %ProgramFiles%\Tool\tool.exe as ANSI bytes with their zero.
  EXPECT_NE(
      text.find("\"Expand\"=hex(2):25,50,72,6f,67,72,61,6d,46,69,6c,65,73,25,5c,54,6f,6f,6c,5c,74,6f,6f,6c,"
                "2e,65,78,65,00\r\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("\"Caf\xe9\"=\"C:\\\\Caf\xe9\\\\caf\xe9.exe\""), std::string::npos) << text;
  // regedit reads the type number in hex: a REG_QWORD is hex(b).
  EXPECT_NE(text.find("\"Wide\"=hex(b):2a,00,00,00,00,00,00,01\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Orlinsk\\Velmora\\DisabledTasks]\r\n\"3|Sleeper\"="),
            std::string::npos)
      << text;

  // A name outside the ANSI code page: a version 5 file in UTF-16 LE, on standard output.
  SetText(kCuRun, "\xe6\x97\xa5\xe6\x9c\xac", "C:\\\xe6\x97\xa5.exe");
  SetText(kCuRun, "Lines", "C:\\a.exe\nsecond");
  Result unicode = Run("export -");
  ASSERT_EQ(unicode.status, 0);
  const auto utf16 = [](const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string(1, c) + '\0';
    return out;
  };
  EXPECT_EQ(unicode.out.rfind("\xff\xfe" + utf16("Windows Registry Editor Version 5.00\r\n\r\n"), 0), 0u);
  // \"日本\"=\"C:\\日.exe\"
  EXPECT_NE(unicode.out.find(utf16("\"") + "\xe5\x65\x2c\x67" + utf16("\"=\"C:\\\\") + "\xe5\x65" +
                             utf16(".exe\"\r\n")),
            std::string::npos);
  // A line break cannot stand between quotes: the text's UTF-16 bytes.
  EXPECT_NE(
      unicode.out.find(utf16("\"Lines\"=hex(1):43,00,3a,00,5c,00,61,00,2e,00,65,00,78,00,65,00,0a,00,73,00,"
                             "65,00,63,00,6f,00,6e,00,64,00,00,00\r\n")),
      std::string::npos);
  EXPECT_EQ(Run("export").status, 2);
}

// The way a user meets both features: Wine's reg adds an entry between two
// looks, and the export of one prefix is imported into another by regedit.
TEST(CliReportWine, RegAddBetweenTwoLooksAndExportImportedByRegedit) {
  if (!test::WineAvailable()) GTEST_SKIP() << "wine is not installed";
  test::TempDir dir;
  const std::string source = dir.path() + "/source";
  const std::string target = dir.path() + "/target";
  const std::string sourceEnv =
      "WINEPREFIX='" + source + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
  const std::string targetEnv =
      "WINEPREFIX='" + target + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
  const std::string runKey = "'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run'";
  ASSERT_EQ(test::RunCommand(sourceEnv + "wineboot --init >/dev/null 2>&1 && " + sourceEnv + "wine reg add " +
                             runKey + " /v Tray /d 'C:\\Tools\\tray.exe /min' /f >/dev/null 2>&1 && " +
                             sourceEnv + "wineserver -w"),
            0);
  const std::string lock = " XDG_RUNTIME_DIR='" + dir.RuntimeDir() + "'";
  const std::string env = "WINEPREFIX='" + source + "'" + lock;
  ASSERT_EQ(RunCli(env, "seen").status, 0);
  ASSERT_EQ(test::RunCommand(sourceEnv + "wine reg add " + runKey +
                             " /v Updater /d '\"C:\\Program Files\\Up\\up.exe\" -bg' /f >/dev/null 2>&1 && " +
                             sourceEnv + "wine reg add " + runKey +
                             " /v '\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82' /d 'C:\\hi.exe' /f "
                             ">/dev/null 2>&1 && " +
                             sourceEnv + "wineserver -w"),
            0);
  Result listed = RunCli(env, "list --json");
  ASSERT_EQ(listed.status, 0) << listed.out;
  EXPECT_NE(EntryObject(listed.out, "Updater").find("\"new\": true"), std::string::npos) << listed.out;
  EXPECT_NE(EntryObject(listed.out, "Tray").find("\"new\": false"), std::string::npos) << listed.out;

  // One entry disabled into Velmora's store (by hand: this Windows version is one
  // the edit commands refuse), then the whole state exported.
  ASSERT_EQ(test::RunCommand(sourceEnv + "wine reg delete " + runKey + " /v Tray /f >/dev/null 2>&1 && " +
                             sourceEnv +
                             "wine reg add 'HKCU\\Software\\Orlinsk\\Velmora\\DisabledTasks' /v '3|Tray' "
                             "/d 'C:\\Tools\\tray.exe /min' /f >/dev/null 2>&1 && " +
                             sourceEnv + "wineserver -w"),
            0);
  const std::string file = dir.path() + "/startup.reg";
  Result exported = RunCli(env, "export '" + file + "'", true);
  ASSERT_EQ(exported.status, 0) << exported.out;

  // regedit takes the file by its Windows name: drive Z: is the host's root.
  std::string windowsFile = "Z:" + file;
  for (char& c : windowsFile) c = c == '/' ? '\\' : c;
  ASSERT_EQ(
      test::RunCommand(targetEnv + "wineboot --init >/dev/null 2>&1 && " + targetEnv + "wine regedit /S '" +
                       windowsFile + "' >/dev/null 2>&1 && " + targetEnv + "wineserver -w"),
      0);
  Result imported = RunCli("WINEPREFIX='" + target + "'" + lock, "list --json");
  ASSERT_EQ(imported.status, 0) << imported.out;
  const std::string updater = EntryObject(imported.out, "Updater");
  EXPECT_NE(updater.find("\"command\": \"\\\"C:\\\\Program Files\\\\Up\\\\up.exe\\\" -bg\""),
            std::string::npos)
      << imported.out;
  EXPECT_NE(updater.find("\"enabled\": true"), std::string::npos) << updater;
  // A name outside the ANSI code page travels in a version 5 file.
  EXPECT_NE(EntryObject(imported.out, "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82").find("hi.exe"),
            std::string::npos)
      << imported.out;
  const std::string tray = EntryObject(imported.out, "Tray");
  EXPECT_NE(tray.find("\"enabled\": false"), std::string::npos) << imported.out;
  EXPECT_NE(tray.find("\"command\": \"C:\\\\Tools\\\\tray.exe /min\""), std::string::npos) << tray;
}

}  // namespace
}  // namespace velmora
