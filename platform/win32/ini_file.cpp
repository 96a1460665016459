// INI reading through GetPrivateProfileStringW. The values come back as the
// file's own 8-bit bytes (the Linux backend takes them byte for byte too): the
// wide text is turned back into the ANSI code page the system decoded it from.
#include "platform/ini_file.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/win32/wide.h"

namespace platform::ini {

namespace {

std::wstring FromAnsi(const std::string& text) {
  if (text.empty()) return L"";
  int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

std::string ToAnsi(const wchar_t* text, std::size_t size) {
  if (size == 0) return "";
  int length = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(size), out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace

std::uint32_t ReadString(ManagedSystem&, const std::string& section, const std::string& key,
                         const std::string& defaultValue, char* buffer, std::uint32_t size,
                         const std::string& path) {
  if (!buffer || size == 0) return 0;
  std::vector<wchar_t> wide(65536);
  DWORD length = GetPrivateProfileStringW(FromAnsi(section).c_str(), FromAnsi(key).c_str(),
                                          FromAnsi(defaultValue).c_str(), wide.data(),
                                          static_cast<DWORD>(wide.size()), win32::Wide(path).c_str());
  std::string text = ToAnsi(wide.data(), length);
  std::size_t count = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), count);
  buffer[count] = 0;
  return static_cast<std::uint32_t>(count);
}

// The system keeps no copy that the program could drop.
void ClearCache(ManagedSystem&) {}

}  // namespace platform::ini

namespace platform {

std::shared_ptr<const formats::IniDocument> IniDocumentOf(ManagedSystem& system, const std::string& path) {
  std::string bytes;
  if (path.empty() || files::ReadWholeFile(system, path, &bytes) != kSuccess) return nullptr;
  return std::make_shared<const formats::IniDocument>(std::move(bytes));
}

// Every look-up reads the file: nothing to take over.
void RememberIniFile(ManagedSystem&, const std::string&, std::string) {}

bool TakeIniFileAsItIs(ManagedSystem& system, const std::string& path, std::uint64_t size,
                       std::uint64_t modified) {
  std::uint64_t nowSize = 0, nowModified = 0;
  return files::FileStamp(system, path, &nowSize, &nowModified) && nowSize == size && nowModified == modified;
}

}  // namespace platform
