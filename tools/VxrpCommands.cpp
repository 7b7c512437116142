#include "tools/VxrpCommands.h"

const std::vector<VxrpCommand>& VxrpCommands() {
    static const std::vector<VxrpCommand> commands = {
        {"clip", "clip planes and a slab: a key-frame movie and a comparison", VxrpRunClip},
        {"rotation", "standard views and key-frame movies", VxrpRunRotation},
        {"table", "colour protocol: table entries, a window drag, average colour", VxrpRunTable},
    };
    return commands;
}
