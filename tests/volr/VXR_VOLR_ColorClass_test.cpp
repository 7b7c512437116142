#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "CFG/CFG_ITree.h"
#include "RW/RW_Errors.h"
#include "UTL/UTL_Numeric.h"
#include "VXR_VOLR_BatchEvaluation.h"
#include "VXR_VOLR_ColorClass.h"
#include "log/Tmr_LogFile.h"
#include "support/LogExpectations.h"
#include "support/TestRandom.h"
#include "support/TreeHelpers.h"

namespace {

using vxrp_test::ChildNames;
using vxrp_test::NewTree;
using vxrp_test::ValueNames;

using Class = VXR_VOLR_ColorClass;
using Graph = VXR_VOLR_TrapezeOpacityGraph;
using CPoint = VXR_VOLR_ColorPoint;
using OPoint = VXR_VOLR_OpacityPoint;
using Points = std::vector<std::pair<float, float>>;

const UTL_Color kBlack(0, 0, 0);
const UTL_Color kWhite(255, 255, 255);
const UTL_Color kRed(255, 0, 0);

// Lets the tests call the protected shrink.
class ShrinkableClass : public Class {
  public:
    using Class::Class;
    using Class::operator=;
    using Class::shrink;
};

Graph* NewGraph(const Points& points, float maxOpacity = 1.0f) {
    auto* graph = new Graph(maxOpacity);
    for (const auto& [x, y] : points) {
        graph->AddOpacityPoint(OPoint(x, y));
    }
    return graph;
}

Points GraphPoints(const Graph& graph) {
    Points points;
    for (unsigned int i = 0; i < graph.GetOpPointCount(); ++i) {
        const OPoint p = graph.GetOpacityPoint(static_cast<int>(i));
        points.emplace_back(p.m_fX, p.m_fY);
    }
    return points;
}

void AddColors(Class& cls, const std::vector<std::pair<float, UTL_Color>>& points) {
    for (const auto& [value, color] : points) {
        cls.AddColorPoint(CPoint(value, color));
    }
}

std::vector<float> Values(const Class& cls) {
    std::vector<float> values;
    for (unsigned int i = 0; i < cls.GetColorPointCount(); ++i) {
        values.push_back(cls.GetColorPoint(static_cast<int>(i)).m_fValue);
    }
    return values;
}

std::vector<UTL_Color> Colors(const Class& cls) {
    std::vector<UTL_Color> colors;
    for (unsigned int i = 0; i < cls.GetColorPointCount(); ++i) {
        colors.push_back(cls.GetColorPoint(static_cast<int>(i)).m_Color);
    }
    return colors;
}

// A ramp from black at 0 to the given colour at 1, over the graph 0.2..0.6.
Class Ramp(const UTL_Color& top = kWhite) {
    Class cls("ramp", NewGraph({{0.2f, 0.0f}, {0.6f, 1.0f}}));
    AddColors(cls, {{0.0f, kBlack}, {1.0f, top}});
    return cls;
}

CFG_ITreePtr ColorPointNode(const char* name, int r, int g, int b, const char* value) {
    CFG_ITreePtr node = NewTree();
    node->SetInt("r", r);
    node->SetInt("g", g);
    node->SetInt("b", b);
    node->SetString("value", value);
    node->SetNodeName("", name);
    return node;
}

// A class node with a trapeze graph of one point and the given graph type.
CFG_ITreePtr ClassNode(const char* type) {
    CFG_ITreePtr tree = NewTree();
    tree->SetString("name", "VESSEL");
    tree->SetString("op_graph\\point01_x", "0.5");
    tree->SetString("op_graph\\point01_y", "1");
    tree->SetString("op_graph\\max_opacity", "1");
    tree->SetString("op_graph\\type", type);
    tree->AddSubTree("", ColorPointNode("color_point01", 1, 2, 3, "0.4"));
    return tree;
}

void ExpectSameClass(const Class& actual, const Class& expected) {
    EXPECT_EQ(actual.GetName(), expected.GetName());
    EXPECT_EQ(actual.GetAllowWindowing(), expected.GetAllowWindowing());
    EXPECT_EQ(actual.GetIsActive(), expected.GetIsActive());
    EXPECT_EQ(actual.GetWidth(), expected.GetWidth());
    EXPECT_EQ(actual.GetCenter(), expected.GetCenter());
    EXPECT_EQ(actual.GetPivot(), expected.GetPivot());
    EXPECT_EQ(Values(actual), Values(expected));
    EXPECT_EQ(Colors(actual), Colors(expected));
    ASSERT_EQ(actual.GetOpacityGraph() == nullptr, expected.GetOpacityGraph() == nullptr);
    if (actual.GetOpacityGraph() != nullptr) {
        EXPECT_EQ(GraphPoints(*actual.GetOpacityGraph()), GraphPoints(*expected.GetOpacityGraph()));
        EXPECT_EQ(actual.GetOpacityGraph()->GetMaxOpacity(),
                  expected.GetOpacityGraph()->GetMaxOpacity());
    }
}

}  // namespace

// --- construction, copies, ownership --------------------------------------------------------

TEST(VXR_VOLR_ColorClass, NewClassAdoptsItsGraphAndStartsActiveWithoutWindow) {
    Graph* graph = NewGraph({{0.0f, 1.0f}});
    const Class cls("BONE", graph);
    EXPECT_EQ(cls.GetName(), _bstr_t("BONE"));
    EXPECT_EQ(cls.GetOpacityGraph(), graph);
    EXPECT_EQ(cls.GetColorPointCount(), 0u);
    EXPECT_TRUE(cls.GetAllowWindowing());
    EXPECT_TRUE(cls.GetIsActive());
    EXPECT_EQ(cls.GetWidth(), 0.0f);
    EXPECT_EQ(cls.GetCenter(), 0.0f);
    EXPECT_EQ(cls.GetPivot(), 0.0f);
    EXPECT_EQ(cls.GetBPP(), 0);
    EXPECT_EQ(cls.GetMaxPixelValue(), 0);
    EXPECT_EQ(*cls, 0);
}

TEST(VXR_VOLR_ColorClass, CopiesOwnTheirGraphsAndCarryTheWholeState) {
    Class source = Ramp();
    source.SetBPP(12);
    source.SetWidth(0.5f);
    source.SetCenter(0.1f);
    source.SetAllowWindowing(false);
    source.SetIsActive(false);
    ++source;
    ++source;

    Class copy(source);
    Class assigned("other", NewGraph({{0.9f, 0.9f}}));
    AddColors(assigned, {{0.3f, kRed}});
    assigned = source;
    for (const Class* cls : {&copy, &assigned}) {
        ExpectSameClass(*cls, source);
        EXPECT_NE(cls->GetOpacityGraph(), source.GetOpacityGraph());
        EXPECT_TRUE(cls->GetName().shares_with(source.GetName()));
        EXPECT_EQ(cls->GetBPP(), 12);
        EXPECT_EQ(cls->GetMaxPixelValue(), 4095);
        EXPECT_EQ(cls->GetOpacityGraph()->GetBPP(), 12);
        EXPECT_EQ(**cls, 2);
        EXPECT_FLOAT_EQ(cls->GetPivot(), 0.4f);
    }
    copy.GetOpacityGraph()->UpdateOpPoint(0, OPoint(0.0f, 0.5f));
    assigned.GetOpacityGraph()->RemoveOpPoint(0);
    copy.RemoveColorPoint(0);
    EXPECT_EQ(GraphPoints(*source.GetOpacityGraph()), (Points{{0.2f, 0.0f}, {0.6f, 1.0f}}));
    EXPECT_EQ(source.GetColorPointCount(), 2u);

    assigned = assigned;  // self-assignment keeps everything
    EXPECT_EQ(GraphPoints(*assigned.GetOpacityGraph()), (Points{{0.6f, 1.0f}}));
    // Leaving the test destroys three classes; each deletes its own graph once.
}

