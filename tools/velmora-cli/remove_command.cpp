// "velmora-cli remove LOCATION NAME".
#include <ostream>

#include "base/utf16.h"
#include "tools/velmora-cli/edit_support.h"

namespace velmora::cli {

namespace {

int RunRemove(const Operands& operands, StartupParameters& model, std::ostream& out, std::ostream& err) {
  const int location = EditedLocation(operands, model, err);
  if (location < 0) return 1;
  if (IsServiceLocation(location)) {
    err << "velmora-cli: services are not removed; disable it instead\n";
    return 1;
  }
  const Task* task = FindEntry(model, location, ValidUtf8(operands[1]), "remove", err);
  if (!task) return 1;
  const std::string shown = task->name;
  const bool wasEnabled = task->enabled;
  model.RemoveEntry(shown, location);
  return ApplyAndReport(
      model,
      "removed \"" + shown + "\" from " + LocationTag(location) + (wasEnabled ? "" : " (it was disabled)"),
      out, err);
}

}  // namespace

const Command kRemoveCommand = {"remove",
                                "LOCATION NAME",
                                "removes an entry, enabled or disabled, at once\n",
                                Writes::kSystem,
                                [](const Operands& operands) { return CheckLocationOperands(operands, 2); },
                                RunRemove};

}  // namespace velmora::cli
