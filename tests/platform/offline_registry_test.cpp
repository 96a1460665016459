// The registry over an offline Windows installation: binary hives built from the
// format's description, read and written through the registry functions, and
// every written hive judged by libhivex and libregf.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/offline.h"
#include "platform/posix/offline_hive.h"
#include "platform/registry.h"
#include "platform/startup.h"
#include "platform/system.h"
#include "tests/support/regf_builder.h"
#include "tests/support/test_support.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using namespace platform;

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRun32[] = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

// Every file below |root| with the size and a hash of its bytes.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string bytes = ReadFile(entry.path().string());
    files[entry.path().string()] =
        std::to_string(bytes.size()) + "/" + std::to_string(std::hash<std::string>()(bytes));
  }
  return files;
}

class OfflineRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = std::make_unique<WindowsTree>(dir_.path() + "/win", "bob");
    RegfKey& software = tree_->software;
    software.Key("Microsoft\\Windows\\CurrentVersion\\Run")
        .Sz("Tray", "C:\\Tools\\tray.exe /min")
        .ExpandSz("Agent", "%ProgramFiles%\\Agent\\agent.exe");
    software.Key("WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run").Sz("Updater", "C:\\Old\\upd.exe");
    tree_->User("bob").Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run").Sz("Chat", "C:\\chat.exe -q");
  }
  void TearDown() override { velmora::test::CloseOfflineSystem(); }
  void Open(const std::string& user = "") {
    std::string error;
    ASSERT_EQ(velmora::test::UseOfflineSystem(tree_->root, user, &error), kSuccess) << error;
  }
  std::vector<RegistryValue> ValuesOf(HKey root, const std::string& path) {
    std::vector<RegistryValue> values;
    HKey key = nullptr;
    if (reg::OpenKey(root, path, kKeyRead, &key) == kSuccess) {
      reg::ReadAllValues(key, &values);
      reg::CloseKey(key);
    }
    return values;
  }
  Status SetRunValue(HKey root, const std::string& path, const std::string& name, const std::string& text) {
    HKey key = nullptr;
    Status status = reg::OpenKey(root, path, kKeyAllAccess, &key);
    if (status != kSuccess) return status;
    status = reg::SetString(key, name, text);
    reg::CloseKey(key);
    return status;
  }

  TempDir dir_;
  std::unique_ptr<WindowsTree> tree_;
};

TEST_F(OfflineRegistryTest, ReadsBothViewsTheUserAndTheSystemVersion) {
  tree_->Write();
  Open();
  std::vector<RegistryValue> run = ValuesOf(velmora::test::System().LocalMachine(), kRun);
  ASSERT_EQ(run.size(), 2u);
  EXPECT_EQ(run[0].name, "Tray");
  EXPECT_EQ(run[0].data, std::string("C:\\Tools\\tray.exe /min") + '\0');
  EXPECT_EQ(run[1].type, kRegExpandSz);
  std::vector<RegistryValue> run32 = ValuesOf(velmora::test::System().LocalMachine(), kRun32);
  ASSERT_EQ(run32.size(), 1u);
  EXPECT_EQ(run32[0].name, "Updater");
  // Key names ignore case, as on Windows; only Software of the machine is there.
  EXPECT_EQ(
      ValuesOf(velmora::test::System().LocalMachine(), "SOFTWARE\\microsoft\\windows\\currentversion\\run")
          .size(),
      2u);
  HKey key = nullptr;
  EXPECT_EQ(reg::OpenKey(velmora::test::System().LocalMachine(), "System\\CurrentControlSet", kKeyRead, &key),
            kFileNotFound);
  EXPECT_EQ(ValuesOf(velmora::test::System().CurrentUser(), kRun).at(0).name, "Chat");

  OsVersionInfo version;
  ASSERT_TRUE(velmora::test::System().QueryVersion(&version));
  EXPECT_EQ(version.majorVersion, 6u);  // the hive's CurrentVersion "6.3"
  EXPECT_EQ(version.minorVersion, 3u);
  EXPECT_EQ(version.buildNumber, 19045u);
  EXPECT_EQ(velmora::test::System().ProfilePath(), "C:\\Users\\bob");
  // C: is the installation's root, matched without regard to case.
  EXPECT_EQ(files::HostPathFromWindows(velmora::test::System(), "C:\\WINDOWS\\system32\\CONFIG\\software"),
            tree_->SoftwareHostPath());
  EXPECT_TRUE(files::Exists(velmora::test::System(), "c:\\users\\BOB\\ntuser.dat"));
}

