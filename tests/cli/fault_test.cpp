// velmora-cli's writing commands under faults injected into the process (the
// preloaded fault_shim): the disk fills up at the k-th change of a file, the k-th
// change fails with EIO, or the process is killed before its k-th change -- for
// every k until the command gets through untouched. After each run a fresh start
// must find every entry in its location or in the store, a Startup item's bytes
// whole in the folder or in its kept copy, both hives parseable, and a failed
// command must have said so (exit 1 and a message).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "formats/registry_hive.h"
#include "platform/posix/prefix.h"
#include "platform/startup.h"
#include "tests/changes/changes_fixture.h"
#include "tests/support/fault_runner.h"
#include "tests/support/regf_builder.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

using Outcome = FaultOutcome;

// Runs velmora-cli with |args| after the shell words |environment|, with |fault|
// injected at the |at|-th file change when |fault| is not empty.
Outcome RunCli(const std::string& environment, const std::vector<std::string>& args,
               const std::string& report, const std::string& fault = "", long at = 0) {
  return RunUnderFault(VELMORA_PROGRAM_DIR "/velmora-cli", environment, args, report, {fault, at});
}

class CliFaultTest : public ChangesTest {
 protected:
  void MakeConfiguration() {
    MakeEntriesOfEveryKind();
    tool_ = ReadFile(Item(kCuStartupFolder, "Tool.lnk"));
  }

  Outcome Run(const std::vector<std::string>& args, const std::string& fault = "", long at = 0) {
    Outcome outcome = RunCli("", args, current_->dir() + "/fault-report", fault, at);
    velmora::test::ResetPrefixForTesting();
    velmora::test::System().Prepare();
    return outcome;
  }

  // What a fresh start must find whatever happened.
  void Check(const std::vector<std::string>& args, const Outcome& outcome, const std::string& when) {
    SCOPED_TRACE(when + "\n" + outcome.out);
    for (const char* file : {"system.reg", "user.reg"}) {
      formats::Hive hive;
      formats::HiveParseError error;
      EXPECT_TRUE(hive.Parse(ReadFile(current_->HostPath(file)), &error)) << file << ":" << error.line;
    }
    if (outcome.status == 1) {
      EXPECT_NE(outcome.out.find("velmora-cli: "), std::string::npos);
    } else if (outcome.status != 137) {
      EXPECT_EQ(outcome.status, 0);
    }
    StartupParameters model(velmora::test::System());
    model.SetReadOnly(true);
    Read(model);
    const bool removing = args[0] == "remove";
    for (const auto& [location, name] : {std::pair{kCuRun, "plain"},
                                         {kCuRun, "exp"},
                                         {kLmRun, "machine"},
                                         {kCuRun, "stored"},
                                         {kCuStartupFolder, "tool.lnk"},
                                         {kCuStartupFolder, "run.cmd"}}) {
      // The entry the command removes may be gone once the command got that far.
      const std::string removed = removing ? ToLowerAscii(args[2]) : std::string();
      if (removing && (removed == name || removed + ".lnk" == name) && outcome.status != 1) continue;
      EXPECT_NE(Find(model, location, name), nullptr) << name;
    }
    if (!(removing && args[2] == "Tool" && outcome.status != 1)) {
      bool inFolder = fs::exists(Item(kCuStartupFolder, "Tool.lnk")) &&
                      ReadFile(Item(kCuStartupFolder, "Tool.lnk")) == tool_;
      bool kept = fs::exists(KeptItem(kCuStartupFolder, "Tool.lnk")) &&
                  ReadFile(KeptItem(kCuStartupFolder, "Tool.lnk")) == tool_;
      EXPECT_TRUE(inFolder || kept);
    }
    // A command that said it was done did it.
    if (outcome.status == 0 && args.size() > 2) {
      const Task* task = args.size() > 2 && args[0] != "profile"
                             ? Find(model, ParseLocation(args[1]), ToLowerAscii(args[2]))
                             : nullptr;
      if (!task && args[0] != "profile") {
        task = Find(model, ParseLocation(args[1]), ToLowerAscii(args[2]) + ".lnk");
      }
      if (args[0] == "disable") {
        EXPECT_TRUE(task && !task->enabled);
      } else if (args[0] == "enable" || args[0] == "add") {
        EXPECT_TRUE(task && task->enabled);
      } else if (args[0] == "remove") {
        EXPECT_TRUE(!task || task->removed);
      }
    }
  }

