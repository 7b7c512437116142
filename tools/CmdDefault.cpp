// vxrp (no command) - the default preset on 12-bit CT data: a short summary of
// what the library made of it and the transfer-function picture.

#include <chrono>
#include <cstdio>
#include <memory>

#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"
#include "tools/VxrpOutput.h"
#include "tools/VxrpPlot.h"
#include "tools/VxrpProtocols.h"

namespace {

constexpr const char* kPicture = "vxrp-plot.png";

int run() {
    const std::string preset = VxrpDefaultPresetName();
    const std::unique_ptr<VXR_VOLR_ColorProtocol> protocol = VxrpOpenProtocol(preset);
    const VxrpData data;  // 12-bit CT, unsigned, intercept -1024, slope 1

    const auto started = std::chrono::steady_clock::now();
    VxrpView view(*protocol, data);
    const unsigned int* table = view.Table();
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;

    VXR_VOLR_ColorProtocol& live = view.Live();
    std::printf("protocol \"%s\" (preset %s): %u classes\n", VxrpProtocolTitle(live).c_str(),
                preset.c_str(), live.GetClassCount());
    for (unsigned int i = 0; i < live.GetClassCount(); ++i) {
        std::printf("  %u. %s\n", i + 1,
                    live.GetClass(static_cast<int>(i))->GetName().utf8().c_str());
    }
    std::printf("data: %d-bit CT stored unsigned, intercept %d, slope %g: values %d..%d\n",
                data.bits, data.intercept, static_cast<double>(data.slope), live.GetStartRange(),
                live.GetEndRange());
    std::printf("colour table: %zu entries, made in %.2f ms\n", data.Entries(), took.count());
    std::printf("  %6s  %-15s  %s\n", "HU", "red green blue", "opacity");
    bool transparentWithColour = false;
    for (const int hu : {-1000, -500, -100, 40, 300, 1000, 2000}) {
        const unsigned int entry = table[hu - data.intercept];
        std::printf("  %6d  %3u %3u %3u      %3u\n", hu, entry >> 24, (entry >> 16) & 0xffu,
                    (entry >> 8) & 0xffu, entry & 0xffu);
        transparentWithColour |= (entry & 0xffu) == 0 && (entry >> 8) != 0;
    }
    if (transparentWithColour) {
        std::printf(
            "  (colour and opacity are worked out apart: an entry with opacity 0 adds nothing\n"
            "   to the image, and where every class is transparent it keeps the plain mean\n"
            "   colour of the classes there)\n");
    }
    VxrpOutput out(kPicture);
    VxrpDrawPlot(view, VxrpProtocolTitle(live), false, out);
    std::printf("transfer function drawn to %s\n", kPicture);
    return kVxrpOk;
}

}  // namespace

void VxrpAddDefaultCommand(VxrpProgram& program) {
    program.SetDefault(run);
}
