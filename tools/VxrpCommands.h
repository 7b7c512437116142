#pragma once

#include <string>
#include <vector>

// One demonstration of the host program. Each command lives in its own file
// (tools/Cmd*.cpp) and is listed in VxrpCommands.cpp.
struct VxrpCommand {
    const char* name;
    const char* summary;
    // Runs with the arguments after the command's name (none when every
    // demonstration runs in turn).
    int (*run)(int argc, char** argv);
};

const std::vector<VxrpCommand>& VxrpCommands();

// The commands, one per file.
int VxrpRunClip(int argc, char** argv);
int VxrpRunPresets(int argc, char** argv);
int VxrpRunRotation(int argc, char** argv);
int VxrpRunTable(int argc, char** argv);
int VxrpRunVoi(int argc, char** argv);
