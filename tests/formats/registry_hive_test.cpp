// The hive text parser: every line is checked when the file is read, even in keys
// whose values are decoded only when asked for; merges and round trips.
#include "formats/registry_hive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "formats/registry_lexing.h"
#include "tests/support/test_support.h"

namespace formats {
namespace {

const std::string kHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1\n\n#arch=win64\n";

std::string Utf16(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) bytes += {c, '\0'};
  return bytes + std::string(2, '\0');
}

TEST(HiveParse, EveryMalformedValueFailsTheParseWhereverItStands) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"\"v\"=foo:1", "unknown value type"},
      {"\"v\"=", "unknown value type"},
      {"\"v\"=\"unterminated", "unterminated string"},
      {"\"v\"=hex:1ff", "malformed hex data"},
      {"\"v\"=hex:01,zz", "malformed hex data"},
      {"\"v\"=hex(x):01", "malformed hex type"},
      {"\"v\"=hex:01,\\", "hex data continued past the end of the file"},
      {"\"v\" \"1\"", "malformed value name"},
      {"\"v=\"1\"", "malformed value name"},
  };
  // The bad value sits in a key that nothing asks for, after a good one: one of
  // the usual form, or one of a rarer form that the full value reader checks.
  for (const char* before : {"\"x\"=dword:1", "\"x\"=hex:0x1f,02"}) {
    for (const Case& c : cases) {
      std::string text = kHeader + "\n[A] 1\n\"ok\"=\"1\"\n\n[B] 1\n" + before + "\n" + c.line + "\n";
      if (std::string(c.message).find("past the end") != std::string::npos) text.pop_back();
      Hive hive;
      HiveParseError error;
      EXPECT_FALSE(hive.Parse(text, &error)) << before << " / " << c.line;
      EXPECT_EQ(error.message, c.message) << before << " / " << c.line;
      EXPECT_EQ(error.line, 11) << before << " / " << c.line;
      EXPECT_EQ(hive.BlockCount(), 0u) << before << " / " << c.line;
    }
  }
}

TEST(HiveParse, UnusualButValidFormsAreRead) {
  const std::string text = kHeader +
                           "\n[Software\\\\Forms] 1\n"
                           "\"0x\"=hex:0x1f,02\n"  // a number with its 0x prefix
                           "\"spaced\"=hex:01 , 02\n"
                           "\"\\x0041b\"=\"escaped name\"\n"
                           "\"multi\"=hex(7):41,00,\\\n  00,00\n";
  Hive hive;
  HiveParseError error;
  ASSERT_TRUE(hive.Parse(text, &error)) << error.message << " at " << error.line;
  HiveNode* node = hive.Find({u"software", u"FORMS"});
  ASSERT_NE(node, nullptr);
  ASSERT_NE(hive.FindValue(node, u"0x"), nullptr);
  EXPECT_EQ(hive.FindValue(node, u"0x")->data, std::string("\x1f\x02"));
  EXPECT_EQ(hive.FindValue(node, u"spaced")->data, std::string("\x01\x02"));
  EXPECT_NE(hive.FindValue(node, u"ab"), nullptr);
  EXPECT_EQ(hive.FindValue(node, u"multi")->data, std::string("A\0\0\0", 4));
  EXPECT_EQ(hive.Serialize(), text);
}

TEST(HiveParse, RepeatedValuesAndKeysMergeAsWineMergesThem) {
  const std::string text = kHeader +
                           "\n[A] 1\n\"v\"=\"first\"\n\"V\"=\"second\"\n"
                           "\n[B] 1\n\"b\"=\"1\"\n"
                           "\n[a] 2\n\"w\"=\"third\"\n";
  Hive hive;
  HiveParseError error;
  ASSERT_TRUE(hive.Parse(text, &error)) << error.message;
  EXPECT_EQ(hive.BlockCount(), 2u);
  HiveNode* a = hive.Find({u"A"});
  ASSERT_NE(a, nullptr);
  std::vector<const HiveValue*> values = hive.Values(a);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0]->name, u"v");
  EXPECT_EQ(values[0]->data, Utf16("second"));
  EXPECT_EQ(values[1]->name, u"w");
  // The later data is written under the first spelling; the lines of the repeated
  // key join the first block and its key line goes.
  EXPECT_EQ(hive.Serialize(), kHeader + "\n[A] 1\n\"v\"=\"second\"\n\"w\"=\"third\"\n\n[B] 1\n\"b\"=\"1\"\n");
}

