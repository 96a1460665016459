// Update.exe as a user runs it: the built program, copied into a program folder of
// its own, installing good databases and refusing damaged ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "database/database_file.h"
#include "database/definitions_source.h"
#include "platform/files.h"
#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace velmora;
using velmora::test::ReadFile;
using velmora::test::WriteFile;

namespace {

const std::string kBuiltUpdater = std::string(VELMORA_PROGRAM_DIR) + "/858068658469/Update.exe";

Definition Def(const std::string& section, const std::string& name, const std::string& description,
               const std::string& category = "") {
  Definition d;
  d.section = section;
  d.name = name;
  d.description = description;
  d.category = category;
  return d;
}

std::string Pack(const std::string& version, const std::vector<Definition>& definitions) {
  return BuildDatabaseFile(version, BuildWorkingCopyText(definitions));
}

// Working-copy text written by hand: a section heading and scrambled values.
std::string Section(const std::string& name) { return "[" + ScrambleText(name) + "]\r\n"; }
std::string Value(const std::string& key, const std::string& value) {
  return ScrambleText(key) + "=" + ScrambleText(value) + "\r\n";
}

const std::string kOld = Pack("01/01/2024", {Def("NORM", "explorer.exe", "NULL")});
const std::string kNew =
    Pack("15/03/2025", {Def("NORM", "explorer.exe", "NULL"), Def("SPY", "spy.exe", "Watches you"),
                        Def("SPC", "*dial*", "NULL", "DIAL")});

using Result = test::CommandOutput;

class UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kBuiltUpdater)) << "build the target velmora_updater first";
    program_ = prefix_.dir() + "/program";
    updater_ = program_ + "/858068658469/Update.exe";
    fs::create_directories(program_ + "/858068658469");
    fs::copy_file(kBuiltUpdater, updater_);
  }

  std::string Installed() const { return program_ + "/vlmdb.vmd"; }
  std::string Backup() const { return program_ + "/vlmdb.vmd.bak"; }
  std::string Candidate(const std::string& bytes, const std::string& name = "new.vmd") {
    std::string path = prefix_.dir() + "/" + name;
    WriteFile(path, bytes);
    return path;
  }

  // Runs the updater with |args| from the temporary folder, |input| on its
  // standard input and no display, so that it never opens a window.
  // |environment| goes before the program (the fault injector's variables).
  Result Run(const std::vector<std::string>& args, const std::string& input = "",
             const std::string& environment = "") {
    std::string in = prefix_.dir() + "/stdin.txt";
    WriteFile(in, input);
    Result result = test::RunAndCapture("cd " + test::ShellQuote(prefix_.dir()) +
                                        " && env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " " +
                                        test::ShellCommand(updater_, args) + " <" + test::ShellQuote(in));
    fs::remove(in);
    return result;
  }

  // What the program folder holds besides the updater's folder.
  std::set<std::string> ProgramFiles() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(program_)) {
      std::string name = entry.path().filename().string();
      if (name != "858068658469") names.insert(name);
    }
    return names;
  }

  test::TempPrefix prefix_;
  std::string program_;
  std::string updater_;
};

TEST_F(UpdaterTest, InstallsAGoodDatabaseKeepingTheOldOneAsBackup) {
  WriteFile(Installed(), kOld);
  Result r = Run({Candidate(kNew)});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(Installed()), kNew);
  EXPECT_EQ(ReadFile(Backup()), kOld);
  EXPECT_EQ(ProgramFiles(), (std::set<std::string>{"vlmdb.vmd", "vlmdb.vmd.bak"}))
      << "no check copy is left behind";
  EXPECT_NE(r.out.find("before: version 01/01/2024, 1 definition\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("now:    version 15/03/2025, 3 definitions"), std::string::npos) << r.out;

  // The same file again changes nothing, the backup included.
  r = Run({Candidate(kNew)});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("already installed"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(Backup()), kOld);

  // Installing the backup goes back; the two change places.
  r = Run({Backup()});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(Installed()), kOld);
  EXPECT_EQ(ReadFile(Backup()), kNew);
  EXPECT_NE(r.out.find("older than the one it replaced"), std::string::npos) << r.out;
}

