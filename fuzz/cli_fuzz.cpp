// libFuzzer target: velmora-cli's command words and operands (the input split at
// zero bytes) through the edit, profile and list commands, on a real prefix.
//  - the status is 0, 1 or 2, and a failure or wrong usage says why on stderr;
//  - a change that succeeded is undone by its inverse (add/remove,
//    disable/enable, profile save/delete), and the listing is the one before;
//  - after every command both hive files still parse.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "changes/startup_parameters.h"
#include "formats/registry_hive.h"
#include "fuzz/fuzz_support.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/posix/prefix.h"
#include "tools/velmora-cli/command.h"
#include "tools/velmora-cli/edit_support.h"
#include "tools/velmora-cli/list_command.h"

using namespace velmora;

namespace {

int Run(const std::vector<std::string>& args, std::string* out = nullptr) {
  StartupParameters model(fuzz::System());
  std::ostringstream output, error;
  int status = 2;
  const cli::Command* command = args.empty() ? nullptr : cli::FindCommand(args[0]);
  // The commands that leave the prefix as it was, or that have an inverse.
  if (command == &cli::kExportCommand || command == &cli::kSeenCommand) command = nullptr;
  const cli::Operands operands(args.begin() + (args.empty() ? 0 : 1), args.end());
  // The commands about every system of the machine leave the prefix of the run.
  for (const std::string& operand : operands) {
    if (command == &cli::kListCommand && operand == "--all") command = nullptr;
  }
  if (command == &cli::kSystemsCommand) command = nullptr;
  const std::string problem = command ? command->check(operands) : "unknown command";
  if (!problem.empty()) {
    error << problem << "\n";
  } else {
    status = command->run(operands, model, output, error);
    cli::ListOptions options;
    std::string unused;
    const std::string text = output.str();
    if (command == &cli::kListCommand && cli::ParseListOptions(operands, &options, &unused) &&
        options.format == cli::ListFormat::kJson)
      FUZZ_CHECK(text.size() >= 3 && text[0] == '[' && text.substr(text.size() - 2) == "]\n");
  }
  FUZZ_CHECK(status == 0 || status == 1 || status == 2);
  if (status != 0) FUZZ_CHECK(!error.str().empty());
  if (out) *out = output.str();
  return status;
}

std::string Listing() {
  StartupParameters model(fuzz::System());
  cli::ReadModel(model);
  std::ostringstream out;
  cli::ListOptions options;
  options.format = cli::ListFormat::kJson;
  cli::PrintEntries(model, options, out);
  return out.str();
}

void HivesParse() {
  for (const char* file : {"/user.reg", "/system.reg"}) {
    std::string text;
    FUZZ_CHECK(platform::files::ReadWholeFile(fuzz::System(),
                                              platform::files::WindowsPathFromHost(
                                                  fuzz::System(), platform::PrefixDir(fuzz::System()) + file),
                                              &text) == platform::kSuccess);
    formats::Hive hive;
    FUZZ_CHECK(hive.Parse(text, nullptr));
  }
}

const std::vector<std::vector<std::string>>& Seeds() {
  static const std::vector<std::vector<std::string>> seeds = {
      {"add", "CU Run", "Tray", "C:\\windows\\notepad.exe /min"},
      {"add", "LM Run", "Updater", "\"C:\\Program Files\\up.exe\" -q"},
      {"add", "CU Startup Folder", "Notes", "C:\\windows\\notepad.exe"},
  };
  return seeds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string baseline = [] {
    fuzz::WorkDir();
    for (const auto& seed : Seeds()) FUZZ_CHECK(Run(seed) == 0);
    return Listing();
  }();

  std::vector<std::string> args;
  std::string current;
  for (std::size_t i = 0; i < size && args.size() < 6; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (args.size() < 6) args.push_back(current);

  std::string said;
  int status = Run(args, &said);
  HivesParse();
  if (status == 0 && args.size() >= 3) {
    const std::string& command = args[0];
    std::vector<std::string> inverse;
    // An entry already disabled is reported as '"NAME" in ... nothing changed'; every
    // other report starts with its verb. (The name itself may hold any text.)
    const bool unchanged = command == "disable" && !said.empty() && said[0] == '"';
    if ((command == "add" || command == "disable") && !unchanged) {
      inverse = {command == "add" ? "remove" : "enable", args[1], args[2]};
    } else if (command == "profile" && args[1] == "save") {
      for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] != "--replace") inverse = {"profile", "delete", args[i]};
      }
    } else if (command == "remove") {
      for (const auto& seed : Seeds()) {
        if (Listing() != baseline) Run(seed);
      }
    }
    if (!inverse.empty()) {
      FUZZ_CHECK(Run(inverse) == 0);
      HivesParse();
    }
  }
  FUZZ_CHECK(Listing() == baseline || (args[0] == "remove" || args[0] == "profile"));
  return 0;
}