TEST(HiveParse, TextComesBackByteForByteAskedForOrNot) {
  const std::string text = kHeader +
                           "\r\n\n[Software\\\\A] 1700000000\r\n#time=1d9\r\n\"s\"=\"x\"\r\n\n"
                           "; note\n\"h\"=hex:01,02,\\\n  03\n@=dword:00000001\n"
                           "\n\n[Software\\\\A\\\\Sub] 1\n\"e\"=str(2):\"%SystemRoot%\"\n\n\n";
  for (bool ask : {false, true}) {
    Hive hive;
    HiveParseError error;
    ASSERT_TRUE(hive.Parse(text, &error)) << error.message;
    if (ask) {
      EXPECT_EQ(hive.Values(hive.Find({u"Software", u"A"})).size(), 3u);
      EXPECT_EQ(hive.Values(hive.Find({u"Software", u"A", u"Sub"})).size(), 1u);
    }
    EXPECT_EQ(hive.Serialize(), text) << (ask ? "decoded" : "as read");
  }
  // A change rewrites its own block only.
  Hive hive;
  HiveParseError error;
  ASSERT_TRUE(hive.Parse(text, &error));
  HiveNode* sub = hive.Find({u"Software", u"A", u"Sub"});
  hive.SetValue(sub, u"n", 4, std::string("\x02\0\0\0", 4));
  std::string written = hive.Serialize();
  EXPECT_EQ(written.substr(0, text.find("[Software\\\\A\\\\Sub]")),
            text.substr(0, text.find("[Software\\\\A\\\\Sub]")));
  EXPECT_NE(written.find("\"n\"=dword:00000002\n"), std::string::npos) << written;
}

// A repeated value name is found among many values of a key as among few.
TEST(HiveParse, RepeatedValueAmongManyMerges) {
  for (std::size_t count : {3u, 12u}) {
    std::string lines;
    for (std::size_t i = 0; i < count; ++i)
      lines += "\"value" + std::to_string(i) + "\"=\"" + std::to_string(i) + "\"\n";
    const std::string distinct = kHeader + "\n[K] 1\n" + lines;
    // Spelt with an escape: the names compare by what they decode to.
    const std::string repeated = distinct + "\"\\x56\\x41LUE1\"=\"again\"\n";
    Hive hive;
    HiveParseError error;
    ASSERT_TRUE(hive.Parse(distinct, &error)) << error.message;
    EXPECT_EQ(hive.Values(hive.Find({u"K"})).size(), count);
    EXPECT_EQ(hive.Serialize(), distinct);
    ASSERT_TRUE(hive.Parse(repeated, &error)) << error.message;
    std::vector<const HiveValue*> values = hive.Values(hive.Find({u"K"}));
    ASSERT_EQ(values.size(), count) << count;
    EXPECT_EQ(values[1]->name, u"value1");
    EXPECT_EQ(values[1]->data, Utf16("again"));
    EXPECT_NE(hive.Serialize(), repeated);
  }
}

// Forms of hex and string data at the edges of what is read: each is read to
// the bytes it stands for or refused with its reason.
TEST(HiveParse, HexAndStringDataAtTheEdgesOfTheirForms) {
  struct Case {
    std::string value;  // the text after "v"=
    std::string data;   // empty with a message: refused
    std::string message;
  };
  const Case cases[] = {
      {"hex:5a,5b,5c", "\x5a\x5b\x5c", ""},
      {"hex:5a,5b,", "\x5a\x5b", ""},
      {"hex:5a,5b,\\\n  5c", "\x5a\x5b\x5c", ""},
      {"hex:5a,5b\\\n  ,5c", "", "malformed hex data"},
      {"hex:5a,\\\n  5b,\\\n  5c", "\x5a\x5b\x5c", ""},
      {"hex:5a,,5b", "", "malformed hex data"},
      {"hex:5,5b", "\x05\x5b", ""},
      {"hex:5a5,5b", "", "malformed hex data"},
      {"hex:5a;5b", "", "malformed hex data"},
      {"hex:5a,5g", "", "malformed hex data"},
      {"hex:000ff,0x0a,0X1", "\xff\x0a\x01", ""},  // as strtoul reads numbers
      {"hex:0x100", "", "malformed hex data"},
      {"hex:0x,01", "", "malformed hex data"},
      {"dword:1f", std::string("\x1f\0\0\0", 4), ""},
      {"hex(7):41,00,00,00", std::string("A\0\0\0", 4), ""},
      // Longer than one step of the checks of many bytes at once.
      {"hex:00,01,02,03,04, 05,06,\\\n  07", std::string("\0\1\2\3\4\5\6\7", 8), ""},
      {"hex:00,01,0g,03,04,05,06,07", "", "malformed hex data"},
      {"hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11;12", "", "malformed hex data"},
      {"\"C:\\\\dir\\\\a b\\n\"", Utf16("C:\\dir\\a b\n"), ""},  // a plain start, then an escape
      {"\"a\\\\\"", Utf16("a\\"), ""},
      {"\"a\\\\\\\"b\"", Utf16("a\\\"b"), ""},
      {"\"a\\\\\\\\\"", Utf16("a\\\\"), ""},
      {"\"\\\"\\\"\"", Utf16("\"\""), ""},
      {"\"a\\\\\\\"", "", "unterminated string"},
      {"\"a\\\"\"\"", Utf16("a\""), ""},
      {std::string("\"a\\\"\0\"", 6), "", "unterminated string"},
  };
  for (const Case& c : cases) {
    std::string text = kHeader + "\n[K] 1\n\"v\"=" + c.value + "\n";
    Hive hive;
    HiveParseError error;
    bool parsed = hive.Parse(text, &error);
    if (!c.message.empty()) {
      EXPECT_FALSE(parsed) << c.value;
      EXPECT_EQ(error.message, c.message) << c.value;
      continue;
    }
    ASSERT_TRUE(parsed) << c.value << ": " << error.message;
    const HiveValue* value = hive.FindValue(hive.Find({u"K"}), u"v");
    ASSERT_NE(value, nullptr) << c.value;
    EXPECT_EQ(value->data, c.data) << c.value;
    EXPECT_EQ(hive.Serialize(), text);
  }
}

