// Win32-style status codes shared by every platform operation.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using Status = long;

constexpr Status kSuccess = 0;
constexpr Status kFileNotFound = 2;
constexpr Status kPathNotFound = 3;
constexpr Status kAccessDenied = 5;
constexpr Status kInvalidHandle = 6;
constexpr Status kInvalidData = 13;
constexpr Status kWriteFault = 29;
constexpr Status kSharingViolation = 32;  // the prefix is owned by a running wineserver
constexpr Status kInvalidParameter = 87;
constexpr Status kNotSupported = 50;  // ERROR_NOT_SUPPORTED
constexpr Status kAlreadyExists = 183;
constexpr Status kMoreData = 234;
constexpr Status kNoMoreItems = 259;
constexpr Status kBadRegistryFile = 1009;  // ERROR_BADDB: a hive that could not be parsed

// COM result codes used by the shell-link operations.
using HResult = std::int32_t;
constexpr HResult kOk = 0;
constexpr HResult kFalse = 1;
constexpr HResult kFail = static_cast<HResult>(0x80004005u);

// A human-readable explanation of the last failure on this thread (empty when the
// last operation succeeded or left nothing to explain). Set by the operations that
// can fail for reasons a user must be told about: an unparsable hive, a running
// wineserver, an unreadable prefix.
const std::string& LastErrorDetail();
void SetLastErrorDetail(std::string detail);
void ClearLastErrorDetail();

}  // namespace platform
