// Names as Windows and Wine compare them: names of registry keys and values,
// of files, and of the entries and profiles made from them.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The form in which two names compare equal exactly when Windows takes them as
// one name: each UTF-16 unit upper-cased by the system's table (every script,
// not only A-Z; characters outside the Basic Multilingual Plane stay as they
// are). The letters A-Z of the result are then written in lower case, so a
// name in ASCII gives its lower-cased self and sorts as it always did. Bytes
// that are not UTF-8 are taken as Latin-1, as they are when stored.
std::string NameKey(std::string_view name);
bool SameName(std::string_view a, std::string_view b);
// The upper case of one UTF-16 unit by that mapping.
char16_t UpperCaseUnit(char16_t unit);

}  // namespace velmora