// A key line usually repeats the start of the one before; whatever it shares or
// not, each path must reach its own key.
TEST(HiveParse, KeyLinesReachTheirKeysInAnyOrder) {
  const std::string text = kHeader +
                           "\n[A\\\\B\\\\C] 1\n\"v\"=\"1\"\n"
                           "\n[A\\\\B] 1\n\"v\"=\"2\"\n"
                           "\n[a\\\\b\\\\D] 1\n\"v\"=\"3\"\n"              // another spelling of A\B
                           "\n[A\\\\\\\\B\\\\\\\\E\\\\] 1\n\"v\"=\"4\"\n"  // empty names
                           "\n[A\\x5c\\x42\\\\F] 1\n\"v\"=\"5\"\n"         // escaped separator and letter
                           "\n[A\\\\BC] 1\n\"v\"=\"6\"\n"                  // longer name, same start
                           "\n[A] 1\n\"v\"=\"7\"\n"
                           "\n[A\\\\B\\\\C] 2\n\"w\"=\"8\"\n";  // the first key again
  Hive hive;
  HiveParseError error;
  ASSERT_TRUE(hive.Parse(text, &error)) << error.message << " at " << error.line;
  EXPECT_EQ(hive.BlockCount(), 7u);
  ASSERT_EQ(hive.Root()->Subkeys().size(), 1u);
  HiveNode* a = hive.Root()->Subkeys()[0];
  ASSERT_EQ(a->Subkeys().size(), 2u);
  EXPECT_EQ(a->Subkeys()[0]->name, u"B");
  EXPECT_EQ(a->Subkeys()[1]->name, u"BC");
  std::vector<std::u16string> names;
  for (const HiveNode* child : a->Subkeys()[0]->Subkeys()) names.push_back(child->name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"C", u"D", u"E", u"F"}));
  const std::vector<std::pair<std::vector<std::u16string>, std::string>> expected = {
      {{u"A", u"B", u"C"}, "1"},
      {{u"A", u"B"}, "2"},
      {{u"A", u"B", u"D"}, "3"},
      {{u"A", u"B", u"E"}, "4"},
      {{u"A", u"B", u"F"}, "5"},
      {{u"A", u"BC"}, "6"},
      {{u"A"}, "7"}};
  for (const auto& [path, data] : expected) {
    HiveNode* node = hive.Find(path);
    ASSERT_NE(node, nullptr) << data;
    ASSERT_NE(hive.FindValue(node, u"v"), nullptr) << data;
    EXPECT_EQ(hive.FindValue(node, u"v")->data, Utf16(data));
  }
  EXPECT_NE(hive.FindValue(hive.Find({u"A", u"B", u"C"}), u"w"), nullptr);
}

