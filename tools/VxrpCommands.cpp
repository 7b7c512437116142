#include "VxrpCommands.h"

const std::vector<VxrpCommand>& VxrpCommands() {
    static const std::vector<VxrpCommand> commands = {
        {"rotation", "standard views and key-frame movies", VxrpRunRotation},
        {"table", "colour protocol: table entries, a window drag, average colour", VxrpRunTable},
    };
    return commands;
}
