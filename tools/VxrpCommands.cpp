#include "tools/VxrpCommands.h"

const std::vector<VxrpCommand>& VxrpCommands() {
    static const std::vector<VxrpCommand> commands = {
        {"rotation", "standard views and key-frame movies",
         [] {
             extern int VxrpRunRotation();
             return VxrpRunRotation();
         }},
    };
    return commands;
}
