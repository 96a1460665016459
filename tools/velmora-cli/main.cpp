// velmora-cli: the startup entries of the prefix from the command line.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/stream_message_box.h"
#include "app/system_choice.h"
#include "app/velmora_app.h"
#include "changes/seen_entries.h"
#include "changes/startup_parameters.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/heap.h"
#include "platform/registry.h"
#include "platform/startup.h"
#include "tools/velmora-cli/edit_commands.h"
#include "tools/velmora-cli/export_command.h"
#include "tools/velmora-cli/list_command.h"
#include "tools/velmora-cli/profile_commands.h"

using namespace velmora;

namespace {

const char kUsage[] =
    "Usage: velmora-cli [--windows DIR [--user NAME]] COMMAND [OPTIONS]\n"
    "\n"
    "Shows and edits the programs that Windows starts at logon, in the Wine prefix\n"
    "$WINEPREFIX (else ~/.wine when it holds a registry, else Velmora's own prefix).\n"
    "\n"
    "  --windows DIR     works on the offline Windows installation mounted at DIR\n"
    "                    (DIR holds Windows\\System32\\config\\SOFTWARE) instead\n"
    "  --user NAME       its user whose registry (NTUSER.DAT) serves; needed when\n"
    "                    the installation has several users\n"
    "\n"
    "Commands:\n"
    "  list [--json | --csv] [--new]\n"
    "                    every entry of the startup locations: the Run and\n"
    "                    RunOnce keys of the machine (LM) and of the user (CU), the\n"
    "                    common (LM) and the user's (CU) Startup folder, and on a\n"
    "                    64-bit system the machine's Run and RunOnce of 32-bit\n"
    "                    programs (LM ... (32-bit)). Entries\n"
    "                    added or changed since they were last seen are marked new;\n"
    "                    --new lists only those. --csv writes RFC 4180 CSV with a\n"
    "                    header row. A listing writes nothing.\n"
    "  seen              marks the entries as they stand now as seen\n"
    "  export FILE.reg   writes the Run and RunOnce keys and Velmora's store of\n"
    "                    disabled entries as a REGEDIT4 file for regedit\n"
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
    "                    saves the configuration of the startup locations\n"
    "  profile load NAME makes the configuration the profile's and applies it\n"
    "                    (entries the profile does not hold are disabled)\n"
    "  profile delete NAME\n"
    "  --help            this text\n"
    "\n"
    "LOCATION is a tag (\"LM Run\", \"LM RunOnce\", \"LM Startup Folder\", \"CU Run\",\n"
    "\"CU RunOnce\", \"CU Startup Folder\") or its number 0-5; on a 64-bit system also\n"
    "\"LM Run (32-bit)\" (6) and \"LM RunOnce (32-bit)\" (7). Changes are refused\n"
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

SystemChoice chosenSystem;
// The system the command works on, once opened; it stays open until the process ends.
std::unique_ptr<platform::ManagedSystem> managedSystem;

// The system must be usable before anything is read from it.
bool OpenPrefix(std::string* error) {
  if (!managedSystem) {
    if (!OpenChosenSystem(chosenSystem, &managedSystem, error)) return false;
    platform::UseSystem(managedSystem.get());
  }
  for (platform::HKey root : {managedSystem->LocalMachine(), managedSystem->CurrentUser()}) {
    platform::UniqueKey key;
    platform::Status status = platform::reg::OpenKey(root, "Software", platform::kKeyRead, key.out());
    if (status != platform::kSuccess && status != platform::kFileNotFound) {
      std::string detail = platform::LastErrorDetail();
      *error = "cannot read the registry of " + managedSystem->Name() +
               (detail.empty() ? " (status " + std::to_string(status) + ")" : ": " + detail);
      return false;
    }
  }
  return true;
}

// "list", "export FILE": the model read as at start, without writing anything.
int RunReadCommand(const std::string& command, const std::vector<std::string>& args) {
  cli::ListOptions options;
  std::string exportPath;
  if (command == "export") {
    if (args.size() != 1) return UsageError("export needs one file name");
    exportPath = args[0];
  } else {
    std::string problem;
    if (!cli::ParseListOptions(args, &options, &problem)) return UsageError(problem);
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
  model.SetReadOnly(true);
  model.ReadAll();
  model.FillCategoryCodes();
  model.RateAllTasks();
  if (command == "export") {
    int status = cli::ExportRegistryFile(model, exportPath, std::cout, std::cerr);
    app.Shutdown();
    return status;
  }
  const changes::SeenEntries seen = changes::SeenEntries::Read();
  options.seen = &seen;
  cli::PrintEntries(model, options, std::cout);
  std::cout.flush();
  app.Shutdown();
  return std::cout ? 0 : 1;
}

// "seen": the entries as they stand become the ones seen.
int RunSeen(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("seen takes no arguments");
  std::string error;
  if (!OpenPrefix(&error)) return Fail(error);
  VelmoraApp app;
  StreamMessageBox box(std::cerr, "velmora-cli: ");
  VelmoraApp::StartResult start = app.StartCore(box);
  // The record is Velmora's own: it may be kept on any system that can be listed.
  if (start != VelmoraApp::StartResult::kReady && start != VelmoraApp::StartResult::kUnsupportedSystem) {
    app.Shutdown();
    return 1;
  }
  StartupParameters& model = app.startupParameters;
  model.ScanAllLocations();
  model.ReadDisabledTasks();
  bool written = changes::SeenEntries::Write(model, &error);
  app.Shutdown();
  if (!written) return Fail(error);
  std::cout << "The entries as they stand now are marked as seen.\n";
  return 0;
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
  platform::PrepareHeap();
  platform::UseBinaryStandardOutput();
  std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  std::string optionError;
  if (!TakeSystemOptions(&args, &chosenSystem, &optionError)) return UsageError(optionError);
  if (args.empty()) return UsageError("a command is needed");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "list" || command == "export") return RunReadCommand(command, args);
  if (command == "seen") return RunSeen(args);
  if (cli::IsEditCommand(command) || command == "profile") {
    args.insert(args.begin(), command);
    return RunChangeCommand(args, command == "profile");
  }
  return UsageError("unknown command: " + command);
}
