#include "changes/value_forms.h"

#include "changes/store_layout.h"
#include "entries/value_command.h"

namespace velmora::changes {

RawValue ValueToWrite(const std::string& name, const std::string& command,
                      const std::vector<RawValue>& known) {
  for (const RawValue& form : known) {
    if (CommandOfValue(form.type, form.data) == command) return {name, form.type, form.data};
  }
  std::uint32_t type = platform::kRegSz;
  if (!known.empty() &&
      (known.front().type == platform::kRegSz || known.front().type == platform::kRegExpandSz)) {
    type = known.front().type;
  }
  return {name, type, StringData(command)};
}

}  // namespace velmora::changes