TEST(VXR_VOLR_ColorClass, SetOpacityGraphAdoptsTheNewGraphAndLeavesTheOldOneToTheCaller) {
    Class cls = Ramp();
    Graph* old = cls.GetOpacityGraph();
    Graph* replacement = NewGraph({{0.5f, 0.25f}});
    cls.SetOpacityGraph(replacement);
    EXPECT_EQ(cls.GetOpacityGraph(), replacement);
    EXPECT_FLOAT_EQ(old->GetRelativeOpacity(0.4f), 0.5f);  // still alive
    delete old;
    EXPECT_EQ(cls.GetRelativeOpacity(0.9f), 0.25f);
}

TEST(VXR_VOLR_ColorClass, SetBPPReachesTheGraph) {
    Class cls = Ramp();
    cls.SetBPP(16);
    EXPECT_EQ(cls.GetBPP(), 16);
    EXPECT_EQ(cls.GetMaxPixelValue(), 65535);
    EXPECT_EQ(cls.GetOpacityGraph()->GetBPP(), 16);
    EXPECT_EQ(cls.GetOpacityGraph()->GetMaxPixelValue(), 65535);
}

// --- colour points -------------------------------------------------------------------------

TEST(VXR_VOLR_ColorClass, InsertColorPointAnswersTheUpperBoundIndex) {
    Class cls("c", nullptr);
    EXPECT_EQ(cls.InsertColorPoint(CPoint(0.5f, kRed)), 0);
    EXPECT_EQ(cls.InsertColorPoint(CPoint(0.2f, kBlack)), 0);
    EXPECT_EQ(cls.InsertColorPoint(CPoint(0.8f, kBlack)), 2);
    EXPECT_EQ(cls.InsertColorPoint(CPoint(0.5f, kWhite)), 2);
    EXPECT_EQ(cls.InsertColorPoint(CPoint(0.9f, kBlack)), 4);
    EXPECT_EQ(Values(cls), (std::vector<float>{0.2f, 0.5f, 0.5f, 0.8f, 0.9f}));
    EXPECT_EQ(cls.GetColorPoint(1).m_Color, kRed);
    EXPECT_EQ(cls.GetColorPoint(2).m_Color, kWhite);
    cls.AddColorPoint(CPoint(0.5f, kBlack));
    EXPECT_EQ(cls.GetColorPoint(3).m_Color, kBlack);
}

TEST(VXR_VOLR_ColorClass, BadColorPointIndicesRaiseTheBoundsErrorAndChangeNothing) {
    Class cls = Ramp();
    EXPECT_THROW(cls.GetColorPoint(2), RWBoundsErr);
    EXPECT_THROW(cls.GetColorPoint(-1), RWBoundsErr);
    EXPECT_THROW(cls.RemoveColorPoint(2), RWBoundsErr);
    EXPECT_THROW(cls.RemoveColorPoint(-1), RWBoundsErr);
    EXPECT_EQ(Values(cls), (std::vector<float>{0.0f, 1.0f}));
    try {
        cls.GetColorPoint(7);
        FAIL();
    } catch (const RWBoundsErr& error) {
        EXPECT_STREQ(error.what(), "Index (7) out of range [0->2)");
    }
}

TEST(VXR_VOLR_ColorClass, ShrinkDropsOnlyPointsThatChangeNoColor) {
    const UTL_Color a(1, 1, 1), b(2, 2, 2), c(3, 3, 3);
    ShrinkableClass cls("c", nullptr);
    AddColors(cls, {{0.1f, a}, {0.2f, a}, {0.3f, b}, {0.4f, b}, {0.5f, b}, {0.6f, c}, {0.7f, c}});
    std::vector<UTL_Color> before;
    for (int i = 0; i <= 100; ++i) {
        before.push_back(cls.GetColor(static_cast<float>(i) / 100.0f));
    }
    cls.shrink();
    EXPECT_EQ(Colors(cls), (std::vector<UTL_Color>{a, b, b, c}));
    EXPECT_EQ(Values(cls), (std::vector<float>{0.2f, 0.3f, 0.5f, 0.6f}));
    for (int i = 0; i <= 100; ++i) {
        EXPECT_EQ(cls.GetColor(static_cast<float>(i) / 100.0f), before[static_cast<std::size_t>(i)])
            << i;
    }

    ShrinkableClass pair("c", nullptr);
    AddColors(pair, {{0.1f, a}, {0.9f, a}});
    pair.shrink();
    EXPECT_EQ(Values(pair), (std::vector<float>{0.9f}));

    ShrinkableClass single("c", nullptr);
    AddColors(single, {{0.4f, a}});
    single.shrink();
    EXPECT_EQ(Values(single), (std::vector<float>{0.4f}));
}

// --- colour -----------------------------------------------------------------------------

TEST(VXR_VOLR_ColorClass, ColorRampRoundsWithPointFortyNine) {
    const Class grey = Ramp();
    EXPECT_EQ(grey.GetColor(0.5f), UTL_Color(127, 127, 127));  // 127.5 + 0.49
    EXPECT_EQ(grey.GetColor(0.25f), UTL_Color(64, 64, 64));
    EXPECT_EQ(grey.GetColor(0.75f), UTL_Color(191, 191, 191));
    EXPECT_EQ(grey.GetColor(-0.2f), kBlack);
    EXPECT_EQ(grey.GetColor(0.0f), kBlack);
    EXPECT_EQ(grey.GetColor(1.0f), kWhite);
    EXPECT_EQ(grey.GetColor(3.0f), kWhite);
    // 255 * 0.002 = 0.51 rounds up, 255 * 0.0019 = 0.4845 does not.
    EXPECT_EQ(grey.GetColor(0.002f), UTL_Color(1, 1, 1));
    EXPECT_EQ(grey.GetColor(0.0019f), kBlack);

    const Class tinted = Ramp(UTL_Color(200, 100, 50));
    EXPECT_EQ(tinted.GetColor(0.5f), UTL_Color(100, 50, 25));
}

TEST(VXR_VOLR_ColorClass, ValuesBeyondTheEndPointsTakeTheirColors) {
    Class cls("c", nullptr);
    AddColors(cls, {{0.3f, kRed}, {0.7f, kWhite}});
    EXPECT_EQ(cls.GetColor(0.1f), kRed);
    EXPECT_EQ(cls.GetColor(0.9f), kWhite);
    Class single("c", nullptr);
    AddColors(single, {{0.5f, kRed}});
    for (const float x : {0.0f, 0.5f, 1.0f}) {
        EXPECT_EQ(single.GetColor(x), kRed) << x;
    }
}

TEST(VXR_VOLR_ColorClass, EveryColorSegmentReachesOneMillionthBeyondItsEnd) {
    const float at = 0.5f + 5e-7f;
    Class cls("c", nullptr);
    AddColors(
        cls,
        {{0.0f, kBlack}, {0.5f, UTL_Color(250, 250, 250)}, {0.5f + 2e-5f, kBlack}, {1.0f, kBlack}});
    // Taken by the first segment (≈ 250), not by the steep second one (≈ 244).
    EXPECT_EQ(cls.GetColor(at), UTL_Color(250, 250, 250));
    // Beyond the tolerance the steep segment decides.
    EXPECT_EQ(cls.GetColor(0.5f + 1e-5f), UTL_Color(125, 125, 125));
}

