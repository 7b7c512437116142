// vxrp presets - the protocols built into the program.

#include <cstdio>

#include "tools/VxrpCli.h"
#include "tools/VxrpProtocols.h"

namespace {

int run() {
    const std::string standard = VxrpDefaultPresetName();
    for (const VxrpPresetInfo& preset : VxrpPresetList()) {
        std::printf("%-16s %u class%s  %s%s\n", preset.name.c_str(), preset.classes,
                    preset.classes == 1 ? " " : "es", preset.shows.c_str(),
                    preset.name == standard ? " (default)" : "");
    }
    return kVxrpOk;
}

}  // namespace

void VxrpAddPresetsCommand(VxrpProgram& program) {
    program.AddCommand("presets", "the built-in protocols: name, classes, what each shows", run);
}
