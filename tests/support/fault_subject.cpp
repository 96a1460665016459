// A program for the fault tests: it drives writers of the core that no command of
// velmora-cli runs, on the prefix of $WINEPREFIX, and arms the preloaded fault
// injector (fault_shim.c, with VELMORA_FAULT_WHEN_ARMED=1) just before the write
// under test, so that only that write meets the fault.
//
//   fault-subject roll-back   reads the entries, takes the snapshot, applies a
//                             few edits, then rolls back (once more when that
//                             failed)
//   fault-subject settings    reads the settings, changes them all, saves them
//
// Exit status: 0 when the write under test reported success, 1 with a message
// when it reported a failure, 2 when the prefix is not the one the tests prepare.
#include <dlfcn.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "changes/startup_parameters.h"
#include "platform/managed_system.h"

using namespace velmora;

namespace {

int Fail(const std::string& message, int status = 1) {
  std::cerr << "fault-subject: " << message << "\n";
  return status;
}

// Starts the injector's count; nothing happens when it is not preloaded.
void ArmFaults() {
  using Arm = void (*)();
  if (auto arm = reinterpret_cast<Arm>(dlsym(RTLD_DEFAULT, "velmora_fault_arm"))) arm();
}

std::string Describe(const std::vector<ApplyFailure>& failures) {
  std::string text;
  for (const ApplyFailure& failure : failures) {
    text += std::string(failure.location >= 0 ? LocationTag(failure.location) : "store") + " \"" +
            failure.name + "\": " + failure.reason + "\n";
  }
  return text;
}

// The prepared prefix holds "Exp" (enabled, REG_EXPAND_SZ) and "Stored" (in the
// store) for CU Run, and "Tool.lnk" and "run.cmd" in the user's Startup folder. The apply
// moves an entry each way between a location and the store, in the registry and
// in the folder, removes a shortcut and adds a value; the roll-back undoes it.
int RollBack(platform::ManagedSystem& system) {
  StartupParameters model(system);
  model.SetReadOnly(false);
  model.Reload();
  for (const auto& [location, name] : {std::pair{kCuRun, "exp"},
                                       {kCuRun, "stored"},
                                       {kCuStartupFolder, "tool.lnk"},
                                       {kCuStartupFolder, "run.cmd"}}) {
    if (!model.Entry(location, name)) return Fail(std::string("the prefix has no entry ") + name, 2);
  }
  model.SetEntryEnabled("exp", kCuRun, 0);
  model.SetEntryEnabled("stored", kCuRun, 1);
  model.SetEntryEnabled("run.cmd", kCuStartupFolder, 0);
  model.RemoveEntry("tool.lnk", kCuStartupFolder);
  auto added = std::make_unique<Task>();
  added->name = "Added";
  added->command = "C:\\added.exe -x";
  std::string error;
  if (!model.AddEntry(std::move(added), kCuRun, &error)) return Fail("cannot add: " + error, 2);
  model.TakeSnapshot();
  std::vector<ApplyFailure> failures = model.ApplyChanges();
  if (!failures.empty()) return Fail("the apply failed:\n" + Describe(failures), 2);

  ArmFaults();
  failures = model.RollBack();
  if (failures.empty()) return 0;
  // A failed roll-back may be tried again, as the window offers.
  const bool again = model.RollBack().empty();
  return Fail("the roll-back failed:\n" + Describe(failures) +
              (again ? "a second roll-back got through" : "a second roll-back failed too"));
}

int Settings(platform::ManagedSystem& system) {
  StartupSettingsParameters settings;
  settings.Read(system);
  settings.Language = "Deutsch";
  settings.ShowSplash = 0;
  settings.StartWithWindows = 0;
  settings.ShowSavingMsg = 0;
  settings.ShowSavingProMsg = 0;
  settings.DefnsVersion = "27/04/2006";
  ArmFaults();
  std::string error;
  if (!settings.Save(system, &error)) return Fail("the settings were not saved: " + error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 2 ? argv[1] : "";
  if (command != "roll-back" && command != "settings")
    return Fail("usage: fault-subject roll-back|settings", 2);
  // The prefix WINEPREFIX names; paths are mapped through it.
  std::unique_ptr<platform::ManagedSystem> system = platform::DefaultSystem();
  if (system->Prepare() != platform::kSuccess) return Fail("no prefix: " + platform::LastErrorDetail(), 2);
  return command == "roll-back" ? RollBack(*system) : Settings(*system);
}
