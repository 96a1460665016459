// The Windows system the program manages. On Linux this is a Wine prefix.
#pragma once

#include <string>

#include "platform/status.h"

namespace platform {

// Chooses the prefix: WINEPREFIX when set (created when missing), else ~/.wine
// when it holds a registry, else the program's own under
// $XDG_DATA_HOME/velmora/prefix (created when missing). A created prefix is a
// minimal Windows XP one that Wine itself can boot later. Safe to call again; the
// first successful choice is kept until ResetPrefixForTesting.
Status InitPrefix();
// Host folder of the prefix (empty before InitPrefix succeeded).
const std::string& PrefixDir();
// Name of the Windows user of the prefix (the Unix login name, as Wine uses it).
const std::string& PrefixUserName();
// True when a wineserver currently runs for the prefix; |pid| receives its id.
bool WineServerRunning(int* pid = nullptr);
// Forgets the chosen prefix and every cached hive (tests switch prefixes).
void ResetPrefixForTesting();

// Creates a minimal Windows XP prefix in |hostDir| (which may exist and be empty).
Status CreateMinimalPrefix(const std::string& hostDir);

}  // namespace platform
