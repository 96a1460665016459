// The registry calls over an offline Windows installation's hives: the SOFTWARE
// hive is HKEY_LOCAL_MACHINE\Software (its Wow6432Node key holds the 32-bit
// view), the chosen user's NTUSER.DAT is HKEY_CURRENT_USER. The registry
// functions hand over to these while an installation is open.
//
// Keys open for any access, so that a hive that must not be written is still
// listed; each change is refused with a message saying why (a hive with
// changes waiting in its logs, a read-only mount, missing permissions) and is
// otherwise written through before the call returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace platform::posix {

bool OfflineRegistryActive();

Status OfflineOpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result);
Status OfflineCreateKey(HKey root, const std::string& subKey, HKey* result);
Status OfflineCloseKey(HKey key);
Status OfflineEnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize);
Status OfflineQueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize);
Status OfflineSetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                       std::uint32_t dataSize);
Status OfflineDeleteValue(HKey key, const std::string& name);
Status OfflineEnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size);
Status OfflineDeleteKeyTree(HKey root, const std::string& subKey);
Status OfflineReadAllValues(HKey key, std::vector<RegistryValue>* values);
Status OfflineQueryString(HKey key, const std::string& name, std::string* text);

}  // namespace platform::posix
