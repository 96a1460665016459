// The window program's settings that belong to the user rather than to one
// managed system: the system last chosen and the window's layout. They live in
// $XDG_CONFIG_HOME/velmora/velmora.conf (~/.config/velmora/velmora.conf), written
// as a whole to a new file that then replaces the old one. Where the file holds
// none yet, they are read once from where earlier versions kept them (the choice
// in ~/.config/Orlinsk/Velmora.ini, the layout in the managed system's registry)
// and kept in the file from then on.
#pragma once

#include <string>

#include "app/window_layout.h"
#include "platform/managed_system.h"

namespace velmora::ui {

// The path of the settings file.
std::string UserSettingsPath();

// The folder of the system last chosen in the window; "" when none was.
std::string RememberedSystem();
// False when the file could not be written, or holds text it cannot read (it is
// then left alone).
bool RememberSystem(const std::string& path);

// The window's size and column widths; |system| is where an earlier version kept them.
WindowLayout LoadWindowLayout(platform::ManagedSystem& system);
bool SaveWindowLayout(const WindowLayout& layout);

}  // namespace velmora::ui
