#include "platform/startup.h"

#include <windows.h>

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

std::string SystemLocation() { return ""; }

WriteRefusal CheckWritesAllowed() { return WriteRefusal(); }

// The registry calls go to the system itself.
std::string ReadMayLag() { return ""; }

// Wine's ntdll exports wine_get_version: then Wine's boot decides what starts.
bool SystemIsWinePrefix() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace platform