TEST(VXR_VOLR_ColorClass, ColorSegmentsShorterThanTenMillionthsAreSkipped) {
    const UTL_Color grey(100, 100, 100);
    Class cls("c", nullptr);
    AddColors(cls,
              {{0.0f, kRed}, {0.5f, kBlack}, {0.500005f, grey}, {1.0f, UTL_Color(200, 200, 200)}});
    // Past the short segment: the last segment interpolates from its grey start.
    EXPECT_EQ(cls.GetColor(0.500003f), grey);

    // Inside a short last segment no segment decides: the default colour.
    Class shortEnd("c", nullptr);
    AddColors(shortEnd, {{0.0f, kRed}, {0.5f, kRed}, {0.500005f, kWhite}});
    EXPECT_EQ(shortEnd.GetColor(0.500003f), UTL_Color());
    // All points at one value: no segment at all.
    Class stacked("c", nullptr);
    AddColors(stacked, {{0.5f, kRed}, {0.5f, kWhite}});
    EXPECT_EQ(stacked.GetColor(0.5f), UTL_Color());
    EXPECT_EQ(stacked.GetColor(0.2f), kRed);
    EXPECT_EQ(stacked.GetColor(0.8f), kWhite);
}

TEST(VXR_VOLR_ColorClass, ColorOfAClassWithoutPointsRaisesTheBoundsError) {
    const Class cls("c", nullptr);
    EXPECT_THROW(cls.GetColor(0.5f), RWBoundsErr);
}

// --- window -------------------------------------------------------------------------------

TEST(VXR_VOLR_ColorClass, WindowMapsAndItsInverseUndoEachOther) {
    Class cls = Ramp();
    cls.SetWidth(0.5f);  // pivot 0.4
    cls.SetCenter(0.1f);
    EXPECT_FLOAT_EQ(cls.CalcWindowing(0.2f), (0.2f - 0.4f) * 1.5f + 0.4f + 0.1f);
    EXPECT_FLOAT_EQ(cls.CalcInverseWindowing(0.2f), (0.2f - 0.1f - 0.4f) / 1.5f + 0.4f);
    for (const float v : {0.0f, 0.1f, 0.4f, 0.77f, 1.0f}) {
        EXPECT_NEAR(cls.CalcInverseWindowing(cls.CalcWindowing(v)), v, 1e-6f) << v;
    }
}

TEST(VXR_VOLR_ColorClass, CenterShiftsBothColorAndOpacity) {
    Class plain("plain", NewGraph({{0.0f, 0.0f}, {1.0f, 1.0f}}));
    AddColors(plain, {{0.0f, kBlack}, {1.0f, UTL_Color(200, 100, 50)}});
    Class shifted(plain);
    shifted.SetCenter(0.5f);
    for (const float x : {0.5f, 0.6f, 0.75f, 0.9f, 1.0f}) {
        EXPECT_EQ(shifted.GetColor(x), plain.GetColor(x - 0.5f)) << x;
        EXPECT_EQ(shifted.GetRelativeOpacity(x), plain.GetRelativeOpacity(x - 0.5f)) << x;
    }
    EXPECT_EQ(shifted.GetColor(0.3f), kBlack);
    EXPECT_EQ(shifted.GetRelativeOpacity(0.3f), 0.0f);
    EXPECT_FLOAT_EQ(shifted.GetRelativeOpacity(0.75f), 0.25f);
}

TEST(VXR_VOLR_ColorClass, AddCenterClampsAtOneAndReportsNoChangeThere) {
    Class cls = Ramp();
    EXPECT_TRUE(cls.AddCenter(0.7f));
    EXPECT_TRUE(cls.AddCenter(0.7f));
    EXPECT_FALSE(cls.AddCenter(0.7f));
    EXPECT_EQ(cls.GetCenter(), 1.0f);
    EXPECT_TRUE(cls.AddCenter(-5.0f));
    EXPECT_EQ(cls.GetCenter(), -1.0f);
    EXPECT_TRUE(cls.AddCenter(0.5f));
    EXPECT_FALSE(cls.AddCenter(1e-8f));  // too small to count
    EXPECT_FALSE(cls.AddCenter(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(cls.GetCenter(), -0.5f);
}

TEST(VXR_VOLR_ColorClass, SetWidthPlacesThePivotOnceAndSnapsSmallWidthsToNone) {
    Class cls = Ramp();  // graph 0.2 .. 0.6
    cls.SetWidth(0.00005f);
    EXPECT_EQ(cls.GetWidth(), 0.0f);
    EXPECT_EQ(cls.GetPivot(), 0.0f);
    cls.SetWidth(0.5f);
    EXPECT_EQ(cls.GetPivot(), 0.4f);
    EXPECT_EQ(cls.GetWidth(), 0.5f);
    cls.GetOpacityGraph()->AddOpacityPoint(OPoint(1.0f, 0.0f));
    cls.SetWidth(0.3f);
    EXPECT_EQ(cls.GetPivot(), 0.4f);  // stays where it was first put
    EXPECT_EQ(cls.GetWidth(), 0.3f);
    cls.SetWidth(-0.00009f);
    EXPECT_EQ(cls.GetWidth(), 0.0f);
    EXPECT_EQ(cls.GetPivot(), 0.0f);
    cls.SetWidth(-0.5f);
    EXPECT_EQ(cls.GetPivot(), 0.6f);  // now over 0.2 .. 1
    EXPECT_EQ(cls.GetWidth(), -0.5f);
}

TEST(VXR_VOLR_ColorClass, AddWidthClampsAndReportsEvenWhenTheWidthSnapsToZero) {
    Class cls = Ramp();
    EXPECT_TRUE(cls.AddWidth(0.5f));
    EXPECT_EQ(cls.GetPivot(), 0.4f);
    EXPECT_TRUE(cls.AddWidth(-0.49996f));  // lands within 1e-4 of 0
    EXPECT_EQ(cls.GetWidth(), 0.0f);
    EXPECT_EQ(cls.GetPivot(), 0.0f);
    EXPECT_TRUE(cls.AddWidth(3.0f));
    EXPECT_EQ(cls.GetWidth(), 1.0f);
    EXPECT_FALSE(cls.AddWidth(3.0f));
    EXPECT_FALSE(cls.AddWidth(1e-8f));
}

TEST(VXR_VOLR_ColorClass, WindowChangesAreIgnoredWhenBarredOrInactive) {
    for (const bool allow : {false, true}) {
        Class cls = Ramp();
        cls.SetAllowWindowing(allow);
        cls.SetIsActive(!allow);
        cls.SetCenter(0.3f);
        cls.SetWidth(0.3f);
        EXPECT_FALSE(cls.AddCenter(0.3f));
        EXPECT_FALSE(cls.AddWidth(0.3f));
        EXPECT_EQ(cls.GetCenter(), 0.0f);
        EXPECT_EQ(cls.GetWidth(), 0.0f);
        EXPECT_EQ(cls.GetPivot(), 0.0f);
    }
}

TEST(VXR_VOLR_ColorClass, SetWidthOnAGraphWithoutPointsRaisesAndChangesNothing) {
    Class cls("c", new Graph());
    EXPECT_THROW(cls.SetWidth(0.5f), RWBoundsErr);
    EXPECT_THROW(cls.AddWidth(0.5f), RWBoundsErr);
    EXPECT_EQ(cls.GetWidth(), 0.0f);
    EXPECT_EQ(cls.GetPivot(), 0.0f);
    EXPECT_THROW(cls.GetRelativeOpacity(0.5f), RWBoundsErr);
    cls.SetWidth(0.00001f);  // a snap reads no point
    EXPECT_EQ(cls.GetWidth(), 0.0f);
}

TEST(VXR_VOLR_ColorClass, WidthMinusOneGivesInfiniteAndNaNPositionsSafely) {
    Class cls = Ramp();  // pivot will be 0.4
    AddColors(cls, {{0.5f, kRed}});
    EXPECT_TRUE(cls.AddWidth(-1.0f));
    ASSERT_EQ(cls.GetWidth(), -1.0f);
    ASSERT_EQ(cls.GetPivot(), 0.4f);
    EXPECT_EQ(cls.CalcInverseWindowing(0.9f), std::numeric_limits<float>::infinity());
    EXPECT_EQ(cls.CalcInverseWindowing(0.1f), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(cls.CalcInverseWindowing(0.4f)));
    // Infinite positions clamp to the ends.
    EXPECT_EQ(cls.GetColor(0.9f), kWhite);
    EXPECT_EQ(cls.GetColor(0.1f), kBlack);
    EXPECT_EQ(cls.GetRelativeOpacity(0.9f), 1.0f);
    EXPECT_EQ(cls.GetRelativeOpacity(0.1f), 0.0f);
    // The NaN position: default colour, opacity 0.
    EXPECT_EQ(cls.GetColor(0.4f), UTL_Color());
    EXPECT_EQ(cls.GetRelativeOpacity(0.4f), 0.0f);
    // A one-point ramp answers its colour even there.
    Class single(cls);
    single.RemoveColorPoint(0);
    single.RemoveColorPoint(1);
    EXPECT_EQ(single.GetColor(0.4f), kRed);
    // Baking the collapsed window puts every point on the pivot.
    cls.ApplyWindowing();
    EXPECT_EQ(Values(cls), (std::vector<float>{0.4f, 0.4f, 0.4f}));
}

// --- baking the window in -------------------------------------------------------------------

TEST(VXR_VOLR_ColorClass, ApplyWindowingCollapsesPointsPushedBelowZero) {
    Class cls("c", nullptr);
    AddColors(cls, {{0.1f, kRed}, {0.2f, kWhite}, {0.5f, kBlack}, {0.9f, kRed}});
    cls.SetCenter(-0.3f);
    cls.ApplyWindowing();
    ASSERT_EQ(cls.GetColorPointCount(), 3u);
    EXPECT_EQ(cls.GetColorPoint(0).m_fValue, 0.0f);
    EXPECT_EQ(cls.GetColorPoint(0).m_Color, kWhite);  // the former 0.2
    EXPECT_FLOAT_EQ(cls.GetColorPoint(1).m_fValue, 0.2f);
    EXPECT_FLOAT_EQ(cls.GetColorPoint(2).m_fValue, 0.6f);
    EXPECT_EQ(cls.GetCenter(), 0.0f);
}

TEST(VXR_VOLR_ColorClass, ApplyWindowingCutsPointsPushedAboveOne) {
    Class cls("c", nullptr);
    AddColors(cls, {{0.1f, kRed}, {0.5f, kBlack}, {0.8f, kWhite}, {0.9f, kRed}, {0.95f, kBlack}});
    cls.SetCenter(0.3f);
    cls.ApplyWindowing();
    ASSERT_EQ(cls.GetColorPointCount(), 3u);
    EXPECT_FLOAT_EQ(cls.GetColorPoint(0).m_fValue, 0.4f);
    EXPECT_FLOAT_EQ(cls.GetColorPoint(1).m_fValue, 0.8f);
    EXPECT_EQ(cls.GetColorPoint(2).m_fValue, 1.0f);
    EXPECT_EQ(cls.GetColorPoint(2).m_Color, kWhite);  // the former 0.8
}

TEST(VXR_VOLR_ColorClass, ApplyWindowingStretchesAboutThePivotAndResetsTheWindow) {
    Class cls("c", NewGraph({{0.0f, 0.0f}, {1.0f, 1.0f}}));  // pivot 0.5
    AddColors(cls, {{0.1f, kRed}, {0.2f, kWhite}, {0.5f, kBlack}, {0.9f, kRed}});
    cls.SetWidth(0.5f);
    ASSERT_EQ(cls.GetPivot(), 0.5f);
    cls.ApplyWindowing();
    const std::vector<float> values = Values(cls);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0], 0.0f);
    EXPECT_FLOAT_EQ(values[1], 0.05f);
    EXPECT_EQ(values[2], 0.5f);
    EXPECT_EQ(values[3], 1.0f);
    EXPECT_EQ(cls.GetWidth(), 0.0f);
    EXPECT_EQ(cls.GetCenter(), 0.0f);
    EXPECT_EQ(cls.GetPivot(), 0.0f);
}

