#include "GRA/GRA_GeneralParams.h"

namespace {

GRA_GeneralParamsData g_Kinds[GRA_GeneralParams::KIND_COUNT];

}  // namespace

GRA_GeneralParamsData::GRA_GeneralParamsData()
    : m_NormalColor(255, 255, 0),
      m_SelectedColor(0, 255, 255),
      m_HighlightColor(0, 255, 0),
      m_nPenWidth(1),
      m_nPenStyle(0),
      m_TitleFont("DejaVu Sans"),
      m_nFontSize(12),
      m_nHalfVertexSize(3) {}

void GRA_GeneralParamsData::GetPenParams(UTL_Color& colour, int& width, int& style, int selected,
                                         int highlight, int preview) const {
    if (highlight != 0) {
        colour = m_HighlightColor;
    } else if (selected != 0) {
        colour = m_SelectedColor;
    } else {
        colour = m_NormalColor;
    }
    width = m_nPenWidth;
    style = preview != 0 ? 1 : m_nPenStyle;
}

GRA_GeneralParamsData& GRA_GeneralParams::GetGeneralParams(int kind) {
    if (kind < 0 || kind >= KIND_COUNT) {
        kind = SCREEN;
    }
    return g_Kinds[kind];
}

void GRA_GeneralParams::ResetAll() {
    for (GRA_GeneralParamsData& data : g_Kinds) {
        data = GRA_GeneralParamsData();
    }
}
