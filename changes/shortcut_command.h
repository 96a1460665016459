// From the command of an entry to the target and arguments of the shortcut that
// puts it into a Startup folder.
#pragma once

#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora::changes {

// The program of the command as Windows finds it (SplitProgramCommand, with
// environment references expanded) is the target, what follows it the
// arguments; a program that does not exist yet is split by the text alone, so
// its arguments stay arguments.
void SplitShortcutCommand(platform::ManagedSystem& system, const std::string& command, std::string* target,
                          std::string* arguments);

}  // namespace velmora::changes
