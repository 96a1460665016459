#include "entries/task.h"

#include "base/message_text.h"

namespace velmora {

Task::Task() : description(GetString(text_id::kNoInformation)) {}

}  // namespace velmora
