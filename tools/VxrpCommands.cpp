#include "tools/VxrpCli.h"

// One line per command; each function lives in the command's own file.
void VxrpAddDefaultCommand(VxrpProgram& program);
void VxrpAddTableCommand(VxrpProgram& program);
void VxrpAddPlotCommand(VxrpProgram& program);
void VxrpAddWindowCommand(VxrpProgram& program);
void VxrpAddDragCommand(VxrpProgram& program);
void VxrpAddAverageCommand(VxrpProgram& program);
void VxrpAddPresetsCommand(VxrpProgram& program);
void VxrpAddConvertCommand(VxrpProgram& program);
void VxrpAddClipCommand(VxrpProgram& program);
void VxrpAddVoiCommand(VxrpProgram& program);
void VxrpAddRotationCommand(VxrpProgram& program);

void VxrpAddCommands(VxrpProgram& program) {
    VxrpAddDefaultCommand(program);
    VxrpAddTableCommand(program);
    VxrpAddPlotCommand(program);
    VxrpAddWindowCommand(program);
    VxrpAddDragCommand(program);
    VxrpAddAverageCommand(program);
    VxrpAddPresetsCommand(program);
    VxrpAddConvertCommand(program);
    VxrpAddClipCommand(program);
    VxrpAddVoiCommand(program);
    VxrpAddRotationCommand(program);
}
