// Update.exe: installs a new definitions database into the program folder, the
// folder above the updater's own. Velmora starts it without arguments and without
// a terminal; it then opens a terminal window of its own to ask for the file.
//
// Installing while Velmora runs is safe: the running program reads vlmdb.vmd only
// at start (its working copy vlmdb2.vmd is its own and is not touched here), and
// the file is replaced in one rename, so the next start reads either the old or
// the new database, never a mixture.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/data_dir.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/system.h"
#include "tools/updater/installer.h"

using namespace velmora::updater;

namespace {

const char kTitle[] = "Velmora definitions update";

const char kUsage[] =
    "Usage: Update.exe [FILE]\n"
    "\n"
    "Installs FILE as Velmora's definitions database (vlmdb.vmd in Velmora's folder,\n"
    "the folder above this program's; when you may not write there, as for a copy\n"
    "installed under /usr, in your own data folder, ~/.local/share/velmora, for you\n"
    "alone). Without FILE it asks for the path; started without a terminal, it opens\n"
    "a terminal window to ask.\n"
    "\n"
    "FILE is checked first: a version line dd/mm/yyyy, a body that decodes into the\n"
    "sections Velmora reads, every entry readable, at least one definition. A file\n"
    "that fails is refused and the installed database stays as it was. Otherwise the\n"
    "installed database is kept as vlmdb.vmd.bak and replaced in one step. Velmora\n"
    "uses the new definitions from its next start.\n"
    "\n"
    "Options:\n"
    "  --pause   wait for Enter before ending (used in the terminal window it opens)\n"
    "  --help    show this text\n"
    "\n"
    "Exit status: 0 installed (or already installed), 1 nothing installed, 2 wrong\n"
    "usage.\n";

std::string ParentFolder(const std::string& windowsPath) {
  std::size_t slash = windowsPath.rfind('\\');
  if (slash == std::string::npos) return "";
  std::string parent = windowsPath.substr(0, slash);
  // "C:" alone names the current folder of the drive; the root is "C:\".
  return parent.size() == 2 && parent[1] == ':' ? parent + "\\" : parent;
}

std::string Trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  std::size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// A typed or pasted path: surrounding quotes (as terminals add for dropped files)
// removed, "~/" taken as the home folder.
std::string CleanTypedPath(const std::string& typed) {
  std::string path = Trim(typed);
  if (path.size() >= 2 && (path.front() == '\'' || path.front() == '"') && path.back() == path.front()) {
    path = path.substr(1, path.size() - 2);
  }
  const char* home = std::getenv("HOME");
  if (home && *home && path.rfind("~/", 0) == 0) path = std::string(home) + path.substr(1);
  return path;
}

// The Windows path of a path the user gave: a Windows path as it is, a host path
// (absolute or relative to the current folder) through the prefix's drives.
std::string WindowsPathOf(platform::ManagedSystem& system, const std::string& path) {
  bool drive = path.size() >= 2 && path[1] == ':' &&
               ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (drive || path.find('\\') != std::string::npos) return path;
  return platform::files::WindowsPathFromHost(system, path);
}

// Runs this program again in a terminal window, to ask there. True when a
// terminal was started.
bool ReopenInTerminal(platform::ManagedSystem& system) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
  std::string self = platform::files::HostPathFromWindows(system, platform::files::ExecutablePath(system));
  if (self.empty()) return false;
  for (const char* terminal : {"x-terminal-emulator", "xterm"}) {
    if (platform::LaunchProgram(system, {terminal, "-T", kTitle, "-e", self, "--pause"})) return true;
  }
  return false;
}

bool AskForPath(platform::ManagedSystem& system, const std::string& programDir, const std::string& dataDir,
                std::string* path) {
  std::cout << kTitle << "\n\n"
            << DescribeInstalledDatabase(system, programDir, dataDir) << "\n\n"
            << "Path of the new database file (an empty line cancels): ";
  std::cout.flush();
  std::string line;
  if (!std::getline(std::cin, line)) std::cout << "\n";
  *path = CleanTypedPath(line);
  return !path->empty();
}

int Run(platform::ManagedSystem& system, const std::vector<std::string>& args, bool* pause) {
  std::vector<std::string> files;
  bool onlyFiles = false;
  for (const std::string& arg : args) {
    if (!onlyFiles && (arg == "--help" || arg == "-h")) {
      std::cout << kUsage;
      return kInstalled;
    }
    if (!onlyFiles && arg == "--pause") {
      *pause = true;
    } else if (!onlyFiles && arg == "--") {
      onlyFiles = true;
    } else if (!onlyFiles && arg.size() > 1 && arg[0] == '-') {
      std::cerr << "Update.exe: unknown option " << arg << "\n\n" << kUsage;
      return kUsageError;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() > 1) {
    std::cerr << "Update.exe: give one database file\n\n" << kUsage;
    return kUsageError;
  }

  std::string programDir = ParentFolder(ParentFolder(platform::files::ExecutablePath(system)));
  if (programDir.empty()) {
    std::cerr << "Update.exe: cannot tell which folder Velmora is installed in\n";
    return kRefused;
  }

  // A copy installed where the user may not write installs for him alone.
  const std::string dataDir = velmora::WritableDataDir(system, programDir);
  std::string path;
  if (!files.empty()) {
    path = files.front();
  } else {
    if (!platform::StandardInputIsTerminal() && !*pause) {
      if (ReopenInTerminal(system)) return kInstalled;
    }
    if (!AskForPath(system, programDir, dataDir, &path)) {
      std::cout << "Nothing chosen. The installed definitions are unchanged.\n";
      return kRefused;
    }
  }
  std::string windowsPath = WindowsPathOf(system, path);
  if (windowsPath.empty()) {
    std::cerr << "Refused: " << path << " names no file that can be reached.\n"
              << "The installed definitions are unchanged.\n";
    return kRefused;
  }
  return InstallDatabase(system, programDir, dataDir, windowsPath, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  bool pause = false;
  // The program's own folder is found through the system it runs on.
  std::unique_ptr<platform::ManagedSystem> system = platform::DefaultSystem();
  int status = Run(*system, std::vector<std::string>(argv + 1, argv + argc), &pause);
  if (pause) {
    std::cout << "\nPress Enter to close this window.";
    std::cout.flush();
    std::string line;
    std::getline(std::cin, line);
  }
  return status;
}
