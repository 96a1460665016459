// "velmora-cli disable LOCATION NAME".
#include "tools/velmora-cli/edit_support.h"

namespace velmora::cli {

const Command kDisableCommand = {"disable",
                                 "LOCATION NAME",
                                 "disables an entry (keeps it in Velmora's store), at once\n",
                                 Writes::kSystem,
                                 [](const Operands& operands) { return CheckLocationOperands(operands, 2); },
                                 [](const Operands& operands, StartupParameters& model, std::ostream& out,
                                    std::ostream& err) { return SwitchEntry(operands, 0, model, out, err); }};

}  // namespace velmora::cli
