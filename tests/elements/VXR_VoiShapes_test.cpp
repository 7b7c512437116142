#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "GRA/GRA_Ellipse.h"
#include "GRA/GRA_GeneralParams.h"
#include "RW/RW_Errors.h"
#include "UI/UI_RecordingContext.h"
#include "elements/VXR_FreeVoi.h"
#include "elements/VXR_OvalVoi.h"
#include "elements/VXR_RectVoi.h"
#include "support/AllocationFailure.h"
#include "support/TestRandom.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<UTL_Point> points_of(const VXR_Voi& voi) {
    return std::vector<UTL_Point>(voi.GetPoints().begin(), voi.GetPoints().end());
}

std::vector<UTL_Point> pts(std::initializer_list<std::pair<int, int>> list) {
    std::vector<UTL_Point> out;
    for (const auto& [x, y] : list) {
        out.emplace_back(x, y);
    }
    return out;
}

std::vector<UTL_Point> ellipse_of(const VXR_OvalVoi& oval) {
    std::vector<UTL_Point> out;
    for (int i = 0; i < oval.GetEllipsePointCount(); ++i) {
        out.emplace_back(oval.GetEllipsePoints()[2 * i], oval.GetEllipsePoints()[2 * i + 1]);
    }
    return out;
}

// An oval whose four points are exactly the given ones.
std::unique_ptr<VXR_OvalVoi> oval_with(const std::vector<UTL_Point>& corners) {
    auto oval = std::make_unique<VXR_OvalVoi>();
    for (const UTL_Point& p : corners) {
        oval->AddPoint(p.x, p.y);
    }
    return oval;
}

// The drawing set-up as the recording context shows it, for the settings the
// fixture gives context kind 2.
const Lines kSetUp = {
    "GetContextKind() -> 2",
    "PrepareDrawing()",
    "SelectFont(\"DejaVu Serif\", 70, 0, 1)",
    "SelectPen((200,10,10), 2, 0)",
    "SetDrawColor((200,10,10))",
};

// DrawLittleSquare at (x, y) with the fixture's half vertex size 2.
Lines square_at(int x, int y) {
    auto p = [](int px, int py) {
        return "(" + std::to_string(px) + "," + std::to_string(py) + ")";
    };
    return {"GetContextKind() -> 2", "DrawLine(" + p(x - 2, y - 2) + ", " + p(x + 2, y - 2) + ")",
            "DrawLine(" + p(x + 2, y - 2) + ", " + p(x + 2, y + 2) + ")",
            "DrawLine(" + p(x + 2, y + 2) + ", " + p(x - 2, y + 2) + ")",
            "DrawLine(" + p(x - 2, y + 2) + ", " + p(x - 2, y - 2) + ")"};
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Gives context kind 2 settings of its own, so that every test sees which
// kind's settings an element used, and puts every kind back afterwards.
class VoiDrawing : public testing::Test {
  protected:
    void SetUp() override {
        GRA_GeneralParamsData& film = GRA_GeneralParams::GetGeneralParams(2);
        film.SetHighlightColor(UTL_Color(200, 10, 10));
        film.SetSelectedColor(UTL_Color(1, 1, 1));
        film.SetPenWidth(2);
        film.SetTitleFont("DejaVu Serif");
        film.SetFontSize(7);
        film.SetHalfVertexSize(2);
    }
    void TearDown() override { GRA_GeneralParams::ResetAll(); }

    UI_RecordingContext dc{2};
};

void draw(VXR_Voi& voi, UI_DrawingContextInterface& dc, bool flag3 = true) {
    voi.Draw(nullptr, nullptr, &dc, false, true, 0, flag3);
}

}  // namespace

