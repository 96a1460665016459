// A REGEDIT4 registry file, as Windows' and Wine's regedit import it: keys in
// brackets, "name"="text" for string values (text in the ANSI code page,
// Windows-1252, with \ and " escaped), dword:, hex(2): for expandable strings and
// hex(7): for string lists (ANSI bytes), hex: / hex(N): for anything else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::cli {

struct RegFileValue {
  std::string name;    // "" is the key's default value (@)
  std::uint32_t type;  // REG_SZ, REG_EXPAND_SZ, ...
  std::string data;    // raw bytes as the registry returns them (strings as UTF-8 with their zero)
};

struct RegFileKey {
  std::string path;  // "HKEY_CURRENT_USER\Software\..."
  std::vector<RegFileValue> values;
  std::vector<std::string> comments;  // written as "; " lines under the key
};

// The file's text, CRLF line ends. False (|error| naming the value) when a name or
// a text cannot be written in the ANSI code page or holds a control character;
// then nothing should be written.
bool RegFileText(const std::vector<RegFileKey>& keys, std::string* text, std::string* error);

// UTF-8 text as Windows-1252 bytes; false when a character has no such byte (or
// the text is not UTF-8).
bool Utf8ToWindows1252(const std::string& utf8, std::string* ansi);

}  // namespace velmora::cli
