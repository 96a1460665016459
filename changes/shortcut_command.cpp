#include "changes/shortcut_command.h"

#include "base/text.h"
#include "entries/program_path.h"

namespace velmora::changes {

void SplitShortcutCommand(platform::ManagedSystem& system, const std::string& command, std::string* target,
                          std::string* arguments) {
  // A shortcut's target is a file, so references are expanded as a command of
  // REG_EXPAND_SZ would be.
  ProgramCommand split = SplitProgramCommand(system, command, /*expand=*/true);
  *target = split.program;
  *arguments = split.arguments;
  if (target->empty()) {
    // Not even the text names a program: the whole command is the target, and
    // the shortcut's write says what is wrong with it.
    *target = TrimWhiteSpace(command);
    arguments->clear();
  }
}

}  // namespace velmora::changes