TEST(VXR_RectVoi, ResizeReshapeAndMoveEditTheCornersAsTheToolsExpect) {
    VXR_RectVoi rect(10, 20);
    EXPECT_EQ(points_of(rect), pts({{10, 20}, {10, 20}, {10, 20}, {10, 20}}));
    rect.Resize(30, 50);
    EXPECT_EQ(points_of(rect), pts({{10, 20}, {30, 20}, {30, 50}, {10, 50}}));
    rect.Reshape(5, -5);
    EXPECT_EQ(points_of(rect), pts({{10, 20}, {35, 20}, {35, 45}, {10, 45}}));
    rect.Move(0, 0);
    EXPECT_EQ(points_of(rect), pts({{0, 0}, {25, 0}, {25, 25}, {0, 25}}));
}

TEST(VXR_FreeVoi, MoveShiftsEveryPointByTheFirstPointsOffset) {
    VXR_FreeVoi voi(0, 0);
    voi.MoveEndPoint(4, 0);
    for (const auto& [x, y] : {std::pair{4, 4}, {0, 4}, {2, 6}}) {
        voi.AddPoint(x, y);
    }
    voi.Move(10, 10);
    EXPECT_EQ(points_of(voi), pts({{10, 10}, {14, 10}, {14, 14}, {10, 14}, {12, 16}}));
    VXR_FreeVoi empty;
    empty.Move(3, 3);  // nothing to index, nothing raised
    EXPECT_TRUE(empty.GetPoints().isEmpty());
}

TEST(VXR_RectVoi, CornerEditsOnAShapeWithoutFourCornersRaiseAndChangeNothing) {
    VXR_RectVoi rect;
    VXR_OvalVoi oval;
    EXPECT_THROW(rect.Reshape(1, 1), RWBoundsErr);
    EXPECT_THROW(rect.Resize(1, 1), RWBoundsErr);
    EXPECT_THROW(rect.Move(1, 1), RWBoundsErr);
    EXPECT_THROW(oval.Reshape(1, 1), RWBoundsErr);
    EXPECT_THROW(oval.Resize(1, 1), RWBoundsErr);
    EXPECT_THROW(oval.Move(1, 1), RWBoundsErr);
    UI_RecordingContext dc;
    EXPECT_THROW(draw(rect, dc), RWBoundsErr);
    EXPECT_TRUE(dc.Calls().empty());

    // Three points: the edit fails on the fourth before touching the others.
    VXR_RectVoi partial(1, 2);
    partial.Set(1, 1, 2);
    partial.AddPoint(3, 4);
    partial.AddPoint(5, 6);
    const std::vector<UTL_Point> before = points_of(partial);
    EXPECT_THROW(partial.Reshape(10, 10), RWBoundsErr);
    EXPECT_THROW(partial.Move(100, 100), RWBoundsErr);
    EXPECT_EQ(points_of(partial), before);
}

TEST(VXR_RectVoi, MoveThenTheOppositeMoveGivesBackTheShape) {
    vxrp_test::TestRandom random(16);
    for (int round = 0; round < 200; ++round) {
        const int x0 = random.Int(-5000, 5000);
        const int y0 = random.Int(-5000, 5000);
        const int x = random.Int(-5000, 5000);
        const int y = random.Int(-5000, 5000);
        VXR_RectVoi rect(x0, y0);
        rect.Resize(random.Int(-5000, 5000), random.Int(-5000, 5000));
        VXR_OvalVoi oval(x0, y0);
        oval.Resize(random.Int(-5000, 5000), random.Int(-5000, 5000));
        VXR_FreeVoi free(x0, y0);
        free.AddPoint(random.Int(-5000, 5000), random.Int(-5000, 5000));
        const auto r = points_of(rect);
        const auto o = points_of(oval);
        const auto f = points_of(free);
        rect.Move(x, y);
        oval.Move(x, y);
        free.Move(x, y);
        EXPECT_EQ(rect.GetPoints()[0], UTL_Point(x, y));
        rect.Move(x0, y0);
        oval.Move(x0, y0);
        free.Move(x0, y0);
        EXPECT_EQ(points_of(rect), r);
        EXPECT_EQ(points_of(oval), o);
        EXPECT_EQ(points_of(free), f);
    }
}

