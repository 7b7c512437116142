#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "CFG/CFG_ITree.h"
#include "RW/RW_Errors.h"
#include "VXR_VOLR_BatchEvaluation.h"
#include "VXR_VOLR_TrapezeOpacityGraph.h"
#include "support/TestRandom.h"
#include "support/TreeHelpers.h"

namespace {

using vxrp_test::ValueNames;

using Graph = VXR_VOLR_TrapezeOpacityGraph;
using Point = VXR_VOLR_OpacityPoint;

// Lets the tests call the protected shrink.
class ShrinkableGraph : public Graph {
  public:
    using Graph::Graph;
    using Graph::shrink;
};

template <class G = Graph>
G MakeGraph(std::vector<std::pair<float, float>> points, float maxOpacity = 1.0f) {
    G graph(maxOpacity);
    for (const auto& [x, y] : points) {
        graph.AddOpacityPoint(Point(x, y));
    }
    return graph;
}

std::vector<std::pair<float, float>> PointsOf(const Graph& graph) {
    std::vector<std::pair<float, float>> points;
    for (unsigned int i = 0; i < graph.GetOpPointCount(); ++i) {
        const Point p = graph.GetOpacityPoint(static_cast<int>(i));
        points.emplace_back(p.m_fX, p.m_fY);
    }
    return points;
}

std::vector<float> YsOf(const Graph& graph) {
    std::vector<float> ys;
    for (const auto& point : PointsOf(graph)) {
        ys.push_back(point.second);
    }
    return ys;
}

// A graph node holding the given string values, in this order.
CFG_ITreePtr GraphNode(const std::vector<std::pair<std::string, std::string>>& values) {
    CFG_ITreePtr tree = vxrp_test::NewTree();
    for (const auto& [name, text] : values) {
        tree->SetString(name.c_str(), text.c_str());
    }
    return tree;
}

// The trapezoid of the worked example: transparent, a vertical edge up at 0.2,
// opaque to 0.8, a vertical edge down.
std::vector<std::pair<float, float>> Trapezoid() {
    return {{0.0f, 0.0f}, {0.2f, 0.0f}, {0.2f, 1.0f}, {0.8f, 1.0f}, {0.8f, 0.0f}, {1.0f, 0.0f}};
}

}  // namespace

// --- construction, copies ----------------------------------------------------------

TEST(VXR_VOLR_TrapezeOpacityGraph, ANewGraphIsAnEmptyTrapezeOfMaximumOpacityOne) {
    const Graph graph;
    EXPECT_EQ(graph.GetMaxOpacity(), 1.0f);
    EXPECT_FALSE(graph.GetFlag());
    EXPECT_EQ(graph.GetBPP(), 0);
    EXPECT_EQ(graph.GetMaxPixelValue(), 0);
    EXPECT_EQ(graph.GetOpPointCount(), 0u);
    EXPECT_EQ(graph.GetTypeStr(), _bstr_t("trapeze"));  // the type files name it by
    const Graph flagged(0.25f, true);
    EXPECT_EQ(flagged.GetMaxOpacity(), 0.25f);
    EXPECT_TRUE(flagged.GetFlag());
}

TEST(VXR_VOLR_TrapezeOpacityGraph, CopiesAndClonesCarryEveryFieldAndAreIndependent) {
    Graph source = MakeGraph({{0.1f, 0.2f}, {0.5f, 0.9f}, {0.5f, 0.1f}}, 0.75f);
    source = Graph(source);  // self-contained copy round
    Graph flagged(0.75f, true);
    flagged = source;  // assignment takes the flag too
    EXPECT_FALSE(flagged.GetFlag());
    source.SetBPP(12);

    Graph copy(source);
    Graph assigned(0.1f, true);
    assigned = source;
    VXR_VOLR_OpacityGraphIfc* cloneIfc = source.Clone();
    auto* clone = dynamic_cast<Graph*>(cloneIfc);
    ASSERT_NE(clone, nullptr);
    for (const Graph* g : {static_cast<const Graph*>(&copy), static_cast<const Graph*>(&assigned),
                           static_cast<const Graph*>(clone)}) {
        EXPECT_EQ(PointsOf(*g), PointsOf(source));
        EXPECT_EQ(g->GetMaxOpacity(), 0.75f);
        EXPECT_EQ(g->GetBPP(), 12);
        EXPECT_EQ(g->GetMaxPixelValue(), 4095);
        EXPECT_FALSE(g->GetFlag());
    }
    // Equal x keep their insertion order through the copies.
    EXPECT_EQ(copy.GetOpacityPoint(1).m_fY, 0.9f);
    EXPECT_EQ(copy.GetOpacityPoint(2).m_fY, 0.1f);

    clone->UpdateOpPoint(0, Point(0.0f, 0.0f));
    copy.RemoveOpPoint(0);
    assigned.SetMaxOpacity(0.5f);
    EXPECT_EQ(source.GetOpacityPoint(0).m_fX, 0.1f);
    EXPECT_EQ(source.GetOpPointCount(), 3u);
    EXPECT_EQ(source.GetMaxOpacity(), 0.75f);
    delete cloneIfc;

    Graph flaggedSource(1.0f, true);
    EXPECT_TRUE(Graph(flaggedSource).GetFlag());
}

