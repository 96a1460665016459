#include "base/program_version.h"

namespace velmora {

const char* ProgramVersion() { return VELMORA_VERSION; }

}  // namespace velmora
