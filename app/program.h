// The program context of this process: the application object fills it at
// start-up (app/velmora_app.cpp) and hands it to the model; the application's own
// parts (settings, help, language files) read it here.
#pragma once

#include "base/program_context.h"

namespace velmora {

ProgramContext& Program();

}  // namespace velmora
