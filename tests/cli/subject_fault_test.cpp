// The writers of the core that no command of velmora-cli runs -- roll-back and the
// settings save -- under faults injected into the process that makes them: the
// disk fills up at the k-th change of a file, the k-th change fails with EIO, or
// the process is killed before it, for every k until the writer gets through
// untouched. fault-subject (tests/support/fault_subject.cpp) gets ready without
// faults and arms the injector just before the writer under test.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/settings.h"
#include "entries/startup_location.h"
#include "formats/registry_hive.h"
#include "platform/posix/prefix.h"
#include "platform/startup.h"
#include "tests/changes/changes_fixture.h"
#include "tests/support/fault_runner.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class SubjectFaultTest : public ChangesTest {
 protected:
  using Prepare = std::function<void()>;
  using Check = std::function<void(const FaultOutcome&)>;

  // Runs the subject's |command| on a fresh prefix made by |prepare|, with |kind|
  // at every k from 1 until the writer no longer meets the fault, and |check|s
  // what each run left. Returns the number of fault points: the file changes of
  // the clean run.
  long EveryStep(const std::string& command, const std::string& kind, const Prepare& prepare,
                 const Check& check) {
    for (long k = 1; k <= 300; ++k) {
      current_.reset();
      current_ = std::make_unique<TempPrefix>();
      prepare();
      FaultOutcome outcome = RunUnderFault(VELMORA_FAULT_SUBJECT, "", {command},
                                           current_->dir() + "/fault-report", {kind, k, true});
      velmora::test::ResetPrefixForTesting();
      velmora::test::System().Prepare();
      SCOPED_TRACE(command + ": " + kind + " at change " + std::to_string(k) + "\n" + outcome.out);
      CheckOutcome(outcome, kind);
      check(outcome);
      if (HasFailure()) return -1;
      if (!outcome.hit) {
        EXPECT_EQ(outcome.status, 0);
        return outcome.changes;
      }
    }
    ADD_FAILURE() << "the writer never got through";
    return -1;
  }

  // Whatever happened, the hive files parse and a failure was reported as one.
  void CheckOutcome(const FaultOutcome& outcome, const std::string& kind) {
    for (const char* file : {"system.reg", "user.reg"}) {
      formats::Hive hive;
      formats::HiveParseError error;
      EXPECT_TRUE(hive.Parse(ReadFile(current_->HostPath(file)), &error)) << file << ":" << error.line;
    }
    if (outcome.status == 137 && kind == "kill") return;
    ASSERT_TRUE(outcome.status == 0 || outcome.status == 1) << outcome.status;
    if (outcome.status == 1) {
      EXPECT_NE(outcome.out.find("fault-subject: "), std::string::npos);
    }
  }

  std::unique_ptr<TempPrefix> current_;
};

// ---- roll-back ---------------------------------------------------------------------

class RollBackFaultTest : public SubjectFaultTest {
 protected:
  // What fault-subject expects (see RollBack there): its apply disables Exp and
  // run.cmd, enables Stored, removes Tool.lnk and adds Added to CU Run.
  void MakeConfiguration() {
    MakeEntriesOfEveryKind();
    before_ = Capture();
  }

  void CheckState(const FaultOutcome& outcome, const std::string& kind) {
    // A roll-back that said it was done left exactly the state before the apply;
    // so did a second one after a single failed write.
    const bool retried = outcome.out.find("a second roll-back got through") != std::string::npos;
    if (kind == "eio" && outcome.status == 1) {
      EXPECT_TRUE(retried);
    }
    if (outcome.status == 0 || retried) {
      EXPECT_TRUE(Capture() == before_) << "the state before the apply is not back";
    }

    StartupParameters model(velmora::test::System());
    model.SetReadOnly(true);
    Read(model);
    // Every entry both states hold is found, in its location or in the store.
    for (const auto& [location, name] : {std::pair{kCuRun, "plain"},
                                         {kCuRun, "exp"},
                                         {kLmRun, "machine"},
                                         {kCuRun, "stored"},
                                         {kCuStartupFolder, "run.cmd"}}) {
      EXPECT_NE(Find(model, location, name), nullptr) << name;
    }
    // Nothing else: no entry doubled into another location, no leftover of a
    // write taken for an entry. The removed shortcut may or may not be back; the
    // added value may or may not be gone.
    const std::map<std::string, int> known = {{"plain", kCuRun},
                                              {"exp", kCuRun},
                                              {"machine", kLmRun},
                                              {"stored", kCuRun},
                                              {"added", kCuRun},
                                              {"run.cmd", kCuStartupFolder},
                                              {"tool.lnk", kCuStartupFolder}};
    for (int location = 0; location < kLocationCount; ++location) {
      for (const auto& [name, task] : model.Entries(location)) {
        auto it = known.find(name);
        EXPECT_TRUE(it != known.end() && it->second == location) << LocationTag(location) << " " << name;
      }
    }

    // What is found holds what it held: a value its type and data, an item its bytes.
    const auto values = LocationValues(kCuRun);
    for (const char* name : {"plain", "exp"}) {
      auto it = values.find(name);
      if (it == values.end()) continue;
      const auto& [type, data] = before_.values[kCuRun][name];
      EXPECT_EQ(it->second.type, type) << name;
      EXPECT_EQ(it->second.data, data) << name;
    }
    if (values.count("stored")) {
      EXPECT_EQ(values.at("stored").data, changes::StringData("C:\\stored.exe"));
    }
    const std::string& script = before_.items[kCuStartupFolder]["run.cmd"];
    const std::string& tool = before_.items[kCuStartupFolder]["Tool.lnk"];
    const bool scriptInFolder = fs::exists(Item(kCuStartupFolder, "run.cmd")) &&
                                ReadFile(Item(kCuStartupFolder, "run.cmd")) == script;
    const bool scriptKept = fs::exists(KeptItem(kCuStartupFolder, "run.cmd")) &&
                            ReadFile(KeptItem(kCuStartupFolder, "run.cmd")) == script;
    EXPECT_TRUE(scriptInFolder || scriptKept);
    if (fs::exists(Item(kCuStartupFolder, "Tool.lnk"))) {
      EXPECT_EQ(ReadFile(Item(kCuStartupFolder, "Tool.lnk")), tool);
    }
  }