// A file of plain key lines is read from its runs of lines in order; one line that
// is not plain makes the same file read line by line. Both must make the same
// keys, in the same order, with the same values, whether the file is in order, in
// runs or in no order, with names that differ in case or in a byte that sorts
// differently in upper and lower case.
TEST(HiveParse, KeysFromRunsInOrderAreThoseMadeLineByLine) {
  const std::vector<std::string> names = {"A", "a", "A B", "A_", "AB", "Ab", "B", "[", "z", "A]", "a]]"};
  std::vector<std::string> paths;
  for (std::size_t k = 0; k < 400; ++k) {
    std::size_t seed = k * 2654435761u;
    std::string path = names[seed % names.size()];
    for (std::size_t depth = (seed >> 8) % 4; depth; --depth) {
      seed /= names.size();
      path += "\\\\" + names[(seed >> 4) % names.size()];
    }
    paths.push_back(path);
  }
  auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  auto dump = [](Hive& hive) {
    std::string out;
    auto walk = [&](auto& self, HiveNode* node, int depth) -> void {
      for (HiveNode* child : node->Subkeys()) {
        if (child->name == u"\u00e9") continue;  // the line that is not plain
        out += std::string(static_cast<std::size_t>(depth), ' ') +
               std::string(child->name.begin(), child->name.end());
        for (const HiveValue* value : hive.Values(child)) out += " " + value->data.substr(0, 2);
        out += "\n";
        self(self, child, depth + 1);
      }
    };
    walk(walk, hive.Root(), 0);
    return out;
  };
  std::vector<std::string> sorted = paths;
  std::stable_sort(sorted.begin(), sorted.end(), [&](const std::string& x, const std::string& y) {
    // Name by name, as the names' bytes never hold a backslash.
    std::string a = upper(x), b = upper(y);
    std::replace(a.begin(), a.end(), '\\', '\x01');
    std::replace(b.begin(), b.end(), '\\', '\x01');
    return a < b;
  });
  std::vector<std::string> inRuns = sorted;  // three runs in order, one after another
  std::rotate(inRuns.begin(), inRuns.begin() + 150, inRuns.end());
  std::rotate(inRuns.begin(), inRuns.begin() + 100, inRuns.begin() + 250);
  // Under a parent of a long name too, so that neighbouring paths first differ
  // at every place of a block of 16 or 32 bytes, and near the end of the text.
  for (std::size_t stem : {0, 13, 30, 47}) {
    const std::string parent = stem ? std::string(stem, 'p') + "\\\\" : "";
    for (const std::vector<std::string>* order : {&sorted, &inRuns, &paths}) {
      std::string text = kHeader;
      for (std::size_t k = 0; k < order->size(); ++k) {
        text += "\n[" + parent + (*order)[k] + "] 1\n\"v\"=\"" + static_cast<char>('a' + k % 26) + "\"\n";
      }
      Hive plain, lineByLine;
      HiveParseError error;
      ASSERT_TRUE(plain.Parse(text, &error)) << error.message << " at " << error.line;
      ASSERT_TRUE(lineByLine.Parse(text + "\n[\\xe9] 1\n", &error)) << error.message << " at " << error.line;
      const std::string keys = dump(plain);
      EXPECT_EQ(keys, dump(lineByLine));
      const std::u16string top(stem, u'p');
      EXPECT_NE(stem ? plain.Find({top, u"a", u"a b"}) : plain.Find({u"a", u"a b"}), nullptr) << keys;
      EXPECT_EQ(plain.Serialize() + "\n[\\xe9] 1\n", lineByLine.Serialize());
    }
  }
}

// Key lines that share their first bytes but not what those bytes mean: an
// escape cut short, a letter after a hex escape, letters that fold alike.
TEST(HiveParse, KeyLinesSharingTheirStartReadAsWritten) {
  const std::string text = kHeader +
                           "\n[S\\\\x41b] 1\n"               // S, then a name "x41b"
                           "\n[S\\x41b] 1\n"                 // one name: S and the unit 0x41b
                           "\n[S\\x41c] 1\n"                 // S and 0x41c
                           "\n[S\\x5c\\x41] 1\n"             // S, then "A"
                           "\n[S\\\\\xc3\xa9] 1\n"           // S, then e with an acute accent
                           "\n[S\\\\\xc3\x89] 1\n"           // the same key in capitals
                           "\n[S\\\\\\\\\xc3\x89\\\\T] 1\n"  // and a subkey of it
                           "\n[S\\\\\\\xff] 1\n";            // an escaped byte that is no character
  Hive hive;
  HiveParseError error;
  ASSERT_TRUE(hive.Parse(text, &error)) << error.message << " at " << error.line;
  std::vector<std::u16string> top;
  for (const HiveNode* child : hive.Root()->Subkeys()) top.push_back(child->name);
  EXPECT_EQ(top, (std::vector<std::u16string>{u"S", u"S\u041b", u"S\u041c"}));
  HiveNode* s = hive.Find({u"S"});
  ASSERT_NE(s, nullptr);
  std::vector<std::u16string> below;
  for (const HiveNode* child : s->Subkeys()) below.push_back(child->name);
  EXPECT_EQ(below, (std::vector<std::u16string>{u"x41b", u"A", u"\u00e9"}));
  EXPECT_NE(hive.Find({u"S", u"\u00c9", u"t"}), nullptr);
  EXPECT_EQ(hive.BlockCount(), 7u);
  // The repeated key joins the first one; its key line goes.
  std::string merged = text;
  const std::string repeated = "\n[S\\\\\xc3\x89] 1\n";
  merged.erase(merged.find(repeated), repeated.size());
  EXPECT_EQ(hive.Serialize(), merged);
}

