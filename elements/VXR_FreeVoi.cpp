#include "elements/VXR_FreeVoi.h"

#include <new>

#include "UI/UI_DrawingContextInterface.h"

VXR_FreeVoi::VXR_FreeVoi() = default;

VXR_FreeVoi::VXR_FreeVoi(long x, long y) {
    Set(2, to_coordinate(x), to_coordinate(y));
}

VXR_FreeVoi::VXR_FreeVoi(const VXR_FreeVoi& src) = default;

VXR_FreeVoi& VXR_FreeVoi::operator=(const VXR_FreeVoi& /*src*/) {
    return *this;
}

VXR_FreeVoi::~VXR_FreeVoi() = default;

GRA_BaseGraphicElement* VXR_FreeVoi::Clone() {
    return new (std::nothrow) VXR_FreeVoi(*this);
}

void VXR_FreeVoi::Copy(GRA_BaseGraphicElement* src) {
    if (const auto* voi = dynamic_cast<const VXR_Voi*>(src); voi != nullptr && voi != this) {
        m_Points = voi->GetPoints();
    }
    VXR_Voi::Copy(src);
}

void VXR_FreeVoi::Draw(UTL_BaseParamsVec* /*params*/, UTL_BaseParamsVec* /*params2*/,
                       UI_DrawingContextInterface* dc, bool /*flag1*/, bool flag2, int /*n*/,
                       bool flag3) {
    int kind = 0;
    if (!prepare_drawing(dc, flag2, flag3, kind)) {
        return;
    }
    const std::size_t count = m_Points.entries();
    for (std::size_t i = 0; i + 1 < count; ++i) {
        dc->DrawLine(m_Points[i], m_Points[i + 1]);
    }
}

void VXR_FreeVoi::Move(int x, int y) {
    move_points(x, y);
}

VXR_FreeVoiPlus::VXR_FreeVoiPlus(long x, long y) : VXR_FreeVoi(x, y) {
    SetElementType(kElementType);
}

VXR_FreeVoiPlus::VXR_FreeVoiPlus(const VXR_FreeVoiPlus& src) : VXR_FreeVoi(src) {
    SetElementType(kElementType);
}

VXR_FreeVoiPlus& VXR_FreeVoiPlus::operator=(const VXR_FreeVoiPlus& /*src*/) {
    return *this;
}

VXR_FreeVoiPlus::~VXR_FreeVoiPlus() = default;

void VXR_FreeVoiPlus::Copy(GRA_BaseGraphicElement* src) {
    SetElementType(kElementType);
    VXR_FreeVoi::Copy(src);
}

VXR_FreeVoiMinus::VXR_FreeVoiMinus(long x, long y) : VXR_FreeVoi(x, y) {
    SetElementType(kElementType);
}

VXR_FreeVoiMinus::VXR_FreeVoiMinus(const VXR_FreeVoiMinus& src) : VXR_FreeVoi(src) {
    SetElementType(kElementType);
}

VXR_FreeVoiMinus& VXR_FreeVoiMinus::operator=(const VXR_FreeVoiMinus& /*src*/) {
    return *this;
}

VXR_FreeVoiMinus::~VXR_FreeVoiMinus() = default;

void VXR_FreeVoiMinus::Copy(GRA_BaseGraphicElement* src) {
    SetElementType(kElementType);
    VXR_FreeVoi::Copy(src);
}