TEST(VXR_VOLR_ColorClass, ApplyWindowingMovesOpacityPointsAndGivesClampedOnesTheEdgeOpacity) {
    // Centre -0.3: x 0.1 -> -0.2, 0.5 -> 0.2, 0.9 -> 0.6.
    Class cls("c", NewGraph({{0.1f, 0.0f}, {0.5f, 1.0f}, {0.9f, 0.0f}}, 0.5f));
    cls.SetCenter(-0.3f);
    cls.ApplyWindowing();
    const Points points = GraphPoints(*cls.GetOpacityGraph());
    ASSERT_EQ(points.size(), 3u);
    // The first point's y is read at 0 on the graph as it stands after its own
    // move, (-0.2, 0) (0.5, 1) (0.9, 0): 0.2 / 0.7, with maximum opacity 0.5.
    EXPECT_EQ(points[0].first, 0.0f);
    EXPECT_FLOAT_EQ(points[0].second, 0.2f / 0.7f * 0.5f);
    EXPECT_FLOAT_EQ(points[1].first, 0.2f);
    EXPECT_EQ(points[1].second, 1.0f);
    EXPECT_FLOAT_EQ(points[2].first, 0.6f);
    EXPECT_EQ(points[2].second, 0.0f);

    // Centre 0.3: x 0.1 -> 0.4, 0.8 -> 1.1 (read at 1), 0.9 gone.
    Class up("c", NewGraph({{0.1f, 0.0f}, {0.8f, 0.6f}, {0.9f, 0.2f}}));
    up.SetCenter(0.3f);
    up.ApplyWindowing();
    const Points upPoints = GraphPoints(*up.GetOpacityGraph());
    ASSERT_EQ(upPoints.size(), 2u);
    EXPECT_FLOAT_EQ(upPoints[0].first, 0.4f);
    EXPECT_EQ(upPoints[1].first, 1.0f);
    // At 1 on (0.4, 0) (1.1, 0.6) (0.9, 0.2): x is not beyond the unmoved last
    // point 0.9... it is: 1 > 0.9 gives that point's 0.2.
    EXPECT_FLOAT_EQ(upPoints[1].second, 0.2f);
}

TEST(VXR_VOLR_ColorClass, ApplyWindowingIgnoresTheFlags) {
    Class cls("c", nullptr);
    AddColors(cls, {{0.5f, kRed}});
    cls.SetCenter(0.25f);
    cls.SetAllowWindowing(false);
    cls.SetIsActive(false);
    cls.ApplyWindowing();
    EXPECT_EQ(Values(cls), (std::vector<float>{0.75f}));
}

// --- classes without a graph ---------------------------------------------------------------

TEST(VXR_VOLR_ColorClass, AClassWithoutGraphIsTransparentAndEveryGraphOperationIsSafe) {
    Class cls("nograph", nullptr);
    AddColors(cls, {{0.2f, kBlack}, {0.8f, kWhite}});
    EXPECT_EQ(cls.GetOpacityGraph(), nullptr);
    EXPECT_EQ(cls.GetRelativeOpacity(0.5f), 0.0f);
    EXPECT_EQ(cls.GetColor(0.8f), kWhite);
    cls.SetBPP(12);
    EXPECT_EQ(cls.GetMaxPixelValue(), 4095);
    cls.SetWidth(0.5f);
    EXPECT_EQ(cls.GetWidth(), 0.5f);
    EXPECT_EQ(cls.GetPivot(), 0.0f);  // nothing to centre it on
    EXPECT_TRUE(cls.AddWidth(0.1f));
    EXPECT_TRUE(cls.AddCenter(0.1f));
    cls.ApplyWindowing();
    EXPECT_EQ(cls.GetColorPointCount(), 2u);

    Class copy(cls);
    EXPECT_EQ(copy.GetOpacityGraph(), nullptr);
    Class withGraph = Ramp();
    withGraph = cls;  // deletes its own graph, takes none
    EXPECT_EQ(withGraph.GetOpacityGraph(), nullptr);
    Class target("t", nullptr);
    target = Ramp();  // and the other way round
    EXPECT_NE(target.GetOpacityGraph(), nullptr);
}

