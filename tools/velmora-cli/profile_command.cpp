// "velmora-cli profile list|save NAME [--replace]|load NAME|delete NAME". "load"
// applies at once.
#include <map>
#include <ostream>
#include <tuple>

#include "base/names.h"
#include "base/text.h"
#include "base/utf16.h"
#include "tools/velmora-cli/edit_support.h"

namespace velmora::cli {

namespace {

// The listed name of a profile, matched without regard to letter case as the
// registry matches it; "" when there is none.
std::string ListedName(const StartupParameters& model, const std::string& name) {
  for (const std::string& listed : model.ProfileNames()) {
    if (listed == name) return listed;
  }
  for (const std::string& listed : model.ProfileNames()) {
    if (SameName(listed, name)) return listed;
  }
  return "";
}

struct EntryState {
  int enabled;
  int removed;
  std::string command;
};
using StateMap = std::map<std::pair<int, std::string>, std::pair<std::string, EntryState>>;

StateMap States(const StartupParameters& model) {
  StateMap states;
  for (int location = 0; location < kLocationCount; ++location) {
    for (const auto& [key, task] : model.Entries(location)) {
      states[{location, key}] = {task->name, {task->enabled, task->removed, task->command}};
    }
  }
  return states;
}

void PrintLoadChanges(const StateMap& before, const StateMap& after, std::ostream& out) {
  int changes = 0;
  for (const auto& [key, value] : after) {
    const auto& [name, state] = value;
    std::string where = std::string(LocationTag(key.first)) + " \"" + name + "\"";
    auto old = before.find(key);
    if (old == before.end()) {
      out << "added " << where << (state.enabled ? "" : " (disabled)") << ": " << state.command << "\n";
      ++changes;
      continue;
    }
    const EntryState& was = old->second.second;
    if (was.enabled != state.enabled) {
      out << (state.enabled ? "enabled " : "disabled ") << where << "\n";
      ++changes;
    }
    if (was.command != state.command) {
      out << "set the command of " << where << " to " << state.command << "\n";
      ++changes;
    }
  }
  if (changes == 0) out << "the entries already matched the profile; nothing changed\n";
}

std::string CheckProfile(const Operands& args) {
  if (args.empty()) return "profile needs a subcommand";
  const std::string& sub = args[0];
  if (sub == "list") return args.size() == 1 ? "" : "profile list takes no operands";
  if (sub != "save" && sub != "load" && sub != "delete") return "unknown profile subcommand: " + sub;
  std::size_t names = 0;
  for (std::size_t i = 1; i < args.size(); ++i) names += sub == "save" && args[i] == "--replace" ? 0 : 1;
  return names == 1 ? "" : "profile " + sub + " takes one NAME";
}

int RunProfile(const Operands& args, StartupParameters& model, std::ostream& out, std::ostream& err) {
  const std::string& sub = args[0];
  if (sub == "list") {
    model.EnumerateProfiles();
    for (const std::string& name : model.ProfileNames()) out << name << "\n";
    return 0;
  }
  bool replace = false;
  std::vector<std::string> operands;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (sub == "save" && args[i] == "--replace") {
      replace = true;
    } else {
      operands.push_back(ValidUtf8(args[i]));  // as the name is stored
    }
  }
  const std::string& name = operands[0];
  if (!CheckWritablePrefix(model.System(), err)) return 1;
  model.EnumerateProfiles();

  if (sub == "delete") {
    std::string listed = ListedName(model, name);
    if (listed.empty() || !model.DeleteProfile(listed)) {
      err << "velmora-cli: there is no profile named \"" << name << "\"\n";
      return 1;
    }
    if (model.ProfileExists(listed)) {
      err << "velmora-cli: the profile \"" << listed << "\" could not be deleted\n";
      return 1;
    }
    out << "deleted the profile \"" << listed << "\"\n";
    return 0;
  }

  ReadModel(model);
  if (sub == "save") {
    std::string error;
    switch (model.SaveProfile(name, replace, &error)) {
      case StartupParameters::ProfileSaveResult::kSaved:
        out << "saved the profile \"" << name << "\"\n";
        return 0;
      case StartupParameters::ProfileSaveResult::kEmptyName:
        err << "velmora-cli: a profile needs a name\n";
        return 1;
      case StartupParameters::ProfileSaveResult::kInvalidName:
        err << "velmora-cli: \"" << name
            << "\" cannot name a profile (no \"\\\" or \"|\", at most 255 characters)\n";
        return 1;
      case StartupParameters::ProfileSaveResult::kExists:
        err << "velmora-cli: a profile named \"" << name
            << "\" already exists; add --replace to replace it\n";
        return 1;
      case StartupParameters::ProfileSaveResult::kFailed:
        err << "velmora-cli: the profile \"" << name << "\" could not be saved: " << error << "\n";
        return 1;
    }
    return 1;
  }

  // load
  std::string listed = ListedName(model, name);
  if (listed.empty()) {
    err << "velmora-cli: there is no profile named \"" << name << "\"\n";
    return 1;
  }
  StateMap before = States(model);
  std::string error;
  std::vector<std::string> skipped;
  if (!model.LoadProfile(listed, &error, &skipped)) {
    err << "velmora-cli: cannot load the profile: " << error << "\n";
    return 1;
  }
  for (const std::string& value : skipped) {
    err << "velmora-cli: left out the entry " << value << "\n";
  }
  StateMap after = States(model);
  if (ApplyNow(model, err) != 0) {
    err << "velmora-cli: the profile was not fully applied\n";
    return 1;
  }
  out << "loaded the profile \"" << listed << "\"\n";
  PrintLoadChanges(before, after, out);
  return skipped.empty() ? 0 : 1;
}

}  // namespace

const Command kProfileCommand = {"profile",
                                 "list | save NAME [--replace] | load NAME | delete NAME",
                                 "the saved profiles; saves the configuration of the startup\n"
                                 "locations (--replace: over a profile of that name); makes\n"
                                 "the configuration the profile's and applies it (entries the\n"
                                 "profile does not hold are disabled); deletes a profile\n",
                                 Writes::kSystem,
                                 CheckProfile,
                                 RunProfile};

}  // namespace velmora::cli
