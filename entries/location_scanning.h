// Reading the startup locations: their keys (through the location table), what a
// location holds on disk, the entries made of it, and the per-entry filling that
// every reader shares (the scans, the snapshot, the store, a new entry). The model
// that holds the entries (changes/startup_parameters.h) reads through these.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/program_context.h"
#include "entries/module_version.h"
#include "entries/scan_pass.h"
#include "entries/services.h"
#include "entries/startup_location.h"
#include "entries/task.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace platform {
class ManagedSystem;
}

namespace velmora {

// The longest name of a registry value that Windows accepts, in UTF-16 units.
constexpr std::size_t kMaxValueNameLength = 16383;

// ---- keys -------------------------------------------------------------------------
// Every location of the table; those of the 32-bit view only where the machine has
// that view.
bool HasLocation(platform::ManagedSystem& system, int location);
// The key of a location (the location table's key; the Shell Folders key of a
// folder location), opened with full access and never created, only where the
// system has the location. |status|, when given, receives why it did not open.
bool OpenLocationKey(platform::ManagedSystem& system, int location, platform::HKey* key,
                     platform::Status* status = nullptr);
// Makes a Run or RunOnce key that does not exist yet (apply makes the 32-bit
// view's keys, which a fresh 64-bit Wine prefix lacks); LocationKeyMissing tells a
// missing key from one that cannot be opened.
bool CreateLocationKey(platform::ManagedSystem& system, int location, platform::HKey* key);
bool LocationKeyMissing(platform::ManagedSystem& system, int location);
// The program's own keys, opened (never created) for writing, or for reading only
// when |readOnly|. Caller closes the key.
bool OpenProgramKey(platform::ManagedSystem& system, ProgramKey which, bool readOnly, platform::HKey* key,
                    platform::Status* status = nullptr);
// Folder path of a Startup-folder location from its Shell Folders key ("" on
// failure). |readOnlyReason|, when given, receives why the key cannot be opened
// for writing ("" when it can).
std::string StartupFolderPath(platform::ManagedSystem& system, int location,
                              std::string* readOnlyReason = nullptr);

// ---- what a location holds ----------------------------------------------------------
struct LocationContents {
  bool found = false;     // its key opened (a folder location: its folder is named)
  bool complete = false;  // every value, item or service was read
  // Why its entries cannot be changed: its key or hive opens for reading only.
  std::string readOnlyReason;
  std::string folder;                      // folder locations
  std::vector<RawValue> values;            // registry locations
  std::vector<platform::FoundItem> items;  // folder locations: the files, in the order found
  std::vector<ServiceConfig> services;     // the services location: every service read
};
// Reads a location once, as its kind says: the values of its key (read whole, in
// the order the key gives them), the files of its folder, or the service keys.
LocationContents ReadLocation(platform::ManagedSystem& system, int location);

// An entry made of what a location holds, to be filled by FillTask.
struct FoundEntry {
  std::unique_ptr<Task> task;
  std::string programPath;  // the file whose process and existence count
  // The file whose version data and icon count; "" when it is |programPath|.
  std::string versionSource;
  const std::string& VersionSource() const { return versionSource.empty() ? programPath : versionSource; }
};
// The entries of |contents|: one per value, per file, per service that starts by
// itself (or whose Start cannot be read as a number). A shortcut's command is its
// target with its arguments when |resolveShortcuts| (and the program may read
// shortcuts), else the item's own path.
std::vector<FoundEntry> EntriesOf(platform::ManagedSystem& system, const LocationContents& contents,
                                  const ProgramContext& context, ScanPass& pass, bool resolveShortcuts);

// ---- filling ------------------------------------------------------------------------
// FillTask, the per-entry filling of every reader: the file name, the process
// figures, whether the file exists, version data and icon with their fall-backs,
// the system's own "disabled" mark, why Wine would skip it and why it cannot be
// changed. One pass and one version reader serve every entry of one filler; the
// pass joins the one running in |running|.
class EntryFiller {
 public:
  EntryFiller(platform::ManagedSystem& system, const ProgramContext& context, ScanPass*& running,
              bool honoursStartupApproved);
  EntryFiller(const EntryFiller&) = delete;
  EntryFiller& operator=(const EntryFiller&) = delete;

  // |programPath| is the program of |task| (ProgramPathOfValue of its command and
  // type, or the path a shortcut or a service names).
  void FillTask(Task& task, int location, const std::string& programPath, const std::string& versionSource,
                const std::string& readOnlyReason);
  ScanPass& Pass() { return pass_; }

 private:
  platform::ManagedSystem& system_;
  const ProgramContext& context_;
  bool honoursStartupApproved_;
  ScanPass pass_;
  // The "no information" text, looked up once for the pass: a look-up through the
  // language file costs more than filling the rest of an entry.
  std::string noInformation_;
  bool noInformationKnown_ = false;
};

// The raw target path of a shortcut, at most 259 characters, and, when |arguments|
// is given, its arguments; "" on any failure (also when the program may not read
// shortcuts).
platform::HResult ResolveShortcut(platform::ManagedSystem& system, const ProgramContext& context,
                                  const std::string& shortcutPath, std::string* target,
                                  std::string* arguments = nullptr);

// DeriveFileName: fileName = the part of ExtractProgramPath(command) after its last
// backslash.
void DeriveFileName(platform::ManagedSystem& system, Task& task);

// The command of a shortcut as Windows starts it: its target in quotes, then its
// arguments; the bare target when it has none.
std::string ShortcutCommand(const std::string& target, const std::string& arguments);

}  // namespace velmora
