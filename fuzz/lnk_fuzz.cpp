// libFuzzer target: .lnk files through the shell-link reader, and back through
// the writer when they load.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "platform/shell_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmora::fuzz::WriteInput(data, size);
  platform::ShellLink link;
  if (link.Load(velmora::fuzz::InputPath()) == platform::kOk) {
    std::string path;
    link.GetPath(&path, 260);
    link.Save(velmora::fuzz::InputPath());
    platform::ShellLink again;
    again.Load(velmora::fuzz::InputPath());
  }
  return 0;
}
