#include "platform/version_resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "entries/module_version.h"
#include "platform/files.h"
#include "tests/support/pe_builder.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
namespace version = platform::version;

std::string Fixture(const std::string& name) {
  return platform::files::WindowsPathFromHost(velmora::test::System(), test::FixturePath(name));
}

std::vector<std::uint8_t> Block(const std::string& path) {
  std::vector<std::uint8_t> block;
  std::uint32_t size = version::InfoSize(velmora::test::System(), path);
  EXPECT_GT(size, 0u) << path;
  EXPECT_TRUE(version::ReadInfo(velmora::test::System(), path, size, &block)) << path;
  return block;
}

// The string at |sub|, checked to end with its zero; "<none>" when the query fails.
std::string Text(const std::vector<std::uint8_t>& block, const std::string& sub) {
  const void* value = nullptr;
  std::uint32_t length = 0;
  if (!version::QueryValue(block, sub, &value, &length)) return "<none>";
  if (length == 0) return "";
  const char* text = static_cast<const char*>(value);
  EXPECT_EQ(text[length - 1], '\0') << sub;
  return std::string(text, length - 1);
}

std::vector<std::uint32_t> Dwords(const std::vector<std::uint8_t>& block, const std::string& sub) {
  const void* value = nullptr;
  std::uint32_t length = 0;
  if (!version::QueryValue(block, sub, &value, &length)) return {};
  std::vector<std::uint32_t> out(length / 4);
  if (!out.empty()) std::memcpy(out.data(), value, out.size() * 4);
  return out;
}

// Replaces every occurrence of |from| by |to| (same length) in a file's bytes.
std::string Patched(std::string bytes, const std::string& from, const std::string& to) {
  for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1)) {
    bytes.replace(at, to.size(), to);
  }
  return bytes;
}

std::string Wide(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

class VersionResourceTest : public ::testing::Test {
 protected:
  test::TempPrefix prefix_;
  // Writes |bytes| to C:\<name> in the prefix and returns its Windows path.
  std::string Put(const std::string& name, const std::string& bytes) {
    test::WriteFile(prefix_.HostPath("drive_c/" + name), bytes);
    return "C:\\" + name;
  }
};

TEST_F(VersionResourceTest, FixedRecordTranslationsAndStrings) {
  std::vector<std::uint8_t> block = Block(Fixture("version_app.exe"));

  std::vector<std::uint32_t> fixed = Dwords(block, "\\");
  ASSERT_EQ(fixed.size(), 13u);
  EXPECT_EQ(fixed[0], 0xFEEF04BDu);
  EXPECT_EQ(fixed[2], 0x00030001u);  // 3.1
  EXPECT_EQ(fixed[3], 0x0004000Fu);  // 4.15

  EXPECT_EQ(Dwords(block, "\\VarFileInfo\\Translation"),
            (std::vector<std::uint32_t>{0x04B00409u, 0x04E40407u}));

  // Upper-case table key, lower-case query; UTF-16 text comes back as UTF-8.
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\CompanyName"), "Société Ünïcode ™ 日本");
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\FileVersion"), "3.1.4.15");
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\InternalName"), "verapp");  // stored lower-case
  EXPECT_EQ(Text(block, "\\STRINGFILEINFO\\040904B0\\PRODUCTNAME"), "Version Fixture Suite");
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\LegalCopyright"), "");
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040704E4\\FileDescription"), "Hilfsprogramm für Versionen");
  // Empty components are skipped, as the system does.
  EXPECT_EQ(Text(block, "\\\\StringFileInfo\\\\040904b0\\FileVersion\\"), "3.1.4.15");
  EXPECT_EQ(Text(block, "StringFileInfo\\040904b0\\FileVersion"), "3.1.4.15");
}

TEST_F(VersionResourceTest, MissingOrPartialComponentsFail) {
  std::vector<std::uint8_t> block = Block(Fixture("version_app.exe"));
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\Comments"), "<none>");
  EXPECT_EQ(Text(block, "\\StringFileInfo\\04090000\\FileVersion"), "<none>");
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b\\FileVersion"), "<none>");  // a prefix of the key
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\FileVersionX"), "<none>");
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040704e4\\CompanyName"), "<none>");  // other table only
  const void* value = nullptr;
  std::uint32_t length = 7;
  EXPECT_FALSE(version::QueryValue({}, "\\", &value, &length));
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(length, 0u);
}

TEST_F(VersionResourceTest, StringsStayValidWhileTheBlockIsUnchanged) {
  std::vector<std::uint8_t> block = Block(Fixture("version_app.exe"));
  const void* first = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(version::QueryValue(block, "\\StringFileInfo\\040904b0\\FileDescription", &first, &length));
  for (const char* name : ModuleVersion::kFieldNames)
    Text(block, std::string("\\StringFileInfo\\040904b0\\") + name);
  EXPECT_STREQ(static_cast<const char*>(first), "Version Fixture Helper");
  const auto* begin = block.data();
  EXPECT_TRUE(first >= begin && first < begin + block.size());

  // A copy of the block answers from its own bytes.
  std::vector<std::uint8_t> copy = block;
  const void* inCopy = nullptr;
  ASSERT_TRUE(version::QueryValue(copy, "\\StringFileInfo\\040904b0\\FileDescription", &inCopy, &length));
  EXPECT_TRUE(inCopy >= copy.data() && inCopy < copy.data() + copy.size());
  block.clear();
  EXPECT_STREQ(static_cast<const char*>(inCopy), "Version Fixture Helper");
}

TEST_F(VersionResourceTest, ASmallerSizeCutsTheBlock) {
  std::string path = Fixture("version_app.exe");
  std::uint32_t size = version::InfoSize(velmora::test::System(), path);
  std::vector<std::uint8_t> block;
  ASSERT_TRUE(version::ReadInfo(velmora::test::System(), path, 100, &block));
  EXPECT_EQ(block.size(), 100u);
  EXPECT_EQ(Dwords(block, "\\").size(), 13u);  // the fixed record lies in the first 100 bytes
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\FileVersion"), "<none>");
  for (std::uint32_t cut = 1; cut < size; cut += 7) {
    ASSERT_TRUE(version::ReadInfo(velmora::test::System(), path, cut, &block));
    Text(block, "\\StringFileInfo\\040904b0\\CompanyName");
    Dwords(block, "\\VarFileInfo\\Translation");
  }
  EXPECT_FALSE(version::ReadInfo(velmora::test::System(), path, 0, &block));
}

TEST_F(VersionResourceTest, FilesWithoutAVersionResource) {
  std::vector<std::string> paths = {Fixture("plain_app.exe"),
                                    Fixture("strings_app.exe"),
                                    Fixture("app.ico"),
                                    Put("notes.txt", "MZ but not really"),
                                    "C:\\missing.exe",
                                    "C:\\",
                                    "",
                                    "Q:\\no\\such\\drive.exe"};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_EQ(version::InfoSize(velmora::test::System(), path), 0u);
    std::vector<std::uint8_t> block;
    EXPECT_FALSE(version::ReadInfo(velmora::test::System(), path, 4096, &block));
    ModuleVersion version;
    EXPECT_FALSE(version.ReadVersionInfo(velmora::test::System(), path));
  }
}

