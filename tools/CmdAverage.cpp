// vxrp average - the histogram-weighted average colour of a protocol's table,
// as the viewer computes it and writes it into the "minus" tissue class.

#include <cstdio>
#include <memory>

#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"
#include "tools/VxrpHistogram.h"
#include "tools/VxrpOutput.h"
#include "tools/VxrpProtocols.h"

namespace {

struct AverageOptions {
    std::string protocol;
    VxrpDataOptions data;
    std::string histogram;
};

constexpr std::size_t kMaxHistogramBytes = std::size_t{1} << 30;

int run(AverageOptions& options) {
    const VxrpData data = options.data.Resolve();
    const std::unique_ptr<VXR_VOLR_ColorProtocol> protocol = VxrpOpenProtocol(options.protocol);
    const VxrpHistogram histogram = VxrpParseHistogram(
        VxrpReadFile(options.histogram, kMaxHistogramBytes), data, options.histogram);

    VxrpView view(*protocol, data);
    VXR_VOLR_ColorProtocol& live = view.Live();
    // The viewer's "minus" tissue class receives the average colour.
    VXR_VOLR_ColorClass minus(_bstr_t("minus"), new VXR_VOLR_TrapezeOpacityGraph(1.0f));
    minus.AddColorPoint(VXR_VOLR_ColorPoint(0.0f, UTL_Color(0, 0, 0)));
    VXR_VOLR_TissueClassHash tissues;
    tissues.insertKeyAndValue(_bstr_t(VXR_VOLR_MINUS), &minus);
    live.PutTissueClassHash(&tissues);
    std::vector<unsigned long> counts = histogram.counts;
    live.CalculateAverageColor(counts.data(), histogram.total, static_cast<int>(counts.size()));
    live.PutTissueClassHash(nullptr);
    if (!live.IsAverageColorValid()) {
        throw VxrpError(kVxrpFailed, "the library gave no average colour");
    }

    const unsigned int* block = view.Block();
    bool visible = false;
    for (std::size_t k = 0; k < counts.size() && !visible; ++k) {
        visible = counts[k] != 0 && (block[k] & 0xffu) != 0;
    }
    const UTL_Color average = live.GetAverageColor();
    std::printf("average colour %d %d %d (#%02x%02x%02x)%s\n", average.GetRed(), average.GetGreen(),
                average.GetBlue(), static_cast<unsigned>(average.GetRed()),
                static_cast<unsigned>(average.GetGreen()), static_cast<unsigned>(average.GetBlue()),
                visible ? "" : ": no counted voxel is visible");
    return kVxrpOk;
}

}  // namespace

void VxrpAddAverageCommand(VxrpProgram& program) {
    auto options = std::make_shared<AverageOptions>();
    CLI::App* command =
        program.AddCommand("average", "the histogram-weighted average colour of a protocol's table",
                           [options] { return run(*options); });
    command->add_option("protocol", options->protocol, "a preset name or a protocol file")
        ->required();
    options->data.AddTo(command);
    command->add_option("--histogram", options->histogram, "the histogram file (see below)")
        ->required();
    command->footer(std::string("Each voxel's colour is weighted by its opacity; the result is "
                                "printed as red green blue.\n") +
                    kVxrpHistogramFormat);
}