TEST_F(OfflineRegistryTest, OnlyAnInstallationWithWow6432NodeHasThe32BitView) {
  tree_->Write();
  Open();
  EXPECT_TRUE(velmora::test::System().Has32BitView());
  // A 32-bit Windows: its SOFTWARE hive has no Wow6432Node. Whatever files the
  // host has at its root play no part.
  WindowsTree x86(dir_.path() + "/x86", "ann", /*xp=*/true);
  x86.software.Key("Microsoft\\Windows\\CurrentVersion\\Run").Sz("Tray", "C:\\tray.exe");
  x86.Write();
  std::string error;
  ASSERT_EQ(velmora::test::UseOfflineSystem(x86.root, "", &error), kSuccess) << error;
  EXPECT_FALSE(velmora::test::System().Has32BitView());
  EXPECT_FALSE(velmora::test::System().IsWinePrefix());
}

TEST_F(OfflineRegistryTest, WritesKeepTypesInBothViewsAndEveryWrittenHiveReadsBack) {
  tree_->Write();
  Open();
  // A value put back exactly as it was taken out keeps its type and bytes.
  std::vector<RegistryValue> before = ValuesOf(velmora::test::System().LocalMachine(), kRun);
  HKey key = nullptr;
  ASSERT_EQ(reg::OpenKey(velmora::test::System().LocalMachine(), kRun, kKeyAllAccess, &key), kSuccess);
  ASSERT_EQ(reg::DeleteValue(key, "Agent"), kSuccess);
  EXPECT_EQ(ValuesOf(velmora::test::System().LocalMachine(), kRun).size(), 1u);
  const RegistryValue& agent = before[1];
  ASSERT_EQ(
      reg::SetValue(key, agent.name, agent.type, reinterpret_cast<const std::uint8_t*>(agent.data.data()),
                    static_cast<std::uint32_t>(agent.data.size())),
      kSuccess);
  reg::CloseKey(key);
  ASSERT_EQ(SetRunValue(velmora::test::System().LocalMachine(), kRun32, "Helper32", "C:\\h32.exe"), kSuccess);
  HKey store = nullptr;
  ASSERT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora\\DisabledTasks",
                           &store),
            kSuccess);
  ASSERT_EQ(reg::SetString(store, "3|Chat", "C:\\chat.exe -q"), kSuccess);
  reg::CloseKey(store);
  ASSERT_EQ(SetRunValue(velmora::test::System().CurrentUser(), kRun, "Café Ünïcode", "C:\\Tools\\café.exe"),
            kSuccess);
  velmora::test::CloseOfflineSystem();

  EXPECT_EQ(HiveReaderProblems(tree_->SoftwareHostPath()), "");
  EXPECT_EQ(HiveReaderProblems(tree_->UserHiveHostPath("bob")), "");
  Open();
  std::vector<RegistryValue> after = ValuesOf(velmora::test::System().LocalMachine(), kRun);
  ASSERT_EQ(after.size(), 2u);
  std::set<std::string> names{after[0].name, after[1].name};
  EXPECT_TRUE(names.count("Agent"));
  for (const RegistryValue& v : after) {
    if (v.name != "Agent") continue;
    EXPECT_EQ(v.type, kRegExpandSz);
    EXPECT_EQ(v.data, agent.data);
  }
  EXPECT_EQ(ValuesOf(velmora::test::System().LocalMachine(), kRun32).size(), 2u);
  EXPECT_EQ(ValuesOf(velmora::test::System().LocalMachine(), kRun).size(),
            2u);  // the 64-bit view did not get it
  EXPECT_EQ(
      ValuesOf(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora\\DisabledTasks").at(0).name,
      "3|Chat");
  std::vector<RegistryValue> userRun = ValuesOf(velmora::test::System().CurrentUser(), kRun);
  ASSERT_EQ(userRun.size(), 2u);
  EXPECT_EQ(userRun[1].name, "Café Ünïcode");
  EXPECT_EQ(userRun[1].data, std::string("C:\\Tools\\café.exe") + '\0');
  EXPECT_NE(RegfExportText(tree_->UserHiveHostPath("bob")).find("Café Ünïcode"), std::string::npos);
  // libregf sees the same thing.
  std::string exported = RegfExportText(tree_->SoftwareHostPath());
  EXPECT_NE(exported.find("Helper32"), std::string::npos);
  EXPECT_NE(exported.find("expandable string (REG_EXPAND_SZ)"), std::string::npos);
}

