#include "tools/velmora-cli/edit_support.h"

#include <ostream>

#include "base/text.h"
#include "base/utf16.h"
#include "changes/store.h"
#include "platform/managed_system.h"

namespace velmora::cli {

int ParseLocationArgument(const std::string& text) {
  if (!text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos &&
      (text.size() == 1 || text[0] != '0')) {
    int number = std::stoi(text);
    return number < kLocationCount ? number : -1;
  }
  for (int location = 0; location < kLocationCount; ++location) {
    if (EqualsIgnoreCase(text, LocationTag(location))) return location;
  }
  return -1;
}

std::string CheckLocationOperands(const Operands& operands, std::size_t count) {
  if (operands.size() != count) return "this command takes " + std::to_string(count) + " operands";
  if (ParseLocationArgument(operands[0]) < 0) return "unknown location \"" + ValidUtf8(operands[0]) + "\"";
  return "";
}

bool CheckWritablePrefix(platform::ManagedSystem& system, std::ostream& err, int location) {
  // Every change writes the store in the user's hive; one of the machine's keys
  // writes the machine's too.
  bool machine = location < 0 || (IsMachineLocation(location) && !IsFolderLocation(location));
  platform::WriteRefusal refusal = system.CheckWritesAllowed(machine);
  // A profile may change services too.
  if (!refusal.refused && (location < 0 || IsServiceLocation(location)))
    refusal = system.CheckServiceWritesAllowed();
  if (refusal.refused && refusal.advice.empty()) {
    err << "velmora-cli: " << refusal.reason << ". Nothing was changed.\n";
    return false;
  }
  if (refusal.refused) {
    err << "velmora-cli: " << refusal.reason << "; nothing was changed. " << refusal.advice << "\n";
    return false;
  }
  return true;
}

void ReadModel(StartupParameters& model) {
  model.SetReadOnly(false);
  model.Reload();
}

int ApplyNow(StartupParameters& model, std::ostream& err) {
  model.TakeSnapshot();
  std::vector<ApplyFailure> failures = model.ApplyChanges();
  for (const ApplyFailure& failure : failures) {
    err << "velmora-cli: ";
    if (failure.location >= 0) err << LocationTag(failure.location);
    if (!failure.name.empty()) err << (failure.location >= 0 ? " " : "") << "\"" << failure.name << "\"";
    err << (failure.location >= 0 || !failure.name.empty() ? ": " : "") << failure.reason << "\n";
  }
  return failures.empty() ? 0 : 1;
}

int EditedLocation(const Operands& operands, StartupParameters& model, std::ostream& err) {
  const int location = ParseLocationArgument(operands[0]);
  if (!model.HasLocation(location)) {
    err << "velmora-cli: " << model.System().Name() << " has no " << LocationTag(location)
        << ": it is a 32-bit Windows, with no 32-bit registry view; nothing was changed\n";
    return -1;
  }
  if (!CheckWritablePrefix(model.System(), err, location)) return -1;
  ReadModel(model);
  return location;
}

const Task* FindEntry(const StartupParameters& model, int location, const std::string& name, const char* verb,
                      std::ostream& err) {
  const Task* task = model.Entry(location, name);
  if (!task && IsFolderLocation(location)) task = model.Entry(location, name + ".lnk");
  if (!task || task->removed) {
    err << "velmora-cli: there is no entry \"" << name << "\" in " << LocationTag(location) << "\n";
    return nullptr;
  }
  if (task->readOnly) {
    err << "velmora-cli: cannot " << verb << " \"" << task->name << "\" in " << LocationTag(location)
        << ": the location cannot be changed: " << task->readOnlyReason << "\n";
    return nullptr;
  }
  return task;
}

int ApplyAndReport(StartupParameters& model, std::string done, std::ostream& out, std::ostream& err) {
  if (ApplyNow(model, err) != 0) {
    err << "velmora-cli: the change was not fully applied\n";
    return 1;
  }
  done[0] = static_cast<char>(done[0] - 'a' + 'A');
  out << done << "\n";
  return 0;
}

int SwitchEntry(const Operands& operands, int wanted, StartupParameters& model, std::ostream& out,
                std::ostream& err) {
  const int location = EditedLocation(operands, model, err);
  if (location < 0) return 1;
  // Bytes that are not UTF-8 are read as Latin-1 here as they are when stored,
  // so a name that was added can be found again by the same bytes.
  const Task* task = FindEntry(model, location, ValidUtf8(operands[1]), wanted ? "enable" : "disable", err);
  if (!task) return 1;
  const std::string shown = task->name;
  const std::string tag = LocationTag(location);
  const std::string verb = wanted ? "enabled" : "disabled";
  if (task->enabled == wanted) {
    out << "\"" << shown << "\" in " << tag << " is already " << verb << "; nothing changed\n";
    const std::string kept = changes::KeptCopyNote(*task, location);
    if (!kept.empty()) out << kept << "\n";
    return 0;
  }
  model.SetEntryEnabled(shown, location, wanted);
  return ApplyAndReport(model,
                        verb + " \"" + shown + "\" in " + tag +
                            (wanted ? "" : " (kept in Velmora's store of disabled entries until enabled)"),
                        out, err);
}

}  // namespace velmora::cli
