#include "app/data_dir.h"

#include "platform/files.h"
#include "platform/user_data.h"

namespace velmora {

std::string WritableDataDir(platform::ManagedSystem& system, const std::string& programDir) {
  if (platform::files::FolderTakesWrites(system, programDir)) return programDir;
  std::string own = platform::files::UserDataFolder(system);
  if (own.empty()) return programDir;
  // A folder that cannot be made shows as a failed write of the first file there.
  platform::files::MakeDirectories(system, own);
  return own;
}

}  // namespace velmora
