#include "platform/startup.h"

#include "platform/win32/com.h"

namespace platform {

// The system is the one the program runs on: nothing to choose. Under Wine the
// registry calls go through the running wineserver, so changes are never refused
// for a program that keeps it running.
Status InitSystem() {
  win32::EnsureCom();
  return kSuccess;
}

std::string SystemName() { return "this Windows"; }

WriteRefusal CheckWritesAllowed() { return WriteRefusal(); }

}  // namespace platform
