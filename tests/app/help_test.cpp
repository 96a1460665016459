// The help file and the updater as the program finds and starts them: their
// paths, the compiled help file the build produces, and the programs started.
#include "app/help.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "app/language.h"
#include "platform/files.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace velmora;
using velmora::test::ReadFile;
using velmora::test::WriteFile;

namespace {

const std::string kBuiltHelpFile = std::string(VELMORA_PROGRAM_DIR) + "/58/6673/English.chm";
const std::string kBuiltUpdater = std::string(VELMORA_PROGRAM_DIR) + "/858068658469/Update.exe";
const std::string kHelpSources = velmora::test::SourcePath("help");

std::string Canonical(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(path, ec);
  return ec ? path : p.string();
}

// Waits until a started program has written |path|; its text, or "" after 10 s.
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    if (fs::exists(path)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return ReadFile(path);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return "";
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// A program folder of our own in a temporary prefix, with PATH narrowed to a
// folder of programs that write the arguments they were started with.
class HelpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    const char* display = std::getenv("DISPLAY");
    savedDisplay_ = display ? display : "";
    hadDisplay_ = display != nullptr;
    programHost_ = prefix_.dir() + "/program";
    binHost_ = prefix_.dir() + "/bin";
    fs::create_directories(programHost_);
    fs::create_directories(binHost_);
    program_.programDir = platform::files::WindowsPathFromHost(velmora::test::System(), programHost_);
    program_.programFiles = &velmora::test::System();
    program_.languageName = "English";
    setenv("PATH", binHost_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    if (hadDisplay_) {
      setenv("DISPLAY", savedDisplay_.c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
  }

  // A program named |name| on PATH that writes its arguments, one a line, to the
  // file returned.
  std::string AddRecorder(const std::string& name) {
    std::string record = prefix_.dir() + "/" + name + ".args";
    std::string script = binHost_ + "/" + name;
    WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record +
                          ".part'\n/bin/mv '" + record + ".part' '" + record + "'\n");
    fs::permissions(script, fs::perms::owner_all);
    return record;
  }

  void InstallBuiltHelpFile() {
    std::string host = platform::files::HostPathFromWindows(velmora::test::System(), HelpFilePath(program_));
    ASSERT_TRUE(fs::exists(kBuiltHelpFile)) << "build the target velmora_help first";
    fs::copy_file(kBuiltHelpFile, host, fs::copy_options::overwrite_existing);
  }

  test::TempPrefix prefix_;
  ProgramContext program_;
  std::string savedPath_, savedDisplay_;
  bool hadDisplay_ = false;
  std::string programHost_, binHost_;
};

TEST_F(HelpTest, HelpFileAndUpdaterLieWhereTheProgramLooks) {
  const std::string dir = program_.programDir;
  EXPECT_EQ(HelpFilePath(program_), dir + "\\58\\6673\\English.chm");
  EXPECT_TRUE(fs::is_directory(programHost_ + "/58/6673")) << "the help folder is made when it is missing";
  EXPECT_EQ(EncodeFileName("Update"), "858068658469");
  EXPECT_EQ(UpdaterPath(program_), dir + "\\858068658469\\Update.exe");

  // The help file is named after the language.
  program_.languageName = "Deutsch";
  EXPECT_EQ(HelpFilePath(program_), dir + "\\58\\6673\\Deutsch.chm");
}

TEST(BuiltHelp, IsACompiledHtmlHelpFileOfTheCurrentPages) {
  ASSERT_TRUE(fs::exists(kBuiltHelpFile)) << "build the target velmora_help first";
  std::string bytes = ReadFile(kBuiltHelpFile);
  ASSERT_GE(bytes.size(), 0x60u);
  EXPECT_EQ(bytes.substr(0, 4), "ITSF");
  EXPECT_EQ(bytes[4], 3) << "ITSF version 3";
  EXPECT_EQ(static_cast<unsigned char>(bytes[8]), 0x60) << "header length";

  // Every page, the style sheet, the contents and the index are inside, as the
  // sources hold them now.
  test::TempDir out;
  int pages = 0;
  for (const auto& entry : fs::directory_iterator(kHelpSources)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".html" && ext != ".css" && ext != ".hhc" && ext != ".hhk") continue;
    std::string name = entry.path().filename().string();
    std::string extracted = out.path() + "/" + name;
    std::string command =
        "chmls extract '" + kBuiltHelpFile + "' '/" + name + "' '" + extracted + "' >/dev/null 2>&1";
    ASSERT_EQ(test::RunCommand(command), 0) << name;
    EXPECT_EQ(ReadFile(extracted), ReadFile(entry.path().string())) << name << " differs from its source";
    if (ext == ".html") ++pages;
  }
  EXPECT_GE(pages, 8);
}

TEST(HelpSources, EveryLinkLeadsToAPageOfTheProject) {
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(kHelpSources))
    files.insert(entry.path().filename().string());
  std::string project = ReadFile(kHelpSources + "/velmora.hhp");

