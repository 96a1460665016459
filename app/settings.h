// The program's own settings, kept in the user's registry under
// HKEY_CURRENT_USER\Software\Orlinsk\Velmora, and the program's own value under
// the user's Run key.
#pragma once

#include <cstdint>
#include <string>

#include "base/program_context.h"

namespace platform {
class ManagedSystem;
}

namespace velmora {

// Each operation reads or writes the settings kept in |system|, the Windows the
// program manages.
class StartupSettingsParameters {
 public:
  // |program| names the program's own Run value (its folder and name); it must
  // outlive the object.
  explicit StartupSettingsParameters(const ProgramContext& program = DefaultProgramContext())
      : program_(&program) {}
  virtual ~StartupSettingsParameters() = default;

  // Reads the stored values over the current ones. Does nothing when the program
  // key cannot be opened (the first run). A stored "StartWithWindows" is applied
  // to the Run value at once; then "DefnsVersion" is written.
  void Load(platform::ManagedSystem& system);
  // Reads the stored values over the current ones and writes nothing: neither
  // "DefnsVersion" nor the Run value changes (a listing leaves the disk alone).
  void Read(platform::ManagedSystem& system);
  // Writes all six values, creating the program key when missing. False with
  // |error| naming the first write that failed; each value is then the old or the
  // new one (they are written one by one, not together).
  bool Save(platform::ManagedSystem& system, std::string* error = nullptr);
  // Writes |data| as the REG_SZ value |name| of the user's Run key, or deletes the
  // value when |remove|. True when that write or delete succeeded.
  bool SetRunAtStartup(platform::ManagedSystem& system, const std::string& name, const std::string& data,
                       bool remove);
  // SetRunAtStartup for the program's own Run value, following StartWithWindows.
  bool ApplyRunAtStartup(platform::ManagedSystem& system);

  std::string Language = "English";
  std::int32_t ShowSplash = 1;
  std::int32_t StartWithWindows = 1;
  std::int32_t ShowSavingMsg = 1;
  std::int32_t ShowSavingProMsg = 1;
  std::string DefnsVersion;

 private:
  // Load when |apply|, else Read.
  void ReadFromRegistry(platform::ManagedSystem& system, bool apply);

  const ProgramContext* program_;
};

// The program's Run value: the window program's base name, and its executable in
// the program folder ("C:\Programs\Velmora\Velmora.exe", or "Z:\...\Velmora" where
// the window program is a file without extension). The same for every program of
// the folder, velmora-cli included.
std::string RunValueName(const ProgramContext& program);
std::string RunValueData(platform::ManagedSystem& system, const ProgramContext& program);

}  // namespace velmora
