// The Win32 backend against the system it runs on (Windows, or Wine in a fresh
// prefix): the same contracts the Linux backend keeps on a prefix's files.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/icons.h"
#include "platform/ini_file.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "platform/system.h"
#include "platform/version_resource.h"
#include "tests/support/test_support.h"

namespace platform {
namespace {

const char kTestKey[] = "Software\\Velmora Backend Test";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reg::DeleteTree(velmora::test::System().CurrentUser(), kTestKey);
    ASSERT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), kTestKey, key_.out()), kSuccess);
  }
  void TearDown() override {
    key_.reset();
    reg::DeleteTree(velmora::test::System().CurrentUser(), kTestKey);
  }
  UniqueKey key_;
};

TEST_F(RegistryTest, TextKeepsEveryCharacterAndItsZero) {
  const std::string text = "C:\\Programme\\Zo\xC3\xAB \xE2\x82\xAC\\tray.exe";  // ë and €
  ASSERT_EQ(reg::SetString(key_.get(), "Tr\xC3\xA4y", text), kSuccess);
  std::string back;
  ASSERT_EQ(reg::QueryString(key_.get(), "Tr\xC3\xA4y", &back), kSuccess);
  EXPECT_EQ(back, text);

  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(reg::QueryValue(key_.get(), "Tr\xC3\xA4y", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, text.size() + 1);

  std::vector<RegistryValue> values;
  ASSERT_EQ(reg::ReadAllValues(key_.get(), &values), kSuccess);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "Tr\xC3\xA4y");
  EXPECT_EQ(values[0].data, text + '\0');
}

TEST_F(RegistryTest, SmallBuffersReportTheSizeTheyNeed) {
  const std::uint8_t binary[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(reg::SetValue(key_.get(), "LongValueName", kRegBinary, binary, sizeof binary), kSuccess);
  char name[4];
  std::uint32_t nameSize = sizeof name, type = 0;
  std::uint8_t data[16];
  std::uint32_t dataSize = sizeof data;
  EXPECT_EQ(reg::EnumValue(key_.get(), 0, name, &nameSize, &type, data, &dataSize), kMoreData);
  EXPECT_EQ(nameSize, std::strlen("LongValueName"));

  std::uint8_t small[2];
  std::uint32_t smallSize = sizeof small;
  EXPECT_EQ(reg::QueryValue(key_.get(), "LongValueName", &type, small, &smallSize), kMoreData);
  EXPECT_EQ(smallSize, sizeof binary);

  char wide[64];
  nameSize = sizeof wide;
  dataSize = sizeof data;
  ASSERT_EQ(reg::EnumValue(key_.get(), 0, wide, &nameSize, &type, data, &dataSize), kSuccess);
  EXPECT_EQ(std::string(wide), "LongValueName");
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataSize), std::string("\1\2\3\4\5", 5));
  nameSize = sizeof wide;
  EXPECT_EQ(reg::EnumValue(key_.get(), 1, wide, &nameSize, nullptr, nullptr, nullptr), kNoMoreItems);
}

TEST_F(RegistryTest, KeysAndValuesGoAwayWholly) {
  UniqueKey child;
  ASSERT_EQ(reg::CreateKey(key_.get(), "Child\\Grandchild", child.out()), kSuccess);
  ASSERT_EQ(reg::SetString(child.get(), "x", "1"), kSuccess);
  child.reset();
  char name[64];
  ASSERT_EQ(reg::EnumKey(key_.get(), 0, name, sizeof name), kSuccess);
  EXPECT_EQ(std::string(name), "Child");
  EXPECT_EQ(reg::EnumKey(key_.get(), 1, name, sizeof name), kNoMoreItems);

  EXPECT_EQ(reg::DeleteValue(key_.get(), "missing"), kFileNotFound);
  ASSERT_EQ(reg::DeleteTree(key_.get(), "Child"), kSuccess);
  EXPECT_EQ(reg::OpenKey(key_.get(), "Child", kKeyRead, child.out()), kFileNotFound);
  EXPECT_FALSE(child);
  EXPECT_EQ(reg::DeleteTree(key_.get(), "Child"), kFileNotFound);
}

