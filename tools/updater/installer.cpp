#include "tools/updater/installer.h"

#include <filesystem>
#include <random>

#include "database/database_file.h"
#include "platform/files.h"
#include "tools/updater/database_check.h"

namespace velmora::updater {

namespace {

std::string ScratchPath(const std::string& programDir) {
  std::random_device random;
  return programDir + "\\vlmdb.vmd.check-" + std::to_string(random()) + ".tmp";
}

std::string Describe(const DatabaseSummary& summary) {
  return "version " + summary.version + ", " + std::to_string(summary.definitionCount) +
         (summary.definitionCount == 1 ? " definition" : " definitions");
}

}  // namespace

std::string ShownPath(platform::ManagedSystem& system, const std::string& windowsPath) {
  std::string host = platform::files::HostPathFromWindows(system, windowsPath);
  if (host.empty()) return windowsPath;
  // Through the drive's link to the folder the user knows.
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(host, ec);
  return ec ? host : canonical.string();
}

std::string DescribeInstalledDatabase(platform::ManagedSystem& system, const std::string& programDir,
                                      const std::string& dataDir) {
  std::string bytes;
  std::string path = DatabasePath(DatabaseDirInUse(system, programDir, dataDir));
  if (platform::files::ReadWholeFile(system, path, &bytes) != platform::kSuccess)
    return "No database is installed yet.";
  DatabaseSummary summary;
  std::string problem;
  if (!CheckDatabase(system, bytes, ScratchPath(dataDir), &summary, &problem)) {
    return "The installed database cannot be used: " + problem + ".";
  }
  return "Installed: " + Describe(summary) + ".";
}

int InstallDatabase(platform::ManagedSystem& system, const std::string& programDir,
                    const std::string& dataDir, const std::string& candidatePath, std::ostream& out,
                    std::ostream& err) {
  const std::string inUsePath = DatabasePath(DatabaseDirInUse(system, programDir, dataDir));
  const std::string installedPath = DatabasePath(dataDir);
  const std::string backupPath = dataDir + "\\" + kBackupFileName;
  auto refuse = [&](const std::string& why) {
    err << "Refused: " << why << ".\nThe installed definitions are unchanged.\n";
    err.flush();
    return kRefused;
  };

  out << "Checking " << ShownPath(system, candidatePath) << " ...\n";
  out.flush();
  std::string candidate;
  platform::ClearLastErrorDetail();
  if (platform::files::ReadWholeFile(system, candidatePath, &candidate) != platform::kSuccess) {
    std::string detail = platform::LastErrorDetail();
    return refuse("cannot read " + ShownPath(system, candidatePath) +
                  (detail.empty() ? "" : " (" + detail + ")"));
  }
  DatabaseSummary incoming;
  std::string problem;
  if (!CheckDatabase(system, candidate, ScratchPath(dataDir), &incoming, &problem)) {
    return refuse(ShownPath(system, candidatePath) + " is not a usable definitions database: " + problem);
  }
  out << "It is a usable database: " << Describe(incoming) << ".\n";

  std::string old;
  platform::ClearLastErrorDetail();
  platform::Status readOld = platform::files::ReadWholeFile(system, inUsePath, &old);
  bool haveOld = readOld == platform::kSuccess;
  if (!haveOld && readOld != platform::kFileNotFound && readOld != platform::kPathNotFound) {
    return refuse("the installed database " + ShownPath(system, inUsePath) +
                  " cannot be read to keep a backup of it (" + platform::LastErrorDetail() + ")");
  }
  if (haveOld && old == candidate) {
    out << "This database is already installed. Nothing was changed.\n";
    out.flush();
    return kInstalled;
  }

  std::string before = "none";
  DatabaseSummary previous;
  bool oldUsable = false;
  if (haveOld) {
    oldUsable = CheckDatabase(system, old, ScratchPath(dataDir), &previous, &problem);
    before = oldUsable ? Describe(previous) : "a database Velmora could not use (" + problem + ")";
    platform::ClearLastErrorDetail();
    if (platform::files::WriteAtomic(system, backupPath, old) != platform::kSuccess) {
      return refuse("the backup " + ShownPath(system, backupPath) + " could not be written (" +
                    platform::LastErrorDetail() + ")");
    }
  }
  platform::ClearLastErrorDetail();
  if (platform::files::WriteAtomic(system, installedPath, candidate) != platform::kSuccess) {
    return refuse(ShownPath(system, installedPath) + " could not be replaced (" +
                  platform::LastErrorDetail() + ")");
  }

  out << "Installed " << ShownPath(system, installedPath) << ".\n";
  if (dataDir != programDir)
    out << "Velmora's folder " << ShownPath(system, programDir)
        << " is not yours to write: the database is installed\n"
        << "for you alone, in your own data folder.\n";
  out << "  before: " << before << "\n";
  out << "  now:    " << Describe(incoming) << "\n";
  if (haveOld) {
    out << "The previous database is kept as " << ShownPath(system, backupPath)
        << "; install that file to go back.\n";
    long was = oldUsable ? DefnsDateValue(previous.version) : 0;
    long now = DefnsDateValue(incoming.version);
    if (was != 0 && now != 0 && now < was)
      out << "Note: the new database is older than the one it replaced.\n";
  }
  if (DatabaseDirInUse(system, programDir, dataDir) != dataDir) {
    out << "Note: Velmora's folder holds a newer database, version " << ReadDefnsVersion(system, programDir)
        << ", which stays in use.\n";
  }
  out << "Velmora uses the new definitions from its next start.\n";
  out.flush();
  return kInstalled;
}

}  // namespace velmora::updater
