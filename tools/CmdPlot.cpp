// vxrp plot - the transfer-function picture of a protocol on a series' data.

#include <memory>

#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"
#include "tools/VxrpOutput.h"
#include "tools/VxrpPlot.h"
#include "tools/VxrpProtocols.h"

namespace {

struct PlotOptions {
    std::string protocol;
    VxrpDataOptions data;
    bool raw = false;
    std::string output;
};

int run(PlotOptions& options) {
    const VxrpData data = options.data.Resolve();
    const std::unique_ptr<VXR_VOLR_ColorProtocol> protocol =
        VxrpOpenProtocol(options.protocol.empty() ? VxrpDefaultPresetName() : options.protocol);
    VxrpView view(*protocol, data);
    VxrpOutput out(options.output);
    VxrpDrawPlot(view, VxrpProtocolTitle(*protocol), options.raw, out);
    return kVxrpOk;
}

}  // namespace

void VxrpAddPlotCommand(VxrpProgram& program) {
    auto options = std::make_shared<PlotOptions>();
    CLI::App* command =
        program.AddCommand("plot", "the transfer-function picture of a protocol (PNG)",
                           [options] { return run(*options); });
    command->add_option("protocol", options->protocol,
                        "a preset name (see vxrp presets) or a protocol file; default: the "
                        "default preset");
    options->data.AddTo(command);
    command->add_flag("--raw", options->raw,
                      "label the axis in raw stored values (default: Hounsfield units when the "
                      "data are rescaled)");
    command->add_option("-o,--output", options->output, "the PNG file to write")->required();
    command->footer(
        "The picture (800 x 500): the protocol's name; each class's opacity curve in its colour "
        "and the table's composite opacity in white, over the data's value range; the colour bar "
        "of the table (each entry's colour, and below it the colour times its opacity on black); "
        "the axis values and the classes. Plot area x 70..769, opacity 1 at y 60 and 0 at y 360; "
        "column x shows raw value rawMin + floor((x - 70 + 0.5) * 2^bits / 700).");
}