TEST(VXR_VOLR_TrapezeOpacityGraph, SetBPPSetsTheMaximumPixelValue) {
    Graph graph;
    graph.SetBPP(12);
    EXPECT_EQ(graph.GetBPP(), 12);
    EXPECT_EQ(graph.GetMaxPixelValue(), 4095);
    graph.SetBPP(1);
    EXPECT_EQ(graph.GetMaxPixelValue(), 1);
    graph.SetBPP(31);
    EXPECT_EQ(graph.GetMaxPixelValue(), INT_MAX);
    graph.SetBPP(0);
    EXPECT_EQ(graph.GetMaxPixelValue(), 0);
}

// --- points ------------------------------------------------------------------------

TEST(VXR_VOLR_TrapezeOpacityGraph, AddedPointsGoAfterEveryPointWithTheSameX) {
    Graph graph = MakeGraph({{0.8f, 0.0f}, {0.4f, 0.7f}, {0.1f, 0.3f}});
    graph.AddOpacityPoint(Point(0.4f, 0.1f));
    graph.AddOpacityPoint(Point(0.4f, 0.2f));
    EXPECT_EQ(PointsOf(graph),
              (std::vector<std::pair<float, float>>{
                  {0.1f, 0.3f}, {0.4f, 0.7f}, {0.4f, 0.1f}, {0.4f, 0.2f}, {0.8f, 0.0f}}));
}

TEST(VXR_VOLR_TrapezeOpacityGraph, UpdateOverwritesInPlaceWithoutResorting) {
    Graph graph = MakeGraph({{0.1f, 0.0f}, {0.5f, 1.0f}});
    graph.UpdateOpPoint(0, Point(0.9f, 0.4f));
    EXPECT_EQ(PointsOf(graph), (std::vector<std::pair<float, float>>{{0.9f, 0.4f}, {0.5f, 1.0f}}));
    graph.RemoveOpPoint(0);
    EXPECT_EQ(PointsOf(graph), (std::vector<std::pair<float, float>>{{0.5f, 1.0f}}));
}

TEST(VXR_VOLR_TrapezeOpacityGraph, BadIndicesRaiseTheBoundsErrorAndChangeNothing) {
    Graph graph = MakeGraph({{0.1f, 0.0f}, {0.5f, 1.0f}});
    const auto before = PointsOf(graph);
    EXPECT_THROW(graph.GetOpacityPoint(2), RWBoundsErr);
    EXPECT_THROW(graph.GetOpacityPoint(-1), RWBoundsErr);
    EXPECT_THROW(graph.GetOpacityPoint(INT_MIN), RWBoundsErr);
    EXPECT_THROW(graph.UpdateOpPoint(2, Point(0.0f, 0.0f)), RWBoundsErr);
    EXPECT_THROW(graph.UpdateOpPoint(-1, Point(0.0f, 0.0f)), RWBoundsErr);
    EXPECT_THROW(graph.RemoveOpPoint(2), RWBoundsErr);
    EXPECT_THROW(graph.RemoveOpPoint(-1), RWBoundsErr);
    EXPECT_EQ(PointsOf(graph), before);
    try {
        graph.GetOpacityPoint(5);
        FAIL();
    } catch (const RWBoundsErr& error) {
        EXPECT_STREQ(error.what(), "Index (5) out of range [0->2)");
    }
}

