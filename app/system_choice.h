// Which Windows the program manages: the Wine prefix, or the offline Windows
// installation named by "--windows DIR [--user NAME]" at the front of the
// command line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/managed_system.h"

namespace velmora {

struct SystemChoice {
  std::string windowsRoot;  // empty: the Wine prefix
  std::string userName;
};

// Takes the leading "--windows DIR" and "--user NAME" (also "--windows=DIR",
// "--user=NAME") off |args|. False with |error| on a malformed option, or on
// "--user" without "--windows".
bool TakeSystemOptions(std::vector<std::string>* args, SystemChoice* choice, std::string* error);

// Opens the chosen system, ready to be read, into |system| (owned by the caller,
// which makes it the system in use); false with |error| saying why (naming the
// file).
bool OpenChosenSystem(const SystemChoice& choice, std::unique_ptr<platform::ManagedSystem>* system,
                      std::string* error);

}  // namespace velmora
