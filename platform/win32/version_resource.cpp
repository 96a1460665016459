// Version resources through GetFileVersionInfoA and VerQueryValueA. Their strings
// are in the ANSI code page; one that is not plain ASCII is handed out as UTF-8
// from a copy kept for the life of the process.
#include "platform/version_resource.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/win32/wide.h"

namespace platform::version {

namespace {

std::string AnsiPath(const std::string& path) {
  std::wstring wide = win32::Wide(path);
  int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, out.data(), length, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

bool IsAscii(const char* text) {
  for (; *text; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

const std::string& Utf8Copy(const char* ansi) {
  static std::mutex mutex;
  static std::map<std::string, std::string> copies;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = copies.find(ansi);
  if (it == copies.end()) {
    int length = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), length);
    it = copies.emplace(ansi, win32::Narrow(wide.c_str(), wcslen(wide.c_str()))).first;
  }
  return it->second;
}

}  // namespace

std::uint32_t InfoSize(ManagedSystem&, const std::string& path) {
  DWORD ignored = 0;
  return GetFileVersionInfoSizeA(AnsiPath(path).c_str(), &ignored);
}

bool ReadInfo(ManagedSystem&, const std::string& path, std::uint32_t size, std::vector<std::uint8_t>* block) {
  if (!block || size == 0) return false;
  block->assign(size, 0);
  if (GetFileVersionInfoA(AnsiPath(path).c_str(), 0, size, block->data())) return true;
  block->clear();
  return false;
}

bool QueryValue(const std::vector<std::uint8_t>& block, const std::string& subBlock, const void** value,
                std::uint32_t* length) {
  if (block.empty() || !value) return false;
  void* found = nullptr;
  UINT size = 0;
  // VerQueryValueA writes converted strings into the block's spare room; the block
  // is the caller's, handed in as const only to promise its contents stay.
  auto* data = const_cast<std::uint8_t*>(block.data());
  if (!VerQueryValueA(data, subBlock.c_str(), &found, &size) || !found) return false;
  bool isText = subBlock.size() > 16 && _strnicmp(subBlock.c_str(), "\\StringFileInfo\\", 16) == 0;
  if (!isText) {
    *value = found;
    if (length) *length = size;
    return true;
  }
  const char* text = static_cast<const char*>(found);
  if (IsAscii(text)) {
    *value = text;
    if (length) *length = static_cast<std::uint32_t>(std::strlen(text) + 1);
  } else {
    const std::string& copy = Utf8Copy(text);
    *value = copy.c_str();
    if (length) *length = static_cast<std::uint32_t>(copy.size() + 1);
  }
  return true;
}

}  // namespace platform::version
