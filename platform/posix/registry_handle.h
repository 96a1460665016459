// How value data passes between the registry's form and the A-functions' form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/managed_system.h"

namespace platform {

namespace posix {

inline bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Value data as the A-functions hand it out: strings as 8-bit text ending in a zero.
std::string ApiDataFromStored(std::uint32_t type, const std::string& stored);
// Value data as the registry holds it: strings as UTF-16LE ending in a zero.
std::string StoredDataFromApi(std::uint32_t type, const std::uint8_t* data, std::uint32_t size);

}  // namespace posix
}  // namespace platform
