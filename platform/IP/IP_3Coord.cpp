#include "IP/IP_3Coord.h"

#include <algorithm>
#include <cmath>

bool IP_3Coord::Normalize() {
    const double dx = x;
    const double dy = y;
    const double dz = z;
    // Floats squared cannot overflow a double, so no scaling is needed.
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!std::isfinite(length) || length == 0.0) {
        return false;
    }
    x = static_cast<float>(dx / length);
    y = static_cast<float>(dy / length);
    z = static_cast<float>(dz / length);
    return true;
}

bool IP_3Coord::WithinDistanceFromLine(const IP_3Coord& from, const IP_3Coord& to,
                                       float tolerance) const {
    if (!(tolerance >= 0.0f)) {
        return false;
    }
    const double sx = double(to.x) - from.x;
    const double sy = double(to.y) - from.y;
    const double sz = double(to.z) - from.z;
    const double px = double(x) - from.x;
    const double py = double(y) - from.y;
    const double pz = double(z) - from.z;
    const double lengthSq = sx * sx + sy * sy + sz * sz;
    double t = 0.0;
    if (lengthSq > 0.0) {
        t = std::clamp((px * sx + py * sy + pz * sz) / lengthSq, 0.0, 1.0);
    }
    const double dx = px - t * sx;
    const double dy = py - t * sy;
    const double dz = pz - t * sz;
    const double tol = tolerance;
    // A NaN anywhere makes the comparison false.
    return dx * dx + dy * dy + dz * dz <= tol * tol;
}
