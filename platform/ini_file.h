// Reading INI files (GetPrivateProfileStringA semantics).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "formats/ini_document.h"

namespace platform {

class ManagedSystem;

namespace ini {

// Value of |key| in |section| of the file at |path| (a Windows path of |system|): the first
// line of the first section of that name that holds the key (names compared without
// regard to ASCII letter case, surrounding blanks ignored; the value trimmed, and
// one pair of surrounding quotes removed). Bytes above 0x7F are taken as they are.
// A missing file, section or key gives |defaultValue|. At most size-1 characters
// are copied to |buffer|, always zero-terminated when size > 0; returns the number
// of characters copied.
//
// A file is parsed once and served from its parsed copy until it changes on disk
// (size, modification time or inode).
std::uint32_t ReadString(ManagedSystem& system, const std::string& section, const std::string& key,
                         const std::string& defaultValue, char* buffer, std::uint32_t size,
                         const std::string& path);

// Drops every parsed copy that |system| keeps.
void ClearCache(ManagedSystem& system);

}  // namespace ini

// The parsed document of the file at |path| as ini::ReadString reads it,
// or null when the file cannot be read. The same object is returned while the
// file stays unchanged.
std::shared_ptr<const formats::IniDocument> IniDocumentOf(ManagedSystem& system, const std::string& path);
// Takes |bytes| as what the file at |path| holds now, written by this process a
// moment ago, so that the look-ups need not read it again: they are served from
// |bytes| from then on, even when the file is changed or removed behind this
// process's back. For scratch files only this process means to read.
void RememberIniFile(ManagedSystem& system, const std::string& path, std::string bytes);
// Takes the file at |path| as this process's own as it stands now, when its size
// and last-write time (as files::FileStamp gives them) are still |size| and
// |modified|: it is opened here and read by the first look-up (which may run on
// another thread), and what was opened is read even when the file is removed or
// replaced by another afterwards. False, and nothing taken, when it cannot be
// opened or no longer has that size and time. A file that cannot be read whole
// then reads as a missing one.
bool TakeIniFileAsItIs(ManagedSystem& system, const std::string& path, std::uint64_t size,
                       std::uint64_t modified);

}  // namespace platform