// Programs store values of their own type numbers, far beyond REG_QWORD; such a
// value reads with its number and survives a change of its neighbours, which
// rewrites the key's whole value list.
TEST_F(OfflineRegistryTest, ValuesOfUnusualTypeNumbersReadAndSurviveChangesBesideThem) {
  const std::uint32_t kOwnType = 0x00080004;
  tree_->software.Key("Microsoft\\Windows\\CurrentVersion\\Run").Raw("Odd", kOwnType, "\x01\x02");
  tree_->Write();
  Open();
  auto odd = [&] {
    for (const RegistryValue& v : ValuesOf(velmora::test::System().LocalMachine(), kRun))
      if (v.name == "Odd") return v;
    return RegistryValue();
  };
  EXPECT_EQ(odd().type, kOwnType);
  HKey key = nullptr;
  ASSERT_EQ(reg::OpenKey(velmora::test::System().LocalMachine(), kRun, kKeyAllAccess, &key), kSuccess);
  ASSERT_EQ(reg::DeleteValue(key, "Tray"), kSuccess);
  const std::uint8_t bytes[] = {7, 0, 0, 0};
  ASSERT_EQ(reg::SetValue(key, "Own", kOwnType + 1, bytes, sizeof bytes), kSuccess);
  reg::CloseKey(key);
  velmora::test::CloseOfflineSystem();
  EXPECT_EQ(HiveReaderProblems(tree_->SoftwareHostPath()), "");
  Open();
  EXPECT_EQ(odd().type, kOwnType);
  EXPECT_EQ(odd().data, "\x01\x02");
  std::vector<RegistryValue> run = ValuesOf(velmora::test::System().LocalMachine(), kRun);
  ASSERT_EQ(run.size(), 3u);
  EXPECT_EQ(run[2].name, "Own");
  EXPECT_EQ(run[2].type, kOwnType + 1);
}

// A key whose name libhivex cannot read hides its siblings from lookups by name;
// a key looked for there must not be added again beside the one that exists.
TEST_F(OfflineRegistryTest, AKeyIsNeverAddedBesideASiblingWhoseNameCannotBeRead) {
  tree_->software.Key("Zzbroken").Sz("Keep", "x");
  tree_->Write();
  std::string bytes = ReadFile(tree_->SoftwareHostPath());
  std::size_t name = bytes.find("Zzbroken");
  ASSERT_NE(name, std::string::npos);
  bytes[name - 4] = '\xff';  // the name's length runs past its cell
  bytes[name - 3] = '\x7f';
  WriteFile(tree_->SoftwareHostPath(), bytes);

  posix::OfflineHive hive;
  std::string error;
  ASSERT_TRUE(hive.Open(tree_->SoftwareHostPath(), posix::OfflineHive::Kind::kSoftware, &error)) << error;
  EXPECT_EQ(hive.Create({"Zzz"}), 0u);        // looked for past the broken sibling
  EXPECT_NE(hive.Create({"Microsoft"}), 0u);  // found before it
  hive.Discard();
  EXPECT_EQ(ReadFile(tree_->SoftwareHostPath()), bytes);
}

