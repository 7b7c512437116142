#include "tools/VxrpProtocols.h"

#include "tools/VxrpCli.h"
#include "tools/VxrpOutput.h"

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

float at_hu(int hu) {
    return static_cast<float>(hu + 1024) / 4095.0f;
}

std::unique_ptr<VXR_VOLR_ColorProtocol> soft_bone() {
    auto protocol =
        std::make_unique<VXR_VOLR_ColorProtocol>(_bstr_t("CT soft tissue and bone"), 0.9f);
    protocol->SetName(_bstr_t("ct_soft_bone"));
    protocol->AddColorClass(
        make_class(
            "soft tissue",
            {{at_hu(-100), UTL_Color(160, 60, 40)}, {at_hu(200), UTL_Color(230, 150, 120)}},
            {{at_hu(-150), 0.0f}, {at_hu(0), 0.25f}, {at_hu(150), 0.25f}, {at_hu(250), 0.0f}}),
        -1);
    protocol->AddColorClass(
        make_class(
            "bone",
            {{at_hu(200), UTL_Color(240, 220, 180)}, {at_hu(1500), UTL_Color(255, 255, 250)}},
            {{at_hu(150), 0.0f}, {at_hu(400), 0.8f}, {at_hu(3000), 1.0f}}),
        -1);
    return protocol;
}

}  // namespace

std::vector<VxrpPresetInfo> VxrpPresetList() {
    return {{"ct_soft_bone", 2, "CT soft tissue and bone"}};
}

std::string VxrpDefaultPresetName() {
    return "ct_soft_bone";
}

std::unique_ptr<VXR_VOLR_ColorProtocol> VxrpOpenProtocol(const std::string& nameOrPath) {
    if (nameOrPath == "ct_soft_bone") {
        return soft_bone();
    }
    throw VxrpError(kVxrpBadInput,
                    "cannot read " + nameOrPath + ": protocol files are not read yet");
}

void VxrpSaveProtocol(VXR_VOLR_ColorProtocol&, VxrpOutput& out) {
    throw VxrpError(kVxrpFailed,
                    "cannot write " + out.Path() + ": protocol files are not written yet");
}

std::string VxrpProtocolTitle(const VXR_VOLR_ColorProtocol& protocol) {
    std::string title = protocol.GetDisplayedName().utf8();
    if (title.empty()) {
        title = protocol.GetName().utf8();
    }
    return title.empty() ? "unnamed protocol" : title;
}
