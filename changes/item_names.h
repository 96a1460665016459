// Names of Startup-folder items: the program creates, replaces and deletes files
// in a Startup folder (and in its folder of kept copies) only under names that
// stay inside that folder.
#pragma once

#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora::changes {

// A plain file name: not empty, no path separator, drive colon, wildcard or
// control character, not made of dots and blanks alone ("." and ".."), at most
// 255 characters.
bool IsSafeItemName(const std::string& name);

// |folder| + "\" + |name| when the name is safe and the path, mapped to the host,
// is an item directly inside the folder; otherwise false with |why| set.
bool ItemPathInFolder(platform::ManagedSystem& system, const std::string& folder, const std::string& name,
                      std::string* path, std::string* why = nullptr);

}  // namespace velmora::changes
