#include "platform/shell_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "base/utf16.h"
#include "platform/files.h"
#include "platform/posix/prefix.h"
#include "tests/support/icon_writer.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using platform::kFail;
using platform::kFalse;
using platform::kOk;
using platform::ShellLink;
using test::PatchLe;
using test::PutLe;

std::string FromHex(const std::string& hex) {
  std::string out;
  std::istringstream in(hex);
  std::string byte;
  while (in >> byte) out.push_back(static_cast<char>(std::stoi(byte, nullptr, 16)));
  return out;
}

// The sample of Microsoft's shell-link specification: a shortcut to C:\test\a.txt
// with an IDList, LinkInfo, a relative path, a working folder and a tracker block.
const std::string& MicrosoftSample() {
  static const std::string bytes = FromHex(
      "4C 00 00 00 01 14 02 00 00 00 00 00 C0 00 00 00 00 00 00 46 9B 00 08 00 20 00 00 00 D0 E9 EE F2"
      " 15 15 C9 01 D0 E9 EE F2 15 15 C9 01 D0 E9 EE F2 15 15 C9 01 00 00 00 00 00 00 00 00 01 00 00 00"
      " 00 00 00 00 00 00 00 00 00 00 00 00 BD 00 14 00 1F 50 E0 4F D0 20 EA 3A 69 10 A2 D8 08 00 2B 30"
      " 30 9D 19 00 2F 43 3A 5C 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 46 00 31 00 00"
      " 00 00 00 2C 39 69 A3 10 00 74 65 73 74 00 00 32 00 07 00 04 00 EF BE 2C 39 65 A3 2C 39 69 A3 26"
      " 00 00 00 03 1E 00 00 00 00 F5 1E 00 00 00 00 00 00 00 00 00 00 74 00 65 00 73 00 74 00 00 00 14"
      " 00 48 00 32 00 00 00 00 00 2C 39 69 A3 20 00 61 2E 74 78 74 00 34 00 07 00 04 00 EF BE 2C 39 69"
      " A3 2C 39 69 A3 26 00 00 00 2D 6E 00 00 00 00 96 01 00 00 00 00 00 00 00 00 00 00 61 00 2E 00 74"
      " 00 78 00 74 00 00 00 14 00 00 00 3C 00 00 00 1C 00 00 00 01 00 00 00 1C 00 00 00 2D 00 00 00 00"
      " 00 00 00 3B 00 00 00 11 00 00 00 03 00 00 00 81 8A 7A 30 10 00 00 00 00 43 3A 5C 74 65 73 74 5C"
      " 61 2E 74 78 74 00 00 07 00 2E 00 5C 00 61 00 2E 00 74 00 78 00 74 00 07 00 43 00 3A 00 5C 00 74"
      " 00 65 00 73 00 74 00 60 00 00 00 03 00 00 A0 58 00 00 00 00 00 00 00 63 68 72 69 73 2D 78 70 73"
      " 00 00 00 00 00 00 00 40 78 C7 94 47 FA C7 46 B3 56 5C 2D C6 B6 D1 15 EC 46 CD 7B 22 7F DD 11 94"
      " 99 00 13 72 16 87 4A 40 78 C7 94 47 FA C7 46 B3 56 5C 2D C6 B6 D1 15 EC 46 CD 7B 22 7F DD 11 94"
      " 99 00 13 72 16 87 4A 00 00 00 00");
  return bytes;
}
constexpr std::size_t kSampleIdListEnd = 0x10B;
constexpr std::size_t kSampleLinkInfoEnd = 0x147;
constexpr std::size_t kSampleStringsEnd = 0x167;

std::string Utf16Le(const std::string& utf8) {
  std::string out;
  for (char16_t c : velmora::Utf16FromUtf8(utf8)) PutLe(&out, c, 2);
  return out;
}

// A shortcut in the shape Windows writes, assembled from its parts.
struct LinkParts {
  std::uint32_t flags = 0;
  std::string idList;                // with its size field
  std::string linkInfo;              // whole structure
  std::vector<std::string> strings;  // count + characters, in flag order
  std::string extra;                 // blocks, without the terminal block
};

