#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "GRA/GRA_Ellipse.h"
#include "support/TestRandom.h"

namespace {

struct Pair {
    int x;
    int y;
};

// n points of the ellipse with half axes a (x) and b (y), generated the way an
// oval does for a wide shape (x slots first) or a tall one (y slots first).
std::vector<Pair> generate(float a, float b, bool tall, int n) {
    std::vector<int> buffer(2 * static_cast<std::size_t>(n));
    const float r = std::max(a, b);
    if (tall) {
        GenerateEllipsePoints(r, a, b, 0.0f, 1.0f, buffer.data() + 1, buffer.data(), n);
    } else {
        GenerateEllipsePoints(r, a, b, 1.0f, 0.0f, buffer.data(), buffer.data() + 1, n);
    }
    std::vector<Pair> points;
    for (std::size_t i = 0; i < buffer.size(); i += 2) {
        points.push_back({buffer[i], buffer[i + 1]});
    }
    return points;
}

// True when the ellipse passes through the pixel square of side 1 centred on
// p, so that p is within half a pixel, in x and in y, of a point of the ellipse.
// F = (x/a)^2 + (y/b)^2 is convex: its largest value on the square is at a
// corner, its smallest at the square's point nearest the centre.
bool within_half_a_pixel(const Pair& p, double a, double b) {
    auto f = [a, b](double x, double y) { return (x / a) * (x / a) + (y / b) * (y / b); };
    double high = 0.0;
    for (double dx : {-0.5, 0.5}) {
        for (double dy : {-0.5, 0.5}) {
            high = std::max(high, f(p.x + dx, p.y + dy));
        }
    }
    auto nearest = [](int c) { return std::clamp(0.0, c - 0.5, c + 0.5); };
    const double low = f(nearest(p.x), nearest(p.y));
    return low <= 1.0 + 1e-9 && high >= 1.0 - 1e-9;
}

}  // namespace

TEST(GRA_Ellipse, PointCountGrowsWithTheRadiusWithinItsBounds) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float r;
        int k;
    };
    const Case cases[] = {{nan, 1},    {-inf, 1},       {-5.0f, 1},   {0.0f, 1},  {1.0f, 1},
                          {20.0f, 16}, {2607.0f, 2048}, {1e9f, 2048}, {inf, 2048}};
    for (const Case& c : cases) {
        EXPECT_EQ(EllipsePointsNum(c.r), c.k) << c.r;
    }
    int previous = 0;
    for (int r = 0; r < 4000; r += 7) {
        const int k = EllipsePointsNum(static_cast<float>(r));
        EXPECT_GE(k, previous);
        previous = k;
    }
}

TEST(GRA_Ellipse, WritesExactlyNPairsAndNothingForBadArguments) {
    std::vector<int> buffer(40, -7);
    GenerateEllipsePoints(5.0f, 5.0f, 3.0f, 1.0f, 0.0f, buffer.data(), buffer.data() + 1, 6);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i] == -7, i >= 12) << i;
    }
    std::vector<int> untouched(8, -7);
    GenerateEllipsePoints(5.0f, 5.0f, 3.0f, 1.0f, 0.0f, untouched.data(), untouched.data() + 1, 0);
    GenerateEllipsePoints(5.0f, 5.0f, 3.0f, 1.0f, 0.0f, untouched.data(), untouched.data() + 1, -4);
    GenerateEllipsePoints(5.0f, 5.0f, 3.0f, 1.0f, 0.0f, nullptr, untouched.data(), 4);
    EXPECT_EQ(untouched, std::vector<int>(8, -7));
}

TEST(GRA_Ellipse, EveryPointLiesOnTheEllipseAndThePointsGoRoundOnceInOrder) {
    vxrp_test::TestRandom random(2024);
    for (int round = 0; round < 300; ++round) {
        const float a = random.Uniform(1.0f, 3000.0f);
        const float b =
            round % 10 == 0 ? random.Uniform(1.0f, 3.0f) : random.Uniform(1.0f, 3000.0f);
        const bool tall = a < b;
        const int n = 4 * EllipsePointsNum(std::floor(std::max(a, b))) + 2;
        const std::vector<Pair> points = generate(a, b, tall, n);
        ASSERT_EQ(points.size(), static_cast<std::size_t>(n));
        double turned = 0.0;
        int forward = 0;
        int backward = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            ASSERT_TRUE(within_half_a_pixel(points[i], a, b))
                << "a " << a << " b " << b << " point " << i << " (" << points[i].x << ", "
                << points[i].y << ")";
            const Pair& p = points[i];
            const Pair& q = points[(i + 1) % points.size()];
            double step = std::atan2(q.y / double{b}, q.x / double{a}) -
                          std::atan2(p.y / double{b}, p.x / double{a});
            if (step > std::numbers::pi) {
                step -= 2 * std::numbers::pi;
            } else if (step <= -std::numbers::pi) {
                step += 2 * std::numbers::pi;
            }
            forward += step > 0.0;
            backward += step < 0.0;
            turned += step;
        }
        // One direction only, one full turn.
        EXPECT_TRUE(forward == 0 || backward == 0) << "a " << a << " b " << b;
        EXPECT_NEAR(std::fabs(turned), 2 * std::numbers::pi, 1e-9) << "a " << a << " b " << b;
    }
}

TEST(GRA_Ellipse, HugeHalfAxesAreHeldWithinTheIntRange) {
    const std::vector<Pair> points = generate(6e9f, 3e9f, false, 4 * kEllipseMaxQuarterPoints + 2);
    EXPECT_EQ(points[0].x, std::numeric_limits<int>::max());
    EXPECT_EQ(points[0].y, 0);
    EXPECT_EQ(points[2 * kEllipseMaxQuarterPoints + 1].x, std::numeric_limits<int>::min());
}
