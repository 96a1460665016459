#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "formats/registry_hive.h"
#include "platform/files.h"
#include "platform/posix/prefix.h"
#include "platform/status.h"
#include "tests/support/test_support.h"

namespace {

using namespace platform;
using velmora::test::ReadFile;
using velmora::test::RunCommand;
using velmora::test::SourcePath;
using velmora::test::TempDir;
using velmora::test::TempPrefix;
using velmora::test::WriteFile;

constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kHeaderUser =
    "WINE REGISTRY Version 2\n;; All keys relative to "
    "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";

HKey Open(HKey root, const std::string& path, std::uint32_t access = kKeyRead) {
  HKey key = nullptr;
  EXPECT_EQ(reg::OpenKey(root, path, access, &key), kSuccess) << path << ": " << LastErrorDetail();
  return key;
}

HKey Create(HKey root, const std::string& path) {
  HKey key = nullptr;
  EXPECT_EQ(reg::CreateKey(root, path, &key), kSuccess) << path << ": " << LastErrorDetail();
  return key;
}

std::string Query(HKey key, const std::string& name) {
  std::string text;
  EXPECT_EQ(reg::QueryString(key, name, &text), kSuccess) << name;
  return text;
}

std::string Raw(HKey key, const std::string& name, std::uint32_t* type = nullptr) {
  std::uint8_t data[1024];
  std::uint32_t size = sizeof data;
  EXPECT_EQ(reg::QueryValue(key, name, type, data, &size), kSuccess) << name;
  return std::string(reinterpret_cast<char*>(data), size);
}

Status SetRaw(HKey key, const std::string& name, std::uint32_t type, const std::string& bytes) {
  return reg::SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                       static_cast<std::uint32_t>(bytes.size()));
}

std::vector<std::string> ValueNames(HKey key) {
  std::vector<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    char name[512];
    std::uint32_t size = sizeof name;
    Status status = reg::EnumValue(key, i, name, &size, nullptr, nullptr, nullptr);
    if (status != kSuccess) {
      EXPECT_EQ(status, kNoMoreItems);
      break;
    }
    names.emplace_back(name, size);
  }
  return names;
}

std::vector<std::string> SubkeyNames(HKey key) {
  std::vector<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    char name[512];
    Status status = reg::EnumKey(key, i, name, sizeof name);
    if (status != kSuccess) {
      EXPECT_EQ(status, kNoMoreItems);
      break;
    }
    names.emplace_back(name);
  }
  return names;
}

// The key blocks of a registry file ("[...]" up to the next one).
std::vector<std::string> Blocks(const std::string& text) {
  std::vector<std::string> blocks;
  std::size_t at = 0;
  while (at != std::string::npos) {
    std::size_t next = text.find("\n[", at + 1);
    blocks.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next;
  }
  return blocks;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dirent* entry = dir ? readdir(dir) : nullptr) {
    if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
      names.push_back(entry->d_name);
  }
  if (dir) closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

ino_t Inode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { prefix_ = std::make_unique<TempPrefix>(); }
  void TearDown() override { prefix_.reset(); }

  void UseWine8Fixture() {
    WriteFile(SystemReg(), ReadFile(SourcePath("tests/fixtures/wine8/system.reg")));
    WriteFile(UserReg(), ReadFile(SourcePath("tests/fixtures/wine8/user.reg")));
  }
  std::string SystemReg() const { return prefix_->HostPath("system.reg"); }
  std::string UserReg() const { return prefix_->HostPath("user.reg"); }

  std::unique_ptr<TempPrefix> prefix_;
};

