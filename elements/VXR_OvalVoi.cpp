#include "elements/VXR_OvalVoi.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>

#include "GRA/GRA_Ellipse.h"
#include "GRA/GRA_GeneralParams.h"
#include "UI/UI_DrawingContextInterface.h"
#include "UTL/UTL_Numeric.h"

namespace {

int saturated_sum(std::int64_t a, std::int64_t b) {
    const std::int64_t sum = a + b;
    if (sum > INT_MAX) {
        return INT_MAX;
    }
    if (sum < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(sum);
}

// The squared distance of two points, taken in double: the differences of two
// ints need 33 bits and their squares 66, which no integer type here holds. For
// points closer than 46341 pixels in each direction it equals the exact 32-bit
// integer sum of squares.
double squared_distance(const UTL_Point& p, const UTL_Point& q) {
    const double dx = static_cast<double>(p.x) - static_cast<double>(q.x);
    const double dy = static_cast<double>(p.y) - static_cast<double>(q.y);
    return dx * dx + dy * dy;
}

}  // namespace

VXR_OvalVoi::VXR_OvalVoi() = default;

VXR_OvalVoi::VXR_OvalVoi(long x, long y) {
    Set(4, to_coordinate(x), to_coordinate(y));
}

VXR_OvalVoi::VXR_OvalVoi(const VXR_OvalVoi& src) : VXR_Voi(src) {}

VXR_OvalVoi& VXR_OvalVoi::operator=(const VXR_OvalVoi& /*src*/) {
    return *this;
}

VXR_OvalVoi::~VXR_OvalVoi() {
    release_ellipse();
}

GRA_BaseGraphicElement* VXR_OvalVoi::Clone() {
    return new (std::nothrow) VXR_OvalVoi(*this);
}

void VXR_OvalVoi::Copy(GRA_BaseGraphicElement* src) {
    if (const auto* voi = dynamic_cast<const VXR_Voi*>(src); voi != nullptr && voi != this) {
        m_Points = voi->GetPoints();
    }
    VXR_Voi::Copy(src);
}

void VXR_OvalVoi::Defrost(GRA_BaseGraphicElement* /*src*/) {}

void VXR_OvalVoi::Draw(UTL_BaseParamsVec* /*params*/, UTL_BaseParamsVec* /*params2*/,
                       UI_DrawingContextInterface* dc, bool /*flag1*/, bool flag2, int /*n*/,
                       bool flag3) {
    int kind = 0;
    if (!prepare_drawing(dc, flag2, flag3, kind)) {
        return;
    }
    create_ellipse(kind);
    const int m = m_nEllipsePoints;
    const int* e = m_pEllipsePoints;
    auto point = [e](int i) {
        const std::size_t slot = 2 * static_cast<std::size_t>(i);
        return UTL_Point(e[slot], e[slot + 1]);
    };
    for (int i = 0; i + 1 < m; ++i) {
        dc->DrawLine(point(i), point(i + 1));
    }
    if (m > 2) {
        dc->DrawLine(point(m - 1), point(0));
    }
    for (const UTL_Point& corner : m_Points) {
        DrawLittleSquare(dc, corner, false);
    }
}

void VXR_OvalVoi::Move(int x, int y) {
    require_corners();
    move_points(x, y);
}

void VXR_OvalVoi::Reshape(int dx, int dy) {
    reshape_corners(dx, dy);
}

void VXR_OvalVoi::Resize(int x, int y) {
    resize_corners(x, y);
}

void VXR_OvalVoi::release_ellipse() {
    delete[] m_pEllipsePoints;
    m_pEllipsePoints = nullptr;
    m_nEllipsePoints = 0;
}

bool VXR_OvalVoi::obtain_ellipse(int count) {
    release_ellipse();
    m_pEllipsePoints = new (std::nothrow) int[2 * static_cast<std::size_t>(count)];
    if (m_pEllipsePoints == nullptr) {
        std::printf("Not Enough Memory For ellipse\n");
        std::fflush(stdout);
        return false;
    }
    m_nEllipsePoints = count;
    return true;
}

void VXR_OvalVoi::create_ellipse(int kind) {
    if (m_Points.entries() < 4) {
        return;
    }
    const float h =
        static_cast<float>(GRA_GeneralParams::GetGeneralParams(kind).GetHalfVertexSize());
    const UTL_Point p0 = m_Points[0];
    const UTL_Point p1 = m_Points[1];
    const UTL_Point p2 = m_Points[2];
    const UTL_Point p3 = m_Points[3];
    const float a = static_cast<float>(0.5 * std::sqrt(squared_distance(p1, p0)));
    const float b = static_cast<float>(0.5 * std::sqrt(squared_distance(p3, p0)));
    // The sum of two ints is taken in double, where it cannot overflow; half of
    // it always fits an int again.
    const int cx = UTL_TruncToInt((static_cast<double>(p2.x) + static_cast<double>(p0.x)) * 0.5);
    const int cy = UTL_TruncToInt((static_cast<double>(p2.y) + static_cast<double>(p0.y)) * 0.5);

    if (a >= h && b >= h) {
        const float r = std::fabs(a) >= std::fabs(b) ? std::fabs(a) : std::fabs(b);
        // EllipsePointsNum is bounded; the bound is applied here again so that
        // 4k + 2 can never overflow whatever the helper answers.
        std::int64_t k = EllipsePointsNum(std::floor(r));
        if (k < 1) {
            k = 1;
        } else if (k > kEllipseMaxQuarterPoints) {
            k = kEllipseMaxQuarterPoints;
        }
        const int count = static_cast<int>(4 * k + 2);
        if (!obtain_ellipse(count)) {
            return;
        }
        int* xs = m_pEllipsePoints;
        int* ys = m_pEllipsePoints + 1;
        if (std::fabs(a) >= std::fabs(b)) {
            GenerateEllipsePoints(r, a, b, 1.0f, 0.0f, xs, ys, count);
        } else {
            GenerateEllipsePoints(r, a, b, 0.0f, 1.0f, ys, xs, count);
        }
        for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(count); i += 2) {
            m_pEllipsePoints[i] = saturated_sum(m_pEllipsePoints[i], cx);
            m_pEllipsePoints[i + 1] = saturated_sum(m_pEllipsePoints[i + 1], cy);
        }
    } else if (UTL_TruncToInt(a + 0.5) != 0 || UTL_TruncToInt(b + 0.5) != 0) {
        if (!obtain_ellipse(2)) {
            return;
        }
        m_pEllipsePoints[0] = saturated_sum(cx, UTL_TruncToInt(a));
        m_pEllipsePoints[1] = saturated_sum(cy, UTL_TruncToInt(b));
        m_pEllipsePoints[2] = saturated_sum(cx, UTL_TruncToInt(-a));
        m_pEllipsePoints[3] = saturated_sum(cy, UTL_TruncToInt(-b));
    } else {
        if (!obtain_ellipse(1)) {
            return;
        }
        m_pEllipsePoints[0] = cx;
        m_pEllipsePoints[1] = cy;
    }
}

