#include "app/help.h"

#include "app/language.h"
#include "platform/files.h"
#include "platform/system.h"

namespace velmora {

namespace {

// Programs that show a compiled HTML Help file given as their one argument.
constexpr const char* kHelpViewers[] = {"xchm", "kchmviewer"};

}  // namespace

std::string HelpFilePath(const ProgramContext& program) {
  return HelpFileDir(program) + "\\" + program.languageName + ".chm";
}

bool OpenHelpFile(const ProgramContext& program) {
  if (!program.programFiles) return false;
  platform::ManagedSystem& system = *program.programFiles;
  std::string path = HelpFilePath(program);
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

std::string UpdaterPath(const ProgramContext& program) {
  return program.programDir + "\\" + EncodeFileName("Update") + "\\Update.exe";
}

bool StartUpdater(const ProgramContext& program) {
  if (!program.programFiles) return false;
  platform::ManagedSystem& system = *program.programFiles;
  std::string path = UpdaterPath(program);
  if (!platform::files::Exists(system, path)) return false;
  return platform::LaunchProgram(system, {path});
}

}  // namespace velmora