TEST(VXR_VOLR_TrapezeOpacityGraph, ShrinkKeepsTheEndsOfEveryRunOfEqualOpacity) {
    auto graph = MakeGraph<ShrinkableGraph>(
        {{0.0f, 0.0f}, {0.1f, 1.0f}, {0.2f, 1.0f}, {0.3f, 1.0f}, {0.4f, 1.0f}, {0.5f, 0.0f}});
    graph.shrink();
    EXPECT_EQ(PointsOf(graph), (std::vector<std::pair<float, float>>{
                                   {0.0f, 0.0f}, {0.1f, 1.0f}, {0.4f, 1.0f}, {0.5f, 0.0f}}));

    auto flat = MakeGraph<ShrinkableGraph>({{0.1f, 0.5f}, {0.2f, 0.5f}, {0.3f, 0.5f}});
    flat.shrink();
    EXPECT_EQ(PointsOf(flat), (std::vector<std::pair<float, float>>{{0.1f, 0.5f}, {0.3f, 0.5f}}));

    auto two = MakeGraph<ShrinkableGraph>({{0.1f, 0.5f}, {0.2f, 0.5f}});
    two.shrink();
    EXPECT_EQ(two.GetOpPointCount(), 2u);

    // Only y counts: equal y at different heights of x, and two separate runs.
    auto runs = MakeGraph<ShrinkableGraph>({{0.0f, 0.3f},
                                            {0.1f, 0.3f},
                                            {0.2f, 0.3f},
                                            {0.3f, 0.6f},
                                            {0.4f, 0.3f},
                                            {0.5f, 0.3f},
                                            {0.6f, 0.3f},
                                            {0.7f, 0.3f}});
    runs.shrink();
    EXPECT_EQ(PointsOf(runs),
              (std::vector<std::pair<float, float>>{
                  {0.0f, 0.3f}, {0.2f, 0.3f}, {0.3f, 0.6f}, {0.4f, 0.3f}, {0.7f, 0.3f}}));
}

// --- relative opacity ---------------------------------------------------------------

