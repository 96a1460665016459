// The text of names in Wine's registry files: how Wine folds the case of names
// and orders them, and how text is escaped in the file. Names are UTF-16 as Wine
// holds them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace formats {

// Wine's case folding of one UTF-16 unit, and its order of key and value names.
char16_t FoldUnit(char16_t c);
std::u16string FoldName(std::u16string_view name);
int CompareNames(std::u16string_view a, std::u16string_view b);

// Hash of a name as Wine compares names (letter case folded).
struct FoldedNameHash {
  std::size_t operator()(std::u16string_view name) const;
};

// Text escaping of Wine's registry files. |escaped| lists the characters that get
// a backslash besides the backslash itself ("[]" in key names, "\"" elsewhere).
std::string EscapeRegistryText(std::u16string_view text, std::string_view escaped);
// Reads escaped text up to the unescaped |end| character; returns the number of
// bytes read including |end|, or npos when |end| never comes.
std::size_t UnescapeRegistryText(std::string_view source, char end, std::u16string* text);

}  // namespace formats
