// "velmora-cli add LOCATION NAME COMMAND".
#include <ostream>

#include "base/text.h"
#include "base/utf16.h"
#include "tools/velmora-cli/edit_support.h"

namespace velmora::cli {

namespace {

int RunAdd(const Operands& operands, StartupParameters& model, std::ostream& out, std::ostream& err) {
  const int location = EditedLocation(operands, model, err);
  if (location < 0) return 1;
  const std::string name = ValidUtf8(operands[1]);
  const std::string tag = LocationTag(location);
  auto task = std::make_unique<Task>();
  task->name = name;
  const std::string commandLine = ValidUtf8(operands[2]);
  task->command = commandLine;
  std::string error;
  if (!model.AddEntry(std::move(task), location, &error)) {
    err << "velmora-cli: cannot add \"" << name << "\" to " << tag << ": " << error << "\n";
    return 1;
  }
  std::string added = name;
  if (IsFolderLocation(location) && !EndsWithIgnoreCase(added, ".lnk")) added += ".lnk";
  return ApplyAndReport(model, "added \"" + added + "\" to " + tag + ": " + commandLine, out, err);
}

}  // namespace

const Command kAddCommand = {"add",
                             "LOCATION NAME COMMAND",
                             "adds an entry: a registry value, or in a Startup folder a\n"
                             "shortcut NAME(.lnk) to COMMAND; applies at once\n",
                             Writes::kSystem,
                             [](const Operands& operands) { return CheckLocationOperands(operands, 3); },
                             RunAdd};

}  // namespace velmora::cli
