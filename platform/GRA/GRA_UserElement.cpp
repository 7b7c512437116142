#include "GRA/GRA_UserElement.h"

#include <climits>
#include <cstdint>

#include "GRA/GRA_GeneralParams.h"
#include "UI/UI_DrawingContextInterface.h"

namespace {

int saturate(std::int64_t v) {
    if (v > INT_MAX) {
        return INT_MAX;
    }
    if (v < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(v);
}

}  // namespace

GRA_ExportElement::~GRA_ExportElement() = default;

bool GRA_ExportElement::CanUpdateMsg() {
    return true;
}

GRA_UserElement::~GRA_UserElement() = default;

void GRA_UserElement::DrawLittleSquare(UI_DrawingContextInterface* dc, UTL_Point p, bool filled) {
    if (dc == nullptr) {
        return;
    }
    const int configured =
        GRA_GeneralParams::GetGeneralParams(dc->GetContextKind()).GetHalfVertexSize();
    const std::int64_t h = configured < 0 ? 0 : (configured > 1024 ? 1024 : configured);
    const int left = saturate(std::int64_t{p.x} - h);
    const int right = saturate(std::int64_t{p.x} + h);
    const int top = saturate(std::int64_t{p.y} - h);
    const int bottom = saturate(std::int64_t{p.y} + h);
    dc->DrawLine(UTL_Point(left, top), UTL_Point(right, top));
    dc->DrawLine(UTL_Point(right, top), UTL_Point(right, bottom));
    dc->DrawLine(UTL_Point(right, bottom), UTL_Point(left, bottom));
    dc->DrawLine(UTL_Point(left, bottom), UTL_Point(left, top));
    if (filled) {
        for (std::int64_t y = std::int64_t{top} + 1; y < bottom; ++y) {
            dc->DrawLine(UTL_Point(left, static_cast<int>(y)),
                         UTL_Point(right, static_cast<int>(y)));
        }
    }
}
