#pragma once

#include <vector>

// One demonstration of the host program. Each command lives in its own file
// (tools/Cmd*.cpp) and is listed in VxrpCommands.cpp.
struct VxrpCommand {
    const char* name;
    const char* summary;
    int (*run)();
};

const std::vector<VxrpCommand>& VxrpCommands();

// The commands, one per file.
int VxrpRunClip();
int VxrpRunRotation();
int VxrpRunTable();
