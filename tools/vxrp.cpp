// vxrp - a command-line host for the VXRP library. It drives the library the
// way a 3-D viewer would and shows what comes out, so that protocols can be
// seen and checked without a workstation.

#include "tools/VxrpCli.h"

int main(int argc, char** argv) {
    VxrpProgram program;
    VxrpAddCommands(program);
    return program.Main(argc, argv);
}
