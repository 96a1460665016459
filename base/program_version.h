// The version of every program of the build, set once by the build (the
// project's VERSION in the top-level CMakeLists.txt).
#pragma once

namespace velmora {

// "major.minor.patch.tweak", for example "1.0.0.1".
const char* ProgramVersion();

}  // namespace velmora