TEST_F(RegistryTest, ReadsEveryValueShapeOfAWine8Prefix) {
  UseWine8Fixture();
  HKey nt = Open(velmora::test::System().LocalMachine(), "Software\\Microsoft\\Windows NT\\CurrentVersion");
  EXPECT_EQ(Query(nt, "CurrentVersion"), "6.1");
  std::uint32_t type = 0;
  EXPECT_EQ(Raw(nt, "InstallDate", &type), std::string("\x9a\x01\xe5\x4b", 4));
  EXPECT_EQ(type, kRegDword);
  std::string product = Raw(nt, "DigitalProductId", &type);  // wrapped hex lines
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(product.size(), 164u);
  reg::CloseKey(nt);

  HKey classes =
      Open(velmora::test::System().LocalMachine(), "Software\\Classes\\htmlfile\\shell\\open\\command");
  EXPECT_EQ(Query(classes, ""), "\"C:\\windows\\system32\\winebrowser.exe\" \"%1\"");
  reg::CloseKey(classes);

  HKey link = Open(velmora::test::System().LocalMachine(), "Software\\Classes\\Wow6432Node\\AppId");
  std::string target = Raw(link, "SymbolicLinkValue", &type);
  EXPECT_EQ(type, 6u);
  std::u16string units(target.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<unsigned char>(target[2 * i]);
  EXPECT_EQ(units, u"\\Registry\\Machine\\Software\\Classes\\AppId");
  reg::CloseKey(link);

  HKey bus =
      Open(velmora::test::System().LocalMachine(), "System\\CurrentControlSet\\Enum\\ROOT\\WINE\\WINEBUS");
  // Wine stores this list without its final zero; it is read with one.
  EXPECT_EQ(Raw(bus, "HardwareId", &type), std::string("root\\winebus\0\0C:\\windows\\inf\0", 29));
  EXPECT_EQ(type, kRegMultiSz);
  reg::CloseKey(bus);

  HKey crypt =
      Open(velmora::test::System().LocalMachine(),
           "Software\\Microsoft\\Cryptography\\OID\\EncodingType 1\\CertDllVerifyRevocation\\DEFAULT");
  EXPECT_EQ(Raw(crypt, "Dll", &type), std::string("cryptnet.dll\0\0", 14));
  EXPECT_EQ(type, kRegMultiSz);
  reg::CloseKey(crypt);

  HKey folders = Open(velmora::test::System().LocalMachine(),
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
  EXPECT_EQ(Raw(folders, "Common AppData", &type), std::string("%ProgramData%\0", 14));
  EXPECT_EQ(type, kRegExpandSz);
  reg::CloseKey(folders);

  // A key name of surrogate pairs, as Wine 8 writes it in user.reg.
  HKey international = Open(velmora::test::System().CurrentUser(), "Control Panel\\International");
  EXPECT_EQ(SubkeyNames(international),
            (std::vector<std::string>{"Geo", "\xF0\x9F\x8C\x8E\xF0\x9F\x8C\x8F\xF0\x9F\x8C\x8D"}));
  reg::CloseKey(international);
  HKey globe = Open(velmora::test::System().CurrentUser(),
                    "Control Panel\\International\\\xF0\x9F\x8C\x8E\xF0\x9F\x8C\x8F\xF0\x9F\x8C\x8D");
  reg::CloseKey(globe);
}

TEST_F(RegistryTest, OurWriterFormatsEveryWine8ValueAsWineDid) {
  for (const char* name : {"system.reg", "user.reg"}) {
    std::string text = ReadFile(SourcePath(std::string("tests/fixtures/wine8/") + name));
    formats::Hive hive;
    formats::HiveParseError error;
    ASSERT_TRUE(hive.Parse(text, &error)) << name << ":" << error.line << " " << error.message;
    EXPECT_EQ(hive.Serialize(), text);
    int values = 0;
    std::vector<formats::HiveNode*> stack{hive.Root()};
    while (!stack.empty()) {
      formats::HiveNode* node = stack.back();
      stack.pop_back();
      for (auto* child : node->Subkeys()) stack.push_back(child);
      for (const formats::HiveValue* value : hive.Values(node)) {
        ++values;
        EXPECT_EQ(formats::FormatValue(*value), value->text);
      }
    }
    EXPECT_GT(values, 100);
  }
}

TEST_F(RegistryTest, AChangeRewritesOnlyItsOwnKeyBlock) {
  UseWine8Fixture();
  const std::string user = ReadFile(UserReg());
  const std::string machine = ReadFile(SystemReg());
  ino_t machineInode = Inode(SystemReg());

  HKey run = Open(velmora::test::System().CurrentUser(), kRun, kKeyAllAccess);
  ASSERT_EQ(reg::SetString(run, "Velmora", "C:\\Programs\\Velmora\\Velmora.exe"), kSuccess);
  std::vector<std::string> before = Blocks(user);
  std::vector<std::string> after = Blocks(ReadFile(UserReg()));
  ASSERT_EQ(before.size(), after.size());
  int changed = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    ++changed;
    EXPECT_TRUE(std::regex_match(
        after[i],
        std::regex("\n\\[Software\\\\\\\\Microsoft\\\\\\\\Windows\\\\\\\\CurrentVersion\\\\\\\\Run\\] "
                   "[0-9]+\n#time=[0-9a-f]+\n"
                   "\"Velmora\"=\"C:\\\\\\\\Programs\\\\\\\\Velmora\\\\\\\\Velmora.exe\"\n")))
        << after[i];
  }
  EXPECT_EQ(changed, 1);

  // Removing it again leaves only the block's time changed.
  ASSERT_EQ(reg::DeleteValue(run, "velmora"), kSuccess);
  after = Blocks(ReadFile(UserReg()));
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i].find("CurrentVersion\\\\Run]") == std::string::npos) {
      EXPECT_EQ(before[i], after[i]);
    }
  }
  reg::CloseKey(run);

  EXPECT_EQ(ReadFile(SystemReg()), machine);
  EXPECT_EQ(Inode(SystemReg()), machineInode);  // never rewritten
}

