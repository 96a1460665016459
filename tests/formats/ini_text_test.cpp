// The text rules of INI files on their own: folding and hashing of names.
#include "formats/ini_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace formats::ini_text {
namespace {

// The folded hash works on eight bytes at once: every pair of bytes, at every
// place of a word and in the tail, must hash and compare alike exactly when the
// two fold to the same letter.
TEST(IniTextFolding, BytesHashAlikeExactlyWhenTheyFoldAlike) {
  for (std::size_t place : {0u, 3u, 7u, 8u, 10u}) {
    std::string a = "Mixed.Case.Name";
    std::string b = a;
    for (int x = 0; x < 256; ++x) {
      a[place] = static_cast<char>(x);
      for (int y = 0; y < 256; ++y) {
        b[place] = static_cast<char>(y);
        const bool alike = Fold(a[place]) == Fold(b[place]);
        ASSERT_EQ(EqualFolded(a, b), alike) << place << " " << x << " " << y;
        if (alike) {
          ASSERT_EQ(FoldedHash(5, a), FoldedHash(5, b)) << place << " " << x << " " << y;
        }
      }
    }
  }
  EXPECT_NE(FoldedHash(0, "ab"), FoldedHash(0, std::string("ab\0", 3))) << "the length counts";
}

// The walk as plainly written, a line at a time: the reference for the one that
// scans 16 bytes at a time.
std::vector<std::string> PlainWalk(std::string_view text) {
  std::vector<std::string> seen;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        seen.push_back("[" + std::string(Trim(line.substr(1, close - 1))));
        continue;
      }
    }
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view name = Trim(line.substr(0, equals));
    if (name.empty()) continue;
    std::string_view value = Trim(line.substr(equals + 1));
    value = value.substr(0, value.find('\0'));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    seen.push_back(std::string(name) + "\x01" + std::string(value));
  }
  return seen;
}

// Random texts of the bytes that matter to the walk, with lines short and long
// across the 16-byte blocks and ending anywhere in a block, each also walked from
// its second and third byte on: both walks see the same sections and values.
TEST(IniTextLines, BlockScanWalksAsThePlainWalk) {
  const char alphabet[] = {'\n', '\n', '\r', ' ',  '\t', '\v', '=', '=',    ';',   '[',
                           ']',  '"',  '\'', '\0', 'a',  'B',  'c', '\xBB', '\x80'};
  std::mt19937 random(20261209);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 400);
    const int longRun = static_cast<int>(random() % 90);  // a run of letters: lines past a block
    for (int i = 0; i < length; ++i) {
      if (i % 97 == 13)
        text.append(static_cast<std::size_t>(longRun), 'x');
      else
        text += alphabet[random() % sizeof alphabet];
    }
    for (std::size_t skip = 0; skip < 3 && skip <= text.size(); ++skip) {
      const std::string_view view = std::string_view(text).substr(skip);
      std::vector<std::string> seen;
      ForEachLine(
          view, [&](std::string_view name) { seen.push_back("[" + std::string(name)); },
          [&](std::string_view name, std::string_view value) {
            seen.push_back(std::string(name) + "\x01" + std::string(value));
          });
      ASSERT_EQ(seen, PlainWalk(view)) << round << " " << skip;
    }
  }
}

}  // namespace
}  // namespace formats::ini_text