std::string Assemble(const LinkParts& parts) {
  std::string out = MicrosoftSample().substr(0, 0x4C);
  PatchLe(&out, 0x14, parts.flags, 4);
  out += parts.idList + parts.linkInfo;
  for (const std::string& s : parts.strings) out += s;
  out += parts.extra;
  PutLe(&out, 0, 4);
  return out;
}

// LinkInfo with a 0x24-byte header: 8-bit and UTF-16 forms of base and suffix.
std::string LocalLinkInfo(const std::string& ansiBase, const std::string& unicodeBase,
                          const std::string& suffix) {
  std::string info(0x24, '\0');
  PatchLe(&info, 4, 0x24, 4);
  PatchLe(&info, 8, 1, 4);
  PatchLe(&info, 12, static_cast<std::uint32_t>(info.size()), 4);
  info += FromHex("11 00 00 00 03 00 00 00 81 8A 7A 30 10 00 00 00 00");
  PatchLe(&info, 16, static_cast<std::uint32_t>(info.size()), 4);
  info += ansiBase + '\0';
  PatchLe(&info, 24, static_cast<std::uint32_t>(info.size()), 4);
  info += suffix + '\0';
  if (info.size() % 2) info.push_back(0);
  PatchLe(&info, 28, static_cast<std::uint32_t>(info.size()), 4);
  info += Utf16Le(unicodeBase) + std::string(2, '\0');
  PatchLe(&info, 32, static_cast<std::uint32_t>(info.size()), 4);
  info += Utf16Le(suffix) + std::string(2, '\0');
  PatchLe(&info, 0, static_cast<std::uint32_t>(info.size()), 4);
  return info;
}

std::string EnvironmentBlock(const std::string& ansi, const std::string& unicode) {
  std::string block;
  PutLe(&block, 0x314, 4);
  PutLe(&block, 0xA0000001, 4);
  block += ansi + std::string(260 - ansi.size(), '\0');
  std::string wide = Utf16Le(unicode);
  block += wide + std::string(520 - wide.size(), '\0');
  return block;
}

class ShellLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform::files::MakeDirectories(velmora::test::System(), "C:\\links"), platform::kSuccess);
  }
  test::TempPrefix prefix_;
  // Writes C:\links\<name> (name with '/' between folders).
  std::string Put(const std::string& name, const std::string& bytes) {
    test::WriteFile(prefix_.HostPath("drive_c/links/" + name), bytes);
    std::string windows = name;
    for (char& c : windows) c = c == '/' ? '\\' : c;
    return "C:\\links\\" + windows;
  }
  std::string Bytes(const std::string& windowsPath) {
    return test::ReadFile(platform::files::HostPathFromWindows(velmora::test::System(), windowsPath));
  }
};

