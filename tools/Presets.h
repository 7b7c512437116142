#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "volr/VXR_VOLR_ColorProtocol.h"

// The preset colour protocols of the host: the protocol files of presets/,
// embedded into the program when it is built, so that it runs without them.
// A preset is named after its file without ".xml" ("ct_bone").
struct VxrpPreset {
    std::string_view name;
    std::string_view text;  // the file's bytes
};

// Every embedded preset, in name order.
const std::vector<VxrpPreset>& VxrpPresets();

// The preset of that name, or null.
const VxrpPreset* VxrpFindPreset(std::string_view name);

// The preset the host uses when it is given none.
inline constexpr std::string_view kVxrpDefaultPreset = "ct_soft_tissue";

// The protocol of a preset name or, when no preset has that name, of the
// protocol file at that path (write "./ct_bone" for a file that shares a
// preset's name). The protocol has no data description yet. A file that
// cannot be read or is no tree file raises _com_error naming the file and the
// place.
std::unique_ptr<VXR_VOLR_ColorProtocol> VxrpLoadProtocol(const std::string& presetOrPath);