// libhivex asserts, ending the process, when a change would free a block that is
// not the start of a used one. Two values sharing one data cell make every rewrite
// of their key's value list free it twice.
TEST_F(OfflineRegistryTest, AChangeLibhivexCannotMakeOnADamagedHiveFailsNamingItAndWritesNothing) {
  tree_->Write();
  std::string bytes = ReadFile(tree_->SoftwareHostPath());
  const std::size_t tray = bytes.find("Tray"), agent = bytes.find("Agent");
  ASSERT_NE(tray, std::string::npos);
  ASSERT_NE(agent, std::string::npos);
  bytes.replace(tray - 12, 4, bytes, agent - 12, 4);  // the data offset of a value's record
  WriteFile(tree_->SoftwareHostPath(), bytes);
  const auto before = Snapshot(tree_->root);
  Open();
  HKey key = nullptr;
  ASSERT_EQ(reg::OpenKey(velmora::test::System().LocalMachine(), kRun, kKeyAllAccess, &key), kSuccess);
  EXPECT_EQ(reg::DeleteValue(key, "Agent"), kWriteFault);
  EXPECT_NE(LastErrorDetail().find(tree_->SoftwareHostPath()), std::string::npos) << LastErrorDetail();
  EXPECT_NE(LastErrorDetail().find("damaged"), std::string::npos) << LastErrorDetail();
  // libhivex's own words as it stopped, which say where.
  EXPECT_NE(LastErrorDetail().find("Assertion"), std::string::npos) << LastErrorDetail();
  // The same in a process that ignores SIGCHLD, as a parent may hand it down: the
  // kernel then reaps the trying child itself, and its exit status is lost.
  const pid_t ignoring = fork();
  ASSERT_GE(ignoring, 0);
  if (ignoring == 0) {
    std::signal(SIGCHLD, SIG_IGN);
    _exit(reg::DeleteValue(key, "Agent") == kWriteFault ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(ignoring, &status, 0), ignoring);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << (WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "the change was not refused");
  reg::CloseKey(key);
  EXPECT_EQ(Snapshot(tree_->root), before);  // no backup either: nothing was to be written

  // The hive in memory is as it was: a change elsewhere in it is made and written.
  ASSERT_EQ(SetRunValue(velmora::test::System().LocalMachine(), kRun32, "Next", "C:\\next.exe"), kSuccess);
  velmora::test::CloseOfflineSystem();
  Open();
  EXPECT_EQ(ValuesOf(velmora::test::System().LocalMachine(), kRun32).back().name, "Next");
  EXPECT_EQ(ValuesOf(velmora::test::System().LocalMachine(), kRun).back().name, "Agent");
}

// A damaged hive may share a cell between two structures: here the Run key's
// second value is the Software key's subkey list. Adding a key below Software
// frees that list, and the Run key's values (Chat among them) would no longer
// read at all. Such a hive is listed but not written.
TEST_F(OfflineRegistryTest, AHiveWithACellSharedBetweenTwoKeysIsListedButNeverWritten) {
  tree_->User("bob").Key(kRun).Sz("Zzshared", "C:\\shared.exe");
  tree_->Write();
  const std::string path = tree_->UserHiveHostPath("bob");
  std::string bytes = ReadFile(path);
  auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  // The data of a key's record, found by its name.
  auto keyData = [&](const std::string& name) {
    for (std::size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1))
      if (at >= 76 && bytes.compare(at - 76, 2, "nk") == 0 && (u32(at - 4) & 0xffff) == name.size())
        return at - 76;
    return std::string::npos;
  };
  const std::size_t software = keyData("Software"), run = keyData("Run"), shared = bytes.find("Zzshared");
  ASSERT_NE(software, std::string::npos);
  ASSERT_NE(run, std::string::npos);
  ASSERT_NE(shared, std::string::npos);
  const std::size_t list = 0x1000 + 4 + u32(run + 40);
  ASSERT_EQ(u32(run + 36), 2u);
  ASSERT_EQ(u32(list + 4), shared - 20 - 4 - 0x1000);
  bytes.replace(list + 4, 4, bytes, software + 28, 4);  // the Software key's subkey list
  WriteFile(path, bytes);
  const auto before = Snapshot(tree_->root);
  Open();
  ASSERT_EQ(ValuesOf(velmora::test::System().CurrentUser(), kRun).front().name, "Chat");

  HKey key = nullptr;
  EXPECT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora", &key),
            kAccessDenied);
  EXPECT_NE(LastErrorDetail().find(path), std::string::npos) << LastErrorDetail();
  EXPECT_NE(LastErrorDetail().find("damaged"), std::string::npos) << LastErrorDetail();
  EXPECT_EQ(SetRunValue(velmora::test::System().CurrentUser(), kRun, "Chat", "C:\\other.exe"), kAccessDenied);
  EXPECT_EQ(Snapshot(tree_->root), before);
  velmora::test::CloseOfflineSystem();
  Open();
  const std::vector<RegistryValue> runValues = ValuesOf(velmora::test::System().CurrentUser(), kRun);
  ASSERT_FALSE(runValues.empty());
  EXPECT_EQ(runValues.front().name, "Chat");
  // The clean SOFTWARE hive of the same installation can still be changed.
  EXPECT_EQ(SetRunValue(velmora::test::System().LocalMachine(), kRun, "New", "C:\\new.exe"), kSuccess);
}