TEST_F(VersionResourceTest, ModuleVersionReadsTheFirstTranslation) {
  ModuleVersion version;
  ASSERT_TRUE(version.ReadVersionInfo(velmora::test::System(), Fixture("version_app.exe")));
  EXPECT_EQ(version.language, 0x409);
  EXPECT_EQ(version.codePage, 1200);
  EXPECT_EQ(version.GetVersionString("FileDescription"), "Version Fixture Helper");

  ASSERT_TRUE(version.ReadVersionInfo(velmora::test::System(), Fixture("german_dll.dll")));
  EXPECT_EQ(version.language, 0x407);
  EXPECT_EQ(version.codePage, 1252);
  EXPECT_EQ(version.GetVersionString("FileDescription"), "Bibliothek für Tests");
  EXPECT_EQ(version.GetVersionString("ProductName"), "Prüfstand");
  EXPECT_EQ(version.GetVersionString("CompanyName"), "");
}

TEST_F(VersionResourceTest, WrongSignatureAndOtherLetterCaseInKeys) {
  std::string bytes = test::ReadFile(test::FixturePath("version_app.exe"));
  std::string signature("\xBD\x04\xEF\xFE", 4);
  ASSERT_NE(bytes.find(signature), std::string::npos);

  std::string wrong = Put("wrong.exe", Patched(bytes, signature, std::string("\xBD\x04\xEF\x00", 4)));
  ModuleVersion version;
  EXPECT_FALSE(version.ReadVersionInfo(velmora::test::System(), wrong));
  EXPECT_TRUE(version.hasBlock);  // the block was read; only its record is wrong
  EXPECT_EQ(Text(version.versionBlock, "\\StringFileInfo\\040904b0\\FileVersion"), "3.1.4.15");

  std::string lower = Patched(Patched(bytes, Wide("StringFileInfo"), Wide("stringfileinfo")),
                              Wide("VarFileInfo"), Wide("VARFILEINFO"));
  std::vector<std::uint8_t> block = Block(Put("lower.exe", lower));
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\FileVersion"), "3.1.4.15");
  EXPECT_EQ(Dwords(block, "\\VarFileInfo\\Translation").size(), 2u);
}

TEST_F(VersionResourceTest, Pe32ImagesAndStringsOfTypeZero) {
  // The resource as windres stored it, moved into a 32-bit image.
  std::vector<std::uint8_t> original = Block(Fixture("version_app.exe"));
  std::size_t resourceSize = original[0] | (original[1] << 8);
  std::string resource(original.begin(), original.begin() + resourceSize);
  std::vector<std::uint8_t> block =
      Block(Put("pe32.exe", test::BuildPe(false, {{16, u"", 1, 0x409, resource}})));
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\CompanyName"), "Société Ünïcode ™ 日本");

  // A string whose type is 0 and whose length counts bytes.
  auto node = [](const std::u16string& key, std::uint16_t type, const std::string& value,
                 const std::string& children) {
    std::string out;
    test::PutLe(&out, 0, 2);
    test::PutLe(&out, static_cast<std::uint32_t>(value.size()), 2);
    test::PutLe(&out, type, 2);
    for (char16_t c : key) test::PutLe(&out, c, 2);
    test::PutLe(&out, 0, 2);
    while (out.size() % 4) out.push_back(0);
    out += value;
    while (out.size() % 4) out.push_back(0);
    out += children;
    test::PatchLe(&out, 0, static_cast<std::uint32_t>(out.size()), 2);
    return out;
  };
  std::string fixedRecord(52, '\0');
  test::PatchLe(&fixedRecord, 0, 0xFEEF04BD, 4);
  std::string value = Wide("Old Writer") + std::string(2, '\0');
  std::string tree =
      node(u"VS_VERSION_INFO", 0, fixedRecord,
           node(u"StringFileInfo", 1, "", node(u"040904E4", 1, "", node(u"ProductName", 0, value, ""))));
  block = Block(Put("typezero.dll", test::BuildPe(true, {{16, u"", 1, 0x409, tree}})));
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904e4\\ProductName"), "Old Writer");
  EXPECT_EQ(Dwords(block, "\\")[0], 0xFEEF04BDu);
}

}  // namespace
}  // namespace velmora
