// Valve's text key-value format, as Steam writes steamapps/libraryfolders.vdf and
// steamapps/appmanifest_<appid>.acf: a key followed either by a value or by a
// section of further keys in braces.
//
//   "libraryfolders"
//   {
//       "0"
//       {
//           "path"      "/home/anna/.local/share/Steam"
//           "apps"      { "620"  "12914297712" }
//       }
//   }
//
// Keys and values are quoted strings (with the escapes \\ \" \n \t; Windows paths
// appear as "C:\\Program Files (x86)\\Steam") or bare words; "//" starts a
// comment; a condition such as [$WIN32] after a key or value is skipped. Text
// only: no file or operating system is touched here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace formats {

struct KeyValue {
  std::string key;
  std::string value;  // "" for a section
  bool isSection = false;
  std::vector<KeyValue> children;  // a section's entries, in the order of the text

  // The first entry of this section whose key equals |name| without regard to
  // ASCII case; nullptr when there is none.
  const KeyValue* Find(std::string_view name) const;
  // The value of that entry when it is a value (not a section), else "".
  std::string ValueOf(std::string_view name) const;
};

// Sections nest at most this deep; deeper text is refused (no file of Steam's
// comes near it).
constexpr int kMaxKeyValueDepth = 64;

// Reads a whole text (a UTF-8 byte order mark is skipped). On success |roots|
// holds the top-level entries and true is returned; on text that is not well
// formed (an unterminated string or section, a stray brace, a key without a
// value, nesting past kMaxKeyValueDepth) false is returned, |roots| is empty and
// |error| (when given) says what and on which line.
bool ParseKeyValues(std::string_view text, std::vector<KeyValue>* roots, std::string* error = nullptr);

}  // namespace formats
