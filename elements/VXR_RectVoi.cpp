#include "elements/VXR_RectVoi.h"

#include <new>

#include "UI/UI_DrawingContextInterface.h"

VXR_RectVoi::VXR_RectVoi() = default;

VXR_RectVoi::VXR_RectVoi(long x, long y) {
    Set(4, to_coordinate(x), to_coordinate(y));
}

VXR_RectVoi::VXR_RectVoi(const VXR_RectVoi& src) = default;

VXR_RectVoi& VXR_RectVoi::operator=(const VXR_RectVoi& /*src*/) {
    return *this;
}

VXR_RectVoi::~VXR_RectVoi() = default;

GRA_BaseGraphicElement* VXR_RectVoi::Clone() {
    return new (std::nothrow) VXR_RectVoi(*this);
}

void VXR_RectVoi::Copy(GRA_BaseGraphicElement* src) {
    if (const auto* voi = dynamic_cast<const VXR_Voi*>(src); voi != nullptr && voi != this) {
        m_Points = voi->GetPoints();
    }
    VXR_Voi::Copy(src);
}

void VXR_RectVoi::Draw(UTL_BaseParamsVec* /*params*/, UTL_BaseParamsVec* /*params2*/,
                       UI_DrawingContextInterface* dc, bool /*flag1*/, bool flag2, int /*n*/,
                       bool flag3) {
    if (!flag3 || dc == nullptr) {
        return;
    }
    require_corners();
    int kind = 0;
    prepare_drawing(dc, flag2, flag3, kind);
    for (std::size_t i = 0; i < 4; ++i) {
        dc->DrawLine(m_Points[i], m_Points[(i + 1) % 4]);
    }
    for (std::size_t i = 0; i < 4; ++i) {
        DrawLittleSquare(dc, m_Points[i], false);
    }
}

void VXR_RectVoi::Reshape(int dx, int dy) {
    reshape_corners(dx, dy);
}

void VXR_RectVoi::Resize(int x, int y) {
    resize_corners(x, y);
}

void VXR_RectVoi::Move(int x, int y) {
    require_corners();
    move_points(x, y);
}

VXR_RectVoiPlus::VXR_RectVoiPlus(long x, long y) : VXR_RectVoi(x, y) {
    SetElementType(kElementType);
}

VXR_RectVoiPlus::VXR_RectVoiPlus(const VXR_RectVoiPlus& src) : VXR_RectVoi(src) {
    SetElementType(kElementType);
}

VXR_RectVoiPlus& VXR_RectVoiPlus::operator=(const VXR_RectVoiPlus& /*src*/) {
    return *this;
}

VXR_RectVoiPlus::~VXR_RectVoiPlus() = default;

void VXR_RectVoiPlus::Copy(GRA_BaseGraphicElement* src) {
    SetElementType(kElementType);
    VXR_RectVoi::Copy(src);
}

VXR_RectVoiMinus::VXR_RectVoiMinus(long x, long y) : VXR_RectVoi(x, y) {
    SetElementType(kElementType);
}

VXR_RectVoiMinus::VXR_RectVoiMinus(const VXR_RectVoiMinus& src) : VXR_RectVoi(src) {
    SetElementType(kElementType);
}

VXR_RectVoiMinus& VXR_RectVoiMinus::operator=(const VXR_RectVoiMinus& /*src*/) {
    return *this;
}

VXR_RectVoiMinus::~VXR_RectVoiMinus() = default;

void VXR_RectVoiMinus::Copy(GRA_BaseGraphicElement* src) {
    SetElementType(kElementType);
    VXR_RectVoi::Copy(src);
}
