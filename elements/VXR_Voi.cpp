#include "elements/VXR_Voi.h"

#include <climits>
#include <cstdint>
#include <utility>

#include "GRA/GRA_GeneralParams.h"
#include "RW/RW_Errors.h"
#include "UI/UI_DrawingContextInterface.h"

namespace {

// Coordinates that would leave the int range stay at its ends instead of
// wrapping round to the other side of the view.
int saturated_sum(int a, std::int64_t b) {
    const std::int64_t sum = std::int64_t{a} + b;
    if (sum > INT_MAX) {
        return INT_MAX;
    }
    if (sum < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(sum);
}

}  // namespace

VXR_Voi::VXR_Voi() = default;

VXR_Voi::VXR_Voi(const VXR_Voi& src) : GRA_UserElement(src), m_Points(src.m_Points) {}

VXR_Voi& VXR_Voi::operator=(const VXR_Voi& /*src*/) {
    return *this;
}

VXR_Voi::~VXR_Voi() {
    m_Points.clear();
}

void VXR_Voi::Copy(GRA_BaseGraphicElement* src) {
    GRA_BaseGraphicElement::Copy(src);
}

int VXR_Voi::UpdateMsg(IOD_Msg* /*msg*/, UTL_BaseParamsVec* /*params*/, float (* /*m*/)[4],
                       GRA_Mode /*mode*/) {
    return 0;
}

void VXR_Voi::UpdateFromMsg(int /*count*/, float* /*values*/, float (* /*m*/)[4]) {}

bool VXR_Voi::AffectedByPresentation() {
    return false;
}

void VXR_Voi::Set(int n, int x, int y) {
    RWTValOrderedVector<UTL_Point> points;
    if (n > 0) {
        points.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            points.append(UTL_Point(x, y));
        }
    }
    m_Points = std::move(points);
}

void VXR_Voi::AddPoint(int x, int y) {
    m_Points.append(UTL_Point(x, y));
}

void VXR_Voi::MoveEndPoint(int x, int y) {
    if (!m_Points.isEmpty()) {
        m_Points.last() = UTL_Point(x, y);
    }
}

void VXR_Voi::DeleteLastPoint() {
    const std::size_t n = m_Points.entries();
    if (n > 1 && m_Points[n - 1] == m_Points[n - 2]) {
        m_Points.removeAt(n - 1);
    }
    if (n > 0) {
        m_Points.removeAt(m_Points.entries() - 1);
    }
}

void VXR_Voi::GetLastPoint(long* x, long* y) const {
    const UTL_Point last = m_Points.isEmpty() ? UTL_Point(0, 0) : m_Points.last();
    if (x != nullptr) {
        *x = last.x;
    }
    if (y != nullptr) {
        *y = last.y;
    }
}

bool VXR_Voi::prepare_drawing(UI_DrawingContextInterface* dc, bool flag2, bool flag3, int& kind) {
    if (!flag3 || dc == nullptr) {
        return false;
    }
    kind = dc->GetContextKind();
    const GRA_GeneralParamsData& general = GRA_GeneralParams::GetGeneralParams(kind);
    UTL_Color colour;
    int p1 = 0;
    int p2 = 0;
    general.GetPenParams(colour, p1, p2, flag2 ? 1 : 0, flag3 ? 1 : 0, 0);
    dc->PrepareDrawing();
    const _bstr_t font = general.GetTitleFont();
    const int size = general.GetFontSize();
    dc->SelectFont(font, saturated_sum(0, std::int64_t{size} * 10), 0, 1.0f);
    dc->SelectPen(colour, p1, p2);
    dc->SetDrawColor(UTL_Color(colour));
    return true;
}

void VXR_Voi::require_corners() const {
    if (m_Points.entries() < 4) {
        // The first corner missing is the one a corner edit would fail on.
        throw RWBoundsErr::Index(m_Points.entries(), m_Points.entries());
    }
}

void VXR_Voi::reshape_corners(int dx, int dy) {
    require_corners();
    m_Points[1].x = saturated_sum(m_Points[1].x, dx);
    m_Points[2].x = saturated_sum(m_Points[2].x, dx);
    m_Points[2].y = saturated_sum(m_Points[2].y, dy);
    m_Points[3].y = saturated_sum(m_Points[3].y, dy);
}

void VXR_Voi::resize_corners(int x, int y) {
    require_corners();
    m_Points[1].x = x;
    m_Points[2].x = x;
    m_Points[2].y = y;
    m_Points[3].y = y;
}

void VXR_Voi::move_points(int x, int y) {
    if (m_Points.isEmpty()) {
        return;
    }
    const std::int64_t dx = std::int64_t{x} - m_Points[0].x;
    const std::int64_t dy = std::int64_t{y} - m_Points[0].y;
    for (UTL_Point& p : m_Points) {
        p.x = saturated_sum(p.x, dx);
        p.y = saturated_sum(p.y, dy);
    }
}

int VXR_Voi::to_coordinate(long v) {
    if (v > INT_MAX) {
        return INT_MAX;
    }
    if (v < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(v);
}