TEST_F(ShellLinkTest, SavedLinksReadBackWholly) {
  struct Case {
    const char* target;
    const char* description;
  } cases[] = {{"C:\\Tools\\app.exe", "A tool"},
               {"C:\\Program Files\\Prüfung\\Zoë.exe", "Café ™"},
               {"C:\\Tools\\日本\\アプリ.exe", "絵文字 😀"},
               {"\\\\server\\share\\dir\\tool.exe", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    ShellLink link;
    link.SetPath(velmora::test::System(), c.target);
    link.SetDescription(c.description);
    link.SetArguments("--tray \"two words\"");
    link.SetWorkingDirectory("C:\\Tools");
    link.SetIconLocation("C:\\Tools\\icons.dll", -3);
    link.showCommand = 7;
    ASSERT_EQ(link.Save(velmora::test::System(), "C:\\links\\Tool.lnk"), kOk);

    ShellLink read;
    ASSERT_EQ(read.Load(velmora::test::System(), "c:\\LINKS\\tool.lnk"), kOk);
    EXPECT_EQ(read.target, c.target);
    EXPECT_EQ(read.description, c.description);
    EXPECT_EQ(read.arguments, "--tray \"two words\"");
    EXPECT_EQ(read.workingDirectory, "C:\\Tools");
    EXPECT_EQ(read.iconLocation, "C:\\Tools\\icons.dll");
    EXPECT_EQ(read.iconIndex, -3);
    EXPECT_EQ(read.showCommand, 7);
    EXPECT_EQ(read.Resolve(), kOk);
    std::string path;
    EXPECT_EQ(read.GetPath(&path, 260), kOk);
    EXPECT_EQ(path, c.target);
  }
}

TEST_F(ShellLinkTest, WrittenLinksCarryWhatWineReads) {
  ShellLink link;
  link.SetPath(velmora::test::System(), "C:\\Tools\\app.exe");
  ASSERT_EQ(link.Save(velmora::test::System(), "C:\\links\\App.lnk"), kOk);
  std::string bytes = Bytes("C:\\links\\App.lnk");
  ASSERT_GT(bytes.size(), 0x4Cu + 4);
  std::uint32_t flags =
      static_cast<std::uint8_t>(bytes[0x14]) | (static_cast<std::uint8_t>(bytes[0x15]) << 8);
  EXPECT_EQ(flags & 0x83, 0x83u);                                    // IDList, LinkInfo, Unicode strings
  EXPECT_EQ(bytes.compare(0, 0x14, MicrosoftSample(), 0, 0x14), 0);  // header size and class id
  EXPECT_NE(bytes.find(std::string("C:\\Tools\\app.exe\0", 17)), std::string::npos);  // 8-bit LocalBasePath
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string(4, '\0'));
  ShellLink read;
  ASSERT_EQ(read.Load(velmora::test::System(), "C:\\links\\App.lnk"), kOk);
  EXPECT_EQ(read.relativePath, "..\\Tools\\app.exe");
  EXPECT_EQ(read.description, "");

  // Saving replaces the old file; a folder that does not exist fails.
  link.SetPath(velmora::test::System(), "C:\\Other\\b.exe");
  ASSERT_EQ(link.Save(velmora::test::System(), "C:\\links\\App.lnk"), kOk);
  ASSERT_EQ(read.Load(velmora::test::System(), "C:\\links\\App.lnk"), kOk);
  EXPECT_EQ(read.target, "C:\\Other\\b.exe");
  EXPECT_EQ(link.Save(velmora::test::System(), "C:\\no\\such\\folder\\App.lnk"), kFail);
}

TEST_F(ShellLinkTest, MicrosoftsSampleAndItsFallbacks) {
  ShellLink link;
  ASSERT_EQ(link.Load(velmora::test::System(), Put("sample.lnk", MicrosoftSample())), kOk);
  EXPECT_EQ(link.target, "C:\\test\\a.txt");
  EXPECT_EQ(link.relativePath, ".\\a.txt");
  EXPECT_EQ(link.workingDirectory, "C:\\test");
  EXPECT_EQ(link.fileAttributes, 0x20u);
  EXPECT_EQ(link.showCommand, 1);
  EXPECT_EQ(link.description, "");

  // Without LinkInfo the target comes from the IDList's long names.
  std::string noInfo =
      MicrosoftSample().substr(0, kSampleIdListEnd) + MicrosoftSample().substr(kSampleLinkInfoEnd);
  PatchLe(&noInfo, 0x14, 0x0008009B & ~0x2u, 4);
  ASSERT_EQ(link.Load(velmora::test::System(), Put("noinfo.lnk", noInfo)), kOk);
  EXPECT_EQ(link.target, "C:\\test\\a.txt");

  // Without either, from the relative path, taken from the link's own folder.
  std::string relativeOnly = MicrosoftSample().substr(0, 0x4C) + MicrosoftSample().substr(kSampleLinkInfoEnd);
  PatchLe(&relativeOnly, 0x14, 0x0008009B & ~0x3u, 4);
  ASSERT_EQ(link.Load(velmora::test::System(), Put("sub/relative.lnk", relativeOnly)), kOk);
  EXPECT_EQ(link.target, "C:\\links\\sub\\a.txt");

  // ForceNoLinkInfo: LinkInfo is present but ignored.
  std::string otherPath = MicrosoftSample();
  otherPath.replace(otherPath.find("C:\\test\\a.txt"), 13, "C:\\zzzz\\b.txt");
  PatchLe(&otherPath, 0x14, 0x0008019B, 4);
  ASSERT_EQ(link.Load(velmora::test::System(), Put("forced.lnk", otherPath)), kOk);
  EXPECT_EQ(link.target, "C:\\test\\a.txt");
}

