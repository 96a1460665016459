// Which Windows the program manages: the Wine prefix, or the offline Windows
// installation named by "--windows DIR [--user NAME]" at the front of the
// command line.
#pragma once

#include <string>
#include <vector>

namespace velmora {

struct SystemChoice {
  std::string windowsRoot;  // empty: the Wine prefix
  std::string userName;
};

// Takes the leading "--windows DIR" and "--user NAME" (also "--windows=DIR",
// "--user=NAME") off |args|. False with |error| on a malformed option, or on
// "--user" without "--windows".
bool TakeSystemOptions(std::vector<std::string>* args, SystemChoice* choice, std::string* error);

// Opens the chosen system; false with |error| saying why (naming the file).
bool OpenChosenSystem(const SystemChoice& choice, std::string* error);

// A short description of the managed system for messages: the installation's
// root and user, or the prefix's folder.
std::string ChosenSystemDescription();

}  // namespace velmora
