// Where the program keeps what it takes out of the startup locations.
//
//   HKCU\Software\Orlinsk\Velmora\DisabledTasks     one REG_SZ value per disabled
//       entry, named "%d|%s" (location number, entry name), the command as data.
//   HKCU\Software\Orlinsk\Velmora\DisabledTaskData  for a stored entry of a Run or
//       RunOnce key, a value of the same name holding the value exactly as it
//       stood in its location (its own type and bytes), so that enabling writes
//       back the very value that was taken out. Stores without it stay readable;
//       their entries go back as REG_SZ.
//   %APPDATA%\Orlinsk\Velmora\Disabled Startup Items\<location>\<item name>
//       the exact bytes of a disabled Startup-folder item (a shortcut with its
//       arguments, working folder and icon, or a program placed in the folder);
//       enabling puts this file back.
//   HKCU\Software\Orlinsk\Velmora\DisabledServices\<service>   the Start and
//       DelayedAutostart values of a service Velmora set to start on demand,
//       exactly as they were (see changes/service_store.h).
// A remembered form or kept copy counts only together with its DisabledTasks
// value, and only while its text matches the stored command.
#pragma once

#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora::changes {

std::string StoreValueName(int location, const std::string& name);
// Splits at the first "|": the text before it read as atoi reads it, the rest the
// name; without "|" location 0 and the whole text.
void ParseStoreValueName(const std::string& valueName, int* location, std::string* name);

std::string StoreDataKeyPath();  // Software\Orlinsk\Velmora\DisabledTaskData
// Windows path of the folder of kept copies of one folder location; "" when the
// user's application-data folder is unknown or |location| is no folder location.
std::string KeptItemsFolder(platform::ManagedSystem& system, int location);

// Registry data as the scans take it: up to the first zero byte.
std::string ValueText(const std::string& data);
// A string value's bytes as the registry returns them: the text and its zero.
std::string StringData(const std::string& text);

}  // namespace velmora::changes
