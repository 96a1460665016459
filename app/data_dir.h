// The folder the program writes its own files in.
#pragma once

#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

// |programDir| when this user may write there (a build folder, a copy of his
// own); otherwise, as for a copy installed under /usr, his own data folder
// (platform/user_data.h), made when missing. Windows paths.
std::string WritableDataDir(platform::ManagedSystem& system, const std::string& programDir);

}  // namespace velmora
