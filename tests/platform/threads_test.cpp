// Systems read from several threads, as the window reads its model on a second
// thread: one system on two threads, and two systems side by side, each seeing
// only its own registry and files. The ThreadSanitizer build runs these too.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "changes/startup_parameters.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace platform;

constexpr int kRounds = 40;

void SetRun(HKey root, const std::string& name, const std::string& command) {
  UniqueKey key;
  ASSERT_EQ(reg::CreateKey(root, kRunKeyPath, key.out()), kSuccess);
  ASSERT_EQ(reg::SetString(key.get(), name, command), kSuccess);
}

// The Run values of |root| as "name=data" lines.
std::string RunValues(HKey root) {
  UniqueKey key;
  if (reg::OpenKey(root, kRunKeyPath, kKeyRead, key.out()) != kSuccess) return "(no key)";
  std::vector<RegistryValue> values;
  if (reg::ReadAllValues(key.get(), &values) != kSuccess) return "(unreadable)";
  std::string text;
  for (const RegistryValue& value : values) text += value.name + "=" + value.data.c_str() + "\n";
  return text;
}

// What one reader learns of |system| in one round.
std::string ReadRound(ManagedSystem& system) {
  std::string seen = RunValues(system.CurrentUser()) + RunValues(system.LocalMachine());
  seen += system.HostPathFromWindows("C:\\TOOLS\\App.exe") + "\n";
  seen += system.ProfilePath() + (system.Has32BitView() ? " 64\n" : " 32\n");
  OsVersionInfo version;
  if (system.QueryVersion(&version)) seen += std::to_string(version.majorVersion) + "\n";
  return seen;
}

// Runs |work| on two threads at once; each returns what it saw in every round.
void OnTwoThreads(const std::function<std::string()>& first, const std::function<std::string()>& second,
                  std::vector<std::string>* seenFirst, std::vector<std::string>* seenSecond) {
  auto loop = [](const std::function<std::string()>& work, std::vector<std::string>* seen) {
    for (int round = 0; round < kRounds; ++round) seen->push_back(work());
  };
  std::thread a(loop, std::cref(first), seenFirst);
  std::thread b(loop, std::cref(second), seenSecond);
  a.join();
  b.join();
}

// Two minimal prefixes of a test's own; Make makes and prepares them.
struct TwoPrefixes {
  void Make() {
    ASSERT_EQ(CreateMinimalPrefix(dir.path() + "/one"), kSuccess);
    ASSERT_EQ(CreateMinimalPrefix(dir.path() + "/two"), kSuccess);
    // Opened side by side, as a listing of every system opens them.
    Status openedOne = kInvalidParameter, openedTwo = kInvalidParameter;
    // Each reads its two registry files side by side as well.
    std::thread openOne([&] {
      openedOne = one.Prepare();
      one.PreloadRegistry();
    });
    std::thread openTwo([&] {
      openedTwo = two.Prepare();
      two.PreloadRegistry();
    });
    openOne.join();
    openTwo.join();
    ASSERT_EQ(openedOne, kSuccess);
    ASSERT_EQ(openedTwo, kSuccess);
  }
  test::TempDir dir;
  posix::WinePrefix one{dir.path() + "/one"};
  posix::WinePrefix two{dir.path() + "/two"};
};

// The entries of a model of |system|, read (and rated, with |rate|) as a start does.
std::string ModelText(ManagedSystem& system, bool rate) {
  StartupParameters parameters(system);
  parameters.ReadAll();
  if (rate) {
    parameters.FillCategoryCodes();
    parameters.RateAllTasks();
  }
  std::string text;
  for (int location = 0; location < kLocationCount; ++location)
    for (const auto& [key, task] : parameters.Entries(location))
      text += key + " " + task->command + " " + std::to_string(task->fileExists) +
              (rate ? " " + task->description : "") + "\n";
  return text;
}

TEST(ThreadsTest, OneSystemReadOnTwoThreadsSeesWhatOneThreadSees) {
  test::TempPrefix prefix;
  ManagedSystem& system = velmora::test::System();
  SetRun(system.CurrentUser(), "Chat", "C:\\Tools\\App.exe -q");
  SetRun(system.LocalMachine(), "Tray", "C:\\tools\\app.exe /min");
  fs::create_directories(prefix.HostPath("drive_c/Tools"));
  test::WriteFile(prefix.HostPath("drive_c/Tools/app.exe"), "MZ");
  const std::string expected = ReadRound(system);
  ASSERT_NE(expected.find("Chat=C:\\Tools\\App.exe -q"), std::string::npos) << expected;
  ASSERT_NE(expected.find("/Tools/app.exe\n"), std::string::npos) << expected;

  std::vector<std::string> first, second;
  auto reader = [&] {
    files::PathLookupScope scope(velmora::test::System());
    return ReadRound(system);
  };
  OnTwoThreads(reader, reader, &first, &second);
  for (int round = 0; round < kRounds; ++round) {
    EXPECT_EQ(first[round], expected) << round;
    EXPECT_EQ(second[round], expected) << round;
  }
}

