// Histogram files as users give them to `vxrp average`: any bytes either read
// as a histogram of the data's raw values or are refused with a bad-input
// error, and what is read drives the average colour to a colour in 0..255.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "VXR_VOLR_ColorProtocol.h"
#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"
#include "tools/VxrpHistogram.h"

namespace {

VxrpData data_of(int bits, bool isSigned) {
    VxrpData data;
    data.bits = bits;
    data.isSigned = isSigned;
    return data;
}

void average(const VxrpData& data, VxrpHistogram& histogram) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("fuzz"), 1.0f);
    auto* graph = new VXR_VOLR_TrapezeOpacityGraph(1.0f);
    graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(0.2f, 0.0f));
    graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(0.8f, 1.0f));
    auto* cls = new VXR_VOLR_ColorClass(_bstr_t("ramp"), graph);
    cls->AddColorPoint(VXR_VOLR_ColorPoint(0.0f, UTL_Color(0, 40, 255)));
    cls->AddColorPoint(VXR_VOLR_ColorPoint(1.0f, UTL_Color(255, 200, 0)));
    protocol.AddColorClass(cls, -1);
    protocol.SetSigned(data.isSigned);
    protocol.SetRescaleIntercept(data.intercept);
    protocol.SetBPP(data.bits);
    protocol.CalculateAverageColor(histogram.counts.data(), histogram.total,
                                   static_cast<int>(histogram.counts.size()));
    const UTL_Color colour = protocol.GetAverageColor();
    for (const int channel : {colour.GetRed(), colour.GetGreen(), colour.GetBlue()}) {
        if (channel < 0 || channel > 255) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    for (const VxrpData& data : {data_of(12, false), data_of(8, true)}) {
        try {
            VxrpHistogram histogram = VxrpParseHistogram(text, data, "fuzz");
            if (histogram.total <= 0 || histogram.counts.size() != data.Entries()) {
                std::abort();
            }
            average(data, histogram);
        } catch (const VxrpError& e) {
            if (e.Code() != kVxrpBadInput) {
                std::abort();
            }
        }
    }
    return 0;
}
