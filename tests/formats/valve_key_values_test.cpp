// Valve's key-value text as Steam writes it, and text that is not well formed.
#include "formats/valve_key_values.h"

#include <gtest/gtest.h>

namespace formats {
namespace {

TEST(ValveKeyValues, ReadsSteamsLibraryListAsWritten) {
  // A libraryfolders.vdf of Steam on Windows: tabs, escaped backslashes, a nested
  // section per library; keys are looked up without regard to case.
  const std::string text =
      "\xEF\xBB\xBF\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"C:\\\\Program Files "
      "(x86)\\\\Steam\"\n"
      "\t\t\"label\"\t\t\"\"\n\t\t\"contentid\"\t\t\"7364829501928374650\"\n\t\t\"apps\"\n\t\t{\n"
      "\t\t\t\"228980\"\t\t\"448284541\"\n\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"D:\\\\Games\\\\Steam "
      "\\\"Two\\\"\"\n"
      "\t}\n}\n";
  std::vector<KeyValue> roots;
  std::string error;
  ASSERT_TRUE(ParseKeyValues(text, &roots, &error)) << error;
  ASSERT_EQ(roots.size(), 1u);
  const KeyValue& folders = roots[0];
  EXPECT_TRUE(folders.isSection);
  ASSERT_EQ(folders.children.size(), 2u);
  EXPECT_EQ(folders.children[0].ValueOf("PATH"), "C:\\Program Files (x86)\\Steam");
  EXPECT_EQ(folders.children[0].ValueOf("label"), "");
  ASSERT_NE(folders.children[0].Find("apps"), nullptr);
  EXPECT_EQ(folders.children[0].Find("apps")->ValueOf("228980"), "448284541");
  EXPECT_EQ(folders.children[0].ValueOf("apps"), "") << "a section has no value";
  EXPECT_EQ(folders.children[1].ValueOf("path"), "D:\\Games\\Steam \"Two\"");
  EXPECT_EQ(folders.Find("2"), nullptr);
}

TEST(ValveKeyValues, BareWordsCommentsConditionsAndEscapes) {
  const std::string text =
      "// written by hand\n"
      "AppState {\n"
      "  appid 620 // Portal 2\n"
      "  \"name\" \"Portal 2\" [$WIN32]\n"
      "  \"line\" \"a\\nb\\tc\\q\"\n"
      "  \"empty\" {}\n"
      "}\n"
      "Second{key value}";
  std::vector<KeyValue> roots;
  ASSERT_TRUE(ParseKeyValues(text, &roots));
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_EQ(roots[0].ValueOf("appid"), "620");
  EXPECT_EQ(roots[0].ValueOf("name"), "Portal 2");
  EXPECT_EQ(roots[0].ValueOf("line"), "a\nb\tc\\q") << "an unknown escape stays as written";
  ASSERT_NE(roots[0].Find("empty"), nullptr);
  EXPECT_TRUE(roots[0].Find("empty")->isSection);
  EXPECT_EQ(roots[1].ValueOf("key"), "value");
  EXPECT_TRUE(ParseKeyValues("", &roots));
  EXPECT_TRUE(roots.empty());
}

TEST(ValveKeyValues, DamagedTextIsRefusedWithItsLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"\"a\"\n{\n\"b\" \"unterminated\n}\n", "line 3"},
      {"\"a\" { \"b\" \"c\" ", "ends inside a section"},
      {"\"a\" \"b\" }", "closes no section"},
      {"{ \"a\" \"b\" }", "without a key"},
      {"\"a\" { \"b\" }", "has no value"},
      {"\"lonely\"", "has no value"},
  };
  for (const Case& c : cases) {
    std::vector<KeyValue> roots = {KeyValue{}};
    std::string error;
    EXPECT_FALSE(ParseKeyValues(c.text, &roots, &error)) << c.text;
    EXPECT_TRUE(roots.empty());
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
  }
  // Nesting: the limit is accepted, one more level is refused (and no deep
  // recursion happens on a text of many thousand braces).
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "k {";
    for (int i = 0; i < depth; ++i) text += "}";
    return text;
  };
  std::vector<KeyValue> roots;
  EXPECT_TRUE(ParseKeyValues(nested(kMaxKeyValueDepth), &roots));
  EXPECT_FALSE(ParseKeyValues(nested(kMaxKeyValueDepth + 1), &roots));
  EXPECT_FALSE(ParseKeyValues(nested(100000), &roots));
}

}  // namespace
}  // namespace formats
