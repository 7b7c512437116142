#include "tools/Presets.h"

#include "CFG/CFG_TreeFile.h"

const VxrpPreset* VxrpFindPreset(std::string_view name) {
    for (const VxrpPreset& preset : VxrpPresets()) {
        if (preset.name == name) {
            return &preset;
        }
    }
    return nullptr;
}

std::unique_ptr<VXR_VOLR_ColorProtocol> VxrpLoadProtocol(const std::string& presetOrPath) {
    const VxrpPreset* preset = VxrpFindPreset(presetOrPath);
    const CFG_ITreePtr tree = preset != nullptr
                                  ? CFG_ReadTreeText(preset->text, "preset " + presetOrPath)
                                  : CFG_LoadTreeFile(presetOrPath);
    return std::make_unique<VXR_VOLR_ColorProtocol>(tree);
}
