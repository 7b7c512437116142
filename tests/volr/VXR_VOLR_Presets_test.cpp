// The preset protocol files of presets/: each holds its tissue numbers on
// 12-bit CT data and round-trips through files and protocols.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "CFG/CFG_TreeFile.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "support/ColorTableGenerators.h"
#include "support/ProtocolCompare.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> PresetFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(VXRP_PRESETS_DIR)) {
        if (entry.path().extension() == ".xml") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The protocol of a preset on 12-bit CT stored unsigned, intercept -1024, slope 1.
std::unique_ptr<VXR_VOLR_ColorProtocol> LoadOnCt(const std::string& preset) {
    auto protocol = std::make_unique<VXR_VOLR_ColorProtocol>(
        CFG_LoadTreeFile(std::string(VXRP_PRESETS_DIR) + "/" + preset + ".xml"));
    protocol->SetRescaleIntercept(-1024);
    protocol->SetRescaleSlope(1.0f);
    protocol->SetBPP(12);
    return protocol;
}

struct Entry {
    unsigned red, green, blue, alpha;
};

Entry At(VXR_VOLR_ColorProtocol& protocol, int hu) {
    const unsigned int word = protocol.GetColorTable()[hu + 1024];
    return {word >> 24, (word >> 16) & 0xffu, (word >> 8) & 0xffu, word & 0xffu};
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vxrp_presets_XXXXXX").string();
        m_Path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(m_Path); }
    std::string operator/(const std::string& name) const {
        return (fs::path(m_Path) / name).string();
    }

  private:
    std::string m_Path;
};

TEST(VXR_VOLR_Presets, TheLibraryHoldsTheExpectedPresets) {
    std::vector<std::string> names;
    bool anyPlaceHolders = false;
    for (const fs::path& file : PresetFiles()) {
        names.push_back(file.stem().string());
        const VXR_VOLR_ColorProtocol protocol(CFG_LoadTreeFile(file.string()));
        EXPECT_EQ(protocol.GetName().utf8(), file.stem().string()) << "named after its file";
        EXPECT_FALSE(protocol.GetDisplayedName().empty()) << file;
        EXPECT_GT(protocol.GetClassCount(), 0u) << file;
        for (int t = 1; t < TIS_TissueTypeCount; ++t) {
            anyPlaceHolders = anyPlaceHolders || protocol.GetTissuePlaceHolder(
                                                     static_cast<TIS_TissueType>(t)) != nullptr;
        }
    }
    for (const char* expected :
         {"ct_bone", "ct_soft_tissue", "ct_vessels", "ct_lung", "ct_skin", "mr_default"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    }
    EXPECT_TRUE(anyPlaceHolders);
}

TEST(VXR_VOLR_Presets, AirIsTransparentInEveryCtPreset) {
    for (const fs::path& file : PresetFiles()) {
        const std::string name = file.stem().string();
        if (name.rfind("ct_", 0) != 0) {
            continue;
        }
        const auto protocol = LoadOnCt(name);
        EXPECT_EQ(At(*protocol, -1000).alpha, 0u) << name;
        EXPECT_EQ(At(*protocol, -1024).alpha, 0u) << name;
    }
}

TEST(VXR_VOLR_Presets, EachCtPresetShowsItsTissueAndHidesTheRest) {
    // Every number is read from the table entry of the Hounsfield value.
    const auto bone = LoadOnCt("ct_bone");
    const Entry cortical = At(*bone, 1500);
    EXPECT_GE(cortical.alpha, 200u);
    EXPECT_GE(std::min({cortical.red, cortical.green, cortical.blue}), 200u);
    EXPECT_LE(At(*bone, 40).alpha, 20u);

    const auto vessels = LoadOnCt("ct_vessels");
    const Entry contrast = At(*vessels, 300);
    EXPECT_GE(contrast.alpha, 60u);
    EXPECT_GT(contrast.red, contrast.green);
    EXPECT_GT(contrast.red, contrast.blue);
    EXPECT_LE(At(*vessels, -100).alpha, 20u);

    const auto lung = LoadOnCt("ct_lung");
    EXPECT_GE(At(*lung, -700).alpha, 30u);
    EXPECT_LE(At(*lung, 40).alpha, 20u);

    const auto skin = LoadOnCt("ct_skin");
    EXPECT_GE(At(*skin, -50).alpha, 60u);
    EXPECT_EQ(At(*skin, -1000).alpha, 0u);
}

TEST(VXR_VOLR_Presets, SaveLoadSaveGivesByteIdenticalFiles) {
    TempDir dir;
    for (const fs::path& file : PresetFiles()) {
        const std::string first = dir / ("first_" + file.filename().string());
        const std::string second = dir / ("second_" + file.filename().string());
        CFG_SaveTreeFile(CFG_LoadTreeFile(file.string()), first);
        CFG_SaveTreeFile(CFG_LoadTreeFile(first), second);
        EXPECT_EQ(ReadBytes(first), ReadBytes(second)) << file;
    }
}

TEST(VXR_VOLR_Presets, ProtocolsSurviveSaveAndLoadFieldForFieldAndEntryForEntry) {
    TempDir dir;
    for (const fs::path& file : PresetFiles()) {
        const std::string name = file.stem().string();
        const auto original = LoadOnCt(name);
        const std::string saved = dir / file.filename().string();
        CFG_SaveTreeFile(original->ExportToCFG(), saved);
        VXR_VOLR_ColorProtocol loaded(CFG_LoadTreeFile(saved));
        EXPECT_TRUE(vxrp_test::SameStoredProtocol(*original, loaded)) << name;
        loaded.SetRescaleIntercept(-1024);
        loaded.SetRescaleSlope(1.0f);
        loaded.SetBPP(12);
        const unsigned int* a = original->GetColorTable();
        const unsigned int* b = loaded.GetColorTable();
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(std::equal(a, a + 4096, b)) << name;
        // And the loaded protocol writes the very same file again.
        EXPECT_EQ(CFG_WriteTreeText(loaded.ExportToCFG()), ReadBytes(saved)) << name;
    }
}

}  // namespace

// Real protocols, whose tables are mostly runs of equal entries (air, and
// values beyond the classes), on 12-bit data and on 16-bit signed data, before
// and after a drag step: every entry as the literal rule gives it.
TEST(VXR_VOLR_Presets, EveryPresetTableEqualsTheLiteralEvaluationBeforeAndAfterADrag) {
    for (const fs::path& file : PresetFiles()) {
        const std::string preset = file.stem().string();
        for (const int bits : {12, 16}) {
            auto protocol = LoadOnCt(preset);
            protocol->SetSigned(bits == 16);
            protocol->SetBPP(bits);
            const std::string what = preset + " on " + std::to_string(bits) + " bits";
            EXPECT_TRUE(vxrp_test::MatchesLiteralTable(*protocol, what));
            protocol->AddWidth(0.05f);
            protocol->AddCenter(-0.02f);
            EXPECT_TRUE(vxrp_test::MatchesLiteralTable(*protocol, what + ", dragged"));
        }
    }
}
