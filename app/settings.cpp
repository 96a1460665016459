#include "app/settings.h"

#include "changes/write_steps.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/registry.h"

namespace velmora {

namespace {

// Values are read into a buffer of this size; a longer one counts as unreadable.
constexpr std::uint32_t kValueBufferSize = 202;

bool QueryRaw(platform::HKey key, const char* name, std::string* data) {
  std::uint8_t buffer[kValueBufferSize];
  std::uint32_t size = sizeof buffer;
  std::uint32_t type = 0;
  if (platform::reg::QueryValue(key, name, &type, buffer, &size) != platform::kSuccess) return false;
  data->assign(reinterpret_cast<const char*>(buffer), size);
  return true;
}

// A flag is its value's first byte; a value without data leaves it unchanged.
bool ReadFlag(platform::HKey key, const char* name, std::int32_t* flag) {
  std::string data;
  if (!QueryRaw(key, name, &data) || data.empty()) return false;
  *flag = static_cast<unsigned char>(data[0]);
  return true;
}

platform::Status WriteString(platform::HKey key, const char* name, const std::string& text) {
  std::string data = text + '\0';
  return platform::reg::SetValue(key, name, platform::kRegSz,
                                 reinterpret_cast<const std::uint8_t*>(data.data()),
                                 static_cast<std::uint32_t>(data.size()));
}

platform::Status WriteFlag(platform::HKey key, const char* name, std::int32_t flag) {
  std::uint32_t value = static_cast<std::uint32_t>(flag);
  std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                           static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  return platform::reg::SetValue(key, name, platform::kRegBinary, bytes, sizeof bytes);
}

}  // namespace

std::string RunValueName(const ProgramContext& program) { return program.programName; }

// The window program as it stands in the program folder: "Velmora.exe", or
// "Velmora" where programs carry no extension (Wine starts such a program by its
// Windows path too).
std::string RunValueData(platform::ManagedSystem& system, const ProgramContext& program) {
  const std::string base = program.programDir + "\\" + program.programName;
  if (!platform::files::Exists(system, base + ".exe") && platform::files::Exists(system, base) &&
      !platform::files::DirectoryExists(system, base))
    return base;
  return base + ".exe";
}

void StartupSettingsParameters::Load(platform::ManagedSystem& system) { ReadFromRegistry(system, true); }

void StartupSettingsParameters::Read(platform::ManagedSystem& system) { ReadFromRegistry(system, false); }

void StartupSettingsParameters::ReadFromRegistry(platform::ManagedSystem& system, bool apply) {
  platform::UniqueKey key;
  if (platform::reg::OpenKey(system.CurrentUser(), ProgramKeyPath(),
                             apply ? platform::kKeyAllAccess : platform::kKeyRead,
                             key.out()) != platform::kSuccess) {
    return;
  }
  std::string text;
  if (QueryRaw(key.get(), "Language", &text)) Language = text.substr(0, text.find('\0'));
  ReadFlag(key.get(), "ShowSplash", &ShowSplash);
  if (ReadFlag(key.get(), "StartWithWindows", &StartWithWindows) && apply) ApplyRunAtStartup(system);
  ReadFlag(key.get(), "ShowSavingMsg", &ShowSavingMsg);
  ReadFlag(key.get(), "ShowSavingProMsg", &ShowSavingProMsg);
  // An offline installation's settings belong to the copy installed there.
  if (apply && system.RunsThisProgram()) WriteString(key.get(), "DefnsVersion", DefnsVersion);
}

// Each value is its own write of the hive: after a failure every value is either
// the old or the new one, and the values after the failed one are still tried.
bool StartupSettingsParameters::Save(platform::ManagedSystem& system, std::string* error) {
  std::string firstFailure;
  auto check = [&](platform::Status status, const std::string& what) {
    if (status != platform::kSuccess && firstFailure.empty())
      firstFailure = changes::FailureText(what, status);
  };
  platform::UniqueKey key;
  check(platform::reg::CreateKey(system.CurrentUser(), ProgramKeyPath(), key.out()), "open the settings key");
  if (key) {
    check(WriteString(key.get(), "Language", Language), "write the setting Language");
    check(WriteFlag(key.get(), "ShowSplash", ShowSplash), "write the setting ShowSplash");
    check(WriteFlag(key.get(), "StartWithWindows", StartWithWindows), "write the setting StartWithWindows");
    check(WriteFlag(key.get(), "ShowSavingMsg", ShowSavingMsg), "write the setting ShowSavingMsg");
    check(WriteFlag(key.get(), "ShowSavingProMsg", ShowSavingProMsg), "write the setting ShowSavingProMsg");
    check(WriteString(key.get(), "DefnsVersion", DefnsVersion), "write the setting DefnsVersion");
  }
  if (error) *error = firstFailure;
  return firstFailure.empty();
}

bool StartupSettingsParameters::SetRunAtStartup(platform::ManagedSystem& system, const std::string& name,
                                                const std::string& data, bool remove) {
  // This program is not installed on an offline installation it works on: the
  // program's own Run value there belongs to the copy installed on that Windows.
  if (!system.RunsThisProgram()) return false;
  platform::UniqueKey run;
  if (platform::reg::OpenKey(system.CurrentUser(), kRunKeyPath, platform::kKeyAllAccess, run.out()) !=
      platform::kSuccess) {
    return false;
  }
  platform::Status status;
  if (remove) {
    status = platform::reg::DeleteValue(run.get(), name);
  } else {
    std::string bytes = data + '\0';
    status = platform::reg::SetValue(run.get(), name, platform::kRegSz,
                                     reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     static_cast<std::uint32_t>(bytes.size()));
  }
  return status == platform::kSuccess;
}

bool StartupSettingsParameters::ApplyRunAtStartup(platform::ManagedSystem& system) {
  return SetRunAtStartup(system, RunValueName(*program_), RunValueData(system, *program_),
                         StartWithWindows == 0);
}

}  // namespace velmora
