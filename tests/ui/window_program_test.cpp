// The window program run as a user starts it: a real process on a real prefix.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

// Told to close after its first frame, the window program draws its list with the
// prefix's entries and ends as it always ends (exit code 259, 3 on Linux), whether
// it read the system before Qt started (only its own options on the command line)
// or after (a Qt option too).
TEST(WindowProgram, DrawsTheEntriesAndEndsHoweverItStarted) {
  if (!test::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  test::TempDir dir;
  const std::string prefix = dir.path() + "/prefix";
  test::CopyWineMadePrefix(prefix, "Notes", "C:\\windows\\system32\\notepad.exe");
  const std::string environment = "cd / && env HOME=" + test::ShellQuote(dir.path()) +
                                  " XDG_CONFIG_HOME=" + test::ShellQuote(dir.path() + "/config") +
                                  " XDG_DATA_HOME=" + test::ShellQuote(dir.path() + "/data") +
                                  " XDG_RUNTIME_DIR=" + test::ShellQuote(dir.RuntimeDir()) +
                                  " WINEPREFIX=" + test::ShellQuote(prefix) +
                                  " QT_QPA_PLATFORM=offscreen VELMORA_QUIT_AFTER_FIRST_FRAME=1 timeout 120 " +
                                  test::ShellQuote(VELMORA_PROGRAM_DIR "/Velmora");
  for (const char* options : {"", " -platform offscreen"}) {
    SCOPED_TRACE(options);
    const test::CommandOutput run = test::RunAndCapture(environment + options);
    EXPECT_EQ(run.status, 3) << run.out;
    const std::size_t frame = run.out.find("first frame at ");
    ASSERT_NE(frame, std::string::npos) << run.out;
    const std::size_t with = run.out.find(" with ", frame);
    ASSERT_NE(with, std::string::npos) << run.out;
    EXPECT_GT(std::stoi(run.out.substr(with + 6)), 0) << run.out;
    EXPECT_EQ(run.out.find("first frame at", frame + 1), std::string::npos) << run.out;
  }
}

}  // namespace
}  // namespace velmora
