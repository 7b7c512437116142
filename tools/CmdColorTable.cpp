// vxrp table [PRESET|FILE] - a colour protocol as the viewer uses it: a preset
// (the default one without an argument) or a protocol file on 12-bit CT data,
// a few entries of the colour table, a window drag and the histogram-weighted
// average colour written into the "minus" class.

#include <cstdio>
#include <memory>
#include <vector>

#include "CFG/CFG_TreeFile.h"
#include "Presets.h"
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

// Answers whether an entry shown has opacity 0 but a colour.
bool print_entries(VXR_VOLR_ColorProtocol& protocol) {
    const unsigned int* table = protocol.GetColorTable();
    if (table == nullptr) {
        std::printf("  no table\n");
        return false;
    }
    bool transparent_with_colour = false;
    for (const int hu : {-1000, -100, 40, 150, 300, 700, 1500}) {
        const unsigned int entry = table[hu + 1024];  // the raw value of hu
        std::printf("  %5d HU  raw %4d  rgb %3u %3u %3u  opacity %3u  %08x\n", hu, hu + 1024,
                    entry >> 24, (entry >> 16) & 0xffu, (entry >> 8) & 0xffu, entry & 0xffu, entry);
        transparent_with_colour |= (entry & 0xffu) == 0 && (entry >> 8) != 0;
    }
    return transparent_with_colour;
}

void show(VXR_VOLR_ColorProtocol& protocol);

}  // namespace

int VxrpRunTable(int argc, char** argv) {
    if (argc > 1) {
        std::fprintf(stderr, "usage: vxrp table [PRESET|FILE]\n");
        return 2;
    }
    const std::string source = argc == 1 ? argv[0] : std::string(kVxrpDefaultPreset);
    std::unique_ptr<VXR_VOLR_ColorProtocol> loaded;
    try {
        loaded = VxrpLoadProtocol(source);
    } catch (const _com_error& error) {
        std::fprintf(stderr, "vxrp table: %s\n", error.what());
        return 1;
    }
    VXR_VOLR_ColorProtocol& protocol = *loaded;
    // The series: 12-bit CT stored unsigned, intercept -1024, slope 1.
    protocol.SetRescaleIntercept(-1024);
    protocol.SetRescaleSlope(1.0f);
    protocol.SetBPP(12);

    std::printf("protocol %s \"%s\": %u classes, %d bits, values %d..%d\n",
                protocol.GetName().utf8().c_str(), protocol.GetDisplayedName().utf8().c_str(),
                protocol.GetClassCount(), protocol.GetBPP(), protocol.GetStartRange(),
                protocol.GetEndRange());
    try {
        show(protocol);
    } catch (const RWBoundsErr& error) {
        // A class without colour points, or whose graph has no points, has no
        // colour to give: the table (and a width drag) raise the bounds error.
        std::fprintf(stderr, "vxrp table: %s: a class cannot be evaluated: %s\n", source.c_str(),
                     error.what());
        return 1;
    }
    return 0;
}

namespace {

void show(VXR_VOLR_ColorProtocol& protocol) {
    std::printf("colour table:\n");
    if (print_entries(protocol)) {
        std::printf(
            "  (colour and opacity are worked out apart: an entry with opacity 0 adds nothing\n"
            "   to the image, and where every class is transparent it keeps the plain mean\n"
            "   colour of the classes there)\n");
    }

    // The user drags the window: the centre moves right and the window widens.
    for (int step = 0; step < 3; ++step) {
        protocol.AddCenter(0.02f);
    }
    protocol.AddWidth(0.2f);
    if (protocol.GetClassCount() > 0) {
        std::printf("after dragging the window (centre %.2f, width %.2f):\n",
                    static_cast<double>(protocol.GetClass(0)->GetCenter()),
                    static_cast<double>(protocol.GetClass(0)->GetWidth()));
    }
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
}

}  // namespace

int VxrpRunPresets(int /*argc*/, char** /*argv*/) {
    for (const VxrpPreset& preset : VxrpPresets()) {
        std::string displayed = "(unreadable)";
        try {
            displayed =
                VXR_VOLR_ColorProtocol(CFG_ReadTreeText(preset.text, std::string(preset.name)))
                    .GetDisplayedName()
                    .utf8();
        } catch (const _com_error& error) {
            displayed = error.what();
        }
        std::printf("  %-16.*s %s%s\n", static_cast<int>(preset.name.size()), preset.name.data(),
                    displayed.c_str(), preset.name == kVxrpDefaultPreset ? "  (default)" : "");
    }
    return 0;
}
