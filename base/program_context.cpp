#include "base/program_context.h"

namespace velmora {

const ProgramContext& DefaultProgramContext() {
  static const ProgramContext context;
  return context;
}

}  // namespace velmora