// Key lines of neighbouring keys whose names differ in one byte, at every place
// of names of every length up to 20, or only in their length: each is a key of
// its own, however the names are compared.
TEST(HiveParse, NeighbouringNamesThatDifferInOneByteAreKeysOfTheirOwn) {
  std::vector<std::string> names;
  for (std::size_t size = 1; size <= 20; ++size) {
    names.push_back(std::string(size, 'm'));
    for (std::size_t at = 0; at < size; ++at) {
      names.push_back(std::string(size, 'm'));
      names.back()[at] = 'n';
    }
  }
  std::string text = kHeader;
  for (const std::string& name : names) text += "\n[P\\\\" + name + "\\\\Sub] 1\n\"v\"=\"" + name + "\"\n";
  Hive hive;
  HiveParseError error;
  ASSERT_TRUE(hive.Parse(text, &error)) << error.message << " at " << error.line;
  HiveNode* p = hive.Find({u"P"});
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Subkeys().size(), names.size());
  for (const std::string& name : names) {
    const std::u16string units(name.begin(), name.end());
    const HiveValue* value = hive.FindValue(hive.Find({u"P", units, u"Sub"}), u"v");
    ASSERT_NE(value, nullptr) << name;
    EXPECT_EQ(value->data, Utf16(name)) << name;
  }
}

// A key with many subkeys finds them by name through an index: every spelling
// Wine takes for the same name finds the same key, through parsing, creating
// and deleting keys.
TEST(HiveKeys, ManySubkeysAreFoundUnderEverySpelling) {
  // Names of every length around the four-unit steps of the hash, with letters
  // that fold outside ASCII (Latin-1, Greek, Cyrillic, the dotted capital I).
  std::vector<std::u16string> lower, upper;
  for (int i = 0; i < 40; ++i) {
    std::u16string name =
        u"k" + std::u16string(static_cast<std::size_t>(i % 9), u'a' + static_cast<char16_t>(i % 7));
    name += static_cast<char16_t>(u'a' + i / 9);
    std::u16string shout;
    for (char16_t c : name) shout += static_cast<char16_t>(c - 32);
    if (i % 4 == 1) {
      name += u"\u00e9\u03b1\u0434i";
      shout += u"\u00c9\u0391\u0414I";
    }
    lower.push_back(name);
    upper.push_back(shout);
  }
  std::string text = kHeader;
  for (const std::u16string& name : lower) {
    std::string escaped = EscapeRegistryText(name, "[]");
    text += "\n[Parent\\\\" + escaped + "] 1\n\"v\"=\"" + escaped + "\"\n";
  }
  // The same keys again under other spellings: their lines join the first ones.
  text += "\n[PARENT\\\\" + EscapeRegistryText(upper[3], "[]") + "] 1\n\"w\"=\"1\"\n";
  text += "\n[parent\\\\" + EscapeRegistryText(upper[5], "[]") + "] 1\n\"w\"=\"1\"\n";

  Hive hive;
  HiveParseError error;
  ASSERT_TRUE(hive.Parse(text, &error)) << error.message << " at " << error.line;
  EXPECT_EQ(hive.BlockCount(), lower.size());
  HiveNode* parent = hive.Find({u"parent"});
  ASSERT_NE(parent, nullptr);
  ASSERT_EQ(parent->Subkeys().size(), lower.size());
  for (std::size_t i = 0; i < lower.size(); ++i) {
    HiveNode* node = parent->Child(upper[i]);
    ASSERT_NE(node, nullptr) << i;
    EXPECT_EQ(node->name, lower[i]);
    EXPECT_EQ(hive.Find({u"PARENT", upper[i]}), node);
    EXPECT_EQ(parent->Child(upper[i] + u"x"), nullptr);
  }
  EXPECT_EQ(hive.Values(parent->Child(lower[3])).size(), 2u);

  // Deleting keys leaves the others found, down to a key with few subkeys.
  for (std::size_t i = 0; i < lower.size(); i += 2) hive.DeleteKey(parent->Child(lower[i]));
  for (std::size_t i = 0; i < lower.size(); ++i)
    EXPECT_EQ(parent->Child(upper[i]) != nullptr, i % 2 == 1) << i;
  for (std::size_t i = 1; i < lower.size() - 8; i += 2) hive.DeleteKey(parent->Child(upper[i]));
  ASSERT_EQ(parent->Subkeys().size(), 4u);
  for (std::size_t i = lower.size() - 8; i < lower.size(); ++i)
    EXPECT_EQ(parent->Child(upper[i]) != nullptr, i % 2 == 1) << i;

  // New keys are found once made, and making one again finds it.
  for (int i = 0; i < 20; ++i) {
    std::u16string name = u"New" + std::u16string(static_cast<std::size_t>(i), u'Q');
    HiveNode* made = hive.Create({u"Parent", name});
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(hive.Create({u"parent", FoldName(name)}), made);
  }
  EXPECT_EQ(parent->Subkeys().size(), 24u);
  Hive again;
  ASSERT_TRUE(again.Parse(hive.Serialize(), &error)) << error.message;
  EXPECT_EQ(again.Find({u"parent"})->Subkeys().size(), 24u);
}

