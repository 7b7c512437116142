// vxrp convert - a protocol loaded and saved again as a protocol file.

#include <memory>

#include "tools/VxrpCli.h"
#include "tools/VxrpOutput.h"
#include "tools/VxrpProtocols.h"

namespace {

struct ConvertOptions {
    std::string input;
    std::string output;
};

int run(ConvertOptions& options) {
    const std::unique_ptr<VXR_VOLR_ColorProtocol> protocol = VxrpOpenProtocol(options.input);
    VxrpOutput out(options.output);
    VxrpSaveProtocol(*protocol, out);
    out.Commit();
    return kVxrpOk;
}

}  // namespace

void VxrpAddConvertCommand(VxrpProgram& program) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command = program.AddCommand(
        "convert", "a protocol (file or preset) loaded and saved as a protocol file",
        [options] { return run(*options); });
    command->add_option("in", options->input, "a preset name or a protocol file")->required();
    command
        ->add_option("out", options->output, "the protocol file to write (- for standard output)")
        ->required();
}
