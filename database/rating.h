// Rating entries from the definitions database: the category codes, their rating
// texts and standard descriptions, and the name patterns of the "SPC" section.
// The look-ups themselves are members of StartupParameters (FillCategoryCodes,
// RateAllTasks, RateTask).
#pragma once

#include <array>
#include <string>

namespace velmora {

// The category sections in the order of the look-up, NORM first, DIAL last.
inline constexpr std::array<const char*, 11> kCategoryCodeList = {
    "NORM", "SYS", "SPY", "AD", "VIR", "MAC", "WOR", "TROJ", "KEY", "HIJ", "DIAL"};
// The section of the name patterns, which carry their category explicitly.
inline constexpr char kPatternSection[] = "SPC";
inline constexpr char kUnknownFileRating[] = "Unknown File";

// True when |code| is one of the eleven codes (letter case ignored).
bool IsCategoryCode(const std::string& code);
// "Normal File" ... "Dialer" for the eleven codes (letter case ignored), "Unknown"
// for anything else.
std::string RatingName(const std::string& code);
// The message text of the code's standard description (7014-7024), 7025 for an
// unknown code.
std::string StandardDescription(const std::string& code);
// Message id behind StandardDescription.
unsigned StandardDescriptionId(const std::string& code);

// Pattern match of the "SPC" section. A pattern without '*' is found anywhere in
// the name; with '*', the part before it is found first and the rest is matched
// against what follows that occurrence. A remaining pattern ".exe" matches
// anything. Letters compare without regard to case.
bool MatchNamePattern(const std::string& pattern, const std::string& name);

}  // namespace velmora
