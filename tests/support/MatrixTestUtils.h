#pragma once

#include <cmath>

#include "IP/IP_Matrix.h"

// A 4x4 float matrix held by value, so tests can build, combine and compare
// matrices as expressions.
namespace vxrp_test {

struct Mat {
    float m[4][4];
};

inline Mat identity() {
    Mat r;
    IP_Midnt(r.m);
    return r;
}

inline Mat product(const Mat& a, const Mat& b) {
    Mat r;
    IP_Mmul(a.m, b.m, r.m);
    return r;
}

// Largest absolute difference between corresponding elements (NaN-free inputs).
inline double max_difference(const Mat& a, const Mat& b) {
    double worst = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            worst = std::fmax(worst, std::fabs(double(a.m[i][j]) - b.m[i][j]));
    return worst;
}

}  // namespace vxrp_test
