#include "app/program.h"

namespace velmora {

ProgramContext& Program() {
  static ProgramContext context;
  return context;
}

}  // namespace velmora
