// VelmoraApp: the one application object. It owns the program-wide state and
// carries out start-up (single-instance lock, database, settings, system check,
// main window) and shutdown.
//
// The window program:
//   VelmoraApp app(std::move(system));    // reads the database version
//   app.StartApplication(window, box);    // runs the main window, if it may
//   app.EndApplication();                 // never returns; exit status 259 (3 on Linux)
// (Velmora itself runs StartCore on a thread of its own while its window is made,
// and shows a refusal once the window exists: ui/velmora_dlg.h, StartAndRunMainWindow.)
//
// A program without a window (velmora-cli) runs the same checks and keeps its own
// exit status:
//   VelmoraApp app(std::move(system));
//   StreamMessageBox box(std::cerr, "velmora-cli: ");   // app/stream_message_box.h
//   if (app.StartCore(box) == VelmoraApp::StartResult::kReady) {
//     StartupParameters& model = app.Model();
//     model.ScanAllLocations();
//     model.FillCategoryCodes();
//     model.RateAllTasks();                // ratings and descriptions
//     ... work on the model ...
//   }
//   app.Shutdown();                         // deletes the working copy
//   return status;
// StartCore takes the locks its Lock asks for (the single-instance lock for the
// rest of the process, the system's while that system is managed), refuses
// a second instance (text 7026) or a system another instance is changing, a
// missing or unusable database (7027) and an unsupported system (7003), each
// through |box|, and loads the settings (which keeps the window program's Run
// value following "StartWithWindows").
#pragma once

#include <memory>
#include <string>

#include "app/app_interfaces.h"
#include "app/settings.h"
#include "changes/startup_parameters.h"
#include "platform/managed_system.h"
#include "platform/system.h"

namespace velmora {

class VelmoraApp {
  // The program's context, which the settings, the model and the window are
  // given: built first, as they refer to it.
  ProgramContext program_;

 public:
  // Builds the members in order, takes programDir from the executable's path
  // and dataDir from it (also into the program's context, whose texts are the
  // language file's; GetString gives them too while the object lives), then
  // reads the version of the database in use. The application
  // manages |system| (chosen once, by app/system_choice.h, and prepared) and owns it.
  explicit VelmoraApp(std::unique_ptr<platform::ManagedSystem> system);
  // The same for a system the caller owns and keeps alive while the object lives.
  explicit VelmoraApp(platform::ManagedSystem& system);
  ~VelmoraApp();
  VelmoraApp(const VelmoraApp&) = delete;
  VelmoraApp& operator=(const VelmoraApp&) = delete;

  // Why StartCore stopped, or kReady when the main window may run.
  enum class StartResult {
    kReady,
    kOtherInstance,
    kNoDatabase,
    kDecodeFailed,
    kUnsupportedSystem,
    kSystemLocked
  };

  // What a start holds. kWindow: the single-instance lock (named by text 7001) and
  // the lock of the managed system; kSystem: the system's lock alone (a command
  // that changes it), so that changes of other systems go on beside it; kNone: no
  // lock at all (a listing, which writes nothing: the settings are only read, and
  // the database's working copy, which the window may be using, is left in place).
  enum class Lock { kWindow, kSystem, kNone };

  // Start-up without the main window: COM, the locks, the database's working copy,
  // the settings, the system check. A refusal is shown through |box| and returned.
  StartResult StartCore(MessageBoxPresenter& box, Lock lock = Lock::kWindow);
  // StartCore, then |window| when the start was not refused. Always false: no
  // message loop follows.
  bool StartApplication(MainWindowRunner& window, MessageBoxPresenter& box);
  // Shutdown without ending the process: COM, and the working copy unless
  // another instance owns it.
  void Shutdown();
  // Shutdown, then the end of the process with the exit code 259.
  [[noreturn]] void EndApplication();

  // NT family, version 5.1 or later within major version 5.
  static bool IsSupportedSystem(platform::ManagedSystem& system);

  // The Windows the program manages, and the model of its entries (which works
  // with the program's context, Context()).
  platform::ManagedSystem& System() const { return *system_; }
  // The program's folder, name, language and texts; its programFiles is System().
  const ProgramContext& Context() const { return program_; }
  ProgramContext& Context() { return program_; }
  StartupParameters& Model() { return model_; }
  // Manages |system| (prepared) from now on in place of the system before, which
  // is closed: the model is emptied and filled from |system| (entries, ratings,
  // profiles), and the settings are read from it (nothing is written). The model
  // stays the same object. A window's start takes the new system's lock first and
  // then gives up the old one's; false with |error| (and nothing changed) when
  // another instance is changing the new system.
  bool SwitchSystem(std::unique_ptr<platform::ManagedSystem> system, std::string* error = nullptr);

  StartupSettingsParameters settings;
  bool comInitialized = false;
  bool otherInstanceRunning = false;
  // False for a start without the single-instance lock: the working copy is then
  // not this process's to delete.
  bool ownsWorkingCopy = true;
  std::string programDir;
  // Where the working copy goes and a database installed for this user alone is
  // read from: programDir, or the user's data folder when programDir is not his
  // to write (app/data_dir.h).
  std::string dataDir;
  std::string languageName;
  std::string stringSection;

 private:
  std::unique_ptr<platform::ManagedSystem> ownedSystem_;
  platform::ManagedSystem* system_;
  StartupParameters model_;

  // The lock of the managed system, held while it is managed, and its name.
  std::unique_ptr<platform::NamedLock> systemLock_;
  std::string systemLockName_;
  StartResult Refuse(MessageBoxPresenter& box, const std::string& message, StartResult result);
};

// The name of the lock that a process changing the managed system holds: it names
// the system (the prefix's or the installation's folder), so that each system has
// its own.
std::string SystemLockName(const platform::ManagedSystem& system);

// The process's exit code at shutdown (STILL_ACTIVE).
inline constexpr unsigned kExitCodeStillActive = 259;

// Windows path of the folder of the running executable, without a trailing
// backslash.
std::string ProgramDirOfExecutable(platform::ManagedSystem& system);

}  // namespace velmora
