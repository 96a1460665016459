// velmora-cli: the startup entries of the prefix from the command line.
#include <cstdlib>
#include <future>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/stream_message_box.h"
#include "app/system_choice.h"
#include "app/velmora_app.h"
#include "base/program_version.h"
#include "platform/console.h"
#include "platform/heap.h"
#include "platform/managed_system.h"
#include "platform/registry.h"
#include "tools/velmora-cli/command.h"
#include "tools/velmora-cli/list_all.h"

// Under the sanitizers the process ends as any other, so that the leak check sees
// everything taken apart.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELMORA_CLI_TEARDOWN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELMORA_CLI_TEARDOWN 1
#endif
#endif

using namespace velmora;

namespace {

// |command|: the command whose usage is shown; null for the whole text.
int UsageError(const std::string& message, const cli::Command* command = nullptr) {
  std::cerr << "velmora-cli: " << message << "\n\n"
            << (command ? cli::CommandUsage(*command) : cli::UsageText());
  return 2;
}

int Fail(const std::string& message) {
  std::cerr << "velmora-cli: " << message << "\n";
  return 1;
}

// Opens the system a command works on, before anything is read from it.
bool OpenSystem(const SystemChoice& choice, std::unique_ptr<platform::ManagedSystem>* opened,
                std::string* error) {
  std::unique_ptr<platform::ManagedSystem>& managedSystem = *opened;
  if (!OpenChosenSystem(choice, &managedSystem, error)) return false;
  return CheckSystemReadable(*managedSystem, error);
}

// Start-up, the command, shutdown.
int Run(const cli::Command& command, const cli::Operands& operands, const SystemChoice& choice) {
  const std::string problem = command.check(operands);
  if (!problem.empty()) return UsageError(problem, &command);
  if (command.runAlone) {
    const int status = command.runAlone(operands, std::cout, std::cerr);
    std::cout.flush();
    return status == 0 && !std::cout ? 1 : status;
  }
  // The programs of the entries are looked up in the host's process table: read
  // while the system is opened and its registry read, beside the registry's two
  // helpers. An offline installation runs no processes.
  std::future<cli::ProcessTable> processes;
  if (choice.windowsRoot.empty()) processes = cli::ReadProcessTableBeside(2);
  std::string error;
  std::unique_ptr<platform::ManagedSystem> system;
  if (!OpenSystem(choice, &system, &error)) return Fail(error);
  if (processes.valid()) system->ShareProcessTable(processes.get());

  const cli::Writes writes = cli::WritesOf(command, operands);
  const bool reads = writes == cli::Writes::kNothing;
  VelmoraApp app(std::move(system));
  StreamMessageBox box(std::cerr, "velmora-cli: ");
  const VelmoraApp::StartResult start =
      app.StartCore(box, reads ? VelmoraApp::Lock::kNone : VelmoraApp::Lock::kSystem);
  bool go = start == VelmoraApp::StartResult::kReady;
  if (start == VelmoraApp::StartResult::kUnsupportedSystem && writes != cli::Writes::kSystem) {
    // Reading, and Velmora's own records, are harmless on any version; only
    // changes are refused there.
    if (reads) std::cerr << "velmora-cli: listing anyway; changes are refused on this system.\n";
    go = true;
  }
  if (!go) {
    app.Shutdown();
    return 1;
  }
  StartupParameters& model = app.Model();
  if (reads) {
    model.SetReadOnly(true);
    const std::string lag = app.System().ReadMayLag();
    if (!lag.empty()) std::cerr << "velmora-cli: note: " << lag << ".\n";
  }
  int status = command.run(operands, model, std::cout, std::cerr);
  std::cout.flush();
  app.Shutdown();
  if (status == 0 && !std::cout) status = 1;
#ifndef VELMORA_CLI_TEARDOWN
  // The output is out and every file written: taking the parsed registry and the
  // model apart key by key would only delay the end. The process ends as from
  // main, its objects left standing; the locks go with it.
  std::exit(status);
#endif
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  platform::PrepareHeap();
  platform::UseBinaryStandardOutput();
  platform::BufferStandardOutput();
  std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  SystemChoice choice;
  std::string optionError;
  if (!TakeSystemOptions(&args, &choice, &optionError)) return UsageError(optionError);
  if (args.empty()) return UsageError("a command is needed");
  const std::string name = args.front();
  args.erase(args.begin());
  if (name == "--help" || name == "-h" || name == "help") {
    std::cout << cli::UsageText();
    return 0;
  }
  if (name == "--version") {
    std::cout << "velmora-cli " << ProgramVersion() << "\n";
    return 0;
  }
  const cli::Command* command = cli::FindCommand(name);
  if (!command) return UsageError("unknown command: " + name);
  return Run(*command, args, choice);
}