TEST(VXR_RectVoi, ResizeKeepsTheAnchorAndARectangle) {
    vxrp_test::TestRandom random(1616);
    for (int round = 0; round < 200; ++round) {
        const UTL_Point anchor(random.Int(-3000, 3000), random.Int(-3000, 3000));
        VXR_RectVoi rect(anchor.x, anchor.y);
        VXR_OvalVoi oval(anchor.x, anchor.y);
        for (int drag = 0; drag < 3; ++drag) {
            const int x = random.Int(-3000, 3000);
            const int y = random.Int(-3000, 3000);
            rect.Resize(x, y);
            oval.Resize(x, y);
            const auto expected =
                std::vector<UTL_Point>{anchor, {x, anchor.y}, {x, y}, {anchor.x, y}};
            EXPECT_EQ(points_of(rect), expected);
            EXPECT_EQ(points_of(oval), expected);
        }
    }
}

TEST(VXR_RectVoi, EditsNearTheEndsOfTheIntRangeStopThere) {
    VXR_RectVoi rect(INT_MAX - 1, INT_MIN + 1);
    rect.Reshape(10, -10);
    EXPECT_EQ(points_of(rect), pts({{INT_MAX - 1, INT_MIN + 1},
                                    {INT_MAX, INT_MIN + 1},
                                    {INT_MAX, INT_MIN},
                                    {INT_MAX - 1, INT_MIN}}));
    rect.Move(INT_MIN, INT_MAX);
    EXPECT_EQ(rect.GetPoints()[0], UTL_Point(INT_MIN, INT_MAX));
    EXPECT_EQ(rect.GetPoints()[2], UTL_Point(INT_MIN + 1, INT_MAX - 1));
    VXR_FreeVoi far(8000000000L, -8000000000L);  // longs beyond the int range
    EXPECT_EQ(far.GetPoints()[0], UTL_Point(INT_MAX, INT_MIN));
}

TEST(VXR_RectVoi, ElementTypeCodesCloneAndCopy) {
    struct Case {
        std::unique_ptr<VXR_Voi> voi;
        int code;
    };
    Case cases[6];
    cases[0] = {std::make_unique<VXR_RectVoiPlus>(1, 2), 229};
    cases[1] = {std::make_unique<VXR_RectVoiMinus>(1, 2), 230};
    cases[2] = {std::make_unique<VXR_OvalVoiPlus>(1, 2), 231};
    cases[3] = {std::make_unique<VXR_OvalVoiMinus>(1, 2), 232};
    cases[4] = {std::make_unique<VXR_FreeVoiPlus>(1, 2), 233};
    cases[5] = {std::make_unique<VXR_FreeVoiMinus>(1, 2), 234};
    VXR_FreeVoi source(40, 50);
    source.AddPoint(60, 70);
    for (Case& c : cases) {
        EXPECT_EQ(c.voi->GetElementType(), c.code);
        // A clone is the plain shape, with the points and the code of its source.
        std::unique_ptr<GRA_BaseGraphicElement> clone(c.voi->Clone());
        ASSERT_NE(clone, nullptr);
        EXPECT_EQ(clone->GetElementType(), c.code);
        EXPECT_EQ(points_of(*dynamic_cast<VXR_Voi*>(clone.get())), points_of(*c.voi));
        // Copy writes the class's own code first: a plain source (code 0)
        // does not overwrite it.
        c.voi->SetElementType(0);
        c.voi->Copy(&source);
        EXPECT_EQ(c.voi->GetElementType(), c.code);
        EXPECT_EQ(points_of(*c.voi), points_of(source));
    }
    std::unique_ptr<GRA_BaseGraphicElement> rect(cases[0].voi->Clone());
    std::unique_ptr<GRA_BaseGraphicElement> oval(cases[3].voi->Clone());
    std::unique_ptr<GRA_BaseGraphicElement> free(cases[5].voi->Clone());
    EXPECT_EQ(typeid(*rect), typeid(VXR_RectVoi));
    EXPECT_EQ(typeid(*oval), typeid(VXR_OvalVoi));
    EXPECT_EQ(typeid(*free), typeid(VXR_FreeVoi));
    EXPECT_EQ(VXR_RectVoi(1, 1).GetElementType(), GRA_BaseGraphicElement::kUndefinedType);

    // Copying from oneself or from something that is no VOI keeps the points.
    VXR_RectVoi self(3, 4);
    self.Copy(&self);
    EXPECT_EQ(points_of(self), pts({{3, 4}, {3, 4}, {3, 4}, {3, 4}}));
}