// --- storage ------------------------------------------------------------------------------

TEST(VXR_VOLR_ColorClass, ColorPointWritesItsChannelsAsIntegersAndValueAsText) {
    const CPoint point(0.25f, UTL_Color(10, 20, 30));
    const CFG_ITreePtr tree = point.ExportToCFG();
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"r", "g", "b", "value"}));
    EXPECT_EQ(tree->GetValueKind("r"), CFG_ValueKind::Int);
    EXPECT_EQ(tree->GetInt("g"), 20);
    EXPECT_EQ(tree->GetValueKind("value"), CFG_ValueKind::String);
    EXPECT_EQ(tree->GetString("value"), _bstr_t("0.25"));
    const CPoint back(tree);
    EXPECT_EQ(back.m_fValue, 0.25f);
    EXPECT_EQ(back.m_Color, UTL_Color(10, 20, 30));
}

TEST(VXR_VOLR_ColorPoint, MissingChannelsOrANullTreeRaiseTheTreeError) {
    CFG_ITreePtr tree = NewTree();
    tree->SetInt("r", 1);
    tree->SetString("value", "0.5");
    EXPECT_THROW(CPoint{tree}, _com_error);
    const CFG_ITreePtr null;
    EXPECT_THROW(CPoint{null}, _com_error);
    tree->SetInt("g", 2);
    tree->SetInt("b", 3);
    tree->SetString("value", "n/a");
    EXPECT_EQ(CPoint(tree).m_fValue, 0.0f);  // unreadable number
    tree->RemoveValue("value");
    EXPECT_EQ(CPoint(tree).m_fValue, 0.0f);  // missing number
}

TEST(VXR_VOLR_ColorClass, ExportWritesTheClassNodeLayout) {
    Class bone("BONE", NewGraph({{0.3f, 0.0f}, {0.6f, 1.0f}}, 1.0f));
    AddColors(bone, {{0.2f, kRed}, {0.8f, kWhite}});
    const CFG_ITreePtr tree = bone.ExportToCFG();
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"name", "allow_windowing"}));
    EXPECT_EQ(tree->GetString("name"), _bstr_t("BONE"));
    EXPECT_EQ(tree->GetValueKind("allow_windowing"), CFG_ValueKind::Int);
    EXPECT_EQ(tree->GetInt("allow_windowing"), 1);
    EXPECT_EQ(ChildNames(tree),
              (std::vector<std::string>{"op_graph", "color_point01", "color_point02"}));
    EXPECT_EQ(ValueNames(tree, "op_graph"),
              (std::vector<std::string>{"point01_x", "point01_y", "point02_x", "point02_y",
                                        "max_opacity", "type"}));
    EXPECT_EQ(tree->GetString("op_graph\\type"), _bstr_t("trapeze"));
    for (const char* child : {"color_point01", "color_point02"}) {
        EXPECT_EQ(ValueNames(tree, child), (std::vector<std::string>{"r", "g", "b", "value"}));
    }
    EXPECT_EQ(tree->GetInt("color_point01\\r"), 255);
    EXPECT_EQ(tree->GetInt("color_point02\\g"), 255);

    const Class back(tree);
    ExpectSameClass(back, bone);
    EXPECT_EQ(back.GetBPP(), 0);

    bone.SetAllowWindowing(false);
    EXPECT_EQ(bone.ExportToCFG()->GetInt("allow_windowing"), 0);
}

TEST(VXR_VOLR_ColorClass, ExportDropsRedundantPointsFromTheClassItself) {
    const UTL_Color a(5, 5, 5), b(9, 9, 9);
    Class cls("c", NewGraph({{0.0f, 0.5f}, {0.5f, 0.5f}, {1.0f, 0.5f}}));
    AddColors(cls, {{0.1f, a}, {0.2f, a}, {0.3f, b}});
    const CFG_ITreePtr tree = cls.ExportToCFG();
    EXPECT_EQ(Values(cls), (std::vector<float>{0.2f, 0.3f}));
    EXPECT_EQ(cls.GetOpacityGraph()->GetOpPointCount(), 2u);
    EXPECT_EQ(ChildNames(tree),
              (std::vector<std::string>{"op_graph", "color_point01", "color_point02"}));
}

TEST(VXR_VOLR_ColorClass, WrittenClassReadsBackEqualFieldByField) {
    Class cls("Gefäße \u00e9", NewGraph({{0.0f, 0.0f},
                                         {0.123456f, 0.25f},
                                         {0.5f, 1.0f},
                                         {0.5f, 0.5f},
                                         {0.75f, 0.125f},
                                         {1.0f, 0.0f}},
                                        0.875f));
    AddColors(cls, {{0.0f, UTL_Color(0, 0, 0)},
                    {0.1f, UTL_Color(255, 0, 0)},
                    {0.1f, UTL_Color(0, 255, 0)},
                    {0.33333334f, UTL_Color(1, 2, 3)},
                    {0.987654f, UTL_Color(250, 128, 7)}});
    cls.SetAllowWindowing(false);
    cls.SetBPP(16);
    const CFG_ITreePtr tree = cls.ExportToCFG();
    const Class back(tree);
    ExpectSameClass(back, cls);
    EXPECT_FALSE(back.GetAllowWindowing());
    EXPECT_TRUE(back.GetIsActive());
    // And once more through a second write: the trees are equal.
    Class again(back);
    EXPECT_TRUE(CFG_TreesEqual(again.ExportToCFG(), tree)) << CFG_DumpTree(tree);
}

TEST(VXR_VOLR_ColorClass, InactiveOrWindowedClassesReadBackActiveWithoutWindow) {
    Class cls = Ramp();
    cls.SetWidth(0.5f);
    cls.SetCenter(0.2f);
    cls.SetIsActive(false);
    const Class back(cls.ExportToCFG());
    EXPECT_TRUE(back.GetIsActive());
    EXPECT_EQ(back.GetWidth(), 0.0f);
    EXPECT_EQ(back.GetCenter(), 0.0f);
    EXPECT_EQ(back.GetPivot(), 0.0f);
    EXPECT_EQ(Values(back), Values(cls));  // the window is not baked in
}

TEST(VXR_VOLR_ColorClass, ColorPointChildrenAreMatchedByPrefixAndSortedByValue) {
    CFG_ITreePtr tree = ClassNode("trapeze");
    tree->AddSubTree("", ColorPointNode("color_point03", 3, 3, 3, "0.9"));
    tree->AddSubTree("", ColorPointNode("other", 9, 9, 9, "0.0"));
    tree->AddSubTree("", ColorPointNode("color_pointXYZ", 2, 2, 2, "0.1"));
    tree->AddSubTree("", ColorPointNode("Color_point04", 8, 8, 8, "0.2"));  // case-sensitive
    tree->AddSubTree("", ColorPointNode("color_point02", 4, 4, 4, "0.4"));
    const Class cls(tree);
    EXPECT_EQ(Values(cls), (std::vector<float>{0.1f, 0.4f, 0.4f, 0.9f}));
    // Equal values keep the list order: color_point01 came first.
    EXPECT_EQ(cls.GetColorPoint(1).m_Color, UTL_Color(1, 2, 3));
    EXPECT_EQ(cls.GetColorPoint(2).m_Color, UTL_Color(4, 4, 4));
}