// Escapes and multi-byte characters are read alike wherever they stand, also
// across the eight-byte steps of the scan for them.
TEST(HiveText, EscapesDecodeAtEveryOffset) {
  struct Token {
    std::string text;
    std::u16string units;
  };
  const Token tokens[] = {
      {"\\\\", u"\\"},
      {"\\x41", u"A"},
      {"\\x0042c", u"Bc"},
      {"\\101", u"A"},
      {"\\n", u"\n"},
      {"\\\"", u"\""},
      {"\\q", u"q"},
      {"\xc3\xa9", u"\u00e9"},
      {"\\\xc3\xa9", u"\u00e9"},
      {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"\xff", u""},
      {"\xc3(", u"("},
  };
  for (const Token& token : tokens) {
    for (std::size_t before = 0; before < 18; ++before) {
      std::string source = std::string(before, 'a') + token.text + "ghijklmno\"=\"x\"";
      std::u16string text;
      EXPECT_EQ(UnescapeRegistryText(source, '"', &text), before + token.text.size() + 10) << source;
      EXPECT_EQ(text, std::u16string(before, u'a') + token.units + u"ghijklmno") << source;
    }
  }
}

TEST(HiveText, TextWithoutItsEndIsRefusedAtEveryOffset) {
  for (std::size_t before = 0; before < 18; ++before) {
    std::string plain(before, 'a');
    std::u16string text;
    EXPECT_EQ(UnescapeRegistryText(plain, '"', &text), std::string::npos) << before;
    EXPECT_EQ(UnescapeRegistryText(plain + "\\", '"', &text), std::string::npos) << before;
    EXPECT_EQ(UnescapeRegistryText(plain + "\\\"", '"', &text), std::string::npos) << before;
    EXPECT_EQ(UnescapeRegistryText(plain + std::string("\0\"", 2), '"', &text), std::string::npos) << before;
    EXPECT_EQ(UnescapeRegistryText(plain + std::string("\\\0\"", 3), '"', &text), std::string::npos)
        << before;
    EXPECT_EQ(UnescapeRegistryText(plain + "]\"", ']', &text), before + 1) << before;
    EXPECT_EQ(text, std::u16string(before, u'a'));
  }
}

TEST(HiveText, EscapedTextReadsBackAsWritten) {
  std::u16string text;
  for (char16_t unit = 1; unit < 0x200; ++unit) text += {unit, u'7', u'f', unit};
  text += u"\U0001F600\u00e9\u4e2d";
  for (std::string_view escaped : {std::string_view("\""), std::string_view("[]")}) {
    std::string source = EscapeRegistryText(text, escaped) + escaped.back();
    std::u16string read;
    ASSERT_EQ(UnescapeRegistryText(source, escaped.back(), &read), source.size());
    EXPECT_EQ(read, text);
  }
}

TEST(HiveParse, StringValuesEndAtTheirClosingQuoteAtEveryOffset) {
  for (std::size_t before = 0; before < 140; ++before) {
    std::string data = std::string(before, 'd') + "\\\"q\\\\";
    std::string name = std::string(before, 'N') + "\\\"";
    std::string text = kHeader + "\n[K] 1\n\"" + name + "\"=\"" + data + "\"\n";
    Hive hive;
    HiveParseError error;
    ASSERT_TRUE(hive.Parse(text, &error)) << text << error.message;
    std::u16string expectedName = std::u16string(before, u'n') + u"\"";
    const HiveValue* value = hive.FindValue(hive.Find({u"k"}), expectedName);
    ASSERT_NE(value, nullptr) << text;
    EXPECT_EQ(value->data, Utf16(std::string(before, 'd') + "\"q\\"));
    EXPECT_EQ(hive.Serialize(), text);

    for (std::string bad : {std::string(before, 'd') + "\\\"", std::string(before, 'd') + "\\",
                            std::string(before, 'd') + std::string("\0\"", 2)}) {
      std::string broken = kHeader + "\n[K] 1\n\"v\"=\"" + bad + "\n";
      EXPECT_FALSE(hive.Parse(broken, &error)) << broken;
      EXPECT_EQ(error.message, "unterminated string") << broken;
    }
  }
}

