// The terminal a command-line program talks to.
#pragma once

#include <string>
#include <vector>

namespace platform {

// True when standard input comes from a terminal that a user can type into.
bool StandardInputIsTerminal();
// Makes standard output and standard error pass bytes as written: no carriage
// return is put before a line end (Windows' C runtime does so in text mode).
void UseBinaryStandardOutput();
// Standard output that goes to a file or a pipe is written in blocks of 64 KB
// instead of the C library's 4 KB; a terminal keeps its line buffering. Call it
// before anything is written.
void BufferStandardOutput();
// The program's arguments (without its own name) as UTF-8 text. On Windows they
// are read from the wide command line, since |argv| holds them in the ANSI code
// page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace platform
