// The terminal a command-line program talks to.
#pragma once

namespace platform {

// True when standard input comes from a terminal that a user can type into.
bool StandardInputIsTerminal();

}  // namespace platform
