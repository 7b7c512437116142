#include "tools/VxrpCommands.h"

const std::vector<VxrpCommand>& VxrpCommands() {
    static const std::vector<VxrpCommand> commands = {
        {"rotation", "standard views and key-frame movies", VxrpRunRotation},
        {"table", "[PRESET|FILE] colour protocol: table entries, a window drag, average colour",
         VxrpRunTable},
        {"presets", "the preset colour protocols", VxrpRunPresets},
    };
    return commands;
}
