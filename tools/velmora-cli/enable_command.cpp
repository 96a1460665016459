// "velmora-cli enable LOCATION NAME".
#include "tools/velmora-cli/edit_support.h"

namespace velmora::cli {

const Command kEnableCommand = {"enable",
                                "LOCATION NAME",
                                "puts a disabled entry back exactly as it was, at once\n",
                                Writes::kSystem,
                                [](const Operands& operands) { return CheckLocationOperands(operands, 2); },
                                [](const Operands& operands, StartupParameters& model, std::ostream& out,
                                   std::ostream& err) { return SwitchEntry(operands, 1, model, out, err); }};

}  // namespace velmora::cli
