#include "tools/VxrpProtocols.h"

#include "CFG/CFG_TreeFile.h"
#include "COM/COM_Error.h"
#include "RW/RW_Errors.h"
#include "tools/Presets.h"
#include "tools/VxrpCli.h"
#include "tools/VxrpOutput.h"

namespace {

// What a preset shows: the first comment of its file, which says it in words.
std::string first_comment(std::string_view text) {
    const std::size_t open = text.find("<!--");
    if (open == std::string_view::npos) {
        return {};
    }
    const std::size_t close = text.find("-->", open);
    if (close == std::string_view::npos) {
        return {};
    }
    std::string comment;
    for (const char c : text.substr(open + 4, close - open - 4)) {
        const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
        if (!blank || (!comment.empty() && comment.back() != ' ')) {
            comment += blank ? ' ' : c;
        }
    }
    while (!comment.empty() && comment.back() == ' ') {
        comment.pop_back();
    }
    return comment;
}

}  // namespace

std::vector<VxrpPresetInfo> VxrpPresetList() {
    std::vector<VxrpPresetInfo> list;
    for (const VxrpPreset& preset : VxrpPresets()) {
        VxrpPresetInfo info;
        info.name = preset.name;
        const std::unique_ptr<VXR_VOLR_ColorProtocol> protocol = VxrpOpenProtocol(info.name);
        info.classes = protocol->GetClassCount();
        info.shows = first_comment(preset.text);
        if (info.shows.empty()) {
            info.shows = VxrpProtocolTitle(*protocol);
        }
        list.push_back(std::move(info));
    }
    return list;
}

std::string VxrpDefaultPresetName() {
    return std::string(kVxrpDefaultPreset);
}

std::unique_ptr<VXR_VOLR_ColorProtocol> VxrpOpenProtocol(const std::string& nameOrPath) {
    try {
        return VxrpLoadProtocol(nameOrPath);
    } catch (const _com_error& e) {
        // The tree file's error names the file and the place.
        throw VxrpError(kVxrpBadInput, e.what());
    }
}

void VxrpSaveProtocol(VXR_VOLR_ColorProtocol& protocol, VxrpOutput& out) {
    std::string text;
    try {
        text = CFG_WriteTreeText(protocol.ExportToCFG());
    } catch (const _com_error& e) {
        throw VxrpError(kVxrpFailed, "cannot write " + out.Path() + ": " + e.what());
    }
    std::fwrite(text.data(), 1, text.size(), out.Stream());
}

std::string VxrpProtocolTitle(const VXR_VOLR_ColorProtocol& protocol) {
    std::string title = protocol.GetDisplayedName().utf8();
    if (title.empty()) {
        title = protocol.GetName().utf8();
    }
    return title.empty() ? "unnamed protocol" : title;
}

void VxrpMoveWindow(VXR_VOLR_ColorProtocol& protocol, const std::string& name, float center,
                    float width) {
    protocol.AddCenter(center);
    try {
        protocol.AddWidth(width);
    } catch (const RWBoundsErr&) {
        throw VxrpError(kVxrpBadInput, name +
                                           ": a class has an opacity graph without points, so "
                                           "its window has no width to change");
    }
}
