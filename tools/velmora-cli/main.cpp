// velmora-cli: the startup entries of the prefix from the command line.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/program_context.h"
#include "app/stream_message_box.h"
#include "app/velmora_app.h"
#include "entries/scan_pass.h"
#include "entries/startup_parameters.h"
#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "tools/velmora-cli/edit_commands.h"
#include "tools/velmora-cli/list_command.h"
#include "tools/velmora-cli/profile_commands.h"

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
    "  disable LOCATION NAME\n"
    "  enable LOCATION NAME\n"
    "  remove LOCATION NAME\n"
    "                    disables (keeps it in Velmora's store), enables again, or\n"
    "                    removes an entry, and applies at once\n"
    "  add LOCATION NAME COMMAND\n"
    "                    adds an entry: a registry value, or in a Startup folder a\n"
    "                    shortcut NAME(.lnk) to COMMAND; applies at once\n"
    "  profile list      the saved profiles\n"
    "  profile save NAME [--replace]\n"
    "                    saves the configuration of the six locations\n"
    "  profile load NAME makes the configuration the profile's and applies it\n"
    "                    (entries the profile does not hold are disabled)\n"
    "  profile delete NAME\n"
    "  --help            this text\n"
    "\n"
    "LOCATION is a tag (\"LM Run\", \"LM RunOnce\", \"LM Startup Folder\", \"CU Run\",\n"
    "\"CU RunOnce\", \"CU Startup Folder\") or its number 0-5. Changes are refused\n"
    "while the Velmora window runs or a wineserver runs for the prefix.\n"
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
  VelmoraApp::StartResult start = app.StartCore(box, /*writeSettings=*/false);
  if (start == VelmoraApp::StartResult::kUnsupportedSystem) {
    // Reading is harmless on any version; only changes are refused there.
    std::cerr << "velmora-cli: listing anyway; changes are refused on this system.\n";
  } else if (start != VelmoraApp::StartResult::kReady) {
    app.Shutdown();
    return 1;
  }
  StartupParameters& model = app.startupParameters;
  model.readOnly = true;
  {
    ScanPass pass;  // the locations and the store in one pass
    model.ScanAllLocations();
    model.ReadDisabledTasks();
  }
  model.FillCategoryCodes();
  model.RateAllTasks();
  cli::PrintEntries(model, format, std::cout);
  std::cout.flush();
  app.Shutdown();
  return std::cout ? 0 : 1;
}

// The edit and profile commands run after the full start-up: the lock is held,
// so the window cannot edit at the same time, and an unsupported system refuses.
int RunChangeCommand(const std::vector<std::string>& args, bool profile) {
  std::string error;
  if (!OpenPrefix(&error)) return Fail(error);
  VelmoraApp app;
  StreamMessageBox box(std::cerr, "velmora-cli: ");
  if (app.StartCore(box) != VelmoraApp::StartResult::kReady) {
    app.Shutdown();
    return 1;
  }
  StartupParameters& model = app.startupParameters;
  int status = profile ? cli::RunProfileCommand(args, model, std::cout, std::cerr)
                       : cli::RunEditCommand(args, model, std::cout, std::cerr);
  std::cout.flush();
  app.Shutdown();
  if (status == 2) std::cerr << "\n" << kUsage;
  return status;
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
  if (cli::IsEditCommand(command) || command == "profile") {
    args.insert(args.begin(), command);
    return RunChangeCommand(args, command == "profile");
  }
  return UsageError("unknown command: " + command);
}
