// Conversions between the program's 8-bit text (UTF-8 on Linux) and UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Invalid UTF-8 bytes are taken as Latin-1 characters, so no input is lost.
std::u16string Utf16FromUtf8(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(const std::u16string& text);
// Reads |count| UTF-16LE units from |bytes| (no alignment needed).
std::u16string Utf16FromLittleEndian(const std::uint8_t* bytes, std::size_t count);
// Utf8FromUtf16 of those units, without making them first.
std::string Utf8FromLittleEndian(const std::uint8_t* bytes, std::size_t count);
// |text| as valid UTF-8, its invalid bytes read as Utf16FromUtf8 reads them;
// valid UTF-8 comes back unchanged.
std::string ValidUtf8(const std::string& text);
// The same, taking |text| over: valid text is handed back without a copy.
std::string ValidUtf8(std::string&& text);
// Code page 1252 (and Latin-1 for its holes) to UTF-8.
std::string Utf8FromWindows1252(const std::string& text);

}  // namespace velmora
