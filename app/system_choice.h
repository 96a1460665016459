// Which Windows the program manages: the Wine prefix, a system of this machine
// named by "--system NAME|PATH", or the offline Windows installation named by
// "--windows DIR [--user NAME]", at the front of the command line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/known_systems.h"
#include "platform/managed_system.h"

namespace velmora {

struct SystemChoice {
  std::string windowsRoot;  // empty: the Wine prefix
  std::string system;       // a found system's name or folder; empty: as windowsRoot says
  std::string userName;
};

// Takes the leading "--windows DIR", "--system NAME|PATH" and "--user NAME" (also
// "--windows=DIR", ...) off |args|. False with |error| on a malformed option, on
// both "--windows" and "--system", or on "--user" without either.
bool TakeSystemOptions(std::vector<std::string>* args, SystemChoice* choice, std::string* error);

// Opens the chosen system, ready to be read, into |system| (owned by the caller,
// which manages it); false with |error| saying why (naming the
// file).
bool OpenChosenSystem(const SystemChoice& choice, std::unique_ptr<platform::ManagedSystem>* system,
                      std::string* error);

// The system of |found| that |nameOrPath| names: a name, compared exactly and
// then without regard to letter case, else, when it holds a "/", a folder (any
// spelling of a found one's, or another Wine prefix). False with |error| for a
// name that several systems share (naming them) or that nothing has.
bool ChooseKnownSystem(const std::vector<platform::KnownSystem>& found, const std::string& nameOrPath,
                       platform::KnownSystem* chosen, std::string* error);

// Whether the registry of |system| can be read; false with |error| saying why.
// With |readAtOnce|, its files are read first, each on a thread of its own; a
// caller that already keeps every core busy reads them one after the other.
bool CheckSystemReadable(platform::ManagedSystem& system, std::string* error, bool readAtOnce = true);

}  // namespace velmora