// Key paths of every length across the 64 and 128 bytes that the check reads at
// once, with separators, empty names, escaped brackets and bytes above 0x7f at
// their start, inside and at their end: each makes the keys its unescaped names
// say, no more; a lone backslash before the ']' or a zero byte is refused as
// decoding refuses it.
TEST(HiveCheck, KeyPathsOfEveryLengthMakeTheKeysTheyName) {
  const std::string pieces[] = {"\\\\", "\\\\\\\\", "\\]", "\\\\\\]", "\xc3\xa9", "\\\\\\\\\\\\"};
  const std::string afters[] = {"", "b", std::string(70, 'c')};
  for (std::size_t before = 0; before < 140; ++before) {
    for (const std::string& piece : pieces) {
      for (const std::string& after : afters) {
        const std::string path = std::string(before, 'a') + piece + after;
        // A comment after the key, so that the 128 bytes after the '[' are in the file.
        const std::string text =
            kHeader + "\n[" + path + "] 1\n\"v\"=\"1\"\n#" + std::string(140, 'z') + "\n";
        std::u16string units;
        ASSERT_NE(UnescapeRegistryText(path + "]", ']', &units), std::string::npos) << path;
        std::vector<std::u16string> names;
        for (std::size_t start = 0; start <= units.size();) {
          std::size_t separator = std::min(units.find(u'\\', start), units.size());
          if (separator > start) names.push_back(units.substr(start, separator - start));
          start = separator + 1;
        }
        Hive hive;
        HiveParseError error;
        ASSERT_TRUE(hive.Parse(text, &error)) << text << error.message;
        HiveNode* key = hive.Root();
        for (const std::u16string& name : names) {
          ASSERT_EQ(key->Subkeys().size(), 1u) << text;
          key = key->Subkeys()[0];
          EXPECT_EQ(key->name, name) << text;
        }
        EXPECT_TRUE(key->Subkeys().empty()) << text;
        if (!names.empty()) {
          EXPECT_NE(hive.FindValue(key, u"v"), nullptr) << text;
        }

        for (const std::string& bad :
             {path + "\\", std::string(before, 'a') + std::string(1, '\0') + after}) {
          const std::string broken = kHeader + "\n[" + bad + "] 1\n#" + std::string(140, 'z') + "\n";
          HiveParseError full, quick;
          EXPECT_FALSE(ParseEveryValue(broken, &full)) << broken;
          EXPECT_FALSE(CheckRegistryText(broken, &quick)) << broken;
          EXPECT_EQ(quick.line, full.line) << broken;
          EXPECT_EQ(quick.message, full.message) << broken;
        }
      }
    }
  }
}

// Hex data of every length up to more than one step of the check, each byte
// of it in turn spoiled by a byte just outside the ranges of digits and
// letters (or by one the lines give meaning to): the check refuses exactly what
// decoding refuses, at the same line and for the same reason.
TEST(HiveCheck, HexDataWithAnyByteSpoiledIsRefusedAsDecodingRefusesIt) {
  const std::string spoilers[] = {"/",     ":",    "@", "G", "`",  "g",
                                  "F\x80", "\xe6", ",", " ", "\\", std::string(1, '\0')};
  int refused = 0;
  for (int groups = 1; groups <= 48; ++groups) {
    std::string data;
    for (int k = 0; k < groups; ++k) data += "0123456789abcdefABCDEF"[k % 22] + std::string("f,");
    for (const std::string& end : {std::string(""), std::string("\\\n  5a,5b")}) {
      for (std::size_t at = 0; at < data.size(); ++at) {
        for (const std::string& spoiler : spoilers) {
          const std::string value = data.substr(0, at) + spoiler + data.substr(at + 1);
          // Lines after it, so that every step of the check has bytes to read.
          const std::string text =
              kHeader + "\n[K] 1\n\"v\"=hex:" + value + end + "\n\"w\"=\"" + std::string(80, 'w') + "\"\n";
          HiveParseError full, quick, baseline;
          const bool parsed = ParseEveryValue(text, &full);
          ASSERT_EQ(CheckRegistryText(text, &quick), parsed) << value;
          ASSERT_EQ(registry_detail::CheckRegistryTextWithBaselineSteps(text, &baseline), parsed) << value;
          if (parsed) continue;
          ++refused;
          EXPECT_EQ(quick.line, full.line) << value;
          EXPECT_EQ(quick.message, full.message) << value;
          EXPECT_EQ(baseline.line, full.line) << value;
          EXPECT_EQ(baseline.message, full.message) << value;
        }
      }
    }
  }
  EXPECT_GT(refused, 10000);
}

