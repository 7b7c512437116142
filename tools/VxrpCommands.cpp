#include "tools/VxrpCommands.h"

const std::vector<VxrpCommand>& VxrpCommands() {
    static const std::vector<VxrpCommand> commands = {
        {"rotation", "standard views and key-frame movies", VxrpRunRotation},
    };
    return commands;
}