TEST_F(RegistryTest, NewKeysAndValuesTakeWinesSortedPlaces) {
  UseWine8Fixture();
  HKey key = Create(velmora::test::System().CurrentUser(), "Software\\Velmora Test");
  for (const char* name : {"b", "A", "_x", "a2", ""}) ASSERT_EQ(reg::SetString(key, name, name), kSuccess);
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"", "_x", "A", "a2", "b"}));
  for (const char* sub : {"beta", "Alpha", "_under"}) reg::CloseKey(Create(key, sub));
  EXPECT_EQ(SubkeyNames(key), (std::vector<std::string>{"_under", "Alpha", "beta"}));
  reg::CloseKey(key);

  std::string text = ReadFile(UserReg());
  std::size_t run = text.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run]");
  std::size_t ours = text.find("[Software\\\\Velmora Test]");
  std::size_t under = text.find("[Software\\\\Velmora Test\\\\_under]");
  std::size_t alpha = text.find("[Software\\\\Velmora Test\\\\Alpha]");
  std::size_t wine = text.find("[Software\\\\Wine\\\\");
  EXPECT_LT(run, ours);
  EXPECT_LT(ours, under);
  EXPECT_LT(under, alpha);
  EXPECT_LT(alpha, wine);
  EXPECT_NE(text.find("[Software\\\\Velmora Test] "), std::string::npos);
  EXPECT_NE(text.find("\n@=\"\"\n\"_x\"=\"_x\"\n\"A\"=\"A\"\n\"a2\"=\"a2\"\n\"b\"=\"b\"\n"),
            std::string::npos);

  // A fresh read of the file finds the same order.
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  key = Open(velmora::test::System().CurrentUser(), "Software\\Velmora Test");
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"", "_x", "A", "a2", "b"}));
  reg::CloseKey(key);
}

TEST_F(RegistryTest, NamesAndDataAreEscapedAsWineEscapesThem) {
  HKey key = Create(velmora::test::System().CurrentUser(), "Software\\Odd [name]");
  const std::string name = "Na\xC3\xAFve \"q\" \\ \xF0\x9F\x98\x80";  // ï and U+1F600
  const std::string data =
      "\xC3\xA9"
      "1\t\xCF\x80\x1b"
      "7";  // é, '1', tab, π, ESC, '7'
  ASSERT_EQ(reg::SetString(key, name, data), kSuccess);
  ASSERT_EQ(reg::SetString(key, "ctl",
                           std::string("\x01"
                                       "8\x02"
                                       "3",
                                       4)),
            kSuccess);
  reg::CloseKey(key);

  std::string text = ReadFile(UserReg());
  EXPECT_NE(text.find("\n[Software\\\\Odd \\[name\\]] "), std::string::npos) << text;
  EXPECT_NE(text.find("\n\"Na\\xefve \\\"q\\\" \\\\ \\xd83d\\xde00\"=\"\\x00e91\\t\\x3c0\\e7\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n\"ctl\"=\"\\18\\0023\"\n"), std::string::npos) << text;

  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  key = Open(velmora::test::System().CurrentUser(), "software\\ODD [NAME]");
  EXPECT_EQ(Query(key, name), data);
  EXPECT_EQ(Query(key, "CTL"), std::string("\x01"
                                           "8\x02"
                                           "3",
                                           4));
  reg::CloseKey(key);
}

