// The indexes of large registry files kept between runs, in the user's cache
// folder ($XDG_CACHE_HOME/velmora/registry-index, else ~/.cache/...): an unchanged
// file is then taken without checking its text again.
//
// A file counts as unchanged while its device, inode, size, modification time and
// change time are those it had when it was checked. No program can set the change
// time, and every write moves it on; an index is kept only for a file whose times
// are older than the read that checked it by more than a tick of the file
// system's clock, so that a later write in the same tick cannot hide behind an
// equal time. Times with nanoseconds come from the kernel's clock, whose tick is
// at most 10 ms: 100 ms are waited for. Times of whole seconds may be those of a
// file system that counts in seconds or in two (FAT): two seconds are waited for.
#pragma once

#include <sys/stat.h>

#include <ctime>
#include <string>
#include <string_view>

#include "formats/registry_hive.h"

namespace platform::posix {

// Whether |a| and |b| are the status of the same file in the same version: the
// same device, inode, size, modification and change time.
bool SameFileVersion(const struct stat& a, const struct stat& b);

// Below this size a file's check costs less than reading its index.
constexpr std::size_t kIndexedFileFrom = 256 << 10;

// The index kept for the file at |path|, whose |text| was read from it as it was
// when opened (|opened|): true when there is one for that very file, unchanged
// since, and the file is still so after the read.
bool LoadKeptHiveIndex(const std::string& path, const struct stat& opened, std::string_view text,
                       formats::HiveIndex* index);

// Whether an index of the file opened as |opened| by a read that began at
// |readStarted| would be kept: its times are old enough.
bool SettledForIndex(const struct stat& opened, const timespec& readStarted);

// Keeps |index|, found by checking the text of |path| read as it was when opened
// (|opened|), a read that began at |readStarted|. Nothing is kept for a file
// changed too recently, nor when the cache folder cannot be written; at most
// kKeptIndexes are kept, the oldest removed first.
void KeepHiveIndex(const std::string& path, const struct stat& opened, const timespec& readStarted,
                   const formats::HiveIndex& index, std::size_t textSize);

constexpr std::size_t kKeptIndexes = 256;

}  // namespace platform::posix
