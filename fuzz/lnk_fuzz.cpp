// libFuzzer target: .lnk bytes through the shell-link reader. A link that loads
// is written again, and the written bytes load to the same fields.
#include <cstdint>
#include <string>

#include "formats/shell_link.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "C:\\users\\Public\\Desktop\\input.lnk";
  formats::ShellLinkData link;
  if (!formats::ReadShellLink(data, size, path, &link)) return 0;

  std::string written;
  // False for a string longer than a link holds.
  if (!formats::WriteShellLink(link, path, link.fileAttributes, 0, &written)) return 0;
  formats::ShellLinkData again;
  FUZZ_CHECK(formats::ReadShellLink(reinterpret_cast<const std::uint8_t*>(written.data()), written.size(),
                                    path, &again));
  FUZZ_CHECK(again.description == link.description);
  FUZZ_CHECK(again.arguments == link.arguments);
  FUZZ_CHECK(again.workingDirectory == link.workingDirectory);
  FUZZ_CHECK(again.iconLocation == link.iconLocation);
  FUZZ_CHECK(again.iconIndex == link.iconIndex);
  FUZZ_CHECK(again.showCommand == link.showCommand);
  return 0;
}