TEST_F(ShellLinkTest, WindowsShapedLinks) {
  ShellLink link;
  // Unicode LinkInfo (header 0x24) wins over its 8-bit form; 8-bit strings are code page 1252.
  LinkParts unicodeInfo;
  unicodeInfo.flags = 0x2 | 0x4 | 0x20;  // LinkInfo, name, arguments; not Unicode
  unicodeInfo.linkInfo = LocalLinkInfo(
      "C:\\Pr\xfc"
      "fung\\??.exe",
      "C:\\Prüfung\\日本.exe", "");
  unicodeInfo.strings = {std::string("\x05\x00"
                                     "Caf\xe9\x00",
                                     7),
                         std::string("\x03\x00-x\x00", 5)};
  ASSERT_EQ(link.Load(velmora::test::System(), Put("unicode.lnk", Assemble(unicodeInfo))), kOk);
  EXPECT_EQ(link.target, "C:\\Prüfung\\日本.exe");
  EXPECT_EQ(link.description, "Café");  // the zero Wine counts is dropped
  EXPECT_EQ(link.arguments, "-x");

  // Base and suffix join; a network share joins with a backslash.
  LinkParts split;
  split.flags = 0x2;
  split.linkInfo = LocalLinkInfo("C:\\Apps\\", "C:\\Apps\\", "Tool\\tool.exe");
  ASSERT_EQ(link.Load(velmora::test::System(), Put("split.lnk", Assemble(split))), kOk);
  EXPECT_EQ(link.target, "C:\\Apps\\Tool\\tool.exe");
  std::string network(0x1C, '\0');
  PatchLe(&network, 4, 0x1C, 4);
  PatchLe(&network, 8, 2, 4);
  PatchLe(&network, 20, 0x1C, 4);
  network += FromHex("20 00 00 00 02 00 00 00 14 00 00 00 00 00 00 00 00 00 02 00") + "\\\\srv\\share" + '\0';
  PatchLe(&network, 24, static_cast<std::uint32_t>(network.size()), 4);
  network += std::string("dir\\tool.exe") + '\0';
  PatchLe(&network, 0, static_cast<std::uint32_t>(network.size()), 4);
  LinkParts share;
  share.flags = 0x2 | 0x80;
  share.linkInfo = network;
  ASSERT_EQ(link.Load(velmora::test::System(), Put("share.lnk", Assemble(share))), kOk);
  EXPECT_EQ(link.target, "\\\\srv\\share\\dir\\tool.exe");

  // An environment block alone gives the target with its references.
  LinkParts environment;
  environment.flags = 0x200 | 0x80;
  environment.extra = EnvironmentBlock("%ProgramFiles%\\App\\app.exe", "%ProgramFiles%\\App\\app.exe");
  ASSERT_EQ(link.Load(velmora::test::System(), Put("env.lnk", Assemble(environment))), kOk);
  EXPECT_EQ(link.target, "%ProgramFiles%\\App\\app.exe");
  EXPECT_EQ(link.targetExpandable, "%ProgramFiles%\\App\\app.exe");
  std::string path;
  EXPECT_EQ(link.GetPath(&path, 260), kOk);
  EXPECT_EQ(path, "%ProgramFiles%\\App\\app.exe");

  // With LinkInfo too, LinkInfo names the target; unknown blocks before it are skipped.
  std::string unknown;
  PutLe(&unknown, 12, 4);
  PutLe(&unknown, 0xA0000099, 4);
  PutLe(&unknown, 0, 4);
  environment.flags |= 0x2;
  environment.linkInfo =
      LocalLinkInfo("C:\\Program Files\\App\\app.exe", "C:\\Program Files\\App\\app.exe", "");
  environment.extra = unknown + EnvironmentBlock("%ProgramFiles%\\App\\app.exe", "");
  ASSERT_EQ(link.Load(velmora::test::System(), Put("both.lnk", Assemble(environment))), kOk);
  EXPECT_EQ(link.target, "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(link.targetExpandable, "%ProgramFiles%\\App\\app.exe");

  // A link to a virtual folder has no path.
  LinkParts virtualFolder;
  virtualFolder.flags = 0x1;
  virtualFolder.idList = FromHex("16 00 14 00 1F 50 E0 4F D0 20 EA 3A 69 10 A2 D8 08 00 2B 30 30 9E 00 00");
  ASSERT_EQ(link.Load(velmora::test::System(), Put("virtual.lnk", Assemble(virtualFolder))), kOk);
  EXPECT_EQ(link.target, "");
  EXPECT_EQ(link.Resolve(), kFail);
  EXPECT_EQ(link.GetPath(&path, 260), kFalse);
  EXPECT_EQ(path, "");
}

TEST_F(ShellLinkTest, GetPathKeepsWithinItsCapacity) {
  ShellLink link;
  link.SetPath(velmora::test::System(), "C:\\Prüfung\\a.exe");
  std::string path;
  EXPECT_EQ(link.GetPath(&path, 6), kOk);
  EXPECT_EQ(path, "C:\\Pr");
  EXPECT_EQ(link.GetPath(&path, 7), kOk);
  EXPECT_EQ(path, "C:\\Pr");  // "ü" takes two bytes and does not fit
  EXPECT_EQ(link.GetPath(&path, 8), kOk);
  EXPECT_EQ(path, "C:\\Prü");
  link.SetDescription("abc");
  EXPECT_EQ(link.GetDescription(&path, 3), kOk);
  EXPECT_EQ(path, "ab");
}

TEST_F(ShellLinkTest, DamagedFilesFailAndLeaveTheObjectEmpty) {
  const std::string& sample = MicrosoftSample();
  for (std::size_t cut = 0; cut < sample.size(); ++cut) {
    ShellLink link;
    link.target = "stale";
    link.arguments = "stale";
    std::string path = Put("cut.lnk", sample.substr(0, cut));
    if (cut < kSampleStringsEnd) {
      EXPECT_EQ(link.Load(velmora::test::System(), path), kFail) << cut;
      EXPECT_EQ(link.target, "") << cut;
      EXPECT_EQ(link.arguments, "") << cut;
    } else {
      // Only the extra data is cut: what precedes it is whole.
      EXPECT_EQ(link.Load(velmora::test::System(), path), kOk) << cut;
      EXPECT_EQ(link.target, "C:\\test\\a.txt") << cut;
    }
  }
  ShellLink link;
  for (const std::string& bytes : {std::string(), std::string("not a shortcut"), std::string(0x4C, '\0')}) {
    EXPECT_EQ(link.Load(velmora::test::System(), Put("bad.lnk", bytes)), kFail);
  }
  EXPECT_EQ(link.Load(velmora::test::System(), "C:\\links\\missing.lnk"), kFail);
  EXPECT_EQ(link.Load(velmora::test::System(), "C:\\links"), kFail);
  EXPECT_EQ(link.Resolve(), kFail);

  // Sizes and offsets pointing outside their structures.
  auto patched = [&](std::size_t at, std::uint32_t value, int bytes) {
    std::string copy = sample;
    PatchLe(&copy, at, value, bytes);
    return link.Load(velmora::test::System(), Put("patched.lnk", copy));
  };
  EXPECT_EQ(patched(0x4C, 0xFFFF, 2), kFail);                  // IDList size
  EXPECT_EQ(patched(kSampleIdListEnd, 0xFFFFFFF0, 4), kFail);  // LinkInfo size
  EXPECT_EQ(patched(kSampleIdListEnd, 8, 4), kFail);
  EXPECT_EQ(patched(kSampleIdListEnd + 16, 0x7FFFFFFF, 4), kFail);  // LocalBasePath offset
  EXPECT_EQ(patched(kSampleIdListEnd + 12, 0x7FFFFFFF, 4), kFail);  // VolumeID offset
  EXPECT_EQ(patched(kSampleLinkInfoEnd, 0xFFFF, 2), kFail);         // string count
  EXPECT_EQ(patched(0x4E, 0xFFFF, 2), kOk);  // a damaged first item only loses the IDList's path
  EXPECT_EQ(link.target, "C:\\test\\a.txt");
}

TEST_F(ShellLinkTest, RandomDamageNeverCrashes) {
  ShellLink good;
  good.SetPath(velmora::test::System(), "C:\\Tools\\日本\\app.exe");
  good.SetArguments("-a");
  ASSERT_EQ(good.Save(velmora::test::System(), "C:\\links\\good.lnk"), kOk);
  std::string ours = Bytes("C:\\links\\good.lnk");
  std::uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u; };
  for (const std::string& original : {MicrosoftSample(), ours}) {
    for (int round = 0; round < 1500; ++round) {
      std::string bytes = original;
      int changes = 1 + next() % 4;
      for (int i = 0; i < changes; ++i) bytes[(next() >> 8) % bytes.size()] = static_cast<char>(next() >> 16);
      ShellLink link;
      if (link.Load(velmora::test::System(), Put("random.lnk", bytes)) == kOk) {
        std::string path;
        link.GetPath(&path, 260);
        EXPECT_LE(path.size(), 259u);
      }
    }
  }
}

