#include "app/system_choice.h"

#include "base/text.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace velmora {

bool TakeSystemOptions(std::vector<std::string>* args, SystemChoice* choice, std::string* error) {
  bool userGiven = false;
  while (!args->empty()) {
    const std::string arg = args->front();
    std::string* target = nullptr;
    std::string option;
    if (arg == "--windows" || arg.rfind("--windows=", 0) == 0) {
      target = &choice->windowsRoot;
      option = "--windows";
    } else if (arg == "--system" || arg.rfind("--system=", 0) == 0) {
      target = &choice->system;
      option = "--system";
    } else if (arg == "--user" || arg.rfind("--user=", 0) == 0) {
      target = &choice->userName;
      option = "--user";
      userGiven = true;
    } else {
      break;
    }
    args->erase(args->begin());
    if (arg.size() > option.size()) {
      *target = arg.substr(option.size() + 1);
    } else if (!args->empty()) {
      *target = args->front();
      args->erase(args->begin());
    } else {
      *error = option + " needs a value";
      return false;
    }
    if (target->empty()) {
      *error = option + " needs a value";
      return false;
    }
  }
  if (!choice->windowsRoot.empty() && !choice->system.empty()) {
    *error = "--windows and --system each choose the system: give one of them";
    return false;
  }
  if (userGiven && choice->windowsRoot.empty() && choice->system.empty()) {
    *error = "--user chooses a user of an offline installation: it needs --windows DIR or --system";
    return false;
  }
  return true;
}

bool ChooseKnownSystem(const std::vector<platform::KnownSystem>& found, const std::string& nameOrPath,
                       platform::KnownSystem* chosen, std::string* error) {
  // Names first: an offline installation is named after its mount point
  // ("Windows on /mnt/win"), so a name may hold a "/" as a folder does.
  std::vector<const platform::KnownSystem*> matches;
  for (const platform::KnownSystem& system : found) {
    if (system.name == nameOrPath) matches.push_back(&system);
  }
  if (matches.empty()) {
    for (const platform::KnownSystem& system : found) {
      if (EqualsIgnoreCase(system.name, nameOrPath)) matches.push_back(&system);
    }
  }
  if (matches.size() == 1) {
    *chosen = *matches.front();
    return true;
  }
  if (matches.empty() && nameOrPath.find('/') != std::string::npos) {
    if (platform::KnownSystemAt(nameOrPath, found, chosen)) return true;
    *error = "no Windows system at " + nameOrPath +
             ": it is neither a system found on this machine nor a Wine prefix";
    return false;
  }
  if (matches.empty()) {
    *error = "no system found on this machine is named \"" + nameOrPath +
             "\" (velmora-cli systems lists them; a folder may be given instead)";
    return false;
  }
  *error = "the name \"" + nameOrPath + "\" matches " + std::to_string(matches.size()) + " systems:";
  for (const platform::KnownSystem* system : matches) *error += "\n  " + system->kind + "  " + system->path;
  *error += "\nchoose one by its folder";
  return false;
}

bool OpenChosenSystem(const SystemChoice& choice, std::unique_ptr<platform::ManagedSystem>* system,
                      std::string* error) {
  std::unique_ptr<platform::ManagedSystem> chosen;
  if (!choice.windowsRoot.empty()) {
    if (platform::OpenOfflineSystem(choice.windowsRoot, choice.userName, &chosen, error) !=
        platform::kSuccess)
      return false;
  } else if (!choice.system.empty()) {
    platform::KnownSystem known;
    if (!ChooseKnownSystem(platform::FindKnownSystems(), choice.system, &known, error) ||
        !platform::OpenKnownSystem(known, choice.userName, &chosen, error))
      return false;
  } else {
    chosen = platform::DefaultSystem();
    if (chosen->Prepare() != platform::kSuccess) {
      *error = "cannot use " + chosen->Name() + ": " + platform::LastErrorDetail();
      return false;
    }
  }
  *system = std::move(chosen);
  return true;
}

bool CheckSystemReadable(platform::ManagedSystem& system, std::string* error, bool readAtOnce) {
  if (readAtOnce) system.PreloadRegistry();
  for (platform::HKey root : {system.LocalMachine(), system.CurrentUser()}) {
    platform::UniqueKey key;
    platform::Status status = platform::reg::OpenKey(root, "Software", platform::kKeyRead, key.out());
    if (status != platform::kSuccess && status != platform::kFileNotFound) {
      std::string detail = platform::LastErrorDetail();
      *error = "cannot read the registry of " + system.Name() +
               (detail.empty() ? " (status " + std::to_string(status) + ")" : ": " + detail);
      return false;
    }
  }
  return true;
}

}  // namespace velmora
