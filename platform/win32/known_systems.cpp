// The Windows build manages the Windows it runs on: there are no others to find.
#include "platform/known_systems.h"

namespace platform {

std::vector<KnownSystem> FindKnownSystems() { return {}; }

bool KnownSystemAt(const std::string&, const std::vector<KnownSystem>&, KnownSystem*) { return false; }

bool OpenKnownSystem(const KnownSystem& system, const std::string&, std::unique_ptr<ManagedSystem>*,
                     std::string* error) {
  *error = "cannot open " + system.path + ": the Windows build manages only the Windows it runs on";
  return false;
}

}  // namespace platform
