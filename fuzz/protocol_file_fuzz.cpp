// Protocol files as they come from disk: bytes -> tree -> protocol -> table.
// Any bytes either read as a tree or are refused with the file-format error;
// a tree that was read writes back to a text that reads as the same tree and
// writes again byte for byte; a protocol built from it computes its table and
// exports a tree that is itself a readable file.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "CFG/CFG_TreeFile.h"
#include "RW/RW_Errors.h"
#include "volr/VXR_VOLR_ColorProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CFG_ITreePtr tree;
    try {
        tree = CFG_ReadTreeText(text, "fuzz input");
    } catch (const _com_error& error) {
        if (error.Error() != CFG_E_FILEFORMAT)
            std::abort();  // bad content is a format error, nothing else
        return 0;
    }

    const std::string written = CFG_WriteTreeText(tree);
    const CFG_ITreePtr reread = CFG_ReadTreeText(written, "written");
    if (!CFG_TreesEqual(tree, reread) || CFG_WriteTreeText(reread) != written)
        std::abort();

    try {
        VXR_VOLR_ColorProtocol protocol(tree);
        // 12-bit CT stored unsigned, as the presets are made for.
        protocol.SetRescaleIntercept(-1024);
        protocol.SetBPP(12);
        protocol.GetColorTable();
        const CFG_ITreePtr exported = protocol.ExportToCFG();
        const VXR_VOLR_ColorProtocol copy(
            CFG_ReadTreeText(CFG_WriteTreeText(exported), "exported"));
        if (copy.GetClassCount() != protocol.GetClassCount())
            std::abort();
    } catch (const _com_error&) {
        // A tree the protocol cannot read (a colour point without "r", a
        // "lighting" that is not an integer): the tree's error passes on.
    } catch (const RWBoundsErr&) {
        // A class without colour points, or with a graph without points, has
        // no colour to give the table.
    }
    return 0;
}
