// Environment variables of the running Windows.
#include "platform/environment.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide.h"

namespace platform::env {

// ExpandEnvironmentStringsW, with the capacity counted in the program's 8-bit
// characters like the Linux backend counts it.
std::uint32_t Expand(ManagedSystem&, const std::string& source, std::string* out, std::uint32_t capacity) {
  std::wstring wide = win32::Wide(source);
  DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
  std::vector<wchar_t> buffer(needed ? needed : 1);
  DWORD length = needed ? ExpandEnvironmentStringsW(wide.c_str(), buffer.data(), needed) : 0;
  std::string expanded = length ? win32::Narrow(buffer.data(), length - 1) : source;
  std::uint32_t size = static_cast<std::uint32_t>(expanded.size() + 1);
  if (out) *out = size > capacity ? "" : expanded;
  return size;
}

std::string Value(ManagedSystem&, const std::string& name) {
  std::wstring wide = win32::Wide(name);
  DWORD needed = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (needed == 0) return "";
  std::vector<wchar_t> buffer(needed);
  DWORD length = GetEnvironmentVariableW(wide.c_str(), buffer.data(), needed);
  return length == 0 || length >= needed ? "" : win32::Narrow(buffer.data(), length);
}

}  // namespace platform::env