TEST(VXR_RectVoi, CloneWithoutMemoryAnswersNull) {
    VXR_RectVoiPlus rect(1, 2);
    VXR_OvalVoiMinus oval(1, 2);
    VXR_FreeVoi free(1, 2);
    vxrp_test::NothrowNewFailure failure;
    EXPECT_EQ(rect.Clone(), nullptr);
    EXPECT_EQ(oval.Clone(), nullptr);
    EXPECT_EQ(free.Clone(), nullptr);
}

TEST_F(VoiDrawing, RectangleDrawsItsSetUpEdgesAndCornerSquaresInThisOrder) {
    VXR_RectVoiMinus rect(10, 20);
    rect.Resize(30, 50);
    draw(rect, dc);
    const Lines expected = kSetUp +
                           Lines{"DrawLine((10,20), (30,20))", "DrawLine((30,20), (30,50))",
                                 "DrawLine((30,50), (10,50))", "DrawLine((10,50), (10,20))"} +
                           square_at(10, 20) + square_at(30, 20) + square_at(30, 50) +
                           square_at(10, 50);
    EXPECT_EQ(dc.Dump(), expected);
}

TEST_F(VoiDrawing, NothingIsCalledWhenTheElementIsNotToBeDrawn) {
    VXR_RectVoi rect(1, 1);
    VXR_OvalVoi oval(1, 1);
    VXR_FreeVoi free(1, 1);
    VXR_RectVoi empty;  // would raise if it indexed its corners
    for (VXR_Voi* voi : std::initializer_list<VXR_Voi*>{&rect, &oval, &free, &empty}) {
        draw(*voi, dc, false);
        voi->Draw(nullptr, nullptr, nullptr, false, false, 0, true);
    }
    EXPECT_TRUE(dc.Calls().empty());
    EXPECT_EQ(oval.GetEllipsePointCount(), 0);
}

TEST_F(VoiDrawing, FreeHandOutlineStaysOpenAndHasNoSquares) {
    VXR_FreeVoiPlus voi(0, 0);
    draw(voi, dc);
    EXPECT_EQ(dc.Dump(), kSetUp + Lines{"DrawLine((0,0), (0,0))"});

    dc.Clear();
    voi.MoveEndPoint(5, 0);
    voi.AddPoint(5, 5);
    draw(voi, dc);
    EXPECT_EQ(dc.Dump(), kSetUp + Lines({"DrawLine((0,0), (5,0))", "DrawLine((5,0), (5,5))"}));

    dc.Clear();
    VXR_FreeVoi two(3, 3);
    two.DeleteLastPoint();  // both equal points go
    two.DeleteLastPoint();
    draw(two, dc);
    EXPECT_EQ(dc.Dump(), kSetUp);
}

TEST_F(VoiDrawing, WideOvalIsTheGeneratorsEllipseAroundTheCentre) {
    auto oval = oval_with(pts({{0, 0}, {40, 0}, {40, 20}, {0, 20}}));
    draw(*oval, dc);
    const int count = 4 * EllipsePointsNum(20.0f) + 2;
    ASSERT_EQ(oval->GetEllipsePointCount(), count);
    std::vector<int> expected(2 * static_cast<std::size_t>(count));
    GenerateEllipsePoints(20.0f, 20.0f, 10.0f, 1.0f, 0.0f, expected.data(), expected.data() + 1,
                          count);
    for (std::size_t i = 0; i < expected.size(); i += 2) {
        EXPECT_EQ(oval->GetEllipsePoints()[i], expected[i] + 20);
        EXPECT_EQ(oval->GetEllipsePoints()[i + 1], expected[i + 1] + 10);
    }
    // Sides E0-E1 ... then the closing side, then the four corner squares.
    const auto e = ellipse_of(*oval);
    const auto lines = dc.Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(count) + 16);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(lines[static_cast<std::size_t>(i)].first, e[static_cast<std::size_t>(i)]);
        EXPECT_EQ(lines[static_cast<std::size_t>(i)].second,
                  e[static_cast<std::size_t>((i + 1) % count)]);
    }
    const Lines dump = dc.Dump();
    const Lines tail(dump.end() - 20, dump.end());
    EXPECT_EQ(tail, square_at(0, 0) + square_at(40, 0) + square_at(40, 20) + square_at(0, 20));
    EXPECT_EQ(Lines(dump.begin(), dump.begin() + 5), kSetUp);
}

