#include "tools/VxrpCommands.h"

const std::vector<VxrpCommand>& VxrpCommands() {
    static const std::vector<VxrpCommand> commands = {};
    return commands;
}
