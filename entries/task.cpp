#include "entries/task.h"

#include "app/language.h"

namespace velmora {

Task::Task() : description(GetString(7025)) {}

}  // namespace velmora
