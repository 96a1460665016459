#include "base/program_context.h"

namespace velmora {

ProgramContext& Program() {
  static ProgramContext context;
  return context;
}

}  // namespace velmora