namespace {

// The records logged since the last take: `count` of them, each from the
// class's own file, at the tree-failure level, in the library's module.
testing::AssertionResult ClassFailureRecords(std::size_t count) {
    const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
    if (records.size() != count) {
        return testing::AssertionFailure() << records.size() << " records, " << count << " wanted";
    }
    for (const Tmr_LogRecord& record : records) {
        if (record.source != "VXR_VOLR_ColorClass" || record.level != 3 || record.module != 460) {
            return testing::AssertionFailure()
                   << "\"" << record.text << "\" from " << record.source << " at level "
                   << record.level << " in module " << record.module;
        }
    }
    return testing::AssertionSuccess();
}

}  // namespace

TEST(VXR_VOLR_ColorClass, AllowWindowingDefaultsToTrueAndCountsOnlyAboveZero) {
    const std::pair<int, bool> cases[] = {{1, true}, {7, true}, {0, false}, {-5, false}};
    for (const auto& [stored, allowed] : cases) {
        CFG_ITreePtr tree = ClassNode("trapeze");
        tree->SetInt("allow_windowing", stored);
        EXPECT_EQ(Class(tree).GetAllowWindowing(), allowed) << stored;
    }
    EXPECT_TRUE(Class(ClassNode("trapeze")).GetAllowWindowing());
}

TEST(VXR_VOLR_ColorClass, NullTreeIsLoggedAndGivesADefaultClassWithoutGraph) {
    const CFG_ITreePtr null;
    Class cls(null);
    EXPECT_TRUE(ClassFailureRecords(1));
    EXPECT_EQ(vxrp_test::TakeLogTexts(), (std::vector<std::string>{"Failed to get class\n"}));
    EXPECT_TRUE(cls.GetName().is_null());
    EXPECT_EQ(cls.GetOpacityGraph(), nullptr);
    EXPECT_EQ(cls.GetColorPointCount(), 0u);
    EXPECT_TRUE(cls.GetAllowWindowing());
    EXPECT_TRUE(cls.GetIsActive());
    EXPECT_EQ(cls.GetRelativeOpacity(0.5f), 0.0f);
    EXPECT_THROW(cls.GetColor(0.5f), RWBoundsErr);
}

TEST(VXR_VOLR_ColorClass, OtherGraphTypesAreLoggedAndGiveAClassWithoutGraphOrPoints) {
    for (const char* type : {"bar", "Trapeze", "trapeze ", ""}) {
        CFG_ITreePtr tree = ClassNode(type);
        tree->SetInt("allow_windowing", 0);
        Class cls(tree);
        EXPECT_TRUE(ClassFailureRecords(1)) << type;
        EXPECT_EQ(vxrp_test::TakeLogTexts(),
                  (std::vector<std::string>{std::string("Failed to get opacity graph type=") +
                                            type + "\n"}));
        EXPECT_EQ(cls.GetName(), _bstr_t("VESSEL"));
        EXPECT_FALSE(cls.GetAllowWindowing());
        EXPECT_EQ(cls.GetOpacityGraph(), nullptr);
        EXPECT_EQ(cls.GetColorPointCount(), 0u);
    }
    // No "op_graph" node at all: the type is missing.
    CFG_ITreePtr bare = NewTree();
    bare->SetString("name", "x");
    const Class cls(bare);
    EXPECT_TRUE(ClassFailureRecords(1));
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"Failed to get opacity graph type=\n"}));
    EXPECT_EQ(cls.GetOpacityGraph(), nullptr);
}

TEST(VXR_VOLR_ColorClass, AClassReadWithoutGraphSurvivesEveryGraphOperation) {
    Class cls{ClassNode("bar")};
    EXPECT_TRUE(ClassFailureRecords(1));
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"Failed to get opacity graph type=bar\n"}));
    cls.AddColorPoint(CPoint(0.5f, kRed));
    cls.SetBPP(8);
    EXPECT_EQ(cls.GetMaxPixelValue(), 255);
    EXPECT_EQ(cls.GetRelativeOpacity(0.5f), 0.0f);
    EXPECT_EQ(cls.GetColor(0.1f), kRed);
    EXPECT_TRUE(cls.AddWidth(0.5f));
    cls.SetWidth(-0.25f);
    cls.SetCenter(0.25f);
    cls.ApplyWindowing();
    EXPECT_EQ(Values(cls), (std::vector<float>{0.625f}));

    Class copy(cls);
    Class assigned = Ramp();
    assigned = cls;
    EXPECT_EQ(copy.GetOpacityGraph(), nullptr);
    EXPECT_EQ(assigned.GetOpacityGraph(), nullptr);

    // Stored without a graph type, it reads back as a class without graph.
    const CFG_ITreePtr tree = cls.ExportToCFG();
    EXPECT_EQ(ChildNames(tree), (std::vector<std::string>{"op_graph", "color_point01"}));
    EXPECT_EQ(tree->GetValueCount("op_graph"), 0);
    const Class back(tree);
    EXPECT_TRUE(ClassFailureRecords(1));
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"Failed to get opacity graph type=\n"}));
    EXPECT_EQ(back.GetName(), _bstr_t("VESSEL"));
    EXPECT_EQ(back.GetOpacityGraph(), nullptr);
}

TEST(VXR_VOLR_ColorClass, FailingTreeReadsRaiseWithoutLeakingTheGraph) {
    CFG_ITreePtr tree = ClassNode("trapeze");
    CFG_ITreePtr broken = NewTree();
    broken->SetString("value", "0.5");  // no "r"
    broken->SetNodeName("", "color_point02");
    tree->AddSubTree("", broken);
    EXPECT_THROW(Class{tree}, _com_error);  // the sanitizer run checks the graph is freed
    tree->SetString("allow_windowing", "yes");
    EXPECT_THROW(Class{tree}, _com_error);
}

TEST(VXR_VOLR_ColorClass, ExtremeChannelsAndNonFiniteValuesNeverOverflowAConversion) {
    const UTL_Color extreme(INT_MAX, INT_MIN, INT_MAX);
    Class cls("c", nullptr);
    AddColors(cls, {{0.0f, extreme}, {0.3f, extreme}, {0.7f, extreme}});
    for (const float x : {0.1f, 0.3f, 0.5f, 0.7f}) {
        const UTL_Color color = cls.GetColor(x);
        EXPECT_GE(color.GetRed(), INT_MAX - 256) << x;
        EXPECT_LE(color.GetGreen(), INT_MIN + 256) << x;
    }
    // Points at infinite positions (a tree can hold "inf"): NaN weights give
    // channel 0 instead of undefined behaviour.
    Class infinite("c", nullptr);
    const float inf = std::numeric_limits<float>::infinity();
    AddColors(infinite, {{-inf, kRed}, {inf, kWhite}});
    EXPECT_EQ(infinite.GetColor(0.5f), UTL_Color());
}

// --- batch evaluation ------------------------------------------------------------------

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The float nearest to d and its two neighbours: a value on a tolerance edge and
// a hair to either side.
void AddAround(std::vector<float>& values, double d) {
    const auto f = static_cast<float>(d);
    values.push_back(f);
    values.push_back(std::nextafter(f, -kInf));
    values.push_back(std::nextafter(f, kInf));
}

class ClassGenerator : public vxrp_test::TestRandom {
  public:
    explicit ClassGenerator(unsigned seed) : TestRandom(seed) {}

    int Channel() {
        if (Chance(4)) {
            const int odd[] = {INT_MIN, -70000, -1, 256, 300, 1 << 24, INT_MAX};
            return odd[Int(0, 6)];
        }
        return Chance(20) ? (Chance(50) ? 0 : 255) : Int(0, 255);
    }

