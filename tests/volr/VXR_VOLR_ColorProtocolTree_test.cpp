#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "CFG/CFG_TreeFile.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "support/ColorProtocolSamples.h"
#include "support/LogExpectations.h"
#include "support/ProtocolCompare.h"
#include "support/TreeHelpers.h"

namespace {

using vxrp_test::NewTree;
using vxrp_test::ValueNames;

using vxrp_test::MakeClass;

// A class node as the class writes it.
CFG_ITreePtr ClassNode(const char* nodeName, const char* className) {
    std::unique_ptr<VXR_VOLR_ColorClass> cls(MakeClass(
        className, {{0.2f, 255, 0, 0}, {0.8f, 255, 255, 255}}, {{0.3f, 0.0f}, {0.6f, 1.0f}}));
    CFG_ITreePtr tree = cls->ExportToCFG();
    tree->SetNodeName("", nodeName);
    return tree;
}

std::vector<std::string> ClassNames(const VXR_VOLR_ColorProtocol& protocol) {
    std::vector<std::string> names;
    for (int i = 0; i < static_cast<int>(protocol.GetClassCount()); ++i) {
        names.push_back(protocol.GetClass(i)->GetName().utf8());
    }
    return names;
}

TEST(VXR_VOLR_ColorProtocol, ExportThenImportKeepsClassesSwitchesAndVesselPlaceHolder) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("Angio"), 0.8f);
    protocol.SetName("ct_angio");
    protocol.SetIsLighting(true);
    for (const char* name : {"fat", "vessel", "bone"}) {
        protocol.AddColorClass(MakeClass(name, {{0.1f, 10, 20, 30}, {0.7f, 200, 100, 0}},
                                         {{0.2f, 0.0f}, {0.5f, 0.75f}}),
                               -1);
    }
    std::unique_ptr<VXR_VOLR_ColorClass> vessel(
        MakeClass("vessel holder", {{0.4f, 255, 0, 0}}, {{0.4f, 0.0f}, {0.5f, 0.6f}}));
    protocol.PutTissuePlaceHolder(TIS_VESSEL, vessel.get());

    const CFG_ITreePtr tree = protocol.ExportToCFG();
    EXPECT_EQ(tree->GetNodeName().utf8(), "ct_angio");
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"name", "max_opacity", "lighting"}));
    const VXR_VOLR_ColorProtocol read(tree);
    EXPECT_TRUE(vxrp_test::SameStoredProtocol(protocol, read));
    EXPECT_EQ(ClassNames(read), (std::vector<std::string>{"fat", "vessel", "bone"}));
    EXPECT_FALSE(read.IsOpThreshInitFromCFG());
    EXPECT_EQ(read.GetBPP(), 0);
    EXPECT_EQ(read.GetTissuePlaceHolder(TIS_BONE), nullptr);
}

TEST(VXR_VOLR_ColorProtocol, EmptyProtocolExportsItsValuesAndAnEmptyPlaceHolderNode) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("Empty"), 1.0f);
    EXPECT_EQ(CFG_DumpTree(protocol.ExportToCFG()),
              "[]\n"
              "  name = \"Empty\"\n"
              "  max_opacity = \"1\"\n"
              "  lighting = 0\n"
              "  [tissue_place_holders]\n");
}

TEST(VXR_VOLR_ColorProtocol, ThresholdFromATreeIsReadAndWrittenAgain) {
    CFG_ITreePtr tree = NewTree("p");
    tree->SetString("opacity_threshold", "0.25");
    VXR_VOLR_ColorProtocol read(tree);
    EXPECT_TRUE(read.IsOpThreshInitFromCFG());
    EXPECT_EQ(read.GetOpacityThreshold(), 63);  // trunc(0.25 * 255)
    const CFG_ITreePtr written = read.ExportToCFG();
    EXPECT_EQ(written->GetString("opacity_threshold").utf8(), "0.25");
    EXPECT_EQ(ValueNames(written),
              (std::vector<std::string>{"name", "max_opacity", "opacity_threshold", "lighting"}));
    // Missing or unreadable numbers read as 0; an empty threshold is not one from the tree.
    tree->SetString("opacity_threshold", "");
    tree->SetString("max_opacity", "much");
    const VXR_VOLR_ColorProtocol blank(tree);
    EXPECT_FALSE(blank.IsOpThreshInitFromCFG());
    EXPECT_EQ(blank.GetMaxOpacity(), 0.0f);
}

TEST(VXR_VOLR_ColorProtocol, NumbersKeepThreeDecimalsAtAnyMagnitude) {
    for (const float value : {0.0f, 0.8f, 0.0004f, 0.9996f, 1.0f, 1.2345f, 12.3456f, 999.9996f,
                              1234.5678f, -2.71828f}) {
        VXR_VOLR_ColorProtocol protocol(_bstr_t("n"), value);
        const VXR_VOLR_ColorProtocol read(protocol.ExportToCFG());
        EXPECT_NEAR(read.GetMaxOpacity(), value, 0.0005 + 1e-6 * std::fabs(value)) << value;
    }
}

