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

// The folder of the managed system: the Wine prefix's, or the root of the offline
// installation; "" for the Windows the program runs on.
std::string SystemLocation();

// Why changes cannot be written now. |refused| is false when they can.
struct WriteRefusal {
  bool refused = false;
  std::string reason;  // what holds the system, for example a running wineserver
  std::string advice;  // what the user can do about it
};
WriteRefusal CheckWritesAllowed();

// Why what is read of the system may not be what it holds now: "" when it is, else
// a sentence (a wineserver runs for the prefix and keeps its registry in memory,
// writing it to the files only from time to time).
std::string ReadMayLag();

// True when the managed system is booted by Wine, whose boot starts fewer
// locations than Windows does: a Wine prefix, or Windows programs running under Wine.
bool SystemIsWinePrefix();

}  // namespace platform
