// libFuzzer target: .lnk bytes through the shell-link reader. A link that loads
// is written again, and the written bytes load to the same fields.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/shell_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "C:\\users\\Public\\Desktop\\input.lnk";
  velmora::fuzz::WorkDir();  // the prefix maps the paths of targets
  platform::ShellLink link;
  if (link.LoadFromBytes(data, size, path) != platform::kOk) return 0;
  std::string target;
  link.GetPath(&target, 260);
  FUZZ_CHECK(target.size() < 260);
  link.Resolve();

  std::string written;
  if (link.SaveToBytes(path, &written) != platform::kOk) return 0;  // a string longer than a link holds
  platform::ShellLink again;
  FUZZ_CHECK(again.LoadFromBytes(reinterpret_cast<const std::uint8_t*>(written.data()), written.size(),
                                 path) == platform::kOk);
  FUZZ_CHECK(again.description == link.description);
  FUZZ_CHECK(again.arguments == link.arguments);
  FUZZ_CHECK(again.workingDirectory == link.workingDirectory);
  FUZZ_CHECK(again.iconLocation == link.iconLocation);
  FUZZ_CHECK(again.iconIndex == link.iconIndex);
  FUZZ_CHECK(again.showCommand == link.showCommand);
  return 0;
}