TEST_F(VoiDrawing, TallOvalPassesTheYSlotsFirst) {
    GRA_GeneralParams::GetGeneralParams(2).SetHalfVertexSize(3);
    auto oval = oval_with(pts({{0, 0}, {20, 0}, {20, 60}, {0, 60}}));
    draw(*oval, dc);
    const int count = 4 * EllipsePointsNum(30.0f) + 2;
    ASSERT_EQ(oval->GetEllipsePointCount(), count);
    std::vector<int> expected(2 * static_cast<std::size_t>(count));
    GenerateEllipsePoints(30.0f, 10.0f, 30.0f, 0.0f, 1.0f, expected.data() + 1, expected.data(),
                          count);
    for (std::size_t i = 0; i < expected.size(); i += 2) {
        EXPECT_EQ(oval->GetEllipsePoints()[i], expected[i] + 10);
        EXPECT_EQ(oval->GetEllipsePoints()[i + 1], expected[i + 1] + 30);
    }
    // Still an ellipse 20 wide and 60 tall: its extreme points are the
    // rectangle's side middles.
    int minx = INT_MAX, maxx = INT_MIN, miny = INT_MAX, maxy = INT_MIN;
    for (const UTL_Point& p : ellipse_of(*oval)) {
        minx = std::min(minx, p.x);
        maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y);
        maxy = std::max(maxy, p.y);
    }
    EXPECT_EQ(minx, 0);
    EXPECT_EQ(maxx, 20);
    EXPECT_EQ(miny, 0);
    EXPECT_EQ(maxy, 60);
}

TEST_F(VoiDrawing, ThinOvalIsALineThroughTheCentreAndAPointOvalOnePoint) {
    // a = 1, b = 10: thinner than a vertex (half size 2).
    auto thin = oval_with(pts({{0, 0}, {2, 0}, {2, 20}, {0, 20}}));
    draw(*thin, dc);
    EXPECT_EQ(ellipse_of(*thin), pts({{2, 20}, {0, 0}}));
    EXPECT_EQ(dc.Lines().size(), 1u + 16u);
    EXPECT_EQ(dc.Lines()[0], (std::make_pair(UTL_Point(2, 20), UTL_Point(0, 0))));

    // a = 1.5 toward negative x: the centre truncates toward zero (-1, -1).
    auto negative = oval_with(pts({{0, 0}, {-3, 0}, {-3, -3}, {0, -3}}));
    negative->create_ellipse(2);
    EXPECT_EQ(ellipse_of(*negative), pts({{0, 0}, {-2, -2}}));

    dc.Clear();
    VXR_OvalVoiPlus dot(7, 8);
    draw(dot, dc);
    EXPECT_EQ(ellipse_of(dot), pts({{7, 8}}));
    EXPECT_EQ(dc.Dump(),
              kSetUp + square_at(7, 8) + square_at(7, 8) + square_at(7, 8) + square_at(7, 8));
}

