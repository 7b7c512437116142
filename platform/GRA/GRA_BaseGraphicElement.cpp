#include "GRA/GRA_BaseGraphicElement.h"

#include <algorithm>
#include <iterator>

#include "GRA/GRA_UserElement.h"

GRA_BaseElement::~GRA_BaseElement() = default;

namespace {

constexpr GRA_Cursor kDefaultCursors[GRA_MODE_COUNT] = {
    GRA_CURSOR_ARROW, GRA_CURSOR_CROSS, GRA_CURSOR_MOVE,  GRA_CURSOR_SIZE,
    GRA_CURSOR_HAND,  GRA_CURSOR_DRAW,  GRA_CURSOR_ARROW, GRA_CURSOR_ARROW,
};

}  // namespace

GRA_BaseGraphicElement::GRA_BaseGraphicElement() {
    std::copy(std::begin(kDefaultCursors), std::end(kDefaultCursors), m_Cursors);
}

GRA_BaseGraphicElement::GRA_BaseGraphicElement(const GRA_BaseGraphicElement& src) = default;

GRA_BaseGraphicElement& GRA_BaseGraphicElement::operator=(const GRA_BaseGraphicElement& src) {
    if (this != &src) {
        UTL_ChangeCounter::operator=(src);
        ACMD_Detect::operator=(src);
        RWCollectable::operator=(src);
        m_nElementType = src.m_nElementType;
        m_Color = src.m_Color;
        m_bHidden = src.m_bHidden;
        m_nProperty = src.m_nProperty;
        m_bDeferColor = src.m_bDeferColor;
        m_bForceAutoPan = src.m_bForceAutoPan;
        m_bBurntValueValid = src.m_bBurntValueValid;
        m_BurntValue = src.m_BurntValue;
        std::copy(std::begin(src.m_Cursors), std::end(src.m_Cursors), m_Cursors);
    }
    return *this;
}

GRA_BaseGraphicElement::~GRA_BaseGraphicElement() = default;

GRA_BaseGraphicElement* GRA_BaseGraphicElement::CloneUnique() {
    return Clone();
}

void GRA_BaseGraphicElement::Copy(GRA_BaseGraphicElement* src) {
    if (src == nullptr || src == this) {
        return;
    }
    m_Color = src->m_Color;
    m_bHidden = src->m_bHidden;
    m_nProperty = src->m_nProperty;
    m_bDeferColor = src->m_bDeferColor;
}

void GRA_BaseGraphicElement::Defrost(GRA_BaseGraphicElement* src) {
    if (src != nullptr && src != this) {
        UTL_ChangeCounter::operator=(src->GetCounter());
    }
}

bool GRA_BaseGraphicElement::CanHide() {
    return true;
}

bool GRA_BaseGraphicElement::CanHideSys() {
    return true;
}

void GRA_BaseGraphicElement::Select(bool select, bool highlight) {
    unsigned bits = GRA_BaseElement::SELECTED;
    if (highlight) {
        bits |= GRA_BaseElement::HIGHLIGHTED;
    }
    m_nProperty = select ? (m_nProperty | bits) : (m_nProperty & ~bits);
}

long GRA_BaseGraphicElement::get_ModeCursor(long mode) {
    return m_bHidden ? long{GRA_CURSOR_ARROW} : GetHeldCursor(mode);
}

const wchar_t* GRA_BaseGraphicElement::get_ModeMessage(long /*mode*/) {
    return nullptr;
}

const wchar_t* GRA_BaseGraphicElement::get_Popupname(long /*mode*/) {
    return nullptr;
}

void GRA_BaseGraphicElement::TranslatePtoSCoordinates(const float (* /*m1*/)[4],
                                                      const float (* /*m2*/)[4]) {}

void GRA_BaseGraphicElement::ApplyTransform() {}

bool GRA_BaseGraphicElement::CanUpdateMsg() {
    return false;
}

