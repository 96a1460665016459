#include "app/velmora_app.h"

#include <cstdint>
#include <cstdio>

#include "app/data_dir.h"
#include "app/language.h"
#include "app/message_box_requests.h"
#include "database/database_file.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/system.h"

namespace velmora {

namespace {

constexpr unsigned kTitleId = text_id::kProgramName;  // also the lock's name
constexpr unsigned kUnsupportedSystemId = text_id::kUnsupportedSystem;
constexpr unsigned kOtherInstanceId = text_id::kOtherInstance;
constexpr unsigned kInitFailedId = text_id::kInitFailed;

}  // namespace

std::string ProgramDirOfExecutable(platform::ManagedSystem& system) {
  std::string module = platform::files::ExecutablePath(system);
  std::size_t slash = module.rfind('\\');
  return slash == std::string::npos ? module : module.substr(0, slash);
}

VelmoraApp::VelmoraApp(std::unique_ptr<platform::ManagedSystem> system) : VelmoraApp(*system) {
  ownedSystem_ = std::move(system);
}

VelmoraApp::VelmoraApp(platform::ManagedSystem& system)
    : settings(program_), system_(&system), model_(system, program_) {
  // The model and the settings are built first, as members, with their defaults.
  programDir = ProgramDirOfExecutable(system);
  dataDir = WritableDataDir(system, programDir);
  languageName = "English";
  stringSection = "StringTable";
  otherInstanceRunning = false;
  ProgramContext& program = program_;
  program.programDir = programDir;
  program.programFiles = system_;
  // Empty while it is the program folder: whoever sets programDir later (a test,
  // a tool) gets the working copy beside the database.
  program.dataDir = dataDir == programDir ? "" : dataDir;
  program.languageName = languageName;
  program.stringSection = stringSection;
  program.comInitialized = false;
  program.textLookup = LanguageFileLookup(program_);
  SetTextLookup(program.textLookup);
  settings.DefnsVersion = ReadDefnsVersion(system, DatabaseDirInUse(system, programDir, dataDir));
}

VelmoraApp::~VelmoraApp() {
  // The lookup refers to this object's context.
  SetTextLookup(nullptr);
}

VelmoraApp::StartResult VelmoraApp::Refuse(MessageBoxPresenter& box, const std::string& message,
                                           StartResult result) {
  MessageBoxRequest request = ErrorBox(message);
  box.Show(request);
  return result;
}

std::string SystemLockName(const platform::ManagedSystem& system) {
  const std::string folder = system.Location();
  if (folder.empty()) return GetString(kTitleId) + " system";
  // A lock's name becomes a file name (or a kernel object's name, where "\" is
  // a separator): a long folder is named by a hash of it.
  std::string name = folder;
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (name.size() > 64) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : folder) hash = (hash ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    name = std::string(hex) + name.substr(name.size() - 32);
  }
  return GetString(kTitleId) + " system " + name;
}

VelmoraApp::StartResult VelmoraApp::StartCore(MessageBoxPresenter& box, Lock lock) {
  // The window layer prepares its controls before StartApplication is called;
  // there is no COM here to initialise, so initialisation always succeeds.
  comInitialized = true;
  program_.comInitialized = true;

  ownsWorkingCopy = lock == Lock::kWindow;
  if (lock == Lock::kWindow &&
      platform::CreateNamedMutex(program_.Text(kTitleId)) == platform::kAlreadyExists) {
    otherInstanceRunning = true;
    return Refuse(box, program_.Text(kOtherInstanceId), StartResult::kOtherInstance);
  }
  if (lock != Lock::kNone) {
    std::unique_ptr<platform::NamedLock> held;
    if (platform::TakeNamedLock(SystemLockName(*system_), &held) == platform::kAlreadyExists) {
      return Refuse(box,
                    "Another instance of " + program_.Text(kTitleId) + " is changing " + system_->Name() +
                        " (its window, or a command); nothing was changed. Try again when it has ended.",
                    StartResult::kSystemLocked);
    }
    systemLock_ = std::move(held);
    systemLockName_ = SystemLockName(*system_);
  }
  if (settings.DefnsVersion.empty())
    return Refuse(box, program_.Text(kInitFailedId), StartResult::kNoDatabase);
  if (!DecodeDatabase(*system_, DatabaseDirInUse(*system_, programDir, dataDir), dataDir))
    return Refuse(box, program_.Text(kInitFailedId), StartResult::kDecodeFailed);
  // The index is made while the entries are read; the window rates only after its
  // first frame, and makes the index then.
  if (lock != Lock::kWindow) model_.PrepareRating();
  if (lock != Lock::kNone) {
    settings.Load(*system_);
  } else {
    settings.Read(*system_);
  }
  if (!IsSupportedSystem(*system_))
    return Refuse(box, program_.Text(kUnsupportedSystemId), StartResult::kUnsupportedSystem);
  return StartResult::kReady;
}

bool VelmoraApp::StartApplication(MainWindowRunner& window, MessageBoxPresenter& box) {
  if (StartCore(box) == StartResult::kReady) window.Run(*this);
  return false;
}

void VelmoraApp::Shutdown() {
  if (comInitialized) {
    comInitialized = false;
    program_.comInitialized = false;
  }
  if (!otherInstanceRunning && ownsWorkingCopy) DeleteWorkingCopy(*system_, dataDir);
}

void VelmoraApp::EndApplication() {
  Shutdown();
  platform::TerminateCurrentProcess(kExitCodeStillActive);
}

bool VelmoraApp::SwitchSystem(std::unique_ptr<platform::ManagedSystem> system, std::string* error) {
  if (!system) return false;
  // A window holds the lock of the system it shows, and of that one alone: the new
  // system's is taken first, so that a refusal leaves everything as it was.
  const std::string lock = SystemLockName(*system);
  if (ownsWorkingCopy && lock != systemLockName_) {
    std::unique_ptr<platform::NamedLock> held;
    if (platform::TakeNamedLock(lock, &held) == platform::kAlreadyExists) {
      if (error)
        *error = "Another instance of " + program_.Text(kTitleId) + " is changing " + system->Name() +
                 " (its window, or a command). Try again when it has ended.";
      return false;
    }
    systemLock_ = std::move(held);
    systemLockName_ = lock;
  }
  // The system before lives until the model no longer refers to it.
  std::unique_ptr<platform::ManagedSystem> before = std::move(ownedSystem_);
  ownedSystem_ = std::move(system);
  system_ = ownedSystem_.get();
  program_.programFiles = system_;
  model_.SwitchSystem(*system_);
  settings.Read(*system_);
  model_.ReadAll();
  model_.FillCategoryCodes();
  model_.RateAllTasks();
  model_.EnumerateProfiles();
  return true;
}

bool VelmoraApp::IsSupportedSystem(platform::ManagedSystem& system) {
  platform::OsVersionInfo info;
  info.size = 148;
  // Every NT from 5.1 on: the startup locations and their meaning are the same on
  // all of them. A version that cannot be read is not a supported one.
  if (!system.QueryVersion(&info) || info.platformId != 2) return false;
  return info.majorVersion > 5 || (info.majorVersion == 5 && info.minorVersion >= 1);
}

}  // namespace velmora
