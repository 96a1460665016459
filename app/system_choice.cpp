#include "app/system_choice.h"

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
  if (userGiven && choice->windowsRoot.empty()) {
    *error = "--user chooses a user of an offline installation: it needs --windows DIR";
    return false;
  }
  return true;
}

bool OpenChosenSystem(const SystemChoice& choice, std::unique_ptr<platform::ManagedSystem>* system,
                      std::string* error) {
  std::unique_ptr<platform::ManagedSystem> chosen;
  if (!choice.windowsRoot.empty()) {
    if (platform::OpenOfflineSystem(choice.windowsRoot, choice.userName, &chosen, error) !=
        platform::kSuccess)
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

}  // namespace velmora
