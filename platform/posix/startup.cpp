#include "platform/startup.h"

#include "platform/offline.h"
#include "platform/posix/prefix.h"

namespace platform {

Status InitSystem() { return OfflineInstallationActive() ? kSuccess : InitPrefix(); }

std::string SystemName() {
  if (OfflineInstallationActive())
    return "the Windows installation " + OfflineInstallationRoot() + " (user " + OfflineUserName() + ")";
  return PrefixDir().empty() ? "the Wine prefix" : "the Wine prefix " + PrefixDir();
}

std::string SystemLocation() { return OfflineInstallationActive() ? OfflineInstallationRoot() : PrefixDir(); }

std::string ReadMayLag() {
  int pid = 0;
  if (OfflineInstallationActive() || !WineServerRunning(&pid)) return "";
  return "a wineserver (pid " + std::to_string(pid) + ") is running for the prefix " + PrefixDir() +
         "; what it holds in memory reaches the registry files only from time to time, so what is "
         "shown may lag its latest changes";
}

WriteRefusal CheckWritesAllowed() {
  WriteRefusal refusal;
  int pid = 0;
  if (WineServerRunning(&pid)) {
    refusal.refused = true;
    refusal.reason = "a wineserver (pid " + std::to_string(pid) + ") is running for the prefix " +
                     PrefixDir() + " and owns its registry";
    refusal.advice =
        "Close the prefix's programs or run `wineserver -k`, then try again; or change the prefix now with "
        "the "
        "Windows build, velmora-cli.exe, run under Wine in it (it goes through the running wineserver).";
  }
  return refusal;
}

}  // namespace platform
