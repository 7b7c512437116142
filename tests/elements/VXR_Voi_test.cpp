#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VXR_FreeVoi.h"
#include "VXR_OvalVoi.h"
#include "VXR_RectVoi.h"

namespace {

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

// A free-hand outline holding exactly the given points.
VXR_FreeVoi outline(const std::vector<UTL_Point>& points) {
    VXR_FreeVoi voi;
    for (const UTL_Point& p : points) {
        voi.AddPoint(p.x, p.y);
    }
    return voi;
}

}  // namespace

TEST(VXR_Voi, SetFillsTheListWithCopiesOfOnePointOrEmptiesIt) {
    VXR_FreeVoi voi(1, 2);
    voi.Set(3, 7, 9);
    EXPECT_EQ(points_of(voi), pts({{7, 9}, {7, 9}, {7, 9}}));
    voi.Set(0, 7, 9);
    EXPECT_TRUE(voi.GetPoints().isEmpty());
    voi.Set(2, 1, 1);
    voi.Set(-3, 7, 9);
    EXPECT_TRUE(voi.GetPoints().isEmpty());
}

TEST(VXR_Voi, EditingAnEmptyListChangesNothingAndRaisesNothing) {
    VXR_FreeVoi voi;
    long x = 5;
    long y = 6;
    voi.GetLastPoint(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    voi.MoveEndPoint(4, 4);
    voi.DeleteLastPoint();
    EXPECT_TRUE(voi.GetPoints().isEmpty());
    voi.GetLastPoint(nullptr, nullptr);  // null addresses are skipped
}

TEST(VXR_Voi, DeleteLastPointTakesBackAPointLaidDownTwice) {
    struct Case {
        std::vector<UTL_Point> before;
        std::vector<UTL_Point> after;
    };
    const Case cases[] = {
        {pts({{1, 1}, {5, 5}, {5, 5}}), pts({{1, 1}})},
        {pts({{5, 5}, {5, 5}}), {}},
        {pts({{1, 1}, {2, 2}}), pts({{1, 1}})},
        {pts({{1, 1}, {5, 5}, {1, 1}}), pts({{1, 1}, {5, 5}})},
        {pts({{3, 3}}), {}},
        {pts({{5, 5}, {5, 4}}), pts({{5, 5}})},  // equal x alone is not a repeat
    };
    for (const Case& c : cases) {
        VXR_FreeVoi voi = outline(c.before);
        voi.DeleteLastPoint();
        EXPECT_EQ(points_of(voi), c.after);
    }
}

TEST(VXR_Voi, AddMoveAndReadTheLastPoint) {
    VXR_FreeVoi voi = outline(pts({{1, 1}, {2, 2}}));
    voi.MoveEndPoint(4, 4);
    EXPECT_EQ(points_of(voi), pts({{1, 1}, {4, 4}}));
    voi.AddPoint(-8, 9);
    long x = 0;
    long y = 0;
    voi.GetLastPoint(&x, &y);
    EXPECT_EQ(x, -8);
    EXPECT_EQ(y, 9);
}

TEST(VXR_Voi, AssignmentCopiesNothingWhileCopyTakesPointsAndBaseState) {
    VXR_RectVoiPlus target(1, 1);
    target.SetColor(UTL_Color(1, 2, 3), false);
    VXR_RectVoiMinus source(5, 6);
    source.Resize(9, 9);
    source.SetColor(UTL_Color(7, 8, 9), false);
    source.SetHidden(true);

    const std::vector<UTL_Point> before = points_of(target);
    static_cast<VXR_Voi&>(target) = source;
    static_cast<VXR_RectVoi&>(target) = source;
    target = VXR_RectVoiPlus(3, 3);
    EXPECT_EQ(points_of(target), before);
    EXPECT_EQ(target.GetColor(), UTL_Color(1, 2, 3));
    EXPECT_EQ(target.GetElementType(), VXR_RectVoiPlus::kElementType);

    target.Copy(&source);
    EXPECT_EQ(points_of(target), points_of(source));
    EXPECT_EQ(target.GetColor(), UTL_Color(7, 8, 9));
    EXPECT_TRUE(target.GetHidden());
    // Copy writes the target's own code, never the source's.
    EXPECT_EQ(target.GetElementType(), 229);
}

TEST(VXR_Voi, MessagesAreNeitherWrittenNorReadAndPresentationIsIgnored) {
    struct Probe : VXR_FreeVoi {
        using VXR_FreeVoi::operator=;
        using VXR_FreeVoi::AffectedByPresentation;
    } voi;
    EXPECT_EQ(voi.UpdateMsg(nullptr, nullptr, nullptr, 0), 0);
    voi.UpdateFromMsg(0, nullptr, nullptr);
    EXPECT_FALSE(voi.AffectedByPresentation());
    EXPECT_TRUE(voi.CanUpdateMsg());
}