TEST_F(OfflineRegistryTest, KeepsTheFirstDatedBackupOfADayOfEachWrittenHiveAndItsLogs) {
  tree_->Write();
  WriteFile(tree_->SoftwareHostPath() + ".LOG1", "log one");
  WriteFile(tree_->SoftwareHostPath() + ".LOG2", "log two");
  const std::string original = ReadFile(tree_->SoftwareHostPath());
  Open();
  ASSERT_EQ(SetRunValue(velmora::test::System().LocalMachine(), kRun, "One", "C:\\1.exe"), kSuccess);
  ASSERT_EQ(SetRunValue(velmora::test::System().LocalMachine(), kRun, "Two", "C:\\2.exe"), kSuccess);
  std::vector<std::string> backups = velmora::test::System().HiveBackups();
  ASSERT_EQ(backups.size(), 3u);  // SOFTWARE, .LOG1, .LOG2; the user's hive was not written
  std::map<std::string, std::string> copied;
  for (const std::string& b : backups) {
    EXPECT_EQ(fs::path(b).parent_path(), fs::path(tree_->SoftwareHostPath()).parent_path());
    EXPECT_NE(b.find(".velmora-backup-20"), std::string::npos) << b;
    copied[b.substr(0, b.find(".velmora-backup-"))] = ReadFile(b);
  }
  EXPECT_EQ(copied[tree_->SoftwareHostPath()], original);
  EXPECT_EQ(copied[tree_->SoftwareHostPath() + ".LOG1"], "log one");
  for (const std::string& b : backups) {
    if (b.find(".LOG") == std::string::npos) {
      EXPECT_EQ(HiveReaderProblems(b), "");
    }
  }

  // A later run of the same day keeps no second copy: the first holds the hive
  // as it stood before the day's changes.
  velmora::test::CloseOfflineSystem();
  Open();
  ASSERT_EQ(SetRunValue(velmora::test::System().LocalMachine(), kRun, "Three", "C:\\3.exe"), kSuccess);
  EXPECT_TRUE(velmora::test::System().HiveBackups().empty());
  int copies = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(tree_->SoftwareHostPath()).parent_path()))
    copies += entry.path().filename().string().find(".velmora-backup-") != std::string::npos;
  EXPECT_EQ(copies, 3);
  EXPECT_EQ(ReadFile(backups.front()),
            copied[backups.front().substr(0, backups.front().find(".velmora-backup-"))]);
}

TEST_F(OfflineRegistryTest, DirtyHiveIsReadButNeverWritten) {
  RegfOptions dirty;
  dirty.primarySequence = 12;
  dirty.secondarySequence = 11;
  tree_->Write(RegfOptions(), dirty);
  const auto before = Snapshot(tree_->root);
  Open();
  EXPECT_EQ(ValuesOf(velmora::test::System().CurrentUser(), kRun).size(), 1u);
  // Opening for writing still works, so the location is listed; the change is refused.
  Status status = SetRunValue(velmora::test::System().CurrentUser(), kRun, "New", "C:\\new.exe");
  EXPECT_EQ(status, kAccessDenied);
  EXPECT_NE(LastErrorDetail().find("NTUSER.DAT"), std::string::npos);
  EXPECT_NE(LastErrorDetail().find("transaction logs"), std::string::npos) << LastErrorDetail();
  EXPECT_NE(LastErrorDetail().find("Start that Windows once"), std::string::npos);
  HKey key = nullptr;
  EXPECT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora", &key),
            kAccessDenied);
  // The system says so before a change is tried: every change writes the
  // program's store in the user's hive.
  WriteRefusal refusal = velmora::test::System().CheckWritesAllowed(true);
  EXPECT_TRUE(refusal.refused);
  EXPECT_NE(refusal.reason.find("NTUSER.DAT"), std::string::npos) << refusal.reason;
  EXPECT_TRUE(velmora::test::System().CheckWritesAllowed(false).refused);
  EXPECT_EQ(Snapshot(tree_->root), before);
  // The clean SOFTWARE hive of the same installation can still be changed.
  EXPECT_EQ(SetRunValue(velmora::test::System().LocalMachine(), kRun, "New", "C:\\new.exe"), kSuccess);
}

