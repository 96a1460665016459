// The command of a Run or RunOnce value as the program shows, stores and compares
// it, whatever the value's type.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

// REG_SZ and REG_EXPAND_SZ: the values Windows starts a program from.
bool IsTextValueType(std::uint32_t type);

// Text values: their text up to the first zero. Any other value in the form of
// a registry file of Windows' registry editor, which names its type and keeps
// every byte: "dword:0000002a" for a REG_DWORD of four bytes, "hex:de,ad" for
// REG_BINARY, "hex(7):..." (the UTF-16LE bytes) for REG_MULTI_SZ, "hex(b):..."
// for a REG_QWORD. The result is always valid UTF-8, and two values give the
// same command only when their types and bytes are the same (text values: their
// text).
std::string CommandOfValue(std::uint32_t type, const std::string& data);

// The program path of a command held in a value of |type|: "" for a value that is
// not text, since nothing is started from it.
std::string ProgramPathOfValue(platform::ManagedSystem& system, const std::string& command,
                               std::uint32_t type);
// The same, asking |isFile| whether a path names an existing file.
std::string ProgramPathOfValue(platform::ManagedSystem& system, const std::string& command,
                               std::uint32_t type, const std::function<bool(const std::string&)>& isFile);

}  // namespace velmora
