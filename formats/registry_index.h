// What the check of a registry file found, kept as bytes beside the file, so that
// reading the same unchanged file again need not check it again.
//
// The bytes carry a stamp the caller chooses (what identifies the file and its
// version), the size of the text and a checksum; they are taken only for a text
// of that size under that stamp, and only when every key line they name stands
// where they say in that text. The key lines are stored as the distances between
// their offsets, nearly all of which fit in a byte: about 6 bytes a key.
#pragma once

#include <string>
#include <string_view>

#include "formats/registry_hive.h"

namespace formats {

// Empty for the rare index it cannot hold (a key path of over 2 GB).
std::string EncodeHiveIndex(const HiveIndex& index, std::string_view stamp, std::size_t textSize);

// False when |bytes| are not an index made under |stamp| for a text as long as
// |text|, are damaged, or name key lines that are not where |text| has them.
bool DecodeHiveIndex(std::string_view bytes, std::string_view stamp, std::string_view text, HiveIndex* index);

}  // namespace formats