VXR_OvalVoiPlus::VXR_OvalVoiPlus(long x, long y) : VXR_OvalVoi(x, y) {
    SetElementType(kElementType);
}

VXR_OvalVoiPlus::VXR_OvalVoiPlus(const VXR_OvalVoiPlus& src) : VXR_OvalVoi(src) {
    SetElementType(kElementType);
}

VXR_OvalVoiPlus& VXR_OvalVoiPlus::operator=(const VXR_OvalVoiPlus& /*src*/) {
    return *this;
}

VXR_OvalVoiPlus::~VXR_OvalVoiPlus() = default;

void VXR_OvalVoiPlus::Copy(GRA_BaseGraphicElement* src) {
    SetElementType(kElementType);
    VXR_OvalVoi::Copy(src);
}

VXR_OvalVoiMinus::VXR_OvalVoiMinus(long x, long y) : VXR_OvalVoi(x, y) {
    SetElementType(kElementType);
}

VXR_OvalVoiMinus::VXR_OvalVoiMinus(const VXR_OvalVoiMinus& src) : VXR_OvalVoi(src) {
    SetElementType(kElementType);
}

VXR_OvalVoiMinus& VXR_OvalVoiMinus::operator=(const VXR_OvalVoiMinus& /*src*/) {
    return *this;
}

VXR_OvalVoiMinus::~VXR_OvalVoiMinus() = default;

void VXR_OvalVoiMinus::Copy(GRA_BaseGraphicElement* src) {
    SetElementType(kElementType);
    VXR_OvalVoi::Copy(src);
}
