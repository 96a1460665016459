// Installing a new definitions database into the program folder: check it, keep
// the old one as a backup, replace it in one step, and say what was done.
#pragma once

#include <ostream>
#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora::updater {

inline constexpr char kBackupFileName[] = "vlmdb.vmd.bak";

// The exit statuses of the updater.
inline constexpr int kInstalled = 0;  // installed, or already installed
inline constexpr int kRefused = 1;    // nothing was changed
inline constexpr int kUsageError = 2;

// Installs the database file at |candidatePath| as |dataDir|\vlmdb.vmd, the
// database in use before (DatabaseDirInUse of the two folders) kept as
// |dataDir|\vlmdb.vmd.bak. |dataDir| is |programDir|, or the user's data folder
// when he may not write |programDir| (app/data_dir.h); all are Windows paths.
// What happens is reported on |out|, a refusal and its reason on |err|. Returns
// kInstalled or kRefused; on kRefused the installed database and its backup are
// as they were.
int InstallDatabase(platform::ManagedSystem& system, const std::string& programDir,
                    const std::string& dataDir, const std::string& candidatePath, std::ostream& out,
                    std::ostream& err);

// One line about the database in use, for the prompt.
std::string DescribeInstalledDatabase(platform::ManagedSystem& system, const std::string& programDir,
                                      const std::string& dataDir);

// A path as the user knows it: the host path of a Windows path when it has one.
std::string ShownPath(platform::ManagedSystem& system, const std::string& windowsPath);

}  // namespace velmora::updater