TEST_F(VoiDrawing, OvalWithoutCornersKeepsItsLastEllipse) {
    VXR_OvalVoi oval(0, 0);
    oval.Resize(30, 30);
    oval.create_ellipse(2);
    const auto before = ellipse_of(oval);
    ASSERT_GT(before.size(), 2u);
    oval.DeleteLastPoint();
    oval.create_ellipse(2);
    EXPECT_EQ(ellipse_of(oval), before);
    // Copies and clones never take the ellipse.
    VXR_OvalVoi copy(oval);
    EXPECT_EQ(copy.GetEllipsePointCount(), 0);
    EXPECT_EQ(copy.GetEllipsePoints(), nullptr);
    std::unique_ptr<GRA_BaseGraphicElement> clone(oval.Clone());
    EXPECT_EQ(dynamic_cast<VXR_OvalVoi&>(*clone).GetEllipsePointCount(), 0);
}

TEST_F(VoiDrawing, OvalDefrostDoesNotRunTheFrameworksDefrost) {
    VXR_OvalVoi oval(1, 1);
    VXR_OvalVoi source(1, 1);
    ++source;
    ++source;
    oval.Defrost(&source);
    EXPECT_EQ(*oval, 0);
    VXR_RectVoi rect(1, 1);
    rect.Defrost(&source);  // the framework's takes the counter
    EXPECT_EQ(*rect, 2);
}

TEST_F(VoiDrawing, HugeOvalsStayCheapAndInsideTheIntRange) {
    struct Case {
        UTL_Point p0;
        UTL_Point p2;
    };
    const Case cases[] = {
        {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}},
        {{0, 0}, {10, 1 << 30}},
        {{INT_MAX, INT_MAX}, {INT_MIN, 0}},
    };
    for (const Case& c : cases) {
        VXR_OvalVoi oval(c.p0.x, c.p0.y);
        oval.Resize(c.p2.x, c.p2.y);
        oval.create_ellipse(2);
        EXPECT_EQ(oval.GetEllipsePointCount(), 4 * kEllipseMaxQuarterPoints + 2);
        const double cx = (static_cast<double>(c.p0.x) + c.p2.x) / 2.0;
        const double cy = (static_cast<double>(c.p0.y) + c.p2.y) / 2.0;
        const double a = std::fabs(static_cast<double>(c.p2.x) - c.p0.x) / 2.0;
        const double b = std::fabs(static_cast<double>(c.p2.y) - c.p0.y) / 2.0;
        for (const UTL_Point& p : ellipse_of(oval)) {
            // Within a pixel of the box the oval is inscribed in (float
            // half-axes round large values slightly).
            EXPECT_LE(std::fabs(p.x - cx), a * (1 + 1e-6) + 1);
            EXPECT_LE(std::fabs(p.y - cy), b * (1 + 1e-6) + 1);
        }
    }
    // A diagonal P0-P1 longer than any int difference.
    auto skew =
        oval_with(pts({{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {0, 0}, {INT_MAX, INT_MIN}}));
    skew->create_ellipse(2);
    EXPECT_EQ(skew->GetEllipsePointCount(), 4 * kEllipseMaxQuarterPoints + 2);
}

TEST_F(VoiDrawing, OvalWithoutEllipseMemorySaysSoAndDrawsOnlyItsSquares) {
    VXR_OvalVoiMinus oval(10, 10);
    oval.Resize(50, 30);
    draw(oval, dc);  // an ellipse to release
    ASSERT_GT(oval.GetEllipsePointCount(), 2);
    dc.Clear();
    testing::internal::CaptureStdout();
    {
        vxrp_test::NothrowNewFailure failure;
        draw(oval, dc);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Not Enough Memory For ellipse\n");
    EXPECT_EQ(oval.GetEllipsePointCount(), 0);
    EXPECT_EQ(oval.GetEllipsePoints(), nullptr);
    EXPECT_EQ(dc.Dump(), kSetUp + square_at(10, 10) + square_at(50, 10) + square_at(50, 30) +
                             square_at(10, 30));
    // The thin and point cases report the same way.
    for (const auto& corner : {std::pair{11, 10}, std::pair{10, 10}}) {
        oval.Resize(corner.first, corner.second);
        testing::internal::CaptureStdout();
        {
            vxrp_test::NothrowNewFailure failure;
            oval.create_ellipse(2);
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Not Enough Memory For ellipse\n");
        EXPECT_EQ(oval.GetEllipsePointCount(), 0);
    }
}