TEST_F(UpdaterTest, InstallsIntoAnEmptyProgramFolderWithoutBackup) {
  Result r = Run({Candidate(kNew)});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(Installed()), kNew);
  EXPECT_EQ(ProgramFiles(), (std::set<std::string>{"vlmdb.vmd"}));
  EXPECT_NE(r.out.find("before: none"), std::string::npos) << r.out;
}

// A copy installed where the user may not write (as under /usr): the database
// goes into his own data folder for him alone, the program folder stays as it
// was, and his database is the one in use until the program folder gets a newer
// one (an upgraded package).
TEST_F(UpdaterTest, InstallsIntoTheUsersDataFolderWhenTheProgramFolderIsReadOnly) {
  WriteFile(Installed(), kOld);
  const std::string own = prefix_.dir() + "/data/velmora";
  const std::string env = "XDG_DATA_HOME=" + test::ShellQuote(prefix_.dir() + "/data");
  const auto writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(program_, writable, fs::perm_options::remove);

  Result r = Run({Candidate(kNew)}, "", env);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(own + "/vlmdb.vmd"), kNew);
  EXPECT_EQ(ReadFile(own + "/vlmdb.vmd.bak"), kOld);
  EXPECT_EQ(ReadFile(Installed()), kOld);
  EXPECT_EQ(ProgramFiles(), (std::set<std::string>{"vlmdb.vmd"}));
  EXPECT_NE(r.out.find("for you alone"), std::string::npos) << r.out;
  r = Run({}, "\n", env);
  EXPECT_NE(r.out.find("Installed: version 15/03/2025, 3 definitions."), std::string::npos) << r.out;

  fs::permissions(program_, fs::perms::owner_write, fs::perm_options::add);
  WriteFile(Installed(), Pack("01/01/2030", {Def("NORM", "explorer.exe", "NULL")}));
  fs::permissions(program_, writable, fs::perm_options::remove);
  r = Run({}, "\n", env);
  EXPECT_NE(r.out.find("Installed: version 01/01/2030, 1 definition."), std::string::npos) << r.out;
  // Installing an older one for himself says that the newer one stays in use.
  r = Run({Candidate(kOld, "old.vmd")}, "", env);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(own + "/vlmdb.vmd"), kOld);
  EXPECT_NE(r.out.find("holds a newer database, version 01/01/2030, which stays in use"), std::string::npos)
      << r.out;
  fs::permissions(program_, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(UpdaterTest, RefusesUnusableDatabasesAndLeavesEverythingAsItWas) {
  const std::string goodBody =
      BuildWorkingCopyText({Def("NORM", "a.exe", "NULL"), Def("SYS", "b.exe", "System")});
  std::string unscrambled = "15/03/2025\r\n" + goodBody;
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"empty file", "", "empty"},
      {"no line end after the version", "15/03/2025", "not a version"},
      {"a version in another form", "2025-03-15\r\n" + goodBody, "not a version"},
      {"cut in the middle of a line", kNew.substr(0, kNew.size() - 5), "cut short"},
      {"body without its outer layer", unscrambled, "damaged"},
      {"version line only", "15/03/2025\r\n", "no definitions"},
      {"section the program does not read",
       BuildDatabaseFile("15/03/2025", Section("NORM") + Value("PRON0", "a.exe") + Section("FOO") +
                                           Value("PRON0", "b.exe")),
       "does not read"},
      {"gap in the entry numbers",
       BuildDatabaseFile("15/03/2025", Section("NORM") + Value("PRON0", "a.exe") + Value("PRON2", "c.exe")),
       "without a gap"},
      {"description of an entry without a name",
       BuildDatabaseFile("15/03/2025", Section("NORM") + Value("PRON0", "a.exe") + Value("PROD1", "x")),
       "has no name"},
      {"pattern without a known category",
       BuildDatabaseFile("15/03/2025", Section("SPC") + Value("PRON0", "*x*") + Value("PROT0", "EVIL")),
       "no known category"},
      {"control characters in a value",
       BuildDatabaseFile("15/03/2025",
                         Section("NORM") + Value("PRON0", "a.exe") + Value("PROD0", "bad\x01text")),
       "unreadable characters"},
      {"empty sections only", BuildDatabaseFile("15/03/2025", Section("NORM") + Section("SPY")),
       "no definitions"},
  };
  WriteFile(Installed(), kOld);
  WriteFile(Backup(), "an earlier backup");
  for (const Case& c : cases) {
    Result r = Run({Candidate(c.bytes, "bad.vmd")});
    EXPECT_EQ(r.status, 1) << c.what << "\n" << r.out;
    EXPECT_NE(r.out.find(c.reason), std::string::npos) << c.what << "\n" << r.out;
    EXPECT_NE(r.out.find("The installed definitions are unchanged."), std::string::npos) << c.what;
    EXPECT_EQ(ReadFile(Installed()), kOld) << c.what;
    EXPECT_EQ(ReadFile(Backup()), "an earlier backup") << c.what;
    EXPECT_EQ(ProgramFiles(), (std::set<std::string>{"vlmdb.vmd", "vlmdb.vmd.bak"})) << c.what;
  }

  Result missing = Run({prefix_.dir() + "/no-such.vmd"});
  EXPECT_EQ(missing.status, 1) << missing.out;
  EXPECT_NE(missing.out.find("cannot read"), std::string::npos) << missing.out;
  EXPECT_EQ(ReadFile(Installed()), kOld);
}

