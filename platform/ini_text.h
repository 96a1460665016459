// The text rules of INI files shared by the INI readers: blanks, letter case,
// the decoding of a file's bytes and the copying out of a value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::ini_text {

// Blanks as the C library's isspace() sees them in the "C" locale; bytes above
// 0x7F are never blanks.
inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
// Without the blanks of the "C" locale at either end (inline: the parser calls it
// three times a line).
inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}
// ASCII letters in lower case.
char Fold(char c);
std::string Folded(std::string_view text);
// The text of a file as the program's 8-bit text: UTF-16 files (with their byte
// order mark) are converted, a UTF-8 mark is dropped, everything else is taken
// byte for byte (and then without a copy).
std::string DecodedText(std::string bytes);
// What a buffer of |size| bytes (size > 0) receives of |text|: the text up to its
// first zero byte, cut to size - 1.
std::string_view Delivered(std::string_view text, std::uint32_t size);
// Delivered(text, size) into |buffer|, zero-terminated; the count copied.
std::uint32_t CopyOut(std::string_view text, char* buffer, std::uint32_t size);

}  // namespace platform::ini_text