TEST_F(RegistryTest, ReadsWhatWinesReaderAccepts) {
  const std::string body =
      "\n[Software\\\\Lenient]\r\n"  // no timestamp, CRLF
      "\"spaced\" = \"v\"\r\n"
      "; a comment inside the block\n"
      "\"str\"=str:\"plain\"\n"
      "\"esc\"=\"\\x41\\x0042\\101\\q\\x\"\n"  // 1-4 hex digits, octal, unknown escapes
      "\"utf8\"=\"gr\xC3\xBC\xC3\x9F\"\n"      // raw UTF-8
      "\"hex\"=hex:01 , 02,\\\n"
      "    03\n"
      "\"qword\"=hex(b):01,00,00,00,00,00,00,00\n"
      "\"odd\"=hex(1):41,00,42\n"  // a string Wine could not write as text
      "\"lone\"=\"\\xd800x\"\n"    // an unpaired surrogate
      "\"trail\"=\"t\" and whatever follows\n"
      "  @=dword:0000002a\n";
  WriteFile(UserReg(), std::string(kHeaderUser) + body);
  HKey key = Open(velmora::test::System().CurrentUser(), "Software\\Lenient", kKeyAllAccess);
  std::uint32_t type = 0;
  EXPECT_EQ(Query(key, "spaced"), "v");
  EXPECT_EQ(Query(key, "str"), "plain");
  EXPECT_EQ(Query(key, "esc"), "ABAqx");
  EXPECT_EQ(Query(key, "utf8"), "gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(Raw(key, "hex", &type), "\x01\x02\x03");
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(Raw(key, "qword", &type), std::string("\x01\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(type, 0xBu);
  EXPECT_EQ(Raw(key, "odd", &type), std::string("A\0", 2));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(Query(key, "lone"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Query(key, "trail"), "t");
  EXPECT_EQ(Raw(key, "", &type), std::string("\x2a\0\0\0", 4));

  // A change elsewhere in the block keeps every line it did not touch.
  ASSERT_EQ(reg::SetString(key, "spaced", "w"), kSuccess);
  reg::CloseKey(key);
  std::string text = ReadFile(UserReg());
  std::size_t first = body.find("; a comment");
  EXPECT_NE(text.find(body.substr(first)), std::string::npos) << text;
  EXPECT_NE(text.find("\n\"spaced\"=\"w\"\n"), std::string::npos);
}

TEST_F(RegistryTest, StringsBinaryAndDwordsAreStoredLikeWine) {
  HKey key = Create(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora");
  ASSERT_EQ(SetRaw(key, "NoZero", kRegSz, "abc"), kSuccess);
  ASSERT_EQ(SetRaw(key, "Multi", kRegMultiSz, std::string("a\0b\0\0", 5)), kSuccess);
  ASSERT_EQ(SetRaw(key, "Expand", kRegExpandSz, std::string("%TEMP%\\x\0", 9)), kSuccess);
  ASSERT_EQ(SetRaw(key, "ShowSplash", kRegBinary, std::string("\x01\0\0\0", 4)), kSuccess);
  ASSERT_EQ(SetRaw(key, "Count", kRegDword, std::string("\x05\0\0\0", 4)), kSuccess);
  ASSERT_EQ(SetRaw(key, "Latin", kRegSz, "\xFF"), kSuccess);  // not UTF-8: taken as Latin-1
  ASSERT_EQ(SetRaw(key, "Long", kRegBinary, std::string(100, '\xAB')), kSuccess);

  std::uint32_t type = 0;
  EXPECT_EQ(Raw(key, "NoZero", &type), std::string("abc\0", 4));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(Raw(key, "Multi"), std::string("a\0b\0\0", 5));
  EXPECT_EQ(Raw(key, "ShowSplash", &type), std::string("\x01\0\0\0", 4));
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(Query(key, "Latin"), "\xC3\xBF");
  EXPECT_EQ(Raw(key, "Long"), std::string(100, '\xAB'));
  reg::CloseKey(key);

  std::string text = ReadFile(UserReg());
  for (const char* line : {"\n\"NoZero\"=\"abc\"\n", "\n\"Multi\"=str(7):\"a\\0b\\0\"\n",
                           "\n\"Expand\"=str(2):\"%TEMP%\\\\x\"\n", "\n\"ShowSplash\"=hex:01,00,00,00\n",
                           "\n\"Count\"=dword:00000005\n", "\n\"Latin\"=\"\\xff\"\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  // Long hex data wraps after the comma that passes column 76.
  std::size_t at = text.find("\"Long\"=hex:");
  ASSERT_NE(at, std::string::npos);
  std::string firstLine = text.substr(at, text.find('\n', at) - at);
  EXPECT_EQ(firstLine.size(), 78u);
  EXPECT_EQ(firstLine.back(), '\\');
  EXPECT_EQ(text.substr(text.find('\n', at) + 1, 4), "  ab");
}

TEST_F(RegistryTest, EnumerationAndQueriesHonourBufferCapacities) {
  HKey key = Create(velmora::test::System().CurrentUser(), "Software\\Caps");
  ASSERT_EQ(reg::SetString(key, "Name", "abc"), kSuccess);
  reg::CloseKey(Create(key, "Child"));

  char name[16];
  std::uint8_t data[16];
  std::uint32_t nameSize = 4, dataSize = sizeof data, type = 0;
  EXPECT_EQ(reg::EnumValue(key, 0, name, &nameSize, &type, data, &dataSize),
            kMoreData);  // no room for the zero
  nameSize = 5;
  dataSize = 3;
  EXPECT_EQ(reg::EnumValue(key, 0, name, &nameSize, &type, data, &dataSize), kMoreData);
  EXPECT_EQ(dataSize, 4u);
  nameSize = 5;
  dataSize = 4;
  ASSERT_EQ(reg::EnumValue(key, 0, name, &nameSize, &type, data, &dataSize), kSuccess);
  EXPECT_EQ(std::string(name), "Name");
  EXPECT_EQ(nameSize, 4u);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataSize), std::string("abc\0", 4));
  nameSize = sizeof name;
  EXPECT_EQ(reg::EnumValue(key, 1, name, &nameSize, nullptr, nullptr, nullptr), kNoMoreItems);

  std::uint32_t needed = 0;
  EXPECT_EQ(reg::QueryValue(key, "NAME", nullptr, nullptr, &needed), kSuccess);
  EXPECT_EQ(needed, 4u);
  dataSize = 2;
  EXPECT_EQ(reg::QueryValue(key, "name", nullptr, data, &dataSize), kMoreData);
  EXPECT_EQ(dataSize, 4u);
  EXPECT_EQ(reg::QueryValue(key, "missing", nullptr, data, &dataSize), kFileNotFound);

  EXPECT_EQ(reg::EnumKey(key, 0, name, 5), kMoreData);
  ASSERT_EQ(reg::EnumKey(key, 0, name, 6), kSuccess);
  EXPECT_EQ(std::string(name), "Child");
  EXPECT_EQ(reg::EnumKey(key, 1, name, sizeof name), kNoMoreItems);
  reg::CloseKey(key);
}

TEST_F(RegistryTest, LookupsIgnoreLetterCase) {
  UseWine8Fixture();
  HKey folders = Open(velmora::test::System().LocalMachine(),
                      "SOFTWARE\\microsoft\\WINDOWS\\currentversion\\explorer\\SHELL FOLDERS\\");
  EXPECT_EQ(Query(folders, "Common Startup"),
            "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
  reg::CloseKey(folders);

  HKey key = Create(velmora::test::System().CurrentUser(), "Software\\\xC3\x84rger");  // Ärger
  ASSERT_EQ(reg::SetString(key, "\xC3\x96l", "1"), kSuccess);                          // Öl
  reg::CloseKey(key);
  key = Open(velmora::test::System().CurrentUser(), "software\\\xC3\xA4RGER", kKeyAllAccess);
  EXPECT_EQ(Query(key, "\xC3\xB6L"), "1");
  ASSERT_EQ(reg::SetString(key, "\xC3\xB6l", "2"), kSuccess);  // the same value, spelled otherwise
  EXPECT_EQ(ValueNames(key), std::vector<std::string>{"\xC3\x96l"});
  reg::CloseKey(key);
}

TEST_F(RegistryTest, KeysAreCreatedWithParentsAndDeletedWithEverythingBelow) {
  HKey missing = nullptr;
  EXPECT_EQ(reg::OpenKey(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora", kKeyAllAccess,
                         &missing),
            kFileNotFound);
  EXPECT_EQ(missing, nullptr);

  HKey profile =
      Create(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora\\Profiles\\Work\\Deep");
  ASSERT_EQ(reg::SetString(profile, "3|Foo", "C:\\foo.exe"), kSuccess);
  reg::CloseKey(profile);
  HKey profiles =
      Open(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora\\Profiles", kKeyAllAccess);
  reg::CloseKey(Create(profiles, "Home"));
  EXPECT_EQ(SubkeyNames(profiles), (std::vector<std::string>{"Home", "Work"}));

  ASSERT_EQ(reg::DeleteTree(profiles, "work"), kSuccess);
  EXPECT_EQ(SubkeyNames(profiles), std::vector<std::string>{"Home"});
  EXPECT_EQ(ReadFile(UserReg()).find("Work"), std::string::npos);
  ASSERT_EQ(reg::DeleteTree(profiles, "Home"), kSuccess);
  EXPECT_EQ(reg::DeleteTree(profiles, "Home"), kFileNotFound);
  reg::CloseKey(profiles);

  // Profiles was only implied by its subkeys; it stays a key of its own.
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  profiles = Open(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora\\Profiles");
  EXPECT_TRUE(SubkeyNames(profiles).empty());
  reg::CloseKey(profiles);
  EXPECT_EQ(reg::DeleteTree(velmora::test::System().CurrentUser(), ""), kInvalidParameter);
}

TEST_F(RegistryTest, HandlesFollowTheirKeyThroughOtherChanges) {
  HKey store = Create(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora\\DisabledTasks");
  HKey program = Open(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora", kKeyAllAccess);
  ASSERT_EQ(reg::SetString(program, "Language", "English"), kSuccess);
  ASSERT_EQ(reg::SetString(store, "3|Foo", "C:\\foo.exe"), kSuccess);
  HKey again = Create(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora\\DisabledTasks");
  ASSERT_EQ(reg::SetString(again, "0|Bar", "C:\\bar.exe"), kSuccess);
  EXPECT_EQ(ValueNames(store), (std::vector<std::string>{"0|Bar", "3|Foo"}));

  // Another program changes the file: the open handle sees it.
  std::string text = ReadFile(UserReg());
  std::size_t at = text.find("\"3|Foo\"");
  text.insert(at, "\"1|Baz\"=\"C:\\\\baz.exe\"\n");
  WriteFile(UserReg() + ".new", text);
  ASSERT_EQ(std::rename((UserReg() + ".new").c_str(), UserReg().c_str()), 0);
  EXPECT_EQ(Query(store, "1|baz"), "C:\\baz.exe");
  {
    // Within one pass of a scan the file is checked once, but a write reads it
    // again first: what the other program wrote meanwhile stays.
    files::PathLookupScope pass(velmora::test::System());
    EXPECT_EQ(Query(store, "1|baz"), "C:\\baz.exe");
    text = ReadFile(UserReg());
    text.insert(text.find("\"3|Foo\""), "\"2|Qux\"=\"C:\\\\qux.exe\"\n");
    WriteFile(UserReg() + ".new", text);
    ASSERT_EQ(std::rename((UserReg() + ".new").c_str(), UserReg().c_str()), 0);
    ASSERT_EQ(reg::SetString(store, "4|New", "C:\\new.exe"), kSuccess);
  }
  EXPECT_EQ(Query(store, "2|qux"), "C:\\qux.exe");
  EXPECT_EQ(Query(store, "4|new"), "C:\\new.exe");

  ASSERT_EQ(reg::DeleteTree(program, "DisabledTasks"), kSuccess);
  EXPECT_EQ(reg::SetString(store, "x", "y"), kFileNotFound);
  EXPECT_EQ(Query(program, "Language"), "English");
  EXPECT_EQ(reg::CloseKey(store), kSuccess);
  EXPECT_EQ(reg::CloseKey(store), kInvalidHandle);
  reg::CloseKey(again);
  reg::CloseKey(program);
}

TEST_F(RegistryTest, WritesAreAtomicAndReadingNeverRewrites) {
  UseWine8Fixture();
  ASSERT_EQ(chmod(UserReg().c_str(), 0640), 0);
  std::vector<std::string> filesBefore = FilesIn(prefix_->prefix());
  ino_t inode = Inode(UserReg());

  HKey run = Open(velmora::test::System().CurrentUser(), kRun, kKeyAllAccess);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(reg::SetString(run, "Entry" + std::to_string(i), "x"), kSuccess);
  EXPECT_EQ(FilesIn(prefix_->prefix()), filesBefore);  // no temporary file left behind
  struct stat st;
  ASSERT_EQ(stat(UserReg().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // Listing, reading and storing what is already there leave the file alone.
  inode = st.st_ino;
  timespec modified = st.st_mtim;
  ValueNames(run);
  EXPECT_EQ(Query(run, "Entry3"), "x");
  ASSERT_EQ(reg::SetString(run, "Entry3", "x"), kSuccess);
  HKey folders = Open(velmora::test::System().CurrentUser(), kShellFolders, kKeyAllAccess);
  reg::CloseKey(folders);
  ASSERT_EQ(stat(UserReg().c_str(), &st), 0);
  EXPECT_EQ(st.st_ino, inode);
  EXPECT_EQ(st.st_mtim.tv_nsec, modified.tv_nsec);
  EXPECT_EQ(st.st_mtim.tv_sec, modified.tv_sec);
  reg::CloseKey(run);
}

// A program that rewrites the file in place and puts its modification time back
// still moves its change time on: the next read sees what it wrote.
TEST_F(RegistryTest, AFileRewrittenInPlaceUnderItsOldTimeIsReadAgain) {
  UseWine8Fixture();
  HKey run = Open(velmora::test::System().CurrentUser(), kRun, kKeyAllAccess);
  ASSERT_EQ(reg::SetString(run, "Tool", "before"), kSuccess);
  EXPECT_EQ(Query(run, "Tool"), "before");
  reg::CloseKey(run);

  struct stat st;
  ASSERT_EQ(stat(UserReg().c_str(), &st), 0);
  std::string text = ReadFile(UserReg());
  const std::string written = "\"Tool\"=\"before\"";
  const std::size_t at = text.find(written);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, written.size(), "\"Tool\"=\"behind\"");
  {
    std::fstream file(UserReg(), std::ios::in | std::ios::out | std::ios::binary);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, UserReg().c_str(), times, 0), 0);
  run = Open(velmora::test::System().CurrentUser(), kRun, kKeyAllAccess);
  EXPECT_EQ(Query(run, "Tool"), "behind");
  reg::CloseKey(run);
}

TEST_F(RegistryTest, AnUnparsableHiveIsNeverWritten) {
  const std::string broken =
      std::string(kHeaderUser) + "\n[Software\\\\A] 1\n\"v\"=\"1\"\nthis is not registry text\n";
  WriteFile(UserReg(), broken);
  HKey key = nullptr;
  EXPECT_EQ(reg::OpenKey(velmora::test::System().CurrentUser(), "Software\\A", kKeyRead, &key),
            kBadRegistryFile);
  EXPECT_NE(LastErrorDetail().find(UserReg()), std::string::npos) << LastErrorDetail();
  EXPECT_NE(LastErrorDetail().find("line 8"), std::string::npos) << LastErrorDetail();
  EXPECT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), "Software\\B", &key), kBadRegistryFile);
  EXPECT_EQ(reg::SetString(velmora::test::System().CurrentUser(), "x", "y"), kBadRegistryFile);
  EXPECT_EQ(reg::DeleteTree(velmora::test::System().CurrentUser(), "Software\\A"), kBadRegistryFile);
  EXPECT_EQ(ReadFile(UserReg()), broken);

  // The machine hive is unaffected, and a repaired file is read again.
  HKey nt = Open(velmora::test::System().LocalMachine(), "Software\\Microsoft\\Windows NT\\CurrentVersion");
  reg::CloseKey(nt);
  WriteFile(UserReg(), std::string(kHeaderUser) + "\n[Software\\\\A] 1\n\"v\"=\"1\"\n");
  key = Open(velmora::test::System().CurrentUser(), "Software\\A");
  EXPECT_EQ(Query(key, "v"), "1");
  reg::CloseKey(key);

  WriteFile(UserReg(), "WINE REGISTRY Version 1\n");
  EXPECT_EQ(reg::OpenKey(velmora::test::System().CurrentUser(), "Software", kKeyRead, &key),
            kBadRegistryFile);
}

// A hive whose last line has no newline (cut by an editor or a full disk of some
// other program): what a change adds after it starts on a line of its own, and a
// value of hex lines that runs to the end of the file keeps its bytes.
TEST_F(RegistryTest, AFileWithoutANewlineAtItsEndTakesChangesOnLinesOfTheirOwn) {
  const std::string cut = std::string(kHeaderUser) + "\n[Software\\\\A] 1\n\"bin\"=hex:01,02,\\\n  03,04";
  WriteFile(UserReg(), cut);
  HKey key = Create(velmora::test::System().CurrentUser(), "Software\\Z");
  ASSERT_EQ(reg::SetString(key, "v", "after"), kSuccess);
  reg::CloseKey(key);
  std::string text = ReadFile(UserReg());
  EXPECT_EQ(text.rfind(cut + "\n", 0), 0u) << text;
  formats::Hive hive;
  formats::HiveParseError error;
  ASSERT_TRUE(hive.Parse(text, &error)) << error.line << ": " << error.message << "\n" << text;
  key = Open(velmora::test::System().CurrentUser(), "Software\\A");
  EXPECT_EQ(Raw(key, "bin"), std::string("\x01\x02\x03\x04"));
  reg::CloseKey(key);
  key = Open(velmora::test::System().CurrentUser(), "Software\\Z");
  EXPECT_EQ(Query(key, "v"), "after");
  reg::CloseKey(key);
}

TEST_F(RegistryTest, AMissingHiveFileIsWrittenOnTheFirstChange) {
  ASSERT_EQ(unlink(UserReg().c_str()), 0);
  HKey key = nullptr;
  EXPECT_EQ(reg::OpenKey(velmora::test::System().CurrentUser(), "Software", kKeyRead, &key), kFileNotFound);
  EXPECT_EQ(Inode(UserReg()), 0u);  // reading creates nothing
  key = Create(velmora::test::System().CurrentUser(), "Software\\Orlinsk\\Velmora");
  reg::CloseKey(key);
  std::string text = ReadFile(UserReg());
  EXPECT_EQ(text.substr(0, std::string(kHeaderUser).size()), kHeaderUser);
  EXPECT_TRUE(
      std::regex_search(text, std::regex("\n\\[Software\\\\\\\\Orlinsk\\\\\\\\Velmora\\] [0-9]+\n#time=")))
      << text;
}

TEST_F(RegistryTest, AReadOnlyMachineHiveDeniesWriteAccess) {
  const std::string machine = ReadFile(SystemReg());
  ASSERT_EQ(chmod(SystemReg().c_str(), 0444), 0);
  HKey key = nullptr;
  EXPECT_EQ(reg::OpenKey(velmora::test::System().LocalMachine(), kRun, kKeyAllAccess, &key), kAccessDenied);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(reg::CreateKey(velmora::test::System().LocalMachine(), "Software\\New", &key), kAccessDenied);

  key = Open(velmora::test::System().LocalMachine(), kRun, kKeyRead);
  EXPECT_EQ(reg::SetString(key, "x", "y"), kAccessDenied);
  reg::CloseKey(key);
  key = Create(velmora::test::System().LocalMachine(), kRun);  // exists: opens for reading only
  EXPECT_EQ(reg::SetString(key, "x", "y"), kAccessDenied);
  reg::CloseKey(key);
  EXPECT_EQ(reg::SetString(velmora::test::System().LocalMachine(), "x", "y"), kAccessDenied);
  EXPECT_EQ(ReadFile(SystemReg()), machine);

  key = Open(velmora::test::System().CurrentUser(), kRun, kKeyAllAccess);  // the user's hive stays writable
  EXPECT_EQ(reg::SetString(key, "x", "y"), kSuccess);
  reg::CloseKey(key);
}

TEST_F(RegistryTest, ARunningWineserverBlocksWritesButNotReading) {
  if (!velmora::test::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  HKey run = Open(velmora::test::System().CurrentUser(), kRun, kKeyAllAccess);
  ASSERT_EQ(RunCommand("WINEDEBUG=-all wineserver -p"), 0);
  int pid = 0;
  for (int i = 0; i < 100 && !velmora::test::WineServerRunning(&pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(velmora::test::WineServerRunning(&pid));
  ASSERT_GT(pid, 0);

  std::string user = ReadFile(UserReg());
  EXPECT_EQ(reg::SetString(run, "Velmora", "C:\\v.exe"), kSharingViolation);
  EXPECT_NE(LastErrorDetail().find("wineserver (pid " + std::to_string(pid) + ")"), std::string::npos)
      << LastErrorDetail();
  EXPECT_NE(LastErrorDetail().find("wineserver -k"), std::string::npos);
  HKey created = nullptr;
  EXPECT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), "Software\\Orlinsk", &created),
            kSharingViolation);
  EXPECT_EQ(ReadFile(UserReg()), user);
  HKey folders = Open(velmora::test::System().CurrentUser(), kShellFolders, kKeyAllAccess);
  EXPECT_NE(Query(folders, "Startup").find("StartUp"), std::string::npos);
  reg::CloseKey(folders);

  RunCommand("wineserver -k; wineserver -w");
  for (int i = 0; i < 100 && velmora::test::WineServerRunning(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(reg::SetString(run, "Velmora", "C:\\v.exe"), kSuccess) << LastErrorDetail();
  reg::CloseKey(run);
}

// A prefix that Wine itself made: the whole machine hive of well over a
// megabyte goes through unchanged, and a change touches one block only.
TEST_F(RegistryTest, AFreshWinePrefixSurvivesAChangeByteForByte) {
  if (!velmora::test::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  TempDir wine;
  std::string dir = wine.path() + "/prefix";
  ASSERT_EQ(RunCommand("WINEPREFIX='" + dir +
                       "' WINEDEBUG=-all DISPLAY= wineboot --init >/dev/null 2>&1; WINEPREFIX='" + dir +
                       "' wineserver -w"),
            0);
  std::string machine = ReadFile(dir + "/system.reg");
  ASSERT_GT(machine.size(), 500000u);
  formats::Hive hive;
  formats::HiveParseError error;
  ASSERT_TRUE(hive.Parse(machine, &error)) << error.line << " " << error.message;
  EXPECT_EQ(hive.Serialize(), machine);

  setenv("WINEPREFIX", dir.c_str(), 1);
  velmora::test::ResetPrefixForTesting();
  ASSERT_EQ(velmora::test::InitPrefix(), kSuccess);
  HKey key = Create(velmora::test::System().LocalMachine(), kRun);
  ASSERT_EQ(reg::SetString(key, "Velmora", "C:\\v.exe"), kSuccess);
  reg::CloseKey(key);
  // Wine's own Run key (or a new one in Wine's place for it) holds the value;
  // every other block is as Wine wrote it.
  std::vector<std::string> before = Blocks(machine), after = Blocks(ReadFile(dir + "/system.reg"));
  auto isRun = [](const std::string& block) {
    return block.find("\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run] ") == 0;
  };
  auto run = std::find_if(after.begin(), after.end(), isRun);
  ASSERT_NE(run, after.end());
  EXPECT_NE(run->find("\n\"Velmora\"=\"C:\\\\v.exe\"\n"), std::string::npos) << *run;
  std::erase_if(before, isRun);
  std::erase_if(after, isRun);
  EXPECT_TRUE(after == before);
  velmora::test::ResetPrefixForTesting();
}

}  // namespace
