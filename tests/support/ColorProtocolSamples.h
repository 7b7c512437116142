#pragma once

#include <initializer_list>
#include <utility>

#include "volr/VXR_VOLR_ColorClass.h"
#include "volr/VXR_VOLR_TrapezeOpacityGraph.h"

// Small builders for colour classes used by the protocol tests and benchmarks.
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

}  // namespace vxrp_test
