// Starting up on the Windows system that the program manages, whatever it is.
#pragma once

#include <string>

#include "platform/status.h"

namespace platform {

// Makes the managed system usable before anything is read from it: on Linux this
// chooses (and when needed creates) the Wine prefix. Safe to call again. On
// failure LastErrorDetail() says why.
Status InitSystem();

// The managed system as a message names it, for example "the Wine prefix
// /home/u/.wine".
std::string SystemName();

// Why changes cannot be written now. |refused| is false when they can.
struct WriteRefusal {
  bool refused = false;
  std::string reason;  // what holds the system, for example a running wineserver
  std::string advice;  // what the user can do about it
};
WriteRefusal CheckWritesAllowed();

// True when the managed system is booted by Wine, whose boot starts fewer
// locations than Windows does: a Wine prefix, or Windows programs running under Wine.
bool SystemIsWinePrefix();

}  // namespace platform
