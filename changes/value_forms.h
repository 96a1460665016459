// The form (type and bytes) in which a command goes into a registry location.
#pragma once

#include <string>
#include <vector>

#include "entries/task.h"
#include "platform/registry.h"

namespace velmora::changes {

inline RawValue FromRegistry(const platform::RegistryValue& value) {
  return {value.name, value.type, value.data};
}

// The first of the |known| forms whose text is |command|, exactly (type and
// bytes); else the command as text in the first known form's type when that is
// REG_SZ or REG_EXPAND_SZ, else as REG_SZ.
RawValue ValueToWrite(const std::string& name, const std::string& command,
                      const std::vector<RawValue>& known);

}  // namespace velmora::changes
