#include "tools/velmora-cli/edit_commands.h"

#include <ostream>

#include "base/text.h"
#include "base/utf16.h"
#include "platform/managed_system.h"

namespace velmora::cli {

namespace {

const char kEditUsage[] =
    "usage: velmora-cli disable|enable|remove LOCATION NAME\n"
    "       velmora-cli add LOCATION NAME COMMAND\n"
    "LOCATION is a tag (\"LM Run\", \"LM RunOnce\", \"LM Startup Folder\", \"CU Run\",\n"
    "\"CU RunOnce\", \"CU Startup Folder\") or its number 0-5; on a 64-bit system also\n"
    "\"LM Run (32-bit)\" (6) and \"LM RunOnce (32-bit)\" (7).\n";

int Usage(std::ostream& err, const std::string& message) {
  err << "velmora-cli: " << message << "\n" << kEditUsage;
  return 2;
}

// The entry NAME of a location; in a Startup folder "Foo" also finds "Foo.lnk".
const Task* FindEntry(const StartupParameters& model, int location, const std::string& name) {
  const Task* task = model.Entry(location, name);
  if (!task && IsFolderLocation(location)) task = model.Entry(location, name + ".lnk");
  if (!task || task->removed) return nullptr;
  return task;
}

}  // namespace

bool IsEditCommand(const std::string& command) {
  return command == "disable" || command == "enable" || command == "remove" || command == "add";
}

int ParseLocationArgument(const std::string& text) {
  if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kLocationCount) return text[0] - '0';
  for (int location = 0; location < kLocationCount; ++location) {
    if (EqualsIgnoreCase(text, LocationTag(location))) return location;
  }
  return -1;
}

bool CheckWritablePrefix(std::ostream& err, int location) {
  // Every change writes the store in the user's hive; one of the machine's keys
  // writes the machine's too.
  bool machine =
      location < 0 || (std::string(LocationTag(location)).rfind("LM", 0) == 0 && !IsFolderLocation(location));
  platform::WriteRefusal refusal = platform::SystemInUse().CheckWritesAllowed(machine);
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

int RunEditCommand(const std::vector<std::string>& args, StartupParameters& model, std::ostream& out,
                   std::ostream& err) {
  if (args.empty() || !IsEditCommand(args[0])) return Usage(err, "unknown edit command");
  const std::string& command = args[0];
  std::size_t operands = command == "add" ? 3 : 2;
  if (args.size() != operands + 1)
    return Usage(err, command + " takes " + std::to_string(operands) + " operands");
  int location = ParseLocationArgument(args[1]);
  if (location < 0) {
    err << "velmora-cli: unknown location \"" << ValidUtf8(args[1]) << "\"\n" << kEditUsage;
    return 1;
  }
  // Bytes that are not UTF-8 are read as Latin-1 here as they are when stored,
  // so a name that was added can be found again by the same bytes.
  const std::string name = ValidUtf8(args[2]);
  const std::string tag = LocationTag(location);
  if (!model.HasLocation(location)) {
    err << "velmora-cli: this system has no " << tag
        << ": the machine has no 32-bit registry view (the prefix is a 32-bit one)\n";
    return 1;
  }
  if (!CheckWritablePrefix(err, location)) return 1;
  ReadModel(model);

  std::string done;
  if (command == "add") {
    auto task = std::make_unique<Task>();
    task->name = name;
    const std::string commandLine = ValidUtf8(args[3]);
    task->command = commandLine;
    std::string error;
    if (!model.AddEntry(std::move(task), location, &error)) {
      err << "velmora-cli: cannot add \"" << name << "\" to " << tag << ": " << error << "\n";
      return 1;
    }
    std::string added = name;
    if (IsFolderLocation(location) && !EndsWithIgnoreCase(added, ".lnk")) added += ".lnk";
    done = "added \"" + added + "\" to " + tag + ": " + commandLine;
  } else {
    const Task* task = FindEntry(model, location, name);
    if (!task) {
      err << "velmora-cli: there is no entry \"" << name << "\" in " << tag << "\n";
      return 1;
    }
    const std::string shown = task->name;
    if (command == "remove") {
      model.RemoveEntry(shown, location);
      done =
          std::string("removed \"") + shown + "\" from " + tag + (task->enabled ? "" : " (it was disabled)");
    } else {
      int wanted = command == "enable" ? 1 : 0;
      if (task->enabled == wanted) {
        out << "\"" << shown << "\" in " << tag << " is already " << command << "d; nothing changed\n";
        return 0;
      }
      model.SetEntryEnabled(shown, location, wanted);
      done = command + "d \"" + shown + "\" in " + tag +
             (wanted ? "" : " (kept in Velmora's store of disabled entries until enabled)");
    }
  }
  if (ApplyNow(model, err) != 0) {
    err << "velmora-cli: the change was not fully applied\n";
    return 1;
  }
  done[0] = static_cast<char>(done[0] - 'a' + 'A');
  out << done << "\n";
  return 0;
}

}  // namespace velmora::cli