// The 32-bit view's keys are reached through their own path from either build.
TEST(Registry, TheThirtyTwoBitViewHasItsOwnPath) {
  const std::string path = "Software\\Wow6432Node\\Velmora Backend Test";
  UniqueKey key;
  ASSERT_EQ(reg::CreateKey(velmora::test::System().LocalMachine(), path, key.out()), kSuccess);
  ASSERT_EQ(reg::SetString(key.get(), "Where", "32"), kSuccess);
  key.reset();
  ASSERT_EQ(reg::OpenKey(velmora::test::System().LocalMachine(), path, kKeyRead, key.out()), kSuccess);
  std::string where;
  EXPECT_EQ(reg::QueryString(key.get(), "Where", &where), kSuccess);
  EXPECT_EQ(where, "32");
  EXPECT_EQ(reg::OpenKey(velmora::test::System().LocalMachine(), "Software\\Velmora Backend Test", kKeyRead,
                         key.out()),
            kFileNotFound);
  EXPECT_EQ(reg::DeleteTree(velmora::test::System().LocalMachine(), path), kSuccess);
}

TEST(Files, WritesAtomicallyAndFindsInFoldedOrder) {
  velmora::test::TempDir dir;
  std::string folder = dir.path() + "\\Startup";
  ASSERT_EQ(files::MakeDirectories(velmora::test::System(), folder + "\\deep"), kSuccess);
  EXPECT_EQ(files::MakeDirectory(velmora::test::System(), folder), kAlreadyExists);
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), folder + "\\b.lnk", "old"), kSuccess);
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), folder + "\\b.lnk", std::string("new\0bytes", 9)),
            kSuccess);
  std::string bytes;
  ASSERT_EQ(files::ReadWholeFile(velmora::test::System(), folder + "\\b.lnk", &bytes), kSuccess);
  EXPECT_EQ(bytes, std::string("new\0bytes", 9));
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), folder + "\\A.lnk", "a"), kSuccess);
  ASSERT_EQ(files::WriteAtomic(velmora::test::System(), folder + "\\c.txt", "c"), kSuccess);

  FolderSearch search(velmora::test::System());
  std::vector<std::string> names;
  for (bool more = search.FindFirst(folder + "\\*.*"); more; more = search.FindNext()) {
    names.push_back(search.Current().name);
    EXPECT_EQ(search.Current().fullPath, folder + "\\" + search.Current().name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.lnk", "b.lnk", "c.txt", "deep"}));
  std::vector<std::string> links;
  for (bool more = search.FindFirst(folder + "\\*.lnk"); more; more = search.FindNext()) {
    links.push_back(search.Current().name);
  }
  EXPECT_EQ(links, (std::vector<std::string>{"A.lnk", "b.lnk"}));
  EXPECT_FALSE(search.FindFirst(folder + "\\*.exe"));

  ASSERT_EQ(files::Rename(velmora::test::System(), folder + "\\A.lnk", folder + "\\b.lnk"), kSuccess);
  ASSERT_EQ(files::ReadWholeFile(velmora::test::System(), folder + "\\b.lnk", &bytes), kSuccess);
  EXPECT_EQ(bytes, "a");
  EXPECT_EQ(files::RemoveFile(velmora::test::System(), folder + "\\A.lnk"), kFileNotFound);
  EXPECT_TRUE(files::DirectoryExists(velmora::test::System(), folder + "\\deep"));
  EXPECT_FALSE(files::DirectoryExists(velmora::test::System(), folder + "\\b.lnk"));
  EXPECT_TRUE(files::Exists(velmora::test::System(), folder + "\\b.lnk"));

  std::string full;
  EXPECT_EQ(files::FullPath(velmora::test::System(), "", &full), kInvalidParameter);
  ASSERT_EQ(files::FullPath(velmora::test::System(), folder + "\\deep\\..\\c.txt", &full), kSuccess);
  EXPECT_EQ(full, folder + "\\c.txt");
  EXPECT_TRUE(
      files::DirectoryExists(velmora::test::System(), files::SystemDirectory(velmora::test::System())));
  EXPECT_TRUE(files::Exists(velmora::test::System(), files::ExecutablePath(velmora::test::System())));
}

TEST(ShellLinks, SavedLinkLoadsBackThroughTheSystem) {
  velmora::test::TempDir dir;
  std::string target = velmora::test::FixturePath("scan_app.exe");
  std::string path = dir.path() + "\\Tray.lnk";
  ShellLink link;
  link.SetPath(velmora::test::System(), target);
  link.SetArguments("/tray --quiet");
  link.SetDescription("Tray helper");
  link.SetWorkingDirectory(dir.path());
  ASSERT_EQ(link.Save(velmora::test::System(), path), kOk);

  ShellLink back;
  ASSERT_EQ(back.Load(velmora::test::System(), path), kOk);
  EXPECT_EQ(back.Resolve(), kOk);
  std::string text;
  EXPECT_EQ(back.GetPath(&text, 260), kOk);
  EXPECT_TRUE(velmora::EqualsIgnoreCase(text, target)) << text;
  EXPECT_EQ(back.arguments, "/tray --quiet");
  EXPECT_EQ(back.description, "Tray helper");

  velmora::test::WriteFile(dir.path() + "\\broken.lnk", "L\0\0\0 not a link");
  ShellLink broken;
  EXPECT_EQ(broken.Load(velmora::test::System(), dir.path() + "\\broken.lnk"), kFail);
  EXPECT_EQ(broken.Load(velmora::test::System(), dir.path() + "\\missing.lnk"), kFail);
}

TEST(VersionResources, FixedAndStringValues) {
  std::string path = velmora::test::FixturePath("scan_app.exe");
  std::uint32_t size = version::InfoSize(velmora::test::System(), path);
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> block;
  ASSERT_TRUE(version::ReadInfo(velmora::test::System(), path, size, &block));
  const void* value = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(version::QueryValue(block, "\\", &value, &length));
  ASSERT_EQ(length, 52u);
  const auto* fixed = static_cast<const std::uint32_t*>(value);
  EXPECT_EQ(fixed[0], 0xFEEF04BDu);
  EXPECT_EQ(fixed[2], (2u << 16) | 5u);
  EXPECT_EQ(fixed[3], 17u);
  ASSERT_TRUE(version::QueryValue(block, "\\StringFileInfo\\040904b0\\ProductName", &value, &length));
  EXPECT_EQ(std::string(static_cast<const char*>(value)), "Scan Test Suite");
  EXPECT_EQ(length, std::strlen("Scan Test Suite") + 1);
  EXPECT_FALSE(version::QueryValue(block, "\\StringFileInfo\\040904b0\\Missing", &value, &length));
  // Text that no ANSI code page holds comes out whole, as the Linux build reads it.
  path = velmora::test::FixturePath("version_app.exe");
  ASSERT_TRUE(version::ReadInfo(velmora::test::System(), path,
                                version::InfoSize(velmora::test::System(), path), &block));
  ASSERT_TRUE(version::QueryValue(block, "\\StringFileInfo\\040904b0\\CompanyName", &value, &length));
  EXPECT_EQ(std::string(static_cast<const char*>(value)), "Société Ünïcode ™ 日本");

  velmora::test::TempDir dir;
  velmora::test::WriteFile(dir.path() + "\\not_pe.exe", "MZ but nothing more");
  EXPECT_EQ(version::InfoSize(velmora::test::System(), dir.path() + "\\not_pe.exe"), 0u);
  EXPECT_EQ(version::InfoSize(velmora::test::System(), dir.path() + "\\missing.exe"), 0u);
}

TEST(Icons, ExecutablesIconFilesAndOthers) {
  IconHandle icon = icons::Extract(velmora::test::System(), velmora::test::FixturePath("version_app.exe"), 0);
  ASSERT_TRUE(icon);
  EXPECT_FALSE(icon->notAnIconFile);
  EXPECT_GT(icon->width, 0);
  EXPECT_EQ(icon->pixels.size(), static_cast<std::size_t>(icon->width) * icon->height);
  EXPECT_EQ(icons::Extract(velmora::test::System(), velmora::test::FixturePath("scan_app.exe"), 0),
            nullptr);  // no icon resource

  velmora::test::TempDir dir;
  velmora::test::WriteFile(dir.path() + "\\notes.txt", "text");
  EXPECT_TRUE(icons::Extract(velmora::test::System(), dir.path() + "\\notes.txt", 0)->notAnIconFile);
  EXPECT_TRUE(icons::Extract(velmora::test::System(), dir.path() + "\\missing.exe", 0)->notAnIconFile);
  EXPECT_EQ(icons::ProgramIcon(180)->resourceId, 180);
}

TEST(Processes, TheRunningTestIsListedAndMeasured) {
  std::uint32_t self = GetCurrentProcessId();
  bool found = false;
  std::uint32_t previous = 0;
  for (const ProcessEntry& process : velmora::test::System().ListProcesses()) {
    EXPECT_GT(process.pid, previous);
    previous = process.pid;
    if (process.pid == self) {
      found = true;
      EXPECT_EQ(process.name, "test_platform_win32_backend");
    }
  }
  EXPECT_TRUE(found);
  std::uint64_t working = 0, peak = 0;
  ASSERT_TRUE(QueryProcessMemory(self, &working, &peak));
  EXPECT_GT(working, 0u);
  EXPECT_GE(peak, working);
  EXPECT_TRUE(ProcessAlive(self));
  EXPECT_TRUE(CanFullyControl(self));
}

TEST(System, MutexVersionEnvironmentAndIni) {
  EXPECT_EQ(CreateNamedMutex("Velmora backend test"), kSuccess);
  EXPECT_EQ(CreateNamedMutex("Velmora backend test"), kAlreadyExists);

  OsVersionInfo info;
  ASSERT_TRUE(velmora::test::System().QueryVersion(&info));
  EXPECT_EQ(info.platformId, 2u);
  EXPECT_GE(info.majorVersion, 5u);
  info.size = 12;
  EXPECT_FALSE(velmora::test::System().QueryVersion(&info));

  std::string expanded;
  std::uint32_t needed = env::Expand(velmora::test::System(), "%SystemRoot%\\notepad.exe", &expanded, 260);
  EXPECT_EQ(needed, expanded.size() + 1);
  EXPECT_TRUE(velmora::EqualsIgnoreCase(expanded, "C:\\windows\\notepad.exe")) << expanded;
  EXPECT_EQ(env::Expand(velmora::test::System(), "%SystemRoot%\\notepad.exe", &expanded, 4), needed);
  EXPECT_EQ(expanded, "");
  EXPECT_EQ(env::Expand(velmora::test::System(), "%NoSuchVariable%", &expanded, 260),
            std::strlen("%NoSuchVariable%") + 1);
  EXPECT_EQ(expanded, "%NoSuchVariable%");

  velmora::test::TempDir dir;
  std::string ini = dir.path() + "\\vlmdb2.vmd";
  velmora::test::WriteFile(ini, "[Tray]\r\nName = \"Tray Helper\"\r\nRate=NORM\r\n");
  char buffer[8];
  EXPECT_EQ(ini::ReadString(velmora::test::System(), "tray", "name", "?", buffer, sizeof buffer, ini), 7u);
  EXPECT_STREQ(buffer, "Tray He");
  EXPECT_EQ(ini::ReadString(velmora::test::System(), "Tray", "Missing", "dflt", buffer, sizeof buffer, ini),
            4u);
  EXPECT_STREQ(buffer, "dflt");
}

}  // namespace
}  // namespace platform
