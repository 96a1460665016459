#include "app/velmora_app.h"

#include "app/data_dir.h"
#include "app/language.h"
#include "app/message_box_requests.h"
#include "app/program.h"
#include "database/database_file.h"
#include "platform/files.h"
#include "platform/system.h"

namespace velmora {

namespace {

constexpr unsigned kTitleId = text_id::kProgramName;  // also the lock's name
constexpr unsigned kUnsupportedSystemId = text_id::kUnsupportedSystem;
constexpr unsigned kOtherInstanceId = text_id::kOtherInstance;
constexpr unsigned kInitFailedId = text_id::kInitFailed;

}  // namespace

std::string ProgramDirOfExecutable() {
  std::string module = platform::files::ExecutablePath();
  std::size_t slash = module.rfind('\\');
  return slash == std::string::npos ? module : module.substr(0, slash);
}

VelmoraApp::VelmoraApp() {
  UseLanguageFile();
  // startupParameters and settings are built first, as members, with their defaults.
  programDir = ProgramDirOfExecutable();
  dataDir = WritableDataDir(programDir);
  languageName = "English";
  stringSection = "StringTable";
  otherInstanceRunning = false;
  ProgramContext& program = Program();
  program.programDir = programDir;
  // Empty while it is the program folder: whoever sets programDir later (a test,
  // a tool) gets the working copy beside the database.
  program.dataDir = dataDir == programDir ? "" : dataDir;
  program.languageName = languageName;
  program.stringSection = stringSection;
  program.comInitialized = false;
  program.textLookup = &GetString;  // the language file's texts, as UseLanguageFile installed them
  settings.DefnsVersion = ReadDefnsVersion(DatabaseDirInUse(programDir, dataDir));
}

VelmoraApp::StartResult VelmoraApp::Refuse(MessageBoxPresenter& box, unsigned messageId, StartResult result) {
  MessageBoxRequest request = ErrorBox(GetString(messageId));
  box.Show(request);
  return result;
}

VelmoraApp::StartResult VelmoraApp::StartCore(MessageBoxPresenter& box, bool writeSettings) {
  // The window layer prepares its controls before StartApplication is called;
  // there is no COM here to initialise, so initialisation always succeeds.
  comInitialized = true;
  Program().comInitialized = true;

  platform::Status lock = platform::CreateNamedMutex(GetString(kTitleId));
  if (lock == platform::kAlreadyExists) {
    otherInstanceRunning = true;
    return Refuse(box, kOtherInstanceId, StartResult::kOtherInstance);
  }
  if (settings.DefnsVersion.empty()) return Refuse(box, kInitFailedId, StartResult::kNoDatabase);
  if (!DecodeDatabase(DatabaseDirInUse(programDir, dataDir), dataDir))
    return Refuse(box, kInitFailedId, StartResult::kDecodeFailed);
  if (writeSettings) {
    settings.Load();
  } else {
    settings.Read();
  }
  if (!IsSupportedSystem()) return Refuse(box, kUnsupportedSystemId, StartResult::kUnsupportedSystem);
  return StartResult::kReady;
}

bool VelmoraApp::StartApplication(MainWindowRunner& window, MessageBoxPresenter& box) {
  if (StartCore(box) == StartResult::kReady) window.Run(*this);
  return false;
}

void VelmoraApp::Shutdown() {
  if (comInitialized) {
    comInitialized = false;
    Program().comInitialized = false;
  }
  if (!otherInstanceRunning) DeleteWorkingCopy(dataDir);
}

void VelmoraApp::EndApplication() {
  Shutdown();
  platform::TerminateCurrentProcess(kExitCodeStillActive);
}

bool VelmoraApp::IsSupportedSystem() {
  platform::OsVersionInfo info;
  info.size = 148;
  // Every NT from 5.1 on: the startup locations and their meaning are the same on
  // all of them. A version that cannot be read is not a supported one.
  if (!platform::QuerySystemVersion(&info) || info.platformId != 2) return false;
  return info.majorVersion > 5 || (info.majorVersion == 5 && info.minorVersion >= 1);
}

}  // namespace velmora
