// Version resources of PE files (version::ReadInfo*/VerQueryValueA semantics).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class ManagedSystem;

namespace version {

// The version block of |path| (formats/version_resource's form: the resource,
// then its strings as UTF-8); empty when there is none. Each backend reads the
// resource its own way; the functions below are built on it.
std::vector<std::uint8_t> Block(ManagedSystem& system, const std::string& path);

// Size of the file's RT_VERSION resource, 0 when the file is missing, unreadable,
// not a PE file or has no version resource.
std::uint32_t InfoSize(ManagedSystem& system, const std::string& path);
// Copies the resource into |block| (at most |size| bytes). False on failure.
bool ReadInfo(ManagedSystem& system, const std::string& path, std::uint32_t size,
              std::vector<std::uint8_t>* block);

// VerQueryValueA over a block that version::ReadInfo returned:
//  "\"                          -> the 52-byte VS_FIXEDFILEINFO;
//  "\VarFileInfo\Translation"   -> the DWORD array;
//  "\StringFileInfo\llllcccc\X" -> the string X, converted to 8-bit text with its zero.
// |length| receives bytes for binary values and characters (with the zero) for
// strings. Path components match child keys without regard to case; a missing one
// fails. The pointer stays valid while |block| is unchanged.
bool QueryValue(const std::vector<std::uint8_t>& block, const std::string& subBlock, const void** value,
                std::uint32_t* length);

}  // namespace version

}  // namespace platform