  static int ParseLocation(const std::string& tag) {
    for (int location = 0; location < kLocationCount; ++location) {
      if (EqualsIgnoreCase(tag, LocationTag(location))) return location;
    }
    return std::atoi(tag.c_str());
  }

  // Runs |args| with |fault| at every k from 1 until the command gets through
  // without meeting it; returns the number of changes of the clean run.
  long EveryStep(const std::vector<std::string>& args, const std::string& fault,
                 const std::vector<std::string>& before = {}, const std::function<void()>& prepare = {}) {
    for (long k = 1; k <= 400; ++k) {
      current_.reset();
      current_ = std::make_unique<TempPrefix>();
      MakeConfiguration();
      if (prepare) prepare();
      if (!before.empty()) {
        Outcome ready = Run(before);
        EXPECT_EQ(ready.status, 0) << ready.out;
      }
      Outcome outcome = Run(args, fault, k);
      std::string when =
          args[0] + " " + (args.size() > 1 ? args[1] : "") + ": " + fault + " at change " + std::to_string(k);
      Check(args, outcome, when);
      if (HasFailure()) return -1;
      if (!outcome.hit) {
        EXPECT_EQ(outcome.status, 0) << outcome.out;
        return outcome.changes;
      }
      if (fault != "kill") {
        EXPECT_NE(outcome.status, 137) << when;
      }
    }
    ADD_FAILURE() << "the command never got through";
    return -1;
  }

  std::unique_ptr<TempPrefix> current_;
  std::string tool_;
};

const std::vector<std::vector<std::string>>& Commands() {
  static const std::vector<std::vector<std::string>> commands = {
      {"disable", "CU Run", "Plain"},
      {"enable", "CU Run", "Stored"},
      {"remove", "LM Run", "Machine"},
      {"add", "CU Run", "Added", "C:\\added.exe -x"},
      {"disable", "CU Startup Folder", "Tool"},
      {"remove", "CU Startup Folder", "Tool"},
      {"add", "CU Startup Folder", "New", "C:\\new.exe /n"},
      {"profile", "save", "Evening"},
  };
  return commands;
}

TEST_F(CliFaultTest, DiskFullAtEveryStepOfEveryCommand) {
  for (const auto& args : Commands()) {
    EXPECT_GT(EveryStep(args, "enospc"), 0) << args[0];
    if (HasFailure()) return;
  }
}

TEST_F(CliFaultTest, IoErrorAtEveryStepOfEveryCommand) {
  for (const auto& args : Commands()) {
    EXPECT_GT(EveryStep(args, "eio"), 0) << args[0];
    if (HasFailure()) return;
  }
}

TEST_F(CliFaultTest, KilledBeforeEveryChangeOfEveryCommand) {
  for (const auto& args : Commands()) {
    EXPECT_GT(EveryStep(args, "kill"), 0) << args[0];
    if (HasFailure()) return;
  }
}

// A start that finds no working copy of the definitions database (or one that
// differs) writes it beside the database; a listing that cannot write it fails
// with a message and the next start works.
TEST_F(CliFaultTest, DatabaseWorkingCopyUnderEveryFault) {
  const auto removeCopy = [] { fs::remove(VELMORA_PROGRAM_DIR "/vlmdb2.vmd"); };
  for (const char* fault : {"enospc", "eio", "kill"}) {
    EXPECT_GT(EveryStep({"list"}, fault, {}, removeCopy), 0) << fault;
    if (HasFailure()) return;
  }
}

TEST_F(CliFaultTest, ProfileLoadAndDeleteUnderEveryFault) {
  const std::vector<std::string> save = {"profile", "save", "Evening"};
  for (const char* fault : {"enospc", "eio", "kill"}) {
    EXPECT_GT(EveryStep({"profile", "load", "Evening"}, fault, save), 0) << fault;
    EXPECT_GT(EveryStep({"profile", "delete", "Evening"}, fault, save), 0) << fault;
    if (HasFailure()) return;
  }
}

