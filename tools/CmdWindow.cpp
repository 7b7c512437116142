// vxrp window - a window applied to every class as the viewer does, saved as a
// protocol file.

#include <memory>

#include "tools/VxrpCli.h"
#include "tools/VxrpOutput.h"
#include "tools/VxrpProtocols.h"

namespace {

struct WindowOptions {
    std::string protocol;
    float center = 0.0f;
    float width = 0.0f;
    std::string output = "-";
};

int run(WindowOptions& options) {
    const std::unique_ptr<VXR_VOLR_ColorProtocol> protocol = VxrpOpenProtocol(options.protocol);
    VxrpMoveWindow(*protocol, options.protocol, options.center, options.width);
    protocol->ApplyWindowing();
    VxrpOutput out(options.output);
    VxrpSaveProtocol(*protocol, out);
    out.Commit();
    return kVxrpOk;
}

}  // namespace

void VxrpAddWindowCommand(VxrpProgram& program) {
    auto options = std::make_shared<WindowOptions>();
    CLI::App* command = program.AddCommand(
        "window", "a window applied to every class of a protocol, saved as a protocol file",
        [options] { return run(*options); });
    command->add_option("protocol", options->protocol, "a preset name or a protocol file")
        ->required();
    command
        ->add_option("--center", options->center,
                     "move each class's window centre by C, in the normalised value range "
                     "(-1..1; 0.1 moves a class by a tenth of the data's range)")
        ->required()
        ->check(CLI::Range(-1.0f, 1.0f));
    command
        ->add_option("--width", options->width,
                     "change each class's window width by W (-1..1; the width scales a class "
                     "about its middle by 1 + width)")
        ->required()
        ->check(CLI::Range(-1.0f, 1.0f));
    command->add_option("-o,--output", options->output,
                        "the protocol file to write (default: standard output)");
    command->footer(
        "As the viewer does when the user drags: AddCenter and AddWidth on every class (classes "
        "that do not allow windowing or are switched off keep their window), then ApplyWindowing "
        "bakes the window into the points.");
}
