// The kinds of message box the program shows, built in one place: an error or a
// notice with one "OK" button, and a question with "Yes" and "No" (optionally with
// the "Do not show this message again." check box).
#pragma once

#include <string>

#include "app/app_interfaces.h"

namespace velmora {

// An error under the program's title (text 7001).
MessageBoxRequest ErrorBox(const std::string& message);
// A notice under |title|; the program's title when |title| is empty.
MessageBoxRequest InfoBox(const std::string& message, const std::string& title = "");
// A question under |title| answered with "Yes" (1) or "No" (2); with
// |offerCheckBox| the box also offers its check box, cleared.
MessageBoxRequest YesNoQuestion(const std::string& title, const std::string& message,
                                bool offerCheckBox = false);

}  // namespace velmora
