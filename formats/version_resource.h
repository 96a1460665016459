// Version resources (RT_VERSION) of PE images, with VerQueryValueA's semantics.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/byte_source.h"

namespace formats {

// The version block of the PE image |file| holds: its RT_VERSION resource as
// stored, followed by every string value converted to 8-bit text (UTF-8), so that
// QueryVersionValue can hand out a string without writing. Empty when |file|
// holds no PE image or the image has no version resource.
std::vector<std::uint8_t> VersionInfoBlock(const ByteSource& file);
// The same block made of a VS_VERSIONINFO resource already read (as the system's
// own version reader hands it out). Empty when |resource| is.
std::vector<std::uint8_t> VersionBlockOfResource(const std::string& resource);

// VerQueryValueA over a block that VersionInfoBlock made:
//  "\"                          -> the 52-byte VS_FIXEDFILEINFO;
//  "\VarFileInfo\Translation"   -> the DWORD array;
//  "\StringFileInfo\llllcccc\X" -> the string X, converted to 8-bit text with its zero.
// |length| receives bytes for binary values and characters (with the zero) for
// strings. Path components match child keys without regard to case; a missing one
// fails. The pointer stays valid while |block| is unchanged. A block cut short
// loses its strings; its binary values still answer.
bool QueryVersionValue(const std::vector<std::uint8_t>& block, const std::string& subBlock,
                       const void** value, std::uint32_t* length);

}  // namespace formats
