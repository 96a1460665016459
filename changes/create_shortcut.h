// Writing a new shortcut file.
#pragma once

#include <string>

#include "base/program_context.h"
#include "platform/status.h"

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora::changes {

// A shortcut at |shortcutPath| to |targetPath| (made a full path) with the given
// description and, when not empty, arguments. Fails when the program may not
// write shortcuts (|context|).
platform::HResult CreateShortcut(platform::ManagedSystem& system, const ProgramContext& context,
                                 const std::string& targetPath, const std::string& description,
                                 const std::string& shortcutPath, const std::string& arguments = "");

}  // namespace velmora::changes
