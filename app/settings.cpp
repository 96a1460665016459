#include "app/settings.h"

#include "app/program_context.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace velmora {

namespace {

// Values are read into a buffer of this size; a longer one counts as unreadable.
constexpr std::uint32_t kValueBufferSize = 202;

bool QueryRaw(platform::HKey key, const char* name, std::string* data) {
  std::uint8_t buffer[kValueBufferSize];
  std::uint32_t size = sizeof buffer;
  std::uint32_t type = 0;
  if (platform::RegQueryValueEx(key, name, &type, buffer, &size) != platform::kSuccess) return false;
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

void WriteString(platform::HKey key, const char* name, const std::string& text) {
  std::string data = text + '\0';
  platform::RegSetValueEx(key, name, platform::kRegSz, reinterpret_cast<const std::uint8_t*>(data.data()),
                          static_cast<std::uint32_t>(data.size()));
}

void WriteFlag(platform::HKey key, const char* name, std::int32_t flag) {
  std::uint32_t value = static_cast<std::uint32_t>(flag);
  std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                           static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  platform::RegSetValueEx(key, name, platform::kRegBinary, bytes, sizeof bytes);
}

}  // namespace

std::string RunValueName() { return Program().programName; }

// The window program as it stands in the program folder: "Velmora.exe", or
// "Velmora" where programs carry no extension (Wine starts such a program by its
// Windows path too).
std::string RunValueData() {
  const std::string base = Program().programDir + "\\" + Program().programName;
  if (!platform::FileExists(base + ".exe") && platform::FileExists(base) && !platform::DirectoryExists(base)) return base;
  return base + ".exe";
}

void StartupSettingsParameters::Load() { ReadFromRegistry(true); }

void StartupSettingsParameters::Read() { ReadFromRegistry(false); }

void StartupSettingsParameters::ReadFromRegistry(bool apply) {
  platform::HKey key = nullptr;
  if (platform::RegOpenKeyEx(platform::HKeyCurrentUser(), ProgramKeyPath(),
                             apply ? platform::kKeyAllAccess : platform::kKeyRead, &key) != platform::kSuccess) {
    return;
  }
  std::string text;
  if (QueryRaw(key, "Language", &text)) Language = text.substr(0, text.find('\0'));
  ReadFlag(key, "ShowSplash", &ShowSplash);
  if (ReadFlag(key, "StartWithWindows", &StartWithWindows) && apply) ApplyRunAtStartup();
  ReadFlag(key, "ShowSavingMsg", &ShowSavingMsg);
  ReadFlag(key, "ShowSavingProMsg", &ShowSavingProMsg);
  if (apply) WriteString(key, "DefnsVersion", DefnsVersion);
  platform::RegCloseKey(key);
}

void StartupSettingsParameters::Save() {
  platform::HKey key = nullptr;
  if (platform::RegCreateKey(platform::HKeyCurrentUser(), ProgramKeyPath(), &key) != platform::kSuccess) return;
  WriteString(key, "Language", Language);
  WriteFlag(key, "ShowSplash", ShowSplash);
  WriteFlag(key, "StartWithWindows", StartWithWindows);
  WriteFlag(key, "ShowSavingMsg", ShowSavingMsg);
  WriteFlag(key, "ShowSavingProMsg", ShowSavingProMsg);
  WriteString(key, "DefnsVersion", DefnsVersion);
  platform::RegCloseKey(key);
}

bool StartupSettingsParameters::SetRunAtStartup(const std::string& name, const std::string& data, bool remove) {
  platform::HKey run = nullptr;
  if (platform::RegOpenKeyEx(platform::HKeyCurrentUser(), kRunKeyPath, platform::kKeyAllAccess, &run) !=
      platform::kSuccess) {
    return false;
  }
  platform::Status status;
  if (remove) {
    status = platform::RegDeleteValue(run, name);
  } else {
    std::string bytes = data + '\0';
    status = platform::RegSetValueEx(run, name, platform::kRegSz, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     static_cast<std::uint32_t>(bytes.size()));
  }
  platform::RegCloseKey(run);
  return status == platform::kSuccess;
}

bool StartupSettingsParameters::ApplyRunAtStartup() {
  return SetRunAtStartup(RunValueName(), RunValueData(), StartWithWindows == 0);
}

}  // namespace velmora
