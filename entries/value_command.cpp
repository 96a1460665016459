#include "entries/value_command.h"

#include <cstdio>

#include "base/text.h"
#include "base/utf16.h"
#include "entries/program_path.h"
#include "platform/registry.h"

namespace velmora {

bool IsTextValueType(std::uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz;
}

std::string CommandOfValue(std::uint32_t type, const std::string& data) {
  if (IsTextValueType(type)) return ValidUtf8(data.substr(0, data.find('\0')));
  char buffer[24];
  if (type == platform::kRegDword && data.size() == 4) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[i]);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(value));
    return buffer;
  }
  std::string bytes = data;
  if (type == platform::kRegMultiSz) {
    // The registry hands strings over as 8-bit text; the editor shows the UTF-16 the
    // system keeps.
    bytes.clear();
    for (char16_t unit : Utf16FromUtf8(data)) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
  }
  if (type == platform::kRegBinary) return "hex:" + HexByteList(bytes);
  std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(type));
  return buffer + HexByteList(bytes);
}

std::string ProgramPathOfValue(platform::ManagedSystem& system, const std::string& command,
                               std::uint32_t type) {
  return ProgramPathOfValue(system, command, type,
                            [&system](const std::string& path) { return ProgramFileExists(system, path); });
}

std::string ProgramPathOfValue(platform::ManagedSystem& system, const std::string& command,
                               std::uint32_t type, const std::function<bool(const std::string&)>& isFile) {
  return IsTextValueType(type)
             ? SplitProgramCommand(system, command, type == platform::kRegExpandSz, isFile).program
             : "";
}

}  // namespace velmora
