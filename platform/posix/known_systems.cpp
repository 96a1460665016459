// The systems of this machine as the finder finds them, and opening one.
#include "platform/known_systems.h"

#include <cstdlib>

#include "platform/posix/path_util.h"
#include "platform/posix/prefix.h"
#include "platform/posix/system_finder.h"

namespace platform {

std::vector<KnownSystem> FindKnownSystems() {
  std::vector<KnownSystem> systems;
  for (const posix::FoundSystem& found : posix::FindSystems(posix::FinderInputFromEnvironment()))
    systems.push_back({found.name, posix::SystemKindName(found.kind), found.path, found.problem});
  return systems;
}

bool KnownSystemAt(const std::string& path, const std::vector<KnownSystem>& found, KnownSystem* system) {
  const std::string real = path.empty() ? "" : posix::RealPath(path);
  if (real.empty()) return false;
  for (const KnownSystem& known : found) {
    if (known.path == real) {
      *system = known;
      return true;
    }
  }
  if (!posix::IsFile(real + "/system.reg")) return false;
  const std::size_t slash = real.rfind('/');
  *system = {real.substr(slash + 1), "wine", real, posix::IsFile(real + "/user.reg") ? "" : "no user.reg"};
  return true;
}

bool OpenKnownSystem(const KnownSystem& system, const std::string& userName,
                     std::unique_ptr<ManagedSystem>* opened, std::string* error) {
  const std::string what = system.kind + " system \"" + system.name + "\" (" + system.path + ")";
  if (!system.problem.empty()) {
    *error = "cannot open the " + what + ": " + system.problem;
    return false;
  }
  if (system.kind == "offline") {
    std::string why;
    if (OpenOfflineSystem(system.path, userName, opened, &why) == kSuccess) return true;
    *error = "cannot open the " + what + ": " + why;
    return false;
  }
  // The prefix must still hold its registry: preparing one without it would make
  // a new prefix in a launcher's folder.
  if (!posix::IsFile(system.path + "/system.reg")) {
    *error = "cannot open the " + what + ": no system.reg";
    return false;
  }
  auto prefix = std::make_unique<posix::WinePrefix>(system.path);
  if (prefix->Prepare() != kSuccess) {
    *error = "cannot open the " + what + ": " + LastErrorDetail();
    return false;
  }
  *opened = std::move(prefix);
  return true;
}

}  // namespace platform