TEST(VXR_VOLR_TrapezeOpacityGraph, TrapezoidAnswersItsPlateauAndVerticalEdges) {
    const Graph full = MakeGraph(Trapezoid(), 1.0f);
    EXPECT_EQ(full.GetRelativeOpacity(0.1f), 0.0f);
    EXPECT_EQ(full.GetRelativeOpacity(0.2f), 1.0f);
    EXPECT_EQ(full.GetRelativeOpacity(0.5f), 1.0f);
    EXPECT_EQ(full.GetRelativeOpacity(0.8f), 0.0f);
    EXPECT_EQ(full.GetRelativeOpacity(0.9f), 0.0f);
    EXPECT_EQ(full.GetRelativeOpacity(0.0f), 0.0f);
    EXPECT_EQ(full.GetRelativeOpacity(1.0f), 0.0f);

    const Graph half = MakeGraph(Trapezoid(), 0.5f);
    for (const float x : {0.1f, 0.2f, 0.5f, 0.8f, 0.9f, 0.35f, 0.0f, 1.0f}) {
        EXPECT_EQ(half.GetRelativeOpacity(x), full.GetRelativeOpacity(x) * 0.5f) << x;
    }
    EXPECT_EQ(half.GetRelativeOpacity(0.5f), 0.5f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, ValuesOutsideZeroToOneAreClamped) {
    const Graph graph = MakeGraph({{0.0f, 0.25f}, {1.0f, 0.75f}});
    EXPECT_EQ(graph.GetRelativeOpacity(-3.0f), graph.GetRelativeOpacity(0.0f));
    EXPECT_EQ(graph.GetRelativeOpacity(7.0f), graph.GetRelativeOpacity(1.0f));
    EXPECT_EQ(graph.GetRelativeOpacity(-3.0f), 0.25f);
    EXPECT_EQ(graph.GetRelativeOpacity(7.0f), 0.75f);
    EXPECT_EQ(graph.GetRelativeOpacity(std::numeric_limits<float>::infinity()), 0.75f);
    EXPECT_EQ(graph.GetRelativeOpacity(-std::numeric_limits<float>::infinity()), 0.25f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, InterpolatesBetweenPointsAndHoldsTheEndsBeyondThem) {
    const Graph graph = MakeGraph({{0.3f, 0.2f}, {0.7f, 0.6f}});
    for (const float x : {0.0f, 0.1f, 0.29f, 0.3f}) {
        EXPECT_FLOAT_EQ(graph.GetRelativeOpacity(x), 0.2f) << x;
    }
    EXPECT_FLOAT_EQ(graph.GetRelativeOpacity(0.5f), 0.4f);
    EXPECT_FLOAT_EQ(graph.GetRelativeOpacity(0.4f), 0.3f);
    for (const float x : {0.7f, 0.8f, 1.0f}) {
        EXPECT_FLOAT_EQ(graph.GetRelativeOpacity(x), 0.6f) << x;
    }
    // With maximum opacity 0.5 the interpolated value halves as well.
    const Graph half = MakeGraph({{0.3f, 0.2f}, {0.7f, 0.6f}}, 0.5f);
    EXPECT_FLOAT_EQ(half.GetRelativeOpacity(0.5f), 0.2f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, SinglePointAnswersItsOpacityEverywhere) {
    const Graph graph = MakeGraph({{0.5f, 0.8f}}, 0.5f);
    for (const float x : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, -2.0f}) {
        EXPECT_EQ(graph.GetRelativeOpacity(x), 0.4f) << x;
    }
    EXPECT_EQ(graph.GetRelativeOpacity(std::numeric_limits<float>::quiet_NaN()), 0.4f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, AValueOnAnInnerPointIsTakenByTheNextSegmentThatEndsBeyondIt) {
    // A long next segment: its left end's y.
    const Graph peak = MakeGraph({{0.0f, 0.0f}, {0.5f, 1.0f}, {1.0f, 0.0f}});
    EXPECT_EQ(peak.GetRelativeOpacity(0.5f), 1.0f);
    // A short next segment (below 0.0001): its right end's y, though x sits on
    // the point before it.
    const Graph step = MakeGraph({{0.0f, 0.0f}, {0.5f, 0.2f}, {0.50005f, 0.9f}, {1.0f, 0.9f}});
    EXPECT_EQ(step.GetRelativeOpacity(0.5f), 0.9f);
    // A segment of 0.0001 or more is interpolated, however steep.
    const Graph steep = MakeGraph({{0.0f, 0.0f}, {0.5f, 0.0f}, {0.5002f, 1.0f}, {1.0f, 1.0f}});
    EXPECT_NEAR(steep.GetRelativeOpacity(0.5001f), 0.5f, 0.01f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, OnlyTheLastSegmentReachesBeyondItsEnd) {
    // A vertical last edge: x exactly on it is taken by the last segment's
    // tolerance and answers the top of the edge.
    const Graph edge = MakeGraph({{0.0f, 0.0f}, {0.6f, 0.2f}, {0.6f, 1.0f}});
    EXPECT_EQ(edge.GetRelativeOpacity(0.6f), 1.0f);
    // An inner vertical edge gets no tolerance: x on it goes to the segment
    // after it, which starts at the top of the edge.
    const Graph inner =
        MakeGraph({{0.0f, 0.0f}, {0.6f, 0.2f}, {0.6f, 1.0f}, {0.9f, 0.4f}, {1.0f, 0.4f}});
    EXPECT_EQ(inner.GetRelativeOpacity(0.6f), 1.0f);
    // Just below an inner point the segment ending there decides.
    const float below = std::nextafter(0.6f, 0.0f);
    EXPECT_NEAR(inner.GetRelativeOpacity(below), 0.2f, 1e-6f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, NaNGivesZeroOnGraphsOfTwoOrMorePoints) {
    const Graph graph = MakeGraph({{0.0f, 0.7f}, {1.0f, 0.7f}});
    EXPECT_EQ(graph.GetRelativeOpacity(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, EmptyGraphRaisesTheBoundsErrorForIndexZero) {
    const Graph graph;
    try {
        graph.GetRelativeOpacity(0.5f);
        FAIL();
    } catch (const RWBoundsErr& error) {
        EXPECT_STREQ(error.what(), "Index (0) out of range [0->0)");
    }
}

// --- storage -------------------------------------------------------------------------

TEST(VXR_VOLR_TrapezeOpacityGraph, ExportWritesNumberedPointsThenMaximumOpacity) {
    Graph graph = MakeGraph({{0.3f, 0.0f}, {0.6f, 1.0f}}, 1.0f);
    const CFG_ITreePtr tree = graph.ExportToCFG();
    ASSERT_TRUE(tree);
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"point01_x", "point01_y", "point02_x",
                                                          "point02_y", "max_opacity"}));
    EXPECT_EQ(tree->GetValueKind("point01_x"), CFG_ValueKind::String);
    EXPECT_EQ(tree->GetString("point01_x"), _bstr_t("0.3000000119"));  // 0.3f, 10 digits
    EXPECT_EQ(tree->GetString("point01_y"), _bstr_t("0"));
    EXPECT_EQ(tree->GetString("point02_y"), _bstr_t("1"));
    EXPECT_EQ(tree->GetString("max_opacity"), _bstr_t("1"));
    EXPECT_EQ(tree->GetNodeName(), _bstr_t(""));
    EXPECT_EQ(tree->GetChildNames("")->GetCount(), 0);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, ExportShrinksTheGraphItselfFirst) {
    Graph graph = MakeGraph({{0.0f, 0.0f}, {0.1f, 1.0f}, {0.2f, 1.0f}, {0.3f, 1.0f}, {0.4f, 0.0f}});
    const CFG_ITreePtr tree = graph.ExportToCFG();
    EXPECT_EQ(graph.GetOpPointCount(), 4u);
    EXPECT_EQ(tree->GetValueCount(""), 4 * 2 + 1);
    EXPECT_EQ(Graph(tree).GetOpPointCount(), 4u);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, WrittenGraphReadsBackFieldByField) {
    Graph graph = MakeGraph(
        {{0.0f, 0.0f}, {0.123456789f, 0.25f}, {0.2f, 0.5f}, {0.2f, 0.875f}, {0.99999f, 0.125f}},
        0.625f);
    graph.SetBPP(12);  // not stored
    const CFG_ITreePtr tree = graph.ExportToCFG();
    const Graph back(tree);
    EXPECT_EQ(PointsOf(back), PointsOf(graph));
    EXPECT_EQ(back.GetMaxOpacity(), 0.625f);
    EXPECT_EQ(back.GetBPP(), 0);
    EXPECT_EQ(back.GetMaxPixelValue(), 0);
    EXPECT_FALSE(back.GetFlag());
}

TEST(VXR_VOLR_TrapezeOpacityGraph, OpacitiesAreStoredToThreeSignificantDigits) {
    Graph graph = MakeGraph({{0.0f, 0.12345f}, {1.0f, 0.98765f}}, 0.33333f);
    const Graph back(graph.ExportToCFG());
    EXPECT_EQ(YsOf(back), (std::vector<float>{0.123f, 0.988f}));
    EXPECT_EQ(back.GetMaxOpacity(), 0.333f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, PointNamesGainDigitsFromTheHundredthPointAndStillReadBack) {
    Graph graph(1.0f);
    const int count = 1200;  // beyond a thousand, through three- and four-digit names
    for (int i = 0; i < count; ++i) {
        // Alternate opacities so shrink keeps every point.
        graph.AddOpacityPoint(Point(static_cast<float>(i) / count, (i % 2) ? 1.0f : 0.0f));
    }
    const CFG_ITreePtr tree = graph.ExportToCFG();
    ASSERT_EQ(graph.GetOpPointCount(), static_cast<unsigned int>(count));
    const std::vector<std::string> names = ValueNames(tree);
    EXPECT_EQ(names[9 * 2], "point10_x");
    EXPECT_EQ(names[98 * 2 + 1], "point99_y");
    EXPECT_EQ(names[99 * 2], "point100_x");
    EXPECT_EQ(names[999 * 2], "point1000_x");
    const Graph back(tree);
    EXPECT_EQ(PointsOf(back), PointsOf(graph));
}

TEST(VXR_VOLR_TrapezeOpacityGraph, ReadingKeepsOnlyPointsWithBothHalves) {
    const Graph halfOnly = Graph(GraphNode(
        {{"point01_x", "0.1"}, {"point02_x", "0.5"}, {"point02_y", "1"}, {"max_opacity", "1"}}));
    EXPECT_EQ(PointsOf(halfOnly), (std::vector<std::pair<float, float>>{{0.5f, 1.0f}}));

    // point02 alone, written y first: one point.
    const Graph second = Graph(GraphNode({{"point02_y", "1"}, {"point02_x", "0.5"}}));
    EXPECT_EQ(PointsOf(second), (std::vector<std::pair<float, float>>{{0.5f, 1.0f}}));
    EXPECT_EQ(second.GetMaxOpacity(), 0.0f);  // no "max_opacity"
}

TEST(VXR_VOLR_TrapezeOpacityGraph, ANodeWithoutPointNamesGivesAnEmptyGraphOfOpacityZero) {
    const Graph onlyMax = Graph(GraphNode({{"max_opacity", "0.7"}, {"type", "trapeze"}}));
    EXPECT_EQ(onlyMax.GetOpPointCount(), 0u);
    EXPECT_EQ(onlyMax.GetMaxOpacity(), 0.0f);

    CFG_ITreePtr empty = CFG_CreateTree();
    empty->Init();
    const Graph none(empty);
    EXPECT_EQ(none.GetOpPointCount(), 0u);
    EXPECT_EQ(none.GetMaxOpacity(), 0.0f);

    // "px" does not begin with "point"; "pointab_x" does, so "max_opacity" is
    // read beside it although that name gives no point.
    EXPECT_EQ(Graph(GraphNode({{"px", "0.5"}, {"max_opacity", "0.7"}})).GetMaxOpacity(), 0.0f);
    const Graph odd = Graph(GraphNode({{"pointab_x", "0.5"}, {"max_opacity", "0.7"}}));
    EXPECT_EQ(odd.GetOpPointCount(), 0u);
    EXPECT_EQ(odd.GetMaxOpacity(), 0.7f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, MalformedPointNamesAreIgnoredWithoutTouchingOtherPoints) {
    const Graph graph = Graph(GraphNode({
        {"point00_x", "0.9"},
        {"point00_y", "0.9"},  // number 0: no point
        {"pointab_x", "0.9"},
        {"pointab_y", "0.9"},  // not a number
        {"point", "0.9"},
        {"point_x", "0.9"},             // no number at all
        {"px", "0.9"},                  // no "point"
        {"point01x", "0.9"},            // no "_"
        {"point-1_x", "0.9"},           // a sign
        {"point99999999999_x", "0.9"},  // beyond int
        {"point4294967297_y", "0.9"},   // would wrap to 1 in 32 bits
        {"point01_x", "0.25"},
        {"point01_y", "0.5"},  // the one good point
        {"max_opacity", "1"},
    }));
    EXPECT_EQ(PointsOf(graph), (std::vector<std::pair<float, float>>{{0.25f, 0.5f}}));
    EXPECT_EQ(graph.GetMaxOpacity(), 1.0f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, ANameEndingInXNamesTheXAndAnyOtherLastCharacterTheY) {
    const Graph graph = Graph(GraphNode({
        {"point01_x", "0.25"},
        {"point01_z", "0.5"},   // not x: the y
        {"point02_X", "0.75"},  // upper case is not x either
        {"point02_x", "0.6"},
        {"point03_x", "0.9"},
        {"point03_", "0.8"},  // "_" as the last character: no axis character, ignored
        {"point04_y", "0.1"},
        {"point04x", "0.3"},  // no "_": ignored, so point 4 lacks its x
    }));
    EXPECT_EQ(PointsOf(graph),
              (std::vector<std::pair<float, float>>{{0.25f, 0.5f}, {0.6f, 0.75f}}));

    // A later name of the same half replaces an earlier one, whatever its last
    // character.
    const Graph twice =
        Graph(GraphNode({{"point01_x", "0.5"}, {"point01_y", "0.1"}, {"point01_q", "0.2"}}));
    EXPECT_EQ(PointsOf(twice), (std::vector<std::pair<float, float>>{{0.5f, 0.2f}}));
}

TEST(VXR_VOLR_TrapezeOpacityGraph, ThreeDigitNamesAreTheirOwnPointsNotAliasesOfTwoDigitOnes) {
    // point105 must not land on point05 (the two digits before "_x").
    const Graph graph = Graph(GraphNode({{"point05_x", "0.1"},
                                         {"point05_y", "0.2"},
                                         {"point105_x", "0.9"},
                                         {"point105_y", "0.8"},
                                         {"point1_x", "0.5"},  // one digit: point 1
                                         {"point001_y", "0.4"}}));
    EXPECT_EQ(PointsOf(graph),
              (std::vector<std::pair<float, float>>{{0.1f, 0.2f}, {0.5f, 0.4f}, {0.9f, 0.8f}}));
}

TEST(VXR_VOLR_TrapezeOpacityGraph, PointsAreSortedByXWhateverTheirNumbers) {
    const Graph graph = Graph(GraphNode({{"point01_x", "0.8"},
                                         {"point01_y", "0.1"},
                                         {"point02_x", "0.2"},
                                         {"point02_y", "0.3"},
                                         {"point03_x", "0.2"},
                                         {"point03_y", "0.4"}}));
    EXPECT_EQ(PointsOf(graph),
              (std::vector<std::pair<float, float>>{{0.2f, 0.3f}, {0.2f, 0.4f}, {0.8f, 0.1f}}));
}

TEST(VXR_VOLR_TrapezeOpacityGraph, MissingOrNonNumericValuesReadAsZero) {
    CFG_ITreePtr tree = GraphNode({{"point01_x", "abc"}, {"point01_y", ""}, {"max_opacity", "x"}});
    tree->SetInt("point02_x", 1);  // an integer value reads through its text
    tree->SetString("point02_y", "0,5");
    const Graph graph(tree);
    EXPECT_EQ(PointsOf(graph), (std::vector<std::pair<float, float>>{{0.0f, 0.0f}, {1.0f, 0.5f}}));
    EXPECT_EQ(graph.GetMaxOpacity(), 0.0f);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, NullTreeRaisesTheTreeError) {
    const CFG_ITreePtr null;
    EXPECT_THROW(Graph{null}, _com_error);
}

TEST(VXR_VOLR_TrapezeOpacityGraph, NumbersBeyondFloatReadAsInfinityAndEvaluateSafely) {
    const Graph graph = Graph(GraphNode({{"point01_x", "-1e300"},
                                         {"point01_y", "0.5"},
                                         {"point02_x", "1e300"},
                                         {"point02_y", "1e300"},
                                         {"max_opacity", "1"}}));
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(PointsOf(graph), (std::vector<std::pair<float, float>>{{-inf, 0.5f}, {inf, inf}}));
    // (x - x0) / (x1 - x0) is inf / inf: NaN, never an integer conversion.
    EXPECT_TRUE(std::isnan(graph.GetRelativeOpacity(0.5f)));
}

// --- batch evaluation ------------------------------------------------------------------

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The float nearest to d and its two neighbours: a position on a tolerance edge
// and a hair to either side.
void AddAround(std::vector<float>& positions, double d) {
    const auto f = static_cast<float>(d);
    positions.push_back(f);
    positions.push_back(std::nextafter(f, -kInf));
    positions.push_back(std::nextafter(f, kInf));
}

class GraphGenerator : public vxrp_test::TestRandom {
  public:
    explicit GraphGenerator(unsigned seed) : TestRandom(seed) {}

    // Points that often sit a vertical-edge width (0.0001) apart, just below or
    // just above it, or on one x; now and then a non-finite x or points out of
    // order (UpdateOpPoint does not re-sort).
    Graph Make() {
        const float maxOpacity = Chance(60) ? 1.0f : Uniform(0.0f, 1.3f);
        Graph graph(maxOpacity);
        const int count = Int(1, 7);
        float x = Uniform(-0.1f, 1.0f);
        for (int i = 0; i < count; ++i) {
            if (i > 0) {
                switch (Int(0, 5)) {
                    case 0:
                        break;  // the same x: a vertical edge
                    case 1:
                        x = std::nextafter(static_cast<float>(x + 0.0001), -kInf);
                        break;
                    case 2:
                        x = std::nextafter(static_cast<float>(x + 0.0001), kInf);
                        break;
                    default:
                        x += Uniform(0.0f, 0.4f);
                }
            }
            const float y = Chance(30) ? (Chance(50) ? 0.0f : 1.0f) : Uniform(0.0f, 1.0f);
            graph.AddOpacityPoint(Point(x, y));
        }
        if (Chance(3)) {
            graph.AddOpacityPoint(Point(Chance(50) ? kInf : -kInf, 0.5f));
        }
        if (count >= 3 && Chance(8)) {
            graph.UpdateOpPoint(1, Point(Uniform(0.0f, 1.0f), 0.25f));
        }
        return graph;
    }

    // Positions on and beside every point and every segment's reach, the ends
    // of 0..1, random ones, values outside 0..1 and non-finite ones.
    std::vector<float> Positions(const Graph& graph) {
        std::vector<float> positions = {0.0f, -0.0f, 1.0f, -0.5f, 2.0f, kInf, -kInf, kNaN, kNaN};
        for (unsigned int i = 0; i < graph.GetOpPointCount(); ++i) {
            const float x = graph.GetOpacityPoint(static_cast<int>(i)).m_fX;
            AddAround(positions, x);
            AddAround(positions, x + static_cast<double>(1e-6f));
        }
        for (int i = 0; i < 300; ++i) {
            positions.push_back(Uniform(-0.05f, 1.05f));
        }
        return positions;
    }

    // The same positions ascending (NaN last), descending and shuffled.
    std::vector<std::vector<float>> Orders(std::vector<float> positions) {
        std::shuffle(positions.begin(), positions.end(), m_Rng);
        std::vector<float> ascending = positions;
        const auto numbers = std::partition(ascending.begin(), ascending.end(),
                                            [](float p) { return !std::isnan(p); });
        std::sort(ascending.begin(), numbers);
        std::vector<float> descending(ascending.rbegin(), ascending.rend());
        return {ascending, descending, positions};
    }
};

// The batch answers against GetRelativeOpacity, compared as bit patterns.
testing::AssertionResult BatchMatchesScalar(const Graph& graph, const std::vector<float>& x) {
    std::vector<float> batch(x.size(), -7.0f);
    graph.EvaluateRange(x.data(), static_cast<int>(x.size()), batch.data());
    const Graph::Evaluator evaluator(graph);
    std::vector<float> prepared(x.size(), -7.0f);
    evaluator.Evaluate(x.data(), static_cast<int>(x.size()), prepared.data());
    for (std::size_t j = 0; j < x.size(); ++j) {
        const float expected = graph.GetRelativeOpacity(x[j]);
        if (std::bit_cast<std::uint32_t>(batch[j]) != std::bit_cast<std::uint32_t>(expected) ||
            std::bit_cast<std::uint32_t>(prepared[j]) != std::bit_cast<std::uint32_t>(expected)) {
            return testing::AssertionFailure()
                   << "at x = " << x[j] << " (entry " << j << "): batch " << batch[j]
                   << ", evaluator " << prepared[j] << ", GetRelativeOpacity " << expected;
        }
    }
    return testing::AssertionSuccess();
}

std::string Describe(const Graph& graph) {
    std::string text = "max " + std::to_string(graph.GetMaxOpacity()) + ":";
    char point[64];
    for (const auto& [x, y] : PointsOf(graph)) {
        std::snprintf(point, sizeof point, " (%.9g, %.9g)", x, y);
        text += point;
    }
    return text;
}

// A graph that answers through its own override, counting the calls.
class CountingGraph : public Graph {
  public:
    float GetRelativeOpacity(float x) const override {
        m_Asked.push_back(x);
        return x * 2.0f;
    }
    mutable std::vector<float> m_Asked;
};

}  // namespace

TEST(VXR_VOLR_TrapezeOpacityGraph, BatchEvaluationEqualsGetRelativeOpacityBitForBitInEveryOrder) {
    GraphGenerator generate(20240611u);
    for (int round = 0; round < 400; ++round) {
        const Graph graph = generate.Make();
        for (const std::vector<float>& x : generate.Orders(generate.Positions(graph))) {
            ASSERT_TRUE(BatchMatchesScalar(graph, x))
                << "round " << round << ", " << Describe(graph);
        }
    }
}

TEST(VXR_VOLR_TrapezeOpacityGraph, BatchEvaluationKeepsEveryEdgeCaseOfTheScalarOne) {
    std::vector<Graph> graphs;
    graphs.push_back(MakeGraph(Trapezoid()));
    graphs.push_back(MakeGraph({{0.5f, 0.8f}}, 0.5f));                        // one point
    graphs.push_back(MakeGraph({{0.0f, 0.0f}, {0.6f, 0.2f}, {0.6f, 1.0f}}));  // last edge vertical
    graphs.push_back(MakeGraph({{0.0f, 0.0f}, {0.5f, 0.2f}, {0.50005f, 0.9f}, {1.0f, 0.9f}}));
    graphs.push_back(MakeGraph({{0.3f, 0.3f}, {0.3f, 0.6f}, {0.3f, 0.9f}}));  // all on one x
    graphs.push_back(MakeGraph({{0.2f, 0.1f}, {0.7f, 0.9f}}, 0.0f));
    graphs.push_back(Graph(GraphNode({{"point01_x", "-1e300"},
                                      {"point01_y", "0.5"},
                                      {"point02_x", "1e300"},
                                      {"point02_y", "1e300"},
                                      {"max_opacity", "1"}})));
    // Out of order after an update: the pieces must follow the scalar walk.
    Graph shuffled = MakeGraph({{0.1f, 0.0f}, {0.4f, 1.0f}, {0.6f, 0.5f}, {0.9f, 0.2f}});
    shuffled.UpdateOpPoint(1, Point(0.8f, 0.7f));
    graphs.push_back(shuffled);

    GraphGenerator generate(7u);
    for (const Graph& graph : graphs) {
        const std::vector<float> positions = generate.Positions(graph);
        for (const std::vector<float>& x : generate.Orders(positions)) {
            EXPECT_TRUE(BatchMatchesScalar(graph, x)) << Describe(graph);
        }
    }
}

TEST(VXR_VOLR_TrapezeOpacityGraph,
     BatchEvaluationOfAnEmptyGraphRaisesTheBoundsErrorAndOfNothingNot) {
    const Graph graph;
    const float x[] = {0.5f, 0.25f};
    float opacity[2] = {};
    try {
        graph.EvaluateRange(x, 2, opacity);
        FAIL();
    } catch (const RWBoundsErr& error) {
        EXPECT_STREQ(error.what(), "Index (0) out of range [0->0)");
    }
    graph.EvaluateRange(x, 0, opacity);  // no position, no evaluation
}

TEST(VXR_VOLR_TrapezeOpacityGraph, BatchEvaluationAsksADerivedGraphPositionByPosition) {
    CountingGraph graph;
    const std::vector<float> x = {0.75f, 0.25f, kNaN, 3.0f};
    std::vector<float> opacity(x.size());
    graph.EvaluateRange(x.data(), static_cast<int>(x.size()), opacity.data());
    ASSERT_EQ(graph.m_Asked.size(), x.size());
    EXPECT_EQ(graph.m_Asked[0], 0.75f);
    EXPECT_EQ(graph.m_Asked[3], 3.0f) << "the override gets the position unclamped";
    EXPECT_EQ(opacity[1], 0.5f);
    EXPECT_TRUE(std::isnan(opacity[2]));
}

TEST(VXR_VOLR_TrapezeOpacityGraph, PreparedEvaluatorCoversLongRunsBlockByBlock) {
    const Graph graph = MakeGraph({{0.1f, 0.0f}, {0.3f, 1.0f}, {0.5f, 0.4f}, {0.9f, 0.9f}}, 0.8f);
    std::vector<float> x(5000);
    for (std::size_t j = 0; j < x.size(); ++j) {
        x[j] = static_cast<float>(j) / 4999.0f;
    }
    EXPECT_TRUE(BatchMatchesScalar(graph, x));
    std::reverse(x.begin(), x.end());
    EXPECT_TRUE(BatchMatchesScalar(graph, x));
}
