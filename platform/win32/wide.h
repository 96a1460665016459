// Conversions between the program's UTF-8 text and the wide strings of the
// Win32 W-functions. The core speaks UTF-8 everywhere, as the Linux backend does;
// the W-functions keep every character, where the A-functions would pass text
// through the ANSI code page.
#pragma once

#include <string>

#include "base/utf16.h"

namespace platform::win32 {

inline std::wstring Wide(const std::string& text) {
  std::u16string units = velmora::Utf16FromUtf8(text);
  return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(const wchar_t* text, std::size_t length) {
  return velmora::Utf8FromUtf16(std::u16string(text, text + length));
}

inline std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }

}  // namespace platform::win32