// Real Wine: it must read and start what we write, and we must read what it writes.
class WineShellLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!test::WineAvailable()) return;
    dir_ = new test::TempDir;
    if (test::RunCommand(Env() + "wineboot --init >/dev/null 2>&1 && " + Env() + "wineserver -w") == 0)
      ready_ = true;
  }
  static void TearDownTestSuite() {
    if (dir_) test::RunCommand(Env() + "wineserver -k >/dev/null 2>&1");
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Prefix() { return dir_->path() + "/wine"; }
  static std::string Env() { return "WINEDEBUG=-all WINEPREFIX='" + Prefix() + "' "; }

  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "wine is not installed or could not make a prefix";
    setenv("WINEPREFIX", Prefix().c_str(), 1);
    velmora::test::ResetPrefixForTesting();
    ASSERT_EQ(velmora::test::InitPrefix(), 0);
    ASSERT_EQ(platform::files::MakeDirectories(velmora::test::System(), "C:\\tools\\Prüfung"),
              platform::kSuccess);
    ASSERT_EQ(platform::files::MakeDirectories(velmora::test::System(), "C:\\tools\\日本"),
              platform::kSuccess);
    for (const char* folder : {"", "Prüfung/", "日本/"}) {
      fs::copy_file(test::FixturePath("mklink.exe"), Prefix() + "/drive_c/tools/" + folder + "mklink.exe",
                    fs::copy_options::overwrite_existing);
    }
  }
  void TearDown() override {
    velmora::test::ResetPrefixForTesting();
    unsetenv("WINEPREFIX");
  }

  static int Wine(const std::string& arguments) {
    return test::RunCommand(Env() + "wine " + arguments + " >/dev/null 2>&1");
  }
  static std::string Host(const std::string& windowsPath) {
    return platform::files::HostPathFromWindows(velmora::test::System(), windowsPath);
  }
  // Lines of a file a program under Wine writes, once it is there (8-bit text of code page 1252).
  static std::vector<std::string> WaitForLines(const std::string& windowsPath) {
    std::string host = Host(windowsPath);
    for (int i = 0; i < 300 && !fs::exists(host); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::vector<std::string> lines;
    std::istringstream in(velmora::Utf8FromWindows1252(test::ReadFile(host)));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static test::TempDir* dir_;
  static bool ready_;
};
test::TempDir* WineShellLinkTest::dir_ = nullptr;
bool WineShellLinkTest::ready_ = false;

TEST_F(WineShellLinkTest, WineReadsOurLinks) {
  ShellLink link;
  link.SetPath(velmora::test::System(), "C:\\tools\\Prüfung\\mklink.exe");
  link.SetArguments("touch C:\\out.txt \"two words\"");
  link.SetWorkingDirectory("C:\\tools\\Prüfung");
  link.SetDescription("Prüfung der Verknüpfung");
  link.SetIconLocation("C:\\tools\\mklink.exe", 3);
  ASSERT_EQ(link.Save(velmora::test::System(), "C:\\tools\\ours.lnk"), kOk);
  ASSERT_EQ(Wine("'C:\\tools\\mklink.exe' read 'C:\\tools\\ours.lnk' 'C:\\read.txt'"), 0);
  EXPECT_EQ(WaitForLines("C:\\read.txt"),
            (std::vector<std::string>{"C:\\tools\\Prüfung\\mklink.exe", "touch C:\\out.txt \"two words\"",
                                      "C:\\tools\\Prüfung", "Prüfung der Verknüpfung",
                                      "C:\\tools\\mklink.exe", "3"}));
}

TEST_F(WineShellLinkTest, WineStartsOurLinks) {
  // One target Wine finds through LinkInfo, one (not in code page 1252) through the IDList.
  for (const char* folder : {"Prüfung", "日本"}) {
    SCOPED_TRACE(folder);
    std::string dir = std::string("C:\\tools\\") + folder;
    std::string marker = std::string("C:\\started-") + (folder[0] == 'P' ? "p" : "j") + ".txt";
    ShellLink link;
    link.SetPath(velmora::test::System(), dir + "\\mklink.exe");
    link.SetArguments("touch " + marker + " --flag");
    link.SetWorkingDirectory(dir);
    ASSERT_EQ(link.Save(velmora::test::System(), dir + "\\start.lnk"), kOk);
    Wine("start /unix '" + Host(dir + "\\start.lnk") + "'");
    std::vector<std::string> lines = WaitForLines(marker);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("touch " + marker + " --flag"), std::string::npos) << lines[0];
    if (folder[0] == 'P') {
      EXPECT_EQ(lines[1], dir);  // the other folder's name comes back as "??" in 8-bit text
    }
  }
}

