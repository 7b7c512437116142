#include "GRA/GRA_Ellipse.h"

#include <cmath>
#include <cstddef>
#include <numbers>

#include "UTL/UTL_Numeric.h"

int EllipsePointsNum(float r) {
    const double quarter = std::ceil(std::numbers::pi * static_cast<double>(r) / 4.0);
    if (!(quarter >= 1.0)) {  // also NaN
        return 1;
    }
    if (quarter >= kEllipseMaxQuarterPoints) {
        return kEllipseMaxQuarterPoints;
    }
    return static_cast<int>(quarter);
}

void GenerateEllipsePoints(float /*r*/, float a, float b, float c, float s, int* first, int* second,
                           int n) {
    if (n <= 0 || first == nullptr || second == nullptr) {
        return;
    }
    const double da = a;
    const double db = b;
    const double dc = c;
    const double ds = s;
    for (int i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
        const double u = da * std::cos(t);
        const double v = db * std::sin(t);
        const std::size_t slot = 2 * static_cast<std::size_t>(i);
        first[slot] = UTL_TruncToInt(std::round(u * dc - v * ds));
        second[slot] = UTL_TruncToInt(std::round(u * ds + v * dc));
    }
}
