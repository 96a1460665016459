// From the command of an entry to the target and arguments of the shortcut that
// puts it into a Startup folder.
#pragma once

#include <string>

namespace velmora::changes {

// A quoted program path ends at its closing quote. Otherwise the whole command is
// the target when it names a file, or when no leading part of it before a blank
// does; else the shortest such part is the target and the rest the arguments.
// Environment references in the target are expanded.
void SplitShortcutCommand(const std::string& command, std::string* target, std::string* arguments);

}  // namespace velmora::changes
