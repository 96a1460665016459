// Starting programs and asking the desktop to open or show files. Every program is
// started from an argument vector; no shell ever sees a command line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/posix/path_util.h"
#include "platform/posix/prefix.h"
#include "platform/posix/unique_fd.h"
#include "platform/system.h"

extern char** environ;

namespace platform {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A program of the host's PATH, or "".
std::string FindInPath(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return "";
  const char* path = std::getenv("PATH");
  std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    std::size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  return "";
}

enum class FileKind {
  kMissing,
  kFolder,
  kNative,
  kWindowsProgram,
  kWindowsScript,
  kWindowsDocument,
  kDocument
};

// What a host file is: a PE image runs through Wine, an ELF image or a script
// with its execute bit runs directly, Windows-only file types go to Wine's own
// "start", the rest are documents for the desktop.
FileKind KindOf(const std::string& hostPath) {
  struct stat st;
  if (hostPath.empty() || stat(hostPath.c_str(), &st) != 0) return FileKind::kMissing;
  if (S_ISDIR(st.st_mode)) return FileKind::kFolder;
  char head[4] = {0, 0, 0, 0};
  posix::UniqueFd fd(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd) {
    ssize_t n = read(fd.get(), head, sizeof head);
    fd.reset();
    if (n >= 2 && head[0] == 'M' && head[1] == 'Z') return FileKind::kWindowsProgram;
    bool native = (n == 4 && std::memcmp(head,
                                         "\x7f"
                                         "ELF",
                                         4) == 0) ||
                  (n >= 2 && head[0] == '#' && head[1] == '!');
    if (native && access(hostPath.c_str(), X_OK) == 0) return FileKind::kNative;
  }
  if (velmora::EndsWithIgnoreCase(hostPath, ".bat") || velmora::EndsWithIgnoreCase(hostPath, ".cmd"))
    return FileKind::kWindowsScript;
  static const char* const kWindowsTypes[] = {".exe", ".com", ".lnk", ".msi", ".pif", ".scr", ".url"};
  for (const char* type : kWindowsTypes) {
    if (velmora::EndsWithIgnoreCase(hostPath, type)) return FileKind::kWindowsDocument;
  }
  return FileKind::kDocument;
}

bool LooksLikeWindowsPath(const std::string& path) {
  if (path.find('\\') != std::string::npos) return true;
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// The host file a program or document path names. A bare name is looked for in
// the Windows folders, as Windows would.
std::string HostFileOf(ManagedSystem& system, const std::string& path) {
  if (path.empty()) return "";
  if (path[0] == '/') return path;
  if (LooksLikeWindowsPath(path)) return system.HostPathFromWindows(path);
  if (path.find('/') != std::string::npos) return path;  // relative host path
  std::string root = env::Value(system, "SystemRoot");
  if (root.empty()) root = "C:\\windows";
  for (const std::string& folder : {root + "\\system32", root}) {
    std::vector<std::string> names = {path};
    if (path.find('.') == std::string::npos) names.push_back(path + ".exe");
    for (const std::string& name : names) {
      std::string host = system.HostPathFromWindows(folder + "\\" + name);
      struct stat st;
      if (!host.empty() && stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return host;
    }
  }
  return "";
}

// The environment of a started program: ours, with WINEPREFIX naming the prefix.
std::vector<std::string> ChildEnvironment(ManagedSystem& system) {
  std::vector<std::string> env;
  for (char** p = environ; p && *p; ++p) {
    if (std::strncmp(*p, "WINEPREFIX=", 11) != 0) env.emplace_back(*p);
  }
  const std::string prefix = PrefixDir(system);
  if (!prefix.empty()) env.push_back("WINEPREFIX=" + prefix);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Spawn settings shared by every start: default signal handling, an empty signal
// mask, a session of its own, stdin from /dev/null and, when asked, no output.
struct SpawnSetup {
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;

  explicit SpawnSetup(bool quiet) {
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
    flags |= POSIX_SPAWN_SETSID;
#endif
    posix_spawnattr_setflags(&attributes, flags);
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (quiet) {
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

pid_t WaitFor(pid_t pid, int* status) {
  pid_t r;
  do {
    r = waitpid(pid, status, 0);
  } while (r < 0 && errno == EINTR);
  return r;
}

// Starts |program| and lets it run on its own: an intermediate child spawns it
// and ends at once, so the program is adopted by init (or the session's
// subreaper) and never becomes our zombie. True when the program was started.
bool SpawnDetached(ManagedSystem& system, const std::string& program, std::vector<std::string> argv) {
  if (program.empty() || argv.empty()) return false;
  std::vector<std::string> env = ChildEnvironment(system);
  std::vector<char*> argPointers = Pointers(argv);
  std::vector<char*> envPointers = Pointers(env);
  SpawnSetup setup(false);

  pid_t intermediate = fork();
  if (intermediate < 0) return false;
  if (intermediate == 0) {
    pid_t child;
    int rc = posix_spawn(&child, program.c_str(), &setup.actions, &setup.attributes, argPointers.data(),
                         envPointers.data());
    _exit(rc == 0 ? 0 : (rc & 0x7F) + 1);
  }
  int status = 0;
  if (WaitFor(intermediate, &status) < 0) {
    // Children are reaped elsewhere (SIGCHLD ignored): the outcome is unknown, but
    // the start was made.
    return errno == ECHILD;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Waits for |child| at most |seconds|, killing it when it takes longer; its exit
// status, or -1 when it was killed, ended by a signal or could not be waited for.
int WaitWithin(pid_t child, int seconds) {
  int status = 0;
  for (int waited = 0;; waited += 20) {
    pid_t r = waitpid(child, &status, WNOHANG);
    if (r == child) break;
    if (r < 0 && errno != EINTR) return -1;
    if (waited >= seconds * 1000) {
      kill(child, SIGKILL);
      WaitFor(child, &status);
      return -1;
    }
    timespec pause{0, 20 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a helper and waits for its end, at most |seconds|; its exit status, or -1.
// A child of our own starts the helper, waits for it and sends its status through
// a pipe: where this process ignores SIGCHLD (a disposition handed down by
// whoever started it) the kernel reaps our children and their status is lost to
// waitpid, while the waiting child sets the disposition back for itself alone.
int RunAndWait(ManagedSystem& system, const std::string& program, std::vector<std::string> argv,
               int seconds) {
  if (program.empty()) return -1;
  std::vector<std::string> env = ChildEnvironment(system);
  std::vector<char*> argPointers = Pointers(argv);
  std::vector<char*> envPointers = Pointers(env);
  SpawnSetup setup(true);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  posix::UniqueFd results(ends[0]), result(ends[1]);
  const pid_t waiter = fork();
  if (waiter < 0) return -1;
  if (waiter == 0) {
    signal(SIGCHLD, SIG_DFL);
    pid_t child;
    int code = -1;
    if (posix_spawn(&child, program.c_str(), &setup.actions, &setup.attributes, argPointers.data(),
                    envPointers.data()) == 0) {
      code = WaitWithin(child, seconds);
    }
    _exit(write(result.get(), &code, sizeof code) == static_cast<ssize_t>(sizeof code) ? 0 : 1);
  }
  result.reset();
  int code = -1;
  // The waiter ends the helper at |seconds|; it is given a little more to answer.
  pollfd ready{results.get(), POLLIN, 0};
  int polled;
  do {
    polled = poll(&ready, 1, seconds * 1000 + 5000);
  } while (polled < 0 && errno == EINTR);
  ssize_t got = -1;
  if (polled == 1) {
    do {
      got = read(results.get(), &code, sizeof code);
    } while (got < 0 && errno == EINTR);
  }
  if (got != static_cast<ssize_t>(sizeof code)) code = -1;
  // Still holding its end of the pipe, the waiter is alive and its number its own.
  if (polled == 0) kill(waiter, SIGKILL);
  int status = 0;
  WaitFor(waiter, &status);  // ECHILD where the kernel reaped it
  return code;
}

// Hands a host file or folder to Wine's "start", which uses the prefix's own
// associations.
bool WineStart(ManagedSystem& system, const std::string& hostPath,
               const std::vector<std::string>& arguments) {
  std::string wine = FindInPath("wine");
  if (wine.empty()) return false;
  std::vector<std::string> argv = {wine, "start", "/unix", hostPath};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return SpawnDetached(system, wine, argv);
}

// Opens a host document or folder with the desktop's default application. Wine's
// explorer is no stand-in: while it runs, its wineserver owns the registry.
bool DesktopOpen(ManagedSystem& system, const std::string& hostPath) {
  std::string opener = FindInPath("xdg-open");
  return !opener.empty() && SpawnDetached(system, opener, {opener, hostPath});
}

std::string FileUri(const std::string& hostPath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : hostPath) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

std::string ParentFolder(const std::string& hostPath) {
  std::string path = hostPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool LaunchProgram(ManagedSystem& system, const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  const std::string& program = argv[0];
  std::vector<std::string> arguments(argv.begin() + 1, argv.end());

  std::string host;
  bool bareName = program.find_first_of("\\/") == std::string::npos && !LooksLikeWindowsPath(program);
  if (bareName) host = FindInPath(program);  // a host program by name first
  if (host.empty()) host = HostFileOf(system, program);

  FileKind kind = KindOf(host);
  if (kind == FileKind::kNative) {
    std::vector<std::string> full = {host};
    full.insert(full.end(), arguments.begin(), arguments.end());
    return SpawnDetached(system, host, full);
  }
  std::string wine = FindInPath("wine");
  if (wine.empty()) return false;
  // Wine is given the Windows path when it has one: that is the name the program
  // sees as its own.
  std::string windowsPath = LooksLikeWindowsPath(program) ? program : system.WindowsPathFromHost(host);
  std::vector<std::string> full = {wine};
  switch (kind) {
    case FileKind::kWindowsProgram:
      full.push_back(windowsPath);
      break;
    case FileKind::kWindowsScript:
      full.insert(full.end(), {"cmd", "/c", windowsPath});
      break;
    case FileKind::kWindowsDocument:
      return WineStart(system, host, arguments);
    default:
      return false;  // missing, a folder or a document: nothing to run
  }
  full.insert(full.end(), arguments.begin(), arguments.end());
  return SpawnDetached(system, wine, full);
}

bool ShellOpen(ManagedSystem& system, const std::string& windowsPath) {
  std::string host = HostFileOf(system, windowsPath);
  switch (KindOf(host)) {
    case FileKind::kMissing:
      return false;
    case FileKind::kNative:
    case FileKind::kWindowsProgram:
    case FileKind::kWindowsScript:
      return LaunchProgram(system, {windowsPath});
    case FileKind::kWindowsDocument:
      return WineStart(system, host, {});
    case FileKind::kFolder:
    case FileKind::kDocument:
      return DesktopOpen(system, host);
  }
  return false;
}

bool ShowInFileManager(ManagedSystem& system, const std::string& windowsPath) {
  std::string host = HostFileOf(system, windowsPath);
  if (host.empty()) return false;
  struct stat st;
  if (stat(host.c_str(), &st) == 0) {
    std::string uri = FileUri(host);
    std::string gdbus = FindInPath("gdbus");
    if (!gdbus.empty() &&
        RunAndWait(system, gdbus,
                   {gdbus, "call", "--session", "--timeout", "5", "--dest", "org.freedesktop.FileManager1",
                    "--object-path", "/org/freedesktop/FileManager1", "--method",
                    "org.freedesktop.FileManager1.ShowItems", "['" + uri + "']", "''"},
                   10) == 0) {
      return true;
    }
    std::string dbusSend = gdbus.empty() ? FindInPath("dbus-send") : "";
    if (!dbusSend.empty() &&
        RunAndWait(system, dbusSend,
                   {dbusSend, "--session", "--print-reply", "--reply-timeout=5000",
                    "--dest=org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                    "org.freedesktop.FileManager1.ShowItems", "array:string:" + uri, "string:"},
                   10) == 0) {
      return true;
    }
  }
  std::string folder = ParentFolder(host);
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return DesktopOpen(system, folder);
}

}  // namespace platform
