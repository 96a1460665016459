// The services and drivers of a system, each as its key under the registry's
// services key holds what Velmora reads of it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace platform {

// One service or driver. Each value is as the registry stores it (type and bytes);
// a value that is missing has an empty name.
struct ServiceRecord {
  std::string name;  // the key name
  RegistryValue start;
  RegistryValue delayed;  // "DelayedAutostart"
  RegistryValue imagePath;
  RegistryValue type;
  RegistryValue serviceDll;  // Parameters\ServiceDll of a service in a shared host
};

// Reads the value |name| of |key| whole; false when it is not there or cannot be read.
bool ReadWholeValue(HKey key, const std::string& name, RegistryValue* value);
// The number a REG_DWORD of four bytes holds; false for any other value.
bool DwordValue(const RegistryValue& value, std::uint32_t* number);

}  // namespace platform
