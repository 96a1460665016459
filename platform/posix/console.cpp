#include <unistd.h>

#include "platform/console.h"

namespace platform {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

}  // namespace platform