// The check of a whole file reaches the verdict of decoding every key path and
// value, with the same line and reason: on the fuzzing seeds and Wine's own
// files, and on each of them damaged at many places in many ways.
TEST(HiveCheck, AgreesWithDecodingEveryValueOnDamagedFiles) {
  std::vector<std::string> texts;
  for (const auto& entry :
       std::filesystem::directory_iterator(velmora::test::SourcePath("fuzz/corpus/registry")))
    texts.push_back(velmora::test::ReadFile(entry.path().string()));
  for (const char* name : {"system.reg", "user.reg"})
    texts.push_back(
        velmora::test::ReadFile(velmora::test::SourcePath(std::string("tests/fixtures/wine8/") + name)));
  ASSERT_GT(texts.size(), 100u);
  int refused = 0;
  auto agree = [&refused](const std::string& text) {
    HiveParseError full, quick, baseline;
    bool parsed = ParseEveryValue(text, &full);
    Hive hive;
    EXPECT_EQ(registry_detail::CheckRegistryTextWithBaselineSteps(text, &baseline), parsed) << text;
    EXPECT_EQ(CheckRegistryText(text, &quick), parsed) << text;
    EXPECT_EQ(hive.Parse(text, &quick), parsed) << text;
    if (parsed) return;
    ++refused;
    EXPECT_EQ(quick.line, full.line) << text;
    EXPECT_EQ(quick.message, full.message) << text;
    EXPECT_EQ(baseline.line, full.line) << text;
    EXPECT_EQ(baseline.message, full.message) << text;
  };
  const std::string damage[] = {std::string(1, '\0'),
                                "\"",
                                "\\",
                                "]",
                                "[",
                                "x",
                                "\n",
                                ",",
                                " ",
                                "\r",
                                "\\\n",
                                "0x1",
                                "fff",
                                "hex(",
                                "=",
                                "\xc3"};
  for (const std::string& text : texts) {
    agree(text);
    const std::size_t step = std::max<std::size_t>(1, text.size() / (text.size() > 100000 ? 8 : 48));
    for (std::size_t at = 0; at < text.size(); at += step) {
      agree(text.substr(0, at));
      for (const std::string& bytes : damage) {
        agree(text.substr(0, at) + bytes + text.substr(at + 1));  // in place of a byte
        agree(text.substr(0, at) + bytes + text.substr(at));      // put in
      }
    }
  }
  EXPECT_GT(refused, 10000);
}

void OnTwoThreads(const std::function<void()>& other, const std::function<void()>& mine) {
  std::thread thread(other);
  mine();
  thread.join();
}

// A large file checked in two parts at once reads as one scan from the start
// reads it: the same verdict, line and reason, the same keys; also when the
// damage is near the place of the cut or a value's continued lines run over it.
TEST(HiveCheck, TwoPartsAtOnceAgreeWithOneScanOnDamagedLargeFiles) {
  const std::string wine =
      velmora::test::ReadFile(velmora::test::SourcePath("tests/fixtures/wine8/system.reg"));
  const std::size_t body = wine.find("\n[") + 1;
  std::string large = wine.substr(0, body);
  for (int copy = 0; large.size() < (300u << 10); ++copy)
    large += "[Copy" + std::to_string(copy) + "]\n\"n\"=\"v\"\n\n" + wine.substr(body);
  const std::size_t middle = large.find("\n[", large.size() / 2) + 1;
  int refused = 0;
  auto agree = [&refused](const std::string& text) {
    HiveParseError one, two;
    Hive whole, halves;
    const bool parsed = whole.Parse(text, &one);
    ASSERT_EQ(halves.ParseOwned(std::string(text), &two, OnTwoThreads), parsed) << two.line;
    if (!parsed) {
      ++refused;
      EXPECT_EQ(two.line, one.line);
      EXPECT_EQ(two.message, one.message);
      return;
    }
    EXPECT_EQ(halves.Serialize(), whole.Serialize());
    EXPECT_NE(halves.Find({u"Copy0"}), nullptr);
  };
  agree(large);
  const std::string damage[] = {
      std::string(1, '\0'), "\"", "[", "x", "\n", "\\\n", "hex(", "\"x\"=hex:00,\\\n", "\"x\"=\"a\\\n", "#"};
  std::vector<std::size_t> places;
  for (std::size_t at = middle - 48; at < middle + 48; at += 3) places.push_back(at);
  for (std::size_t at = 0; at < large.size(); at += large.size() / 6) places.push_back(at);
  for (std::size_t at : places) {
    for (const std::string& bytes : damage) {
      agree(large.substr(0, at) + bytes + large.substr(at + 1));
      agree(large.substr(0, at) + bytes + large.substr(at));
    }
  }
  EXPECT_GT(refused, 200);
}

}  // namespace
}  // namespace formats