TEST_F(UpdaterTest, AsksForThePathWhenNoneIsGiven) {
  WriteFile(Installed(), kOld);
  Candidate(kNew);

  // An empty answer cancels.
  Result r = Run({}, "\n");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("Installed: version 01/01/2024, 1 definition."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Nothing chosen"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(Installed()), kOld);
  EXPECT_FALSE(fs::exists(Backup()));

  // A path relative to the current folder, quoted as a terminal pastes it.
  r = Run({}, "  'new.vmd'  \n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(Installed()), kNew);
  EXPECT_EQ(ReadFile(Backup()), kOld);
}

TEST_F(UpdaterTest, TakesWindowsPathsAndRejectsWrongUsage) {
  std::string candidate = Candidate(kNew);
  Result r = Run({platform::files::WindowsPathFromHost(velmora::test::System(), candidate)});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(Installed()), kNew);

  EXPECT_EQ(Run({candidate, candidate}).status, 2);
  EXPECT_EQ(Run({"--force", candidate}).status, 2);
  r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage: Update.exe [FILE]"), std::string::npos);
}

#ifdef VELMORA_FAULT_SHIM
// The install under a full disk, EIO, and a kill at each of its file changes in
// turn: the installed database is always the old or the new one whole, a backup
// is the old one, and a failure says so with exit status 1.
TEST_F(UpdaterTest, InstallUnderEveryFaultLeavesTheOldOrTheNewDatabase) {
  const std::string report = prefix_.dir() + "/fault-report";
  for (const char* fault : {"enospc", "eio", "kill"}) {
    bool through = false;
    long hits = 0;
    for (long k = 1; k <= 100 && !through; ++k) {
      SCOPED_TRACE(std::string(fault) + " at change " + std::to_string(k));
      for (const std::string& name : ProgramFiles()) fs::remove(program_ + "/" + name);
      WriteFile(Installed(), kOld);
      const std::string candidate = Candidate(kNew);
      fs::remove(report);
      Result r = Run({candidate}, "",
                     "VELMORA_FAULT=" + std::string(fault) + " VELMORA_FAULT_AT=" + std::to_string(k) +
                         " VELMORA_FAULT_REPORT='" + report +
                         "' LD_PRELOAD='" VELMORA_FAULT_SHIM
                         "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
      const std::string installed = ReadFile(Installed());
      EXPECT_TRUE(installed == kOld || installed == kNew) << r.out;
      if (fs::exists(Backup())) {
        EXPECT_EQ(ReadFile(Backup()), kOld);
      }
      EXPECT_EQ(ReadFile(candidate), kNew);
      const bool hit = fs::exists(report) && ReadFile(report).find("hit") != std::string::npos;
      hits += hit;
      if (!hit) {
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(installed, kNew);
        through = true;
      } else if (std::string(fault) != "kill") {
        EXPECT_EQ(r.status, installed == kNew ? 0 : 1) << r.out;
        if (r.status == 1) {
          EXPECT_FALSE(r.out.empty());
        }
      }
      if (HasFailure()) return;
    }
    EXPECT_TRUE(through) << fault;
    EXPECT_GT(hits, 2) << fault;  // the install makes several changes
  }
}
#endif

}  // namespace