bool GRA_BaseGraphicElement::RemoveSelectedVertex() {
    return false;
}

void GRA_BaseGraphicElement::PreRemove(IMG_ImageInterface* /*image*/) {}

void GRA_BaseGraphicElement::ReadParams(UTL_BaseParamsVec* /*params*/,
                                        UTL_BaseParamsVec* /*params2*/) {}

void GRA_BaseGraphicElement::SetColor(const UTL_Color& colour, bool count) {
    m_Color = colour;
    if (count) {
        UTL_ChangeCounter::operator++();
    }
}

void GRA_BaseGraphicElement::SetHidden(bool hidden) {
    m_bHidden = hidden;
}

bool GRA_BaseGraphicElement::GetHidden() {
    return m_bHidden;
}

bool GRA_BaseGraphicElement::AffectedByPresentation() {
    return true;
}

void GRA_BaseGraphicElement::SetDeferColor(bool defer) {
    m_bDeferColor = defer;
}

bool GRA_BaseGraphicElement::IsBurnToRasterNeeded() {
    return false;
}

bool GRA_BaseGraphicElement::ShowWhenNoPixelData() {
    return false;
}

int GRA_BaseGraphicElement::UpdateMsg(IOD_Msg* /*msg*/, UTL_BaseParamsVec* /*params*/,
                                      float (* /*m*/)[4], GRA_Mode /*mode*/) {
    return 0;
}

void GRA_BaseGraphicElement::UpdateFromMsg(int /*count*/, float* /*values*/, float (* /*m*/)[4]) {}

void GRA_BaseGraphicElement::SetBurntValue(Dicom_FL value) {
    m_BurntValue = value;
    m_bBurntValueValid = true;
}

void GRA_BaseGraphicElement::DrawLittleSquare(UI_DrawingContextInterface* /*dc*/, UTL_Point /*p*/,
                                              bool /*filled*/) {}

int GRA_BaseGraphicElement::GetPermissions() {
    return -1;
}

int GRA_BaseGraphicElement::DetectElement(float* const a, float b, GRA_Mode mode, int n,
                                          float* const point, float tolerance,
                                          UTL_BaseParamsVec* params) {
    ResetDetection();
    is_element_chosen_by_vertex(a, b, mode, n, point, tolerance, params);
    if (GetDetectStrength() == 0) {
        is_element_chosen_by_surface(a, b, mode, n, point, tolerance, params);
    }
    return GetDetectStrength();
}

void GRA_BaseGraphicElement::InvalidateBurntValue() {
    m_bBurntValueValid = false;
}

bool GRA_BaseGraphicElement::IsForceAutoPanTest() {
    return m_bForceAutoPan;
}

void GRA_BaseGraphicElement::is_element_chosen_by_vertex(float* const /*a*/, float /*b*/,
                                                         GRA_Mode /*mode*/, int /*n*/,
                                                         float* const /*point*/,
                                                         float /*tolerance*/,
                                                         UTL_BaseParamsVec* /*params*/) {}

void GRA_BaseGraphicElement::is_element_chosen_by_surface(float* const /*a*/, float /*b*/,
                                                          GRA_Mode /*mode*/, int /*n*/,
                                                          float* const /*point*/,
                                                          float /*tolerance*/,
                                                          UTL_BaseParamsVec* /*params*/) {}

bool GRA_BaseGraphicElement::create_curve_module(IOD_Msg* /*msg*/, float (* /*m*/)[4]) {
    return false;
}

long GRA_BaseGraphicElement::GetHeldCursor(long mode) const {
    if (mode < 0 || mode >= GRA_MODE_COUNT) {
        return GRA_CURSOR_ARROW;
    }
    return m_Cursors[mode];
}

void GRA_BaseGraphicElement::SetHeldCursor(long mode, GRA_Cursor cursor) {
    if (mode >= 0 && mode < GRA_MODE_COUNT) {
        m_Cursors[mode] = cursor;
    }
}
