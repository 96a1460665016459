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

std::string HelpFilePath(platform::ManagedSystem& system) {
  return HelpFileDir(system) + "\\" + Program().languageName + ".chm";
}

bool OpenHelpFile(platform::ManagedSystem& system) {
  std::string path = HelpFilePath(system);
  if (!platform::files::Exists(system, path)) return false;
  // The viewers are host programs: they are given the file's host path.
  std::string hostPath = platform::files::HostPathFromWindows(system, path);
  if (!hostPath.empty()) {
    for (const char* viewer : kHelpViewers) {
      if (platform::LaunchProgram(system, {viewer, hostPath})) return true;
    }
  }
  return platform::ShellOpen(system, path);
}

std::string UpdaterPath() { return Program().programDir + "\\" + EncodeFileName("Update") + "\\Update.exe"; }

bool StartUpdater(platform::ManagedSystem& system) {
  std::string path = UpdaterPath();
  if (!platform::files::Exists(system, path)) return false;
  return platform::LaunchProgram(system, {path});
}

}  // namespace velmora
