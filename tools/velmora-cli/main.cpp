// velmora-cli: the startup entries of the prefix from the command line.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/program_context.h"
#include "app/stream_message_box.h"
#include "app/velmora_app.h"
#include "entries/startup_parameters.h"
#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "tools/velmora-cli/list_command.h"

using namespace velmora;

namespace {

const char kUsage[] =
    "Usage: velmora-cli COMMAND [OPTIONS]\n"
    "\n"
    "Shows and edits the programs that Windows starts at logon, in the Wine prefix\n"
    "$WINEPREFIX (else ~/.wine when it holds a registry, else Velmora's own prefix).\n"
    "\n"
    "Commands:\n"
    "  list [--json]     every entry of the six startup locations: the Run and\n"
    "                    RunOnce keys of the machine (LM) and of the user (CU), the\n"
    "                    common (LM) and the user's (CU) Startup folder\n"
    "  --help            this text\n"
    "\n"
    "Exit status: 0 success, 1 failure (with a message), 2 wrong usage.\n";

int UsageError(const std::string& message) {
  std::cerr << "velmora-cli: " << message << "\n\n" << kUsage;
  return 2;
}

int Fail(const std::string& message) {
  std::cerr << "velmora-cli: " << message << "\n";
  return 1;
}

// The prefix must be usable before anything is read from it.
bool OpenPrefix(std::string* error) {
  if (platform::InitPrefix() != platform::kSuccess) {
    *error = "cannot use the Wine prefix: " + platform::LastErrorDetail();
    return false;
  }
  for (platform::HKey root : {platform::HKeyLocalMachine(), platform::HKeyCurrentUser()}) {
    platform::HKey key = nullptr;
    platform::Status status = platform::RegOpenKeyEx(root, "Software", platform::kKeyRead, &key);
    if (status == platform::kSuccess) {
      platform::RegCloseKey(key);
    } else if (status != platform::kFileNotFound) {
      std::string detail = platform::LastErrorDetail();
      *error = "cannot read the registry of the prefix " + platform::PrefixDir() +
               (detail.empty() ? " (status " + std::to_string(status) + ")" : ": " + detail);
      return false;
    }
  }
  return true;
}

int RunList(const std::vector<std::string>& args) {
  cli::ListFormat format = cli::ListFormat::kTable;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      format = cli::ListFormat::kJson;
    } else {
      return UsageError("unknown option for list: " + arg);
    }
  }
  std::string error;
  if (!OpenPrefix(&error)) return Fail(error);

  VelmoraApp app;
  StreamMessageBox box(std::cerr, "velmora-cli: ");
  VelmoraApp::StartResult start = app.StartCore(box);
  if (start == VelmoraApp::StartResult::kUnsupportedSystem) {
    // Reading is harmless on any version; only changes are refused there.
    std::cerr << "velmora-cli: listing anyway; changes are refused on this system.\n";
  } else if (start != VelmoraApp::StartResult::kReady) {
    app.Shutdown();
    return 1;
  }
  StartupParameters& model = app.startupParameters;
  model.readOnly = true;
  model.ScanAllLocations();
  model.ReadDisabledTasks();
  model.FillCategoryCodes();
  model.RateAllTasks();
  cli::PrintEntries(model, format, std::cout);
  std::cout.flush();
  app.Shutdown();
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("a command is needed");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "list") return RunList(args);
  return UsageError("unknown command: " + command);
}
