// Small text helpers of the core. Letter case is folded for A-Z only, so UTF-8
// sequences pass through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool EndsWith(std::string_view text, std::string_view suffix);  // exact case
bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix);
// Strips blanks, tabs and line ends from both ends.
std::string TrimWhiteSpace(std::string_view text);
// The same cut, as a view of |text|.
std::string_view TrimmedWhiteSpace(std::string_view text);
// The bytes as two lower-case hex digits each, separated by commas ("de,ad").
std::string HexByteList(std::string_view bytes);
// atoi: leading white space, an optional sign, decimal digits up to the first
// other character; no digits give 0. Saturates instead of overflowing.
int ParseLeadingInt(std::string_view text);
// printf-style "%d" and "%s" formatting without a format-string hazard.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

}  // namespace velmora
