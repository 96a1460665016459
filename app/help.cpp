#include "app/help.h"

#include "app/language.h"
#include "app/program.h"
#include "platform/files.h"
#include "platform/system.h"

namespace velmora {

namespace {

// Programs that show a compiled HTML Help file given as their one argument.
constexpr const char* kHelpViewers[] = {"xchm", "kchmviewer"};

}  // namespace

std::string HelpFilePath() { return HelpFileDir() + "\\" + Program().languageName + ".chm"; }

bool OpenHelpFile() {
  std::string path = HelpFilePath();
  if (!platform::files::Exists(path)) return false;
  // The viewers are host programs: they are given the file's host path.
  std::string hostPath = platform::files::HostPathFromWindows(path);
  if (!hostPath.empty()) {
    for (const char* viewer : kHelpViewers) {
      if (platform::LaunchProgram({viewer, hostPath})) return true;
    }
  }
  return platform::ShellOpen(path);
}

std::string UpdaterPath() { return Program().programDir + "\\" + EncodeFileName("Update") + "\\Update.exe"; }

bool StartUpdater() {
  std::string path = UpdaterPath();
  if (!platform::files::Exists(path)) return false;
  return platform::LaunchProgram({path});
}

}  // namespace velmora
