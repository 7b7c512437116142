#pragma once

#include <string>
#include <vector>

// One demonstration of the host program. Each command lives in its own file
// (tools/Cmd*.cpp) and is listed in VxrpCommands.cpp.
struct VxrpCommand {
    const char* name;
    const char* summary;
    int (*run)();
    // True: the command reads the arguments after its name
    // (VxrpCommandArguments); otherwise extra arguments are a usage error.
    bool takesArguments = false;
};

// The arguments after the command's name.
std::vector<std::string>& VxrpCommandArguments();

const std::vector<VxrpCommand>& VxrpCommands();

// The commands, one per file.
int VxrpRunClip();
int VxrpRunRotation();
int VxrpRunTable();
int VxrpRunVoi();
