// A registry file, as Windows' and Wine's regedit import it: keys in brackets,
// "name"="text" for string values (with \ and " escaped), dword:, hex(2): for
// expandable strings and hex(7): for string lists, hex: / hex(N): for anything
// else. It is a REGEDIT4 file (text and string bytes in the ANSI code page,
// Windows-1252) when that can hold every name and text, else a "Windows Registry
// Editor Version 5.00" file (UTF-16 LE with its byte-order mark, string bytes in
// UTF-16 LE, and a text with a line break as hex(1):).
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

// The file's bytes, CRLF line ends. False (|error| naming the value) when a name
// holds a control character or a text is not valid UTF-8; then nothing should be
// written.
bool RegFileText(const std::vector<RegFileKey>& keys, std::string* text, std::string* error);

// UTF-8 text as Windows-1252 bytes; false when a character has no such byte (or
// the text is not UTF-8).
bool Utf8ToWindows1252(const std::string& utf8, std::string* ansi);

}  // namespace velmora::cli