// The same faults while velmora-cli writes the hives of an offline Windows
// installation: a change that moves an entry between the two hives (the machine's
// Run key and the user's store) must leave it in one of them, and both hives must
// read whole by libhivex and libregf.
class CliOfflineFaultTest : public ::testing::Test {
 protected:
  Outcome Run(const std::vector<std::string>& args, const std::string& fault = "", long at = 0) {
    std::vector<std::string> all = {"--windows", tree_->root};
    all.insert(all.end(), args.begin(), args.end());
    const std::string environment = "XDG_RUNTIME_DIR=" + ShellQuote(dir_->RuntimeDir()) +
                                    " XDG_DATA_HOME=" + ShellQuote(dir_->path() + "/data") +
                                    " env -u WINEPREFIX";
    return RunCli(environment, all, dir_->path() + "/fault-report", fault, at);
  }

  void MakeInstallation() {
    dir_ = std::make_unique<TempDir>();
    fs::create_directories(dir_->path() + "/data");
    tree_ = std::make_unique<WindowsTree>(dir_->path() + "/win", "bob");
    tree_->software.Key("Microsoft\\Windows\\CurrentVersion\\Run")
        .Sz("Tray", "C:\\Tools\\tray.exe /min")
        .ExpandSz("Agent", "%ProgramFiles%\\Agent\\agent.exe -s");
    tree_->User("bob").Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run").Sz("Chat", "C:\\chat.exe -q");
    tree_->Write();
  }

  void Check(const std::vector<std::string>& args, const Outcome& outcome, const std::string& when) {
    SCOPED_TRACE(when + "\n" + outcome.out);
    EXPECT_EQ(HiveReaderProblems(tree_->SoftwareHostPath()), "");
    EXPECT_EQ(HiveReaderProblems(tree_->UserHiveHostPath("bob")), "");
    if (outcome.status == 1) {
      EXPECT_NE(outcome.out.find("velmora-cli: "), std::string::npos);
    } else if (outcome.status != 137) {
      EXPECT_EQ(outcome.status, 0);
    }
    Outcome list = Run({"list"});
    ASSERT_EQ(list.status, 0) << list.out;
    for (const char* name : {"Tray", "Agent", "Chat"}) {
      EXPECT_NE(list.out.find(name), std::string::npos) << name;
    }
    if (outcome.status == 0 && args[0] == "disable") {
      EXPECT_NE(list.out.find("[ ] " + args[2]), std::string::npos) << list.out;
    } else if (outcome.status == 0 && args[0] == "add") {
      EXPECT_NE(list.out.find(args[2]), std::string::npos);
    }
  }

  long EveryStep(const std::vector<std::string>& args, const std::string& fault,
                 const std::vector<std::string>& before = {}) {
    for (long k = 1; k <= 200; ++k) {
      MakeInstallation();
      if (!before.empty()) {
        Outcome ready = Run(before);
        EXPECT_EQ(ready.status, 0) << ready.out;
      }
      Outcome outcome = Run(args, fault, k);
      Check(args, outcome, args[0] + " " + args[1] + ": " + fault + " at change " + std::to_string(k));
      if (HasFailure()) return -1;
      if (!outcome.hit) return outcome.changes;
      if (fault != "kill") {
        EXPECT_NE(outcome.status, 137);
      }
    }
    ADD_FAILURE() << "the command never got through";
    return -1;
  }

  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<WindowsTree> tree_;
};

TEST_F(CliOfflineFaultTest, HiveWritesUnderEveryFaultKeepEveryEntryAndBothHivesWhole) {
  const std::vector<std::vector<std::string>> commands = {
      {"disable", "LM Run", "Agent"},
      {"add", "CU Run", "Added", "C:\\added.exe -x"},
  };
  for (const char* fault : {"enospc", "eio", "kill"}) {
    for (const auto& args : commands) EXPECT_GT(EveryStep(args, fault), 0) << args[0] << " " << fault;
    EXPECT_GT(EveryStep({"enable", "LM Run", "Agent"}, fault, {"disable", "LM Run", "Agent"}), 0) << fault;
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace velmora::test