TEST(VXR_VOLR_ColorProtocol, ChildrenAreClassesByTheirFirstLetterInListedOrder) {
    CFG_ITreePtr tree = NewTree("p");
    tree->AddSubTree("", ClassNode("class2", "second"));
    tree->AddSubTree("", ClassNode("Class1", "capital"));
    tree->AddSubTree("", ClassNode("c", "just c"));
    tree->AddSubTree("", ClassNode("classic", "classic"));
    tree->AddSubTree("", ClassNode("other", "other"));
    tree->AddSubTree("", ClassNode("class1", "first"));
    const VXR_VOLR_ColorProtocol read(tree);
    EXPECT_EQ(ClassNames(read), (std::vector<std::string>{"second", "just c", "classic", "first"}));
    for (int t = 0; t < TIS_TissueTypeCount; ++t) {
        EXPECT_EQ(read.GetTissuePlaceHolder(static_cast<TIS_TissueType>(t)), nullptr);
    }
}

TEST(VXR_VOLR_ColorProtocol, PlaceHoldersAreReadByExactLowerCaseNameAndGeneralIsNotWritten) {
    CFG_ITreePtr holders = NewTree("tissue_place_holders");
    holders->AddSubTree("", ClassNode("VESSEL", "upper"));
    holders->AddSubTree("", ClassNode("vessel", "vessel"));
    holders->AddSubTree("", ClassNode("general", "general"));
    holders->AddSubTree("", ClassNode("bone", "bone"));
    holders->AddSubTree("", ClassNode("lesion", "lesion"));
    holders->AddSubTree("", ClassNode("vesselx", "unknown"));
    CFG_ITreePtr tree = NewTree("p");
    tree->AddSubTree("", holders);
    tree->AddSubTree("", ClassNode("class1", "class"));

    VXR_VOLR_ColorProtocol read(tree);
    const auto holder = [&](TIS_TissueType t) {
        const VXR_VOLR_ColorClass* cls = read.GetTissuePlaceHolder(t);
        return cls == nullptr ? std::string("-") : cls->GetName().utf8();
    };
    EXPECT_EQ(holder(TIS_GENERAL), "general");
    EXPECT_EQ(holder(TIS_VESSEL), "vessel");
    EXPECT_EQ(holder(TIS_BONE), "bone");
    EXPECT_EQ(holder(TIS_LUNG), "-");
    EXPECT_EQ(holder(TIS_LESION), "lesion");
    EXPECT_EQ(ClassNames(read), std::vector<std::string>{"class"});

    const CFG_ITreePtr written = read.ExportToCFG();
    const CFG_INameListPtr names = written->GetChildNames("tissue_place_holders");
    std::vector<std::string> written_names;
    for (int i = 0; i < names->GetCount(); ++i) {
        written_names.push_back(names->GetItem(i).utf8());
    }
    EXPECT_EQ(written_names, (std::vector<std::string>{"vessel", "bone", "lesion"}));
    EXPECT_EQ(written->GetString("tissue_place_holders\\bone\\name").utf8(), "bone");
}

TEST(VXR_VOLR_ColorProtocol, LightingIsOnOnlyForAPositiveValue) {
    struct Case {
        const char* text;  // null: absent
        bool on;
    };
    for (const Case& c : {Case{nullptr, false}, Case{"-1", false}, Case{"0", false},
                          Case{"1", true}, Case{"2", true}}) {
        CFG_ITreePtr tree = NewTree("p");
        if (c.text != nullptr) {
            tree->SetString("lighting", c.text);
        }
        EXPECT_EQ(VXR_VOLR_ColorProtocol(tree).GetIsLighting(), c.on)
            << (c.text ? c.text : "absent");
    }
}

TEST(VXR_VOLR_ColorProtocol, NullTreeIsLoggedAndGivesAnEmptyUsableProtocol) {
    VXR_VOLR_ColorProtocol read{CFG_ITreePtr()};
    EXPECT_EQ(vxrp_test::TakeLogTexts(), std::vector<std::string>{"Failed to get protocol\n"});
    EXPECT_TRUE(vxrp_test::SameStoredProtocol(read, VXR_VOLR_ColorProtocol()));
    read.SetBPP(8);
    ASSERT_NE(read.GetColorTable(), nullptr);
    EXPECT_EQ(read.GetColorTable()[200], 0u);
    EXPECT_EQ(read.ExportToCFG()->GetChildNames("")->GetCount(), 1);
}

TEST(VXR_VOLR_ColorProtocol, TreeErrorsPassOnAndFreeWhatWasRead) {
    // The second class's colour point has no "r": the tree's error passes on
    // after the first class and a place holder were read (the sanitizer build
    // checks that they are freed).
    CFG_ITreePtr tree = NewTree("p");
    CFG_ITreePtr holders = NewTree("tissue_place_holders");
    holders->AddSubTree("", ClassNode("lung", "lung"));
    tree->AddSubTree("", holders);
    tree->AddSubTree("", ClassNode("class1", "good"));
    CFG_ITreePtr bad = ClassNode("class2", "bad");
    bad->RemoveValue("color_point01\\r");
    tree->AddSubTree("", bad);
    EXPECT_THROW(VXR_VOLR_ColorProtocol{tree}, _com_error);

    CFG_ITreePtr lighting = NewTree("p");
    lighting->SetString("lighting", "bright");
    EXPECT_THROW(VXR_VOLR_ColorProtocol{lighting}, _com_error);
}