TEST(ThreadsTest, TwoSystemsSideBySideKeepTheirOwnKeysAndFiles) {
  TwoPrefixes prefixes;
  ASSERT_NO_FATAL_FAILURE(prefixes.Make());
  posix::WinePrefix &one = prefixes.one, &two = prefixes.two;
  const test::TempDir& dir = prefixes.dir;
  fs::create_directories(dir.path() + "/two/drive_c/TOOLS");

  std::vector<std::string> seenOne, seenTwo;
  int round = 0, roundTwo = 0;
  // Each thread writes a value of its own system in every round, then reads.
  auto onOne = [&] {
    SetRun(one.CurrentUser(), "One" + std::to_string(round++), "C:\\one.exe");
    return ReadRound(one);
  };
  auto onTwo = [&] {
    SetRun(two.CurrentUser(), "Two" + std::to_string(roundTwo++), "C:\\two.exe");
    return ReadRound(two);
  };
  OnTwoThreads(onOne, onTwo, &seenOne, &seenTwo);
  EXPECT_EQ(seenOne.back().find("Two"), std::string::npos) << seenOne.back();
  EXPECT_EQ(seenTwo.back().find("One"), std::string::npos) << seenTwo.back();
  EXPECT_NE(seenOne.back().find("One" + std::to_string(kRounds - 1) + "=C:\\one.exe"), std::string::npos);
  EXPECT_NE(seenOne.back().find(dir.path() + "/one/dosdevices/c:/TOOLS/App.exe"), std::string::npos)
      << seenOne.back();
  EXPECT_NE(seenTwo.back().find(dir.path() + "/two/dosdevices/c:/TOOLS/App.exe"), std::string::npos)
      << seenTwo.back();
  // Both were written through: a fresh object of each prefix reads them back.
  posix::WinePrefix again(dir.path() + "/two");
  EXPECT_NE(RunValues(again.CurrentUser()).find("Two0=C:\\two.exe"), std::string::npos);
}

// The window fills its model on a second thread while the first may read too:
// each model's scan is its own, whatever the other does.
TEST(ThreadsTest, TwoModelsReadOnTwoThreadsAreTheModelOfOne) {
  test::TempPrefix prefix;
  SetRun(velmora::test::System().CurrentUser(), "Chat", "C:\\Tools\\App.exe -q");
  SetRun(velmora::test::System().CurrentUser(), "Gone", "C:\\Missing\\gone.exe");
  SetRun(velmora::test::System().LocalMachine(), "Tray", "C:\\tools\\app.exe /min");
  fs::create_directories(prefix.HostPath("drive_c/Tools"));
  test::WriteFile(prefix.HostPath("drive_c/Tools/app.exe"), "MZ");
  auto model = [] { return ModelText(velmora::test::System(), false); };
  const std::string expected = model();
  ASSERT_NE(expected.find("gone.exe 0"), std::string::npos) << expected;
  std::vector<std::string> first, second;
  OnTwoThreads(model, model, &first, &second);
  for (int round = 0; round < kRounds; ++round) {
    EXPECT_EQ(first[round], expected) << round;
    EXPECT_EQ(second[round], expected) << round;
  }
}

// Every system of the machine is listed this way (velmora-cli list --all): a
// model of each, filled and rated on a thread of its own beside the others.
TEST(ThreadsTest, ModelsOfTwoSystemsFilledSideBySideSeeOnlyTheirOwn) {
  TwoPrefixes prefixes;
  ASSERT_NO_FATAL_FAILURE(prefixes.Make());
  posix::WinePrefix &one = prefixes.one, &two = prefixes.two;
  const test::TempDir& dir = prefixes.dir;
  SetRun(one.CurrentUser(), "Tray", "C:\\Tools\\tray.exe");
  SetRun(two.CurrentUser(), "Tray", "C:\\Tools\\tray.exe /two");
  fs::create_directories(dir.path() + "/one/drive_c/Tools");
  test::WriteFile(dir.path() + "/one/drive_c/Tools/tray.exe", "MZ");
  auto model = [](ManagedSystem& system) { return ModelText(system, true); };
  const std::string expectedOne = model(one), expectedTwo = model(two);
  ASSERT_NE(expectedOne.find("tray C:\\Tools\\tray.exe 1"), std::string::npos) << expectedOne;
  ASSERT_NE(expectedTwo.find("tray C:\\Tools\\tray.exe /two 0"), std::string::npos) << expectedTwo;
  std::vector<std::string> seenOne, seenTwo;
  OnTwoThreads([&] { return model(one); }, [&] { return model(two); }, &seenOne, &seenTwo);
  for (int round = 0; round < kRounds; ++round) {
    EXPECT_EQ(seenOne[round], expectedOne) << round;
    EXPECT_EQ(seenTwo[round], expectedTwo) << round;
  }
}

}  // namespace
}  // namespace velmora
