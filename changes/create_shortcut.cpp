// Writing a new shortcut file.
#include "changes/create_shortcut.h"

#include "platform/files.h"
#include "platform/shell_link.h"

namespace velmora::changes {

platform::HResult CreateShortcut(platform::ManagedSystem& system, const ProgramContext& context,
                                 const std::string& targetPath, const std::string& description,
                                 const std::string& shortcutPath, const std::string& arguments) {
  std::string fullTarget;
  if (platform::files::FullPath(system, targetPath, &fullTarget) != platform::kSuccess ||
      fullTarget.size() >= static_cast<std::size_t>(platform::kMaxPath)) {
    return platform::kFail;
  }
  if (!context.comInitialized) return platform::kFail;
  platform::ShellLink link;
  platform::HResult result = link.SetPath(system, fullTarget);
  if (result < 0) return result;
  result = link.SetDescription(description);
  if (result < 0) return result;
  if (!arguments.empty()) {
    result = link.SetArguments(arguments);
    if (result < 0) return result;
  }
  return link.Save(system, shortcutPath);
}

}  // namespace velmora::changes