TEST_F(WineShellLinkTest, WinebootStartsOurLinksInTheStartupFolder) {
  std::string startup = "C:\\users\\" + velmora::test::PrefixUserName() +
                        "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";
  ASSERT_EQ(platform::files::MakeDirectories(velmora::test::System(), startup), platform::kSuccess);
  ShellLink link;
  link.SetPath(velmora::test::System(), "C:\\tools\\mklink.exe");
  link.SetArguments("touch C:\\booted.txt at-logon");
  link.SetWorkingDirectory("C:\\tools");
  ASSERT_EQ(link.Save(velmora::test::System(), startup + "\\Boot Helper.lnk"), kOk);
  test::RunCommand(Env() + "wineboot >/dev/null 2>&1");
  std::vector<std::string> lines = WaitForLines("C:\\booted.txt");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("touch C:\\booted.txt at-logon"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], "C:\\tools");
  platform::files::RemoveFile(velmora::test::System(), startup + "\\Boot Helper.lnk");
  test::RunCommand(Env() + "wineserver -w");
}

TEST_F(WineShellLinkTest, WeReadLinksWineMakes) {
  ASSERT_EQ(Wine("'C:\\tools\\mklink.exe' create 'C:\\tools\\wine.lnk' 'C:\\tools\\Prüfung\\mklink.exe' "
                 "'-a \"b c\"' 'C:\\tools' 'C:\\windows\\notepad.exe' 2 'Made by Wine'"),
            0);
  WaitForLines("C:\\tools\\wine.lnk");
  ShellLink link;
  ASSERT_EQ(link.Load(velmora::test::System(), "C:\\tools\\wine.lnk"), kOk);
  EXPECT_EQ(link.target, "C:\\tools\\Prüfung\\mklink.exe");
  EXPECT_EQ(link.arguments, "-a \"b c\"");
  EXPECT_EQ(link.workingDirectory, "C:\\tools");
  EXPECT_EQ(link.iconLocation, "C:\\windows\\notepad.exe");
  EXPECT_EQ(link.iconIndex, 2);
  EXPECT_EQ(link.description, "Made by Wine");
  EXPECT_EQ(link.Resolve(), kOk);
}

}  // namespace
}  // namespace velmora
