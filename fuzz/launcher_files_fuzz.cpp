// libFuzzer target: the launchers' files that name Wine prefixes, as the system
// finder reads them: YAML (Bottles' bottle.yml, Lutris's game configurations),
// JSON (Heroic's), Steam's library list and manifests, and the mount table. The
// same bytes go to every reader. Properties beyond "no crash":
//  - a YAML value found at a path is found again when the text is read again;
//  - every mount point read is absolute.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/posix/launcher_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  using namespace platform::posix;
  std::string value;
  if (YamlScalarAt(text, {"game", "prefix"}, &value)) {
    std::string again;
    FUZZ_CHECK(YamlScalarAt(text, {"game", "prefix"}, &again) && again == value);
  }
  YamlScalarAt(text, {"Name"}, &value);
  JsonStringAt(text, {"defaultSettings", "winePrefix"}, &value);
  GameConfigPrefixes(text);
  for (const MountEntry& mount : ParseMountInfo(text))
    FUZZ_CHECK(!mount.mountPoint.empty() && mount.mountPoint[0] == '/');
  SteamLibraryPaths(text);
  SteamAppName(text);
  return 0;
}