TEST_F(OfflineRegistryTest, ReadOnlyHivesAreListedAndChangesRefused) {
  tree_->Write();
  const std::string config = fs::path(tree_->SoftwareHostPath()).parent_path().string();
  chmod(tree_->SoftwareHostPath().c_str(), 0444);
  chmod(config.c_str(), 0555);
  const auto before = Snapshot(tree_->root);
  Open();
  EXPECT_EQ(ValuesOf(velmora::test::System().LocalMachine(), kRun).size(), 2u);
  EXPECT_EQ(SetRunValue(velmora::test::System().LocalMachine(), kRun, "New", "C:\\new.exe"), kAccessDenied);
  EXPECT_NE(LastErrorDetail().find("not writable"), std::string::npos) << LastErrorDetail();
  HKey key = nullptr;
  ASSERT_EQ(reg::OpenKey(velmora::test::System().LocalMachine(), kRun, kKeyAllAccess, &key), kSuccess);
  EXPECT_EQ(reg::DeleteValue(key, "Tray"), kAccessDenied);
  reg::CloseKey(key);
  // Changes of the user's keys alone may go ahead; one of the machine's may not.
  EXPECT_FALSE(velmora::test::System().CheckWritesAllowed(false).refused);
  WriteRefusal refusal = velmora::test::System().CheckWritesAllowed(true);
  EXPECT_TRUE(refusal.refused);
  EXPECT_NE(refusal.reason.find("not writable"), std::string::npos) << refusal.reason;
  EXPECT_EQ(Snapshot(tree_->root), before);
  EXPECT_EQ(ValuesOf(velmora::test::System().LocalMachine(), kRun).size(),
            2u);  // nothing pending in memory either
  chmod(config.c_str(), 0755);
  chmod(tree_->SoftwareHostPath().c_str(), 0644);
}

TEST_F(OfflineRegistryTest, CrashBetweenCommitAndRenameLeavesTheOldHiveWhole) {
  tree_->Write();
  const std::string original = ReadFile(tree_->UserHiveHostPath("bob"));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    posix::OfflineHive hive;
    std::string error;
    if (!hive.Open(tree_->UserHiveHostPath("bob"), posix::OfflineHive::Kind::kUser, &error)) _exit(1);
    hive.SetBeforeRename([](const std::string&) { _exit(42); });
    const std::string text = std::string("C:\\new.exe") + '\0';
    std::string data;
    for (char c : text) data += {c, '\0'};
    std::size_t run = hive.Create({"Software", "Microsoft", "Windows", "CurrentVersion", "Run"});
    if (run == 0 || !hive.SetValue(run, {"New", kRegSz, data})) _exit(1);
    hive.Commit();
    _exit(2);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 42);
  EXPECT_EQ(ReadFile(tree_->UserHiveHostPath("bob")), original);
  EXPECT_EQ(HiveReaderProblems(tree_->UserHiveHostPath("bob")), "");
  // The new file was complete too: it reads back and holds the change.
  const std::string fresh = tree_->UserHiveHostPath("bob") + ".velmora-new";
  ASSERT_TRUE(fs::exists(fresh));
  EXPECT_EQ(HiveReaderProblems(fresh), "");
  EXPECT_NE(RegfExportText(fresh).find("C:\\new.exe"), std::string::npos);

  // The next run writes over the leftover and succeeds.
  Open();
  ASSERT_EQ(SetRunValue(velmora::test::System().CurrentUser(), kRun, "New", "C:\\new.exe"), kSuccess);
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_EQ(HiveReaderProblems(tree_->UserHiveHostPath("bob")), "");
}