  int links = 0;
  const std::regex link("(?:href|value)=\"([^\"#:]+\\.(?:html|css))[^\"]*\"", std::regex::icase);
  for (const std::string& name : files) {
    std::string ext = fs::path(name).extension().string();
    if (ext != ".html" && ext != ".hhc" && ext != ".hhk") continue;
    std::string text = ReadFile(kHelpSources + "/" + name);
    if (ext == ".html") {
      EXPECT_NE(project.find("\n" + name + "\n"), std::string::npos)
          << name << " is not in the project's files";
      EXPECT_NE(text.find("<title>"), std::string::npos) << name << " has no title";
    }
    for (std::sregex_iterator it(text.begin(), text.end(), link), end; it != end; ++it) {
      EXPECT_TRUE(files.count((*it)[1].str())) << name << " links to the missing " << (*it)[1].str();
      ++links;
    }
  }
  EXPECT_GT(links, 40) << "the links were not found at all";
}

TEST_F(HelpTest, OpensTheHelpFileInANativeViewer) {
  InstallBuiltHelpFile();
  std::string xchm = AddRecorder("xchm");
  std::string kchm = AddRecorder("kchmviewer");
  ASSERT_TRUE(OpenHelpFile(program_));
  EXPECT_EQ(Canonical(FirstLine(WaitForFile(xchm))), Canonical(programHost_ + "/58/6673/English.chm"));
  EXPECT_FALSE(fs::exists(kchm)) << "the first viewer found is the one started";

  // Without xchm the next viewer serves.
  fs::remove(binHost_ + "/xchm");
  fs::remove(xchm);
  ASSERT_TRUE(OpenHelpFile(program_));
  EXPECT_EQ(Canonical(FirstLine(WaitForFile(kchm))), Canonical(programHost_ + "/58/6673/English.chm"));
}

TEST_F(HelpTest, NothingOpensWithoutHelpFileOrViewer) {
  std::string xchm = AddRecorder("xchm");
  EXPECT_FALSE(OpenHelpFile(program_)) << "no help file";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(xchm)) << "no viewer is started for a missing file";

  InstallBuiltHelpFile();
  fs::remove(binHost_ + "/xchm");
  EXPECT_FALSE(OpenHelpFile(program_)) << "no viewer, no desktop opener and no Wine on PATH";

  ProgramContext unmapped = program_;
  unmapped.programFiles = nullptr;
  EXPECT_FALSE(OpenHelpFile(unmapped)) << "no system to reach the program's files through";
  EXPECT_FALSE(StartUpdater(unmapped));
  EXPECT_EQ(HelpFilePath(unmapped), HelpFilePath(program_)) << "the same path, made nowhere";
}

TEST_F(HelpTest, StartsTheUpdaterWhichAsksInATerminalWindowOfItsOwn) {
  EXPECT_FALSE(StartUpdater(program_)) << "no updater installed";

  ASSERT_TRUE(fs::exists(kBuiltUpdater)) << "build the target velmora_updater first";
  std::string updaterHost = programHost_ + "/858068658469/Update.exe";
  fs::create_directories(fs::path(updaterHost).parent_path());
  fs::copy_file(kBuiltUpdater, updaterHost);
  std::string terminal = AddRecorder("x-terminal-emulator");
  setenv("DISPLAY", ":0", 1);

  // Started as the window starts it (no terminal, no arguments), the updater
  // opens itself in a terminal window and asks there.
  ASSERT_TRUE(StartUpdater(program_));
  std::string args = WaitForFile(terminal);
  ASSERT_FALSE(args.empty()) << "no terminal window was opened";
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < args.size();) {
    std::size_t end = args.find('\n', at);
    lines.push_back(args.substr(at, end - at));
    at = end + 1;
  }
  ASSERT_EQ(lines.size(), 5u) << args;
  EXPECT_EQ(lines[0], "-T");
  EXPECT_EQ(lines[1], "Velmora definitions update");
  EXPECT_EQ(lines[2], "-e");
  EXPECT_EQ(Canonical(lines[3]), Canonical(updaterHost));
  EXPECT_EQ(lines[4], "--pause");
}

}  // namespace
