// The categories of the definitions database: their codes in the order of the
// look-up, their rating texts and their standard descriptions.
#pragma once

#include <array>
#include <string>

namespace velmora {

// The category sections in the order of the look-up, NORM first, DIAL last.
inline constexpr std::array<const char*, 11> kCategoryCodeList = {"NORM", "SYS",  "SPY", "AD",  "VIR", "MAC",
                                                                  "WOR",  "TROJ", "KEY", "HIJ", "DIAL"};
// The section of the name patterns, which carry their category explicitly.
inline constexpr char kPatternSection[] = "SPC";
// The rating of an entry that no definition has rated.
inline constexpr char kUnknownFileRating[] = "Unknown File";

// True when |code| is one of the eleven codes (letter case ignored).
bool IsCategoryCode(const std::string& code);
// "Normal File" ... "Dialer" for the eleven codes (letter case ignored), "Unknown"
// for anything else.
std::string RatingName(const std::string& code);
// Message id of the code's standard description (7014-7024), 7025 for an unknown
// code.
unsigned StandardDescriptionId(const std::string& code);

}  // namespace velmora
