#pragma once

#include <initializer_list>
#include <memory>
#include <utility>

#include "VXR_VOLR_ColorClass.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "VXR_VOLR_TrapezeOpacityGraph.h"

// Small builders for colour classes and protocols used by the protocol tests
// and benchmarks.
namespace vxrp_test {

struct Stop {
    float value;
    int red, green, blue;
};

// A new class (the caller owns it) with the given colour points and a trapeze
// graph of the given (x, y) points and maximum opacity.
inline VXR_VOLR_ColorClass* MakeClass(const char* name, std::initializer_list<Stop> colors,
                                      std::initializer_list<std::pair<float, float>> opacities,
                                      float graphMaxOpacity = 1.0f) {
    auto* graph = new VXR_VOLR_TrapezeOpacityGraph(graphMaxOpacity);
    for (const auto& [x, y] : opacities) {
        graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(x, y));
    }
    auto* cls = new VXR_VOLR_ColorClass(_bstr_t(name), graph);
    for (const Stop& stop : colors) {
        cls->AddColorPoint(
            VXR_VOLR_ColorPoint(stop.value, UTL_Color(stop.red, stop.green, stop.blue)));
    }
    return cls;
}

// One colour everywhere at one relative opacity everywhere.
inline VXR_VOLR_ColorClass* MakeFlatClass(const char* name, int red, int green, int blue,
                                          float opacity) {
    return MakeClass(name, {{0.0f, red, green, blue}}, {{0.5f, opacity}});
}

// A protocol of maximum opacity 0.9 on bits bits with the given signedness and
// intercept, holding `classes` classes of six colour points and six opacity
// points each; class c starts at c * spacing, so that neighbours overlap. With
// windowed, every class then gets centre 0.05 and width 0.3.
inline std::unique_ptr<VXR_VOLR_ColorProtocol> MakeOverlappingProtocol(int bits, bool isSigned,
                                                                       int intercept, int classes,
                                                                       float spacing,
                                                                       bool windowed) {
    auto protocol = std::make_unique<VXR_VOLR_ColorProtocol>(_bstr_t("overlapping"), 0.9f);
    protocol->SetSigned(isSigned);
    protocol->SetBPP(bits);
    protocol->SetRescaleIntercept(intercept);
    for (int c = 0; c < classes; ++c) {
        const float at = spacing * static_cast<float>(c);
        protocol->AddColorClass(MakeClass("class",
                                          {{at, 10 * c, 0, 0},
                                           {at + 0.05f, 200, 30 * c, 0},
                                           {at + 0.1f, 255, 255, 40},
                                           {at + 0.15f, 0, 255, 90},
                                           {at + 0.3f, 90, 10, 255},
                                           {at + 0.5f, 9, 9, 9}},
                                          {{at, 0.0f},
                                           {at + 0.02f, 0.3f},
                                           {at + 0.1f, 0.9f},
                                           {at + 0.2f, 0.9f},
                                           {at + 0.25f, 0.1f},
                                           {at + 0.4f, 0.0f}}),
                                -1);
    }
    if (windowed) {
        protocol->SetCenter(0.05f);
        protocol->SetWidth(0.3f);
    }
    return protocol;
}

}  // namespace vxrp_test
