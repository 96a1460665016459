// The index of a checked registry file, kept and taken back: the hive it gives is
// the one a check gives, and it is refused for any other text or when damaged.
#include "formats/registry_index.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace formats {
namespace {

// Every key with its values, and the text written back.
std::string Dump(Hive& hive) {
  std::string out;
  auto walk = [&](auto& self, HiveNode* node) -> void {
    for (HiveNode* child : node->Subkeys()) {
      out += std::string(child->name.begin(), child->name.end()) + "{";
      for (const HiveValue* value : hive.Values(child))
        out += std::string(value->name.begin(), value->name.end()) + "=" + value->data + ";";
      self(self, child);
      out += "}";
    }
  };
  walk(walk, hive.Root());
  return out + "\n" + hive.Serialize();
}

// Wine's own file, with what such files may also hold: a path that is not plain,
// a key whose lines come twice, blank lines and comments, a trailer.
std::string Sample() {
  return velmora::test::ReadFile(velmora::test::SourcePath("tests/fixtures/wine8/system.reg")) +
         "\n\n[Software\\\\Caf\\xe9\\\\Menu] 1733650000\n\"Item\"=\"one\"\n"
         "\n[Software\\\\Wine] 1733650001\n\"Later\"=dword:00000002\n\n;; the end\n";
}

TEST(HiveIndex, AKeptIndexGivesTheHiveTheCheckGives) {
  const std::string text = Sample();
  Hive checked;
  HiveIndex found;
  HiveParseError error;
  ASSERT_TRUE(checked.ParseOwned(std::string(text), &error, nullptr, &found)) << error.message;
  ASSERT_GT(found.keys.size(), 15u);
  const std::string bytes = EncodeHiveIndex(found, "stamp", text.size());
  EXPECT_LT(bytes.size(), found.keys.size() * 10);  // a few bytes a key, not the 24 held

  HiveIndex taken;
  ASSERT_TRUE(DecodeHiveIndex(bytes, "stamp", text, &taken));
  ASSERT_EQ(taken.keys.size(), found.keys.size());
  for (std::size_t k = 0; k < found.keys.size(); ++k) {
    const HiveKeyLine& a = found.keys[k];
    const HiveKeyLine& b = taken.keys[k];
    EXPECT_TRUE(a.lineStart == b.lineStart && a.pathStart == b.pathStart && a.pathEnd == b.pathEnd &&
                a.bodyStart == b.bodyStart && a.bodyEnd == b.bodyEnd && a.plain == b.plain)
        << "key line " << k;
  }
  Hive adopted;
  adopted.AdoptChecked(std::string(text), std::move(taken));
  EXPECT_NE(adopted.Find({u"Software", u"Caf\u00e9", u"Menu"}), nullptr);
  EXPECT_EQ(Dump(adopted), Dump(checked));
}

TEST(HiveIndex, RefusedForAnotherTextStampOrDamage) {
  const std::string text = Sample();
  Hive hive;
  HiveIndex found;
  HiveParseError error;
  ASSERT_TRUE(hive.ParseOwned(std::string(text), &error, nullptr, &found));
  const std::string bytes = EncodeHiveIndex(found, "stamp", text.size());
  HiveIndex out;
  EXPECT_FALSE(DecodeHiveIndex(bytes, "other stamp", text, &out));
  EXPECT_FALSE(DecodeHiveIndex(bytes, "stamp", text + "\n", &out));
  // The same size, the key lines moved by one byte.
  std::string moved = text;
  moved.erase(moved.find("\n[") + 1, 1);
  moved.insert(moved.rfind("\n[") + 1, "\n");
  ASSERT_EQ(moved.size(), text.size());
  EXPECT_FALSE(DecodeHiveIndex(bytes, "stamp", moved, &out));
  // Every byte spoiled in turn, and every length cut short.
  for (std::size_t at = 0; at < bytes.size(); at += 7) {
    std::string spoiled = bytes;
    spoiled[at] = static_cast<char>(spoiled[at] ^ 0x20);
    EXPECT_FALSE(DecodeHiveIndex(spoiled, "stamp", text, &out)) << "byte " << at;
    EXPECT_FALSE(DecodeHiveIndex(bytes.substr(0, at), "stamp", text, &out)) << "cut at " << at;
  }
  EXPECT_FALSE(DecodeHiveIndex(bytes + "x", "stamp", text, &out));
}

}  // namespace
}  // namespace formats
