// vxrp table - a colour protocol as the viewer uses it: soft-tissue and bone
// classes on 12-bit CT data, a few entries of the colour table, a window drag
// and the histogram-weighted average colour written into the "minus" class.

#include <cstdio>
#include <memory>
#include <vector>

#include "VXR_VOLR_ColorProtocol.h"
#include "VxrpCommands.h"

namespace {

VXR_VOLR_ColorClass* make_class(const char* name, std::initializer_list<VXR_VOLR_ColorPoint> colors,
                                std::initializer_list<VXR_VOLR_OpacityPoint> opacities) {
    auto* graph = new VXR_VOLR_TrapezeOpacityGraph(1.0f);
    for (const VXR_VOLR_OpacityPoint& point : opacities) {
        graph->AddOpacityPoint(point);
    }
    auto* cls = new VXR_VOLR_ColorClass(_bstr_t(name), graph);
    for (const VXR_VOLR_ColorPoint& point : colors) {
        cls->AddColorPoint(point);
    }
    return cls;
}

// The normalised position of a Hounsfield value on 12-bit data stored with
// intercept -1024 (raw 0 is -1024 HU, raw 4095 is 3071 HU).
float at_hu(int hu) {
    return static_cast<float>(hu + 1024) / 4095.0f;
}

void print_entries(VXR_VOLR_ColorProtocol& protocol) {
    const unsigned int* table = protocol.GetColorTable();
    if (table == nullptr) {
        std::printf("  no table\n");
        return;
    }
    for (const int hu : {-1000, -100, 40, 150, 300, 700, 1500}) {
        const unsigned int entry = table[hu + 1024];  // the raw value of hu
        std::printf("  %5d HU  raw %4d  rgb %3u %3u %3u  opacity %3u  %08x\n", hu, hu + 1024,
                    entry >> 24, (entry >> 16) & 0xffu, (entry >> 8) & 0xffu, entry & 0xffu, entry);
    }
}

}  // namespace

int VxrpRunTable() {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("CT soft tissue and bone"), 0.9f);
    protocol.SetName(_bstr_t("ct_soft_bone"));
    protocol.SetRescaleIntercept(-1024);
    protocol.SetRescaleSlope(1.0f);
    protocol.SetBPP(12);
    protocol.AddColorClass(
        make_class(
            "soft tissue",
            {{at_hu(-100), UTL_Color(160, 60, 40)}, {at_hu(200), UTL_Color(230, 150, 120)}},
            {{at_hu(-150), 0.0f}, {at_hu(0), 0.25f}, {at_hu(150), 0.25f}, {at_hu(250), 0.0f}}),
        -1);
    protocol.AddColorClass(
        make_class(
            "bone",
            {{at_hu(200), UTL_Color(240, 220, 180)}, {at_hu(1500), UTL_Color(255, 255, 250)}},
            {{at_hu(150), 0.0f}, {at_hu(400), 0.8f}, {at_hu(3000), 1.0f}}),
        -1);

    std::printf("protocol \"%s\": %u classes, %d bits, values %d..%d\n",
                protocol.GetDisplayedName().utf8().c_str(), protocol.GetClassCount(),
                protocol.GetBPP(), protocol.GetStartRange(), protocol.GetEndRange());
    std::printf("colour table:\n");
    print_entries(protocol);

    // The user drags the window: the centre moves right and the window widens.
    for (int step = 0; step < 3; ++step) {
        protocol.AddCenter(0.02f);
    }
    protocol.AddWidth(0.2f);
    std::printf("after dragging the window (centre %.2f, width %.2f):\n",
                protocol.GetClass(0)->GetCenter(), protocol.GetClass(0)->GetWidth());
    print_entries(protocol);
    protocol.ResetWindowing();

    // The renderer's frozen image shares the live table instead of copying it.
    VXR_VOLR_ColorProtocol image;
    image.FreezeCopy(protocol);
    std::printf("frozen image shares the table: %s\n",
                image.GetColorTable() == protocol.GetColorTable() ? "yes" : "no");

    // A histogram with most voxels in soft tissue, some in bone and air.
    std::vector<unsigned long> histogram(4096, 0);
    histogram[-1000 + 1024] = 50000;
    histogram[40 + 1024] = 30000;
    histogram[100 + 1024] = 10000;
    histogram[700 + 1024] = 8000;
    histogram[1200 + 1024] = 2000;
    VXR_VOLR_TissueClassHash tissues;
    std::unique_ptr<VXR_VOLR_ColorClass> minus(
        make_class("minus", {{0.0f, UTL_Color(0, 0, 0)}}, {{0.0f, 1.0f}}));
    tissues.insertKeyAndValue(_bstr_t(VXR_VOLR_MINUS), minus.get());
    protocol.PutTissueClassHash(&tissues);
    protocol.CalculateAverageColor(histogram.data(), 100000, 4096);
    const UTL_Color average = protocol.GetAverageColor();
    const UTL_Color written = minus->GetColorPoint(0).m_Color;
    std::printf("average colour %d %d %d; \"minus\" class now %d %d %d\n", average.GetRed(),
                average.GetGreen(), average.GetBlue(), written.GetRed(), written.GetGreen(),
                written.GetBlue());
    return 0;
}
