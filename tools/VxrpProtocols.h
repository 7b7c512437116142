#pragma once

#include <memory>
#include <string>
#include <vector>

#include "VXR_VOLR_ColorProtocol.h"

class VxrpOutput;

// The host's protocols: the presets embedded in the program and protocol files.

struct VxrpPresetInfo {
    std::string name;
    unsigned int classes = 0;
    std::string shows;  // what the preset shows, one line
};

std::vector<VxrpPresetInfo> VxrpPresetList();

// The preset used when a command names no protocol.
std::string VxrpDefaultPresetName();

// The protocol a preset name or a file path names: a preset when there is
// one of that name, a file otherwise. VxrpError(kVxrpBadInput) naming the
// file and what is wrong when it cannot be read.
std::unique_ptr<VXR_VOLR_ColorProtocol> VxrpOpenProtocol(const std::string& nameOrPath);

// Writes the protocol as a protocol file.
void VxrpSaveProtocol(VXR_VOLR_ColorProtocol& protocol, VxrpOutput& out);

// The name a picture or a summary shows: the displayed name, else the
// identifying name, else "unnamed protocol".
std::string VxrpProtocolTitle(const VXR_VOLR_ColorProtocol& protocol);

// One window step on every class, as the viewer makes it when the user drags:
// AddCenter(center) then AddWidth(width) (a step of 0 changes nothing); classes
// that do not allow windowing or are switched off keep their window. VxrpError
// (kVxrpBadInput) naming the protocol when a width cannot change because a
// class's opacity graph has no points.
void VxrpMoveWindow(VXR_VOLR_ColorProtocol& protocol, const std::string& name, float center,
                    float width);
