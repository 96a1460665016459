// Showing a program file in the desktop's file manager, and opening a link in
// the desktop's browser, with a message that says why when nothing could.
#pragma once

#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora::ui {

// Asks the desktop's file manager to show |windowsPath| selected (the
// org.freedesktop.FileManager1 ShowItems call on the session bus); where no
// file manager answers, opens the file's folder with xdg-open. False with
// |error|, a message for the user naming the folder, when neither worked.
bool ShowInFileManager(platform::ManagedSystem& system, const std::string& windowsPath, std::string* error);

// Opens |url| with the desktop's handler; false with |error| when none took it.
bool OpenLink(const std::string& url, std::string* error);

}  // namespace velmora::ui