  long EveryStep(const std::string& kind) {
    return SubjectFaultTest::EveryStep(
        "roll-back", kind, [this] { MakeConfiguration(); },
        [this, kind](const FaultOutcome& outcome) { CheckState(outcome, kind); });
  }

  Disk before_;
};

TEST_F(RollBackFaultTest, DiskFullAtEveryStepKeepsEveryEntry) { EXPECT_GT(EveryStep("enospc"), 0); }

TEST_F(RollBackFaultTest, IoErrorAtEveryStepKeepsEveryEntry) { EXPECT_GT(EveryStep("eio"), 0); }

TEST_F(RollBackFaultTest, KilledBeforeEveryChangeKeepsEveryEntry) { EXPECT_GT(EveryStep("kill"), 0); }

// ---- the settings save ---------------------------------------------------------------

// The settings are six values written one after another, each its own write of
// the user's hive: a save cut short leaves each value the old or the new one, not
// all of them the old or all the new ones.
class SettingsFaultTest : public SubjectFaultTest {
 protected:
  struct Values {
    std::string language;
    std::int32_t splash, startWithWindows, savingMessage, profileMessage;
    std::string defnsVersion;  // "" when there is none
  };

  static Values Stored() {
    StartupSettingsParameters settings;
    settings.Read(velmora::test::System());
    Values values{settings.Language,      settings.ShowSplash,       settings.StartWithWindows,
                  settings.ShowSavingMsg, settings.ShowSavingProMsg, ""};
    platform::UniqueKey key;
    if (platform::reg::OpenKey(velmora::test::System().CurrentUser(), ProgramKeyPath(), platform::kKeyRead,
                               key.out()) == platform::kSuccess) {
      platform::reg::QueryString(key.get(), "DefnsVersion", &values.defnsVersion);
    }
    return values;
  }

  // With |earlier|, settings saved by an earlier run; else none (the first run).
  void Prepare(bool earlier) {
    if (earlier) {
      StartupSettingsParameters settings;
      settings.Language = "Francais";
      settings.ShowSavingProMsg = 1;
      settings.DefnsVersion = "01/02/2005";
      std::string error;
      ASSERT_TRUE(settings.Save(velmora::test::System(), &error)) << error;
    }
    old_ = Stored();
  }

  void CheckValues(const FaultOutcome& outcome) {
    // What fault-subject saves.
    const Values fresh{"Deutsch", 0, 0, 0, 0, "27/04/2006"};
    const Values now = Stored();
    if (outcome.status == 0) {
      EXPECT_EQ(now.language, fresh.language);
      EXPECT_EQ(now.defnsVersion, fresh.defnsVersion);
      EXPECT_EQ(now.splash + now.startWithWindows + now.savingMessage + now.profileMessage, 0);
      return;
    }
    EXPECT_TRUE(now.language == old_.language || now.language == fresh.language) << now.language;
    EXPECT_TRUE(now.defnsVersion == old_.defnsVersion || now.defnsVersion == fresh.defnsVersion)
        << now.defnsVersion;
    EXPECT_TRUE(now.splash == old_.splash || now.splash == fresh.splash);
    EXPECT_TRUE(now.startWithWindows == old_.startWithWindows ||
                now.startWithWindows == fresh.startWithWindows);
    EXPECT_TRUE(now.savingMessage == old_.savingMessage || now.savingMessage == fresh.savingMessage);
    EXPECT_TRUE(now.profileMessage == old_.profileMessage || now.profileMessage == fresh.profileMessage);
  }

  // Every fault kind, over earlier settings and on the first run.
  void EveryStepOfEveryKind(bool earlier) {
    for (const char* kind : {"enospc", "eio", "kill"}) {
      long points = EveryStep(
          "settings", kind, [&] { Prepare(earlier); },
          [this](const FaultOutcome& outcome) { CheckValues(outcome); });
      EXPECT_GT(points, 0) << kind;
      if (HasFailure()) return;
    }
  }

  Values old_;
};

TEST_F(SettingsFaultTest, EveryFaultOverEarlierSettingsLeavesEachValueOldOrNew) {
  EveryStepOfEveryKind(true);
}

TEST_F(SettingsFaultTest, EveryFaultOnTheFirstSaveLeavesEachValueOldOrNew) { EveryStepOfEveryKind(false); }

}  // namespace
}  // namespace velmora::test