    // Ramps whose segments often sit exactly at, just below or just above the
    // short-segment length (1e-5f), on one value, or far apart; graphs with
    // vertical edges; windows of every kind, the collapsed one (width -1) and
    // points left out of order by baking a negative scale.
    std::unique_ptr<Class> Make(std::string& description) {
        Graph* graph = nullptr;
        if (!Chance(10)) {
            graph = new Graph(Chance(70) ? 1.0f : Uniform(0.0f, 1.3f));
            const int points = Int(1, 5);
            float x = Uniform(-0.1f, 0.9f);
            for (int i = 0; i < points; ++i) {
                x += (i == 0 || Chance(20)) ? 0.0f : Uniform(0.0f, 0.4f);
                graph->AddOpacityPoint(OPoint(x, Chance(30) ? 1.0f : Uniform(0.0f, 1.0f)));
            }
        }
        auto cls = std::make_unique<Class>("generated", graph);
        const int colors = Int(1, 7);
        float value = Uniform(-0.1f, 0.9f);
        for (int i = 0; i < colors; ++i) {
            if (i > 0) {
                const double shortSegment = static_cast<double>(1e-5f);
                switch (Int(0, 6)) {
                    case 0:
                        break;  // on the same value
                    case 1:
                        value = std::nextafter(static_cast<float>(value + shortSegment), -kInf);
                        break;
                    case 2:
                        value = std::nextafter(static_cast<float>(value + shortSegment), kInf);
                        break;
                    case 3:
                        value += 2e-6f;
                        break;
                    default:
                        value += Uniform(0.0f, 0.4f);
                }
            }
            cls->AddColorPoint(CPoint(value, UTL_Color(Channel(), Channel(), Channel())));
        }
        if (Chance(3)) {
            cls->AddColorPoint(CPoint(Chance(50) ? kInf : -kInf, kRed));
            description += " infinite point";
        }
        if (Chance(50)) {
            cls->SetCenter(Uniform(-0.6f, 0.6f));
            cls->SetWidth(Uniform(-0.9f, 1.0f));
            description += " window";
        }
        if (Chance(8)) {
            cls->AddWidth(-3.0f);  // width -1: the window collapses onto one position
            description += " collapsed";
        }
        if (Chance(5)) {
            cls->SetWidth(-1.5f);
            cls->ApplyWindowing();
            description += " reversed";
        }
        if (graph == nullptr) {
            description += " no graph";
        }
        return cls;
    }

    // Positions on and beside every colour point, every segment's reach and
    // every opacity point, each seen through the window; random ones; the
    // collapsed window's own position; values outside 0..1 and non-finite ones.
    std::vector<float> Positions(const Class& cls) {
        std::vector<float> x = {0.0f, -0.0f, 1.0f, -0.5f, 2.0f, kInf, -kInf, kNaN, kNaN};
        std::vector<float> edges;
        for (const float v : Values(cls)) {
            AddAround(edges, v);
            AddAround(edges, v + static_cast<double>(1e-6f));
        }
        if (const Graph* graph = cls.GetOpacityGraph()) {
            for (const auto& [gx, gy] : GraphPoints(*graph)) {
                AddAround(edges, gx);
                AddAround(edges, gx + static_cast<double>(1e-6f));
            }
        }
        for (const float edge : edges) {
            x.push_back(edge);
            AddAround(x, cls.CalcWindowing(edge));
        }
        AddAround(x, static_cast<double>(cls.GetPivot()) + cls.GetCenter());
        for (int i = 0; i < 300; ++i) {
            x.push_back(Uniform(-0.2f, 1.2f));
        }
        return x;
    }

    // The same positions ascending (NaN last), descending and shuffled.
    std::vector<std::vector<float>> Orders(std::vector<float> x) {
        std::shuffle(x.begin(), x.end(), m_Rng);
        std::vector<float> ascending = x;
        const auto numbers = std::partition(ascending.begin(), ascending.end(),
                                            [](float p) { return !std::isnan(p); });
        std::sort(ascending.begin(), numbers);
        std::vector<float> descending(ascending.rbegin(), ascending.rend());
        return {ascending, descending, x};
    }
};

struct Batch {
    std::vector<int> red, green, blue;
    std::vector<float> opacity;
    explicit Batch(std::size_t n) : red(n, -7), green(n, -7), blue(n, -7), opacity(n, -7.0f) {}
};

// The batch answers (through EvaluateRange and a kept evaluator) against
// GetColor and GetRelativeOpacity; opacities compared as bit patterns.
testing::AssertionResult BatchMatchesScalar(const Class& cls, const std::vector<float>& x) {
    const int count = static_cast<int>(x.size());
    Batch once(x.size());
    cls.EvaluateRange(x.data(), count, once.red.data(), once.green.data(), once.blue.data(),
                      once.opacity.data());
    const Class::Evaluator evaluator(cls);
    Batch kept(x.size());
    evaluator.Evaluate(x.data(), count, kept.red.data(), kept.green.data(), kept.blue.data(),
                       kept.opacity.data());
    for (std::size_t j = 0; j < x.size(); ++j) {
        const UTL_Color color = cls.GetColor(x[j]);
        const float opacity = cls.GetRelativeOpacity(x[j]);
        for (const Batch* batch : {&once, &kept}) {
            if (UTL_Color(batch->red[j], batch->green[j], batch->blue[j]) != color ||
                std::bit_cast<std::uint32_t>(batch->opacity[j]) !=
                    std::bit_cast<std::uint32_t>(opacity)) {
                return testing::AssertionFailure()
                       << (batch == &once ? "EvaluateRange" : "Evaluator") << " at x = " << x[j]
                       << " (entry " << j << "): (" << batch->red[j] << ", " << batch->green[j]
                       << ", " << batch->blue[j] << ") opacity " << batch->opacity[j]
                       << "; GetColor (" << color.GetRed() << ", " << color.GetGreen() << ", "
                       << color.GetBlue() << "), GetRelativeOpacity " << opacity;
            }
        }
    }
    return testing::AssertionSuccess();
}

std::string Describe(const Class& cls) {
    std::string text;
    char part[96];
    std::snprintf(part, sizeof part, "centre %.9g width %.9g pivot %.9g; colours", cls.GetCenter(),
                  cls.GetWidth(), cls.GetPivot());
    text += part;
    for (unsigned int i = 0; i < cls.GetColorPointCount(); ++i) {
        const CPoint p = cls.GetColorPoint(static_cast<int>(i));
        std::snprintf(part, sizeof part, " %.9g:(%d,%d,%d)", p.m_fValue, p.m_Color.GetRed(),
                      p.m_Color.GetGreen(), p.m_Color.GetBlue());
        text += part;
    }
    if (const Graph* graph = cls.GetOpacityGraph()) {
        std::snprintf(part, sizeof part, "; graph max %.9g", graph->GetMaxOpacity());
        text += part;
        for (const auto& [x, y] : GraphPoints(*graph)) {
            std::snprintf(part, sizeof part, " (%.9g, %.9g)", x, y);
            text += part;
        }
    }
    return text;
}

// A class that answers through its own overrides and records the calls.
class TracingClass : public Class {
  public:
    using Class::operator=;
    TracingClass() : Class("tracing", nullptr) {}
    UTL_Color GetColor(float x) const override {
        m_Calls.push_back("color " + std::to_string(x));
        return UTL_Color(static_cast<int>(x * 100.0f), 1, 2);
    }
    float GetRelativeOpacity(float x) const override {
        m_Calls.push_back("opacity " + std::to_string(x));
        return x / 2.0f;
    }
    mutable std::vector<std::string> m_Calls;
};

}  // namespace

TEST(VXR_VOLR_ColorClass, BatchEvaluationEqualsGetColorAndGetRelativeOpacityBitForBitInEveryOrder) {
    ClassGenerator generate(20240612u);
    for (int round = 0; round < 400; ++round) {
        std::string description;
        const std::unique_ptr<Class> cls = generate.Make(description);
        for (const std::vector<float>& x : generate.Orders(generate.Positions(*cls))) {
            ASSERT_TRUE(BatchMatchesScalar(*cls, x))
                << "round " << round << ":" << description << "; " << Describe(*cls);
        }
    }
}