TEST_F(OfflineRegistryTest, BadInstallationsAreRefusedNamingTheFileAndNothingIsWritten) {
  struct Case {
    const char* what;
    std::function<void(WindowsTree&)> damage;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"zero-length SOFTWARE", [](WindowsTree& t) { WriteFile(t.SoftwareHostPath(), ""); }, "is empty"},
      {"truncated SOFTWARE",
       [](WindowsTree& t) {
         WriteFile(t.SoftwareHostPath(), ReadFile(t.SoftwareHostPath()).substr(0, 6000));
       },
       "truncated"},
      {"garbage SOFTWARE", [](WindowsTree& t) { WriteFile(t.SoftwareHostPath(), std::string(16384, 'x')); },
       "not a registry hive"},
      {"damaged header",
       [](WindowsTree& t) {
         std::string bytes = ReadFile(t.SoftwareHostPath());
         bytes[40] ^= 0x10;
         WriteFile(t.SoftwareHostPath(), bytes);
       },
       "checksum"},
      {"damaged bins",
       [](WindowsTree& t) {
         std::string bytes = ReadFile(t.SoftwareHostPath());
         bytes.replace(4096, 4, "junk");
         WriteFile(t.SoftwareHostPath(), bytes);
       },
       "damaged"},
      {"SYSTEM as SOFTWARE",
       [](WindowsTree& t) {
         RegfKey system{"ROOT", {}, {}};
         system.Key("ControlSet001\\Control");
         system.Key("Select").Dword("Current", 1);
         WriteFile(t.SoftwareHostPath(), BuildRegfHive(system));
       },
       "is a SYSTEM hive, not the SOFTWARE hive"},
      {"SAM as SOFTWARE",
       [](WindowsTree& t) {
         RegfKey sam{"ROOT", {}, {}};
         sam.Key("SAM\\Domains\\Account");
         WriteFile(t.SoftwareHostPath(), BuildRegfHive(sam));
       },
       "is a SAM hive"},
      {"a user's hive as NTUSER.DAT of another kind",
       [](WindowsTree& t) { WriteFile(t.UserHiveHostPath("bob"), ReadFile(t.SoftwareHostPath())); },
       "is a SOFTWARE hive, not a user's hive"},
      {"no Users folder", [](WindowsTree& t) { fs::remove_all(t.root + "/Users"); }, "has no Users"},
      {"not an installation", [](WindowsTree& t) { fs::remove_all(t.root + "/Windows"); },
       "is not the root of a Windows installation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(tree_->root);
    tree_->Write();
    c.damage(*tree_);
    const auto before = Snapshot(tree_->root);
    std::string error;
    EXPECT_NE(velmora::test::UseOfflineSystem(tree_->root, "", &error), kSuccess);
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_NE(error.find(tree_->root), std::string::npos) << error;
    EXPECT_TRUE(velmora::test::System().IsWinePrefix());  // still the system it was
    EXPECT_EQ(Snapshot(tree_->root), before);
  }
}

TEST_F(OfflineRegistryTest, ChoosesTheOnlyUserOrAsksWhenThereAreSeveral) {
  tree_->User("Carol");
  tree_->Write();
  std::string error;
  EXPECT_EQ(velmora::test::UseOfflineSystem(tree_->root, "", &error), kInvalidParameter);
  EXPECT_NE(error.find("Carol, bob"), std::string::npos) << error;
  EXPECT_NE(error.find("--user"), std::string::npos);
  EXPECT_EQ(velmora::test::UseOfflineSystem(tree_->root, "nobody", &error), kFileNotFound);
  EXPECT_NE(error.find("nobody"), std::string::npos);
  // The junction "Documents and Settings" -> Users of Vista and later adds no user.
  fs::create_directory_symlink("Users", tree_->root + "/Documents and Settings");
  EXPECT_EQ(velmora::test::UseOfflineSystem(tree_->root, "", &error), kInvalidParameter);
  EXPECT_NE(error.find("several users: Carol, bob;"), std::string::npos) << error;
  ASSERT_EQ(velmora::test::UseOfflineSystem(tree_->root, "carol", &error), kSuccess) << error;
  EXPECT_EQ(velmora::test::System().UserName(), "Carol");
  EXPECT_EQ(env::Value(velmora::test::System(), "APPDATA"), "C:\\Users\\Carol\\AppData\\Roaming");
}

TEST_F(OfflineRegistryTest, XpLayoutFindsDocumentsAndSettings) {
  WindowsTree xp(dir_.path() + "/xp", "ann", true);
  xp.Write();
  std::string error;
  ASSERT_EQ(velmora::test::UseOfflineSystem(xp.root, "", &error), kSuccess) << error;
  EXPECT_EQ(velmora::test::System().ProfilePath(), "C:\\Documents and Settings\\ann");
  OsVersionInfo version;
  ASSERT_TRUE(velmora::test::System().QueryVersion(&version));
  EXPECT_EQ(version.majorVersion, 5u);
  EXPECT_EQ(version.minorVersion, 1u);
}

}  // namespace
}  // namespace velmora::test