TEST(VXR_VOLR_ColorProtocol, UnknownGraphTypeInAFileGivesALoggedClassWithoutGraph) {
    const CFG_ITreePtr tree = CFG_ReadTreeText(
        "<cfg_tree format=\"1\"><node name=\"p\">"
        "<node name=\"class1\"><string name=\"name\" value=\"odd\"/>"
        "<node name=\"op_graph\"><string name=\"type\" value=\"spline\"/></node>"
        "<node name=\"color_point01\"><int name=\"r\" value=\"1\"/></node>"
        "</node></node></cfg_tree>",
        "odd graph");
    const VXR_VOLR_ColorProtocol read(tree);
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              std::vector<std::string>{"Failed to get opacity graph type=spline\n"});
    ASSERT_EQ(read.GetClassCount(), 1u);
    EXPECT_EQ(read.GetClass(0)->GetName().utf8(), "odd");
    EXPECT_EQ(read.GetClass(0)->GetOpacityGraph(), nullptr);
    EXPECT_EQ(read.GetClass(0)->GetColorPointCount(), 0u);
}

TEST(VXR_VOLR_ColorProtocol, FileWithThousandsOfPointsAndOddNamesReadsAndGivesATable) {
    std::string graph;
    for (int i = 1; i <= 1200; ++i) {
        const std::string number = std::to_string(i);
        graph += "<string name=\"point" + number + "_x\" value=\"" +
                 std::to_string(static_cast<double>(i) / 1200.0) + "\"/>";
        graph +=
            "<string name=\"point" + number + "_y\" value=\"" + (i % 2 ? "0.25" : "0.75") + "\"/>";
    }
    // Names that are no point's, and numbers that are none.
    for (const char* odd : {"point_x", "pointAB_y", "point00_x", "point-1_x", "point99999999999_x",
                            "points_y", "point 7_x", "point\xC3\xA9_x"}) {
        graph += std::string("<string name=\"") + odd + "\" value=\"0.5\"/>";
    }
    graph +=
        "<string name=\"point1201_x\" value=\"abc\"/><string name=\"point1201_y\" value=\"\"/>";
    std::string colours;
    for (int i = 1; i <= 600; ++i) {
        colours += "<node name=\"color_point" + std::to_string(i) + "\"><int name=\"r\" value=\"" +
                   std::to_string(i % 256) +
                   "\"/><int name=\"g\" value=\"0\"/><int name=\"b\" value=\"9\"/>"
                   "<string name=\"value\" value=\"" +
                   std::to_string(static_cast<double>(i) / 600.0) + "\"/></node>";
    }
    colours +=
        "<node name=\"color_point_odd\"><int name=\"r\" value=\"1\"/><int name=\"g\" "
        "value=\"2\"/><int name=\"b\" value=\"3\"/><string name=\"value\" "
        "value=\"n/a\"/></node>";
    const CFG_ITreePtr tree = CFG_ReadTreeText(
        "<cfg_tree format=\"1\"><node name=\"many\"><string name=\"max_opacity\" value=\"1\"/>"
        "<node name=\"class1\"><string name=\"name\" value=\"many\"/><node name=\"op_graph\">" +
            graph +
            "<string name=\"max_opacity\" value=\"1\"/><string name=\"type\" value=\"trapeze\"/>"
            "</node>" +
            colours + "</node></node></cfg_tree>",
        "many points");
    VXR_VOLR_ColorProtocol read(tree);
    ASSERT_EQ(read.GetClassCount(), 1u);
    const VXR_VOLR_ColorClass* cls = read.GetClass(0);
    // Every numbered point pair is read, the unreadable x as 0; the odd names are not points.
    EXPECT_EQ(cls->GetOpacityGraph()->GetOpPointCount(), 1201u);
    EXPECT_EQ(cls->GetColorPointCount(), 601u);
    EXPECT_EQ(cls->GetColorPoint(0).m_fValue, 0.0f);  // "n/a" reads as 0
    read.SetRescaleIntercept(-1024);
    read.SetBPP(12);
    const unsigned int* table = read.GetColorTable();
    ASSERT_NE(table, nullptr);
    EXPECT_GT(table[2048] & 0xffu, 0u);
    // It writes back and reads back with its points (three-digit and longer
    // point numbers included).
    const VXR_VOLR_ColorProtocol again(
        CFG_ReadTreeText(CFG_WriteTreeText(read.ExportToCFG()), "again"));
    EXPECT_TRUE(vxrp_test::SameStoredProtocol(read, again));
}

}  // namespace