TEST(VXR_VOLR_ColorClass, BatchEvaluationKeepsEveryEdgeCaseOfTheScalarOne) {
    std::vector<std::unique_ptr<Class>> classes;
    const auto add = [&](Graph* graph, const std::vector<std::pair<float, UTL_Color>>& points) {
        classes.push_back(std::make_unique<Class>("c", graph));
        AddColors(*classes.back(), points);
        return classes.back().get();
    };
    // Every segment reaches 1e-6 beyond its end; a short one is skipped.
    add(NewGraph({{0.2f, 0.0f}, {0.6f, 1.0f}}),
        {{0.0f, kBlack}, {0.5f, UTL_Color(250, 250, 250)}, {0.5f + 2e-5f, kBlack}, {1.0f, kRed}});
    add(nullptr, {{0.0f, kRed}, {0.5f, kBlack}, {0.500005f, kWhite}, {1.0f, kWhite}});
    // Inside a short last segment, and all points on one value: the default colour.
    add(nullptr, {{0.0f, kRed}, {0.5f, kRed}, {0.500005f, kWhite}});
    add(NewGraph({{0.5f, 0.5f}}), {{0.5f, kRed}, {0.5f, kWhite}});
    // One point, with the collapsed window: its colour even at the NaN position.
    Class* single = add(NewGraph({{0.2f, 0.0f}, {0.6f, 1.0f}}), {{0.5f, kRed}});
    single->AddWidth(-1.0f);
    // A ramp with the collapsed window.
    Class* collapsed =
        add(NewGraph({{0.2f, 0.0f}, {0.6f, 1.0f}}), {{0.0f, kBlack}, {0.5f, kRed}, {1.0f, kWhite}});
    collapsed->AddWidth(-1.0f);
    // Points left out of order by baking a negative scale.
    Class* reversed = add(NewGraph({{0.1f, 0.0f}, {0.4f, 1.0f}, {0.9f, 0.3f}}),
                          {{0.1f, kRed}, {0.3f, kBlack}, {0.8f, kWhite}});
    reversed->SetWidth(-1.5f);
    reversed->ApplyWindowing();
    // Extreme channels and infinite points.
    add(nullptr, {{0.0f, UTL_Color(INT_MAX, INT_MIN, INT_MAX)},
                  {0.3f, UTL_Color(INT_MAX, INT_MIN, INT_MAX)},
                  {0.7f, UTL_Color(INT_MIN, INT_MAX, 0)}});
    add(NewGraph({{0.5f, 1.0f}}), {{-kInf, kRed}, {kInf, kWhite}});
    // A window shifted and stretched.
    Class* windowed = add(NewGraph({{0.2f, 0.0f}, {0.3f, 0.9f}, {0.6f, 0.1f}}, 0.7f),
                          {{0.1f, kRed}, {0.35f, UTL_Color(10, 200, 30)}, {0.9f, kWhite}});
    windowed->SetCenter(0.15f);
    windowed->SetWidth(0.45f);

    ClassGenerator generate(11u);
    for (const std::unique_ptr<Class>& cls : classes) {
        for (const std::vector<float>& x : generate.Orders(generate.Positions(*cls))) {
            EXPECT_TRUE(BatchMatchesScalar(*cls, x)) << Describe(*cls);
        }
    }
}

TEST(VXR_VOLR_ColorClass, BatchEvaluationRaisesWhatTheScalarOneRaises) {
    const float x[] = {0.5f, 0.25f};
    int red[2], green[2], blue[2];
    float opacity[2];
    const Class noPoints("c", NewGraph({{0.5f, 1.0f}}));
    try {
        noPoints.EvaluateRange(x, 2, red, green, blue, opacity);
        FAIL();
    } catch (const RWBoundsErr& error) {
        EXPECT_STREQ(error.what(), "Index (0) out of range [0->0)");
    }
    Class emptyGraph("c", new Graph);
    AddColors(emptyGraph, {{0.0f, kRed}});
    EXPECT_THROW(emptyGraph.EvaluateRange(x, 2, red, green, blue, opacity), RWBoundsErr);
    EXPECT_THROW(emptyGraph.GetRelativeOpacity(0.5f), RWBoundsErr);
    // No position, no evaluation, nothing raised.
    noPoints.EvaluateRange(x, 0, red, green, blue, opacity);
    emptyGraph.EvaluateRange(x, 0, red, green, blue, opacity);
}

TEST(VXR_VOLR_ColorClass, BatchEvaluationOfADerivedClassCallsItsOverridesPositionByPosition) {
    const TracingClass cls;
    const float x[] = {0.5f, 0.25f};
    int red[2], green[2], blue[2];
    float opacity[2];
    cls.EvaluateRange(x, 2, red, green, blue, opacity);
    EXPECT_EQ(cls.m_Calls, (std::vector<std::string>{"color 0.500000", "opacity 0.500000",
                                                     "color 0.250000", "opacity 0.250000"}));
    EXPECT_EQ(red[0], 50);
    EXPECT_EQ(green[1], 1);
    EXPECT_EQ(blue[1], 2);
    EXPECT_EQ(opacity[1], 0.125f);
}

TEST(VXR_VOLR_ColorClass, BatchEvaluationAsksADerivedGraphWithTheUnclampedWindowedPosition) {
    // A graph that answers through its own override: the class hands it the
    // windowed position, which may lie outside 0..1.
    class EchoGraph : public Graph {
      public:
        float GetRelativeOpacity(float x) const override { return x; }
    };
    Class cls("c", new EchoGraph);
    AddColors(cls, {{0.0f, kBlack}, {1.0f, kWhite}});
    cls.SetCenter(0.5f);
    const std::vector<float> x = {0.0f, 0.25f, 2.0f, kNaN};
    EXPECT_TRUE(BatchMatchesScalar(cls, x));
    float opacity[4];
    int red[4], green[4], blue[4];
    cls.EvaluateRange(x.data(), 4, red, green, blue, opacity);
    EXPECT_EQ(opacity[0], -0.5f);
    EXPECT_EQ(opacity[2], 1.5f);
}

TEST(VXR_VOLR_ColorClass, KeptEvaluatorCoversLongRunsBlockByBlock) {
    Class cls("c", NewGraph({{0.1f, 0.0f}, {0.3f, 1.0f}, {0.5f, 0.4f}, {0.9f, 0.9f}}, 0.8f));
    AddColors(cls, {{0.05f, kRed}, {0.4f, UTL_Color(0, 128, 255)}, {0.95f, kWhite}});
    cls.SetCenter(-0.1f);
    cls.SetWidth(0.3f);
    std::vector<float> x(5000);
    for (std::size_t j = 0; j < x.size(); ++j) {
        x[j] = static_cast<float>(j) / 4999.0f;
    }
    EXPECT_TRUE(BatchMatchesScalar(cls, x));
    std::reverse(x.begin(), x.end());
    EXPECT_TRUE(BatchMatchesScalar(cls, x));
}

TEST(VXR_VOLR_ColorClass, BatchTruncationAgreesWithTheScalarConversionAtEveryEdge) {
    const double values[] = {0.0,
                             -0.0,
                             0.49,
                             -0.99,
                             255.99,
                             2147483646.9,
                             2147483647.0,
                             2147483647.5,
                             2147483648.0,
                             -2147483648.0,
                             -2147483648.9,
                             -2147483649.0,
                             1e300,
                             -1e300,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (const double value : values) {
        EXPECT_EQ(vxr_volr_batch::TruncToIntSelect(value), UTL_TruncToInt(value)) << value;
    }
}
