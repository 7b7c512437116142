#pragma once

#include "COM/COM_BStr.h"
#include "UTL/UTL_Color.h"

// GRA_GeneralParamsData - the drawing settings shared by all graphic elements
// drawn into one kind of context: pen colours, pen width and style, the title
// font and the size of vertex marks.
//
// GetPenParams(colour, width, style, selected, highlight, preview) answers the
// pen for an element:
//   colour   the highlight colour when highlight is non-zero, else the selected
//            colour when selected is non-zero, else the normal colour;
//   width    the pen width in pixels;
//   style    the pen style (UI_DrawingContextInterface::SelectPen): 1 (dashed)
//            when preview is non-zero (a line still being drawn), else the
//            configured style.
class GRA_GeneralParamsData {
  public:
    GRA_GeneralParamsData();

    void GetPenParams(UTL_Color& colour, int& width, int& style, int selected, int highlight,
                      int preview) const;
    // A family name the drawing context knows.
    _bstr_t GetTitleFont() const { return m_TitleFont; }
    // In pixels; the drawing context takes it in tenths.
    int GetFontSize() const { return m_nFontSize; }
    // Half the side of a vertex mark, in pixels.
    int GetHalfVertexSize() const { return m_nHalfVertexSize; }

    const UTL_Color& GetNormalColor() const { return m_NormalColor; }
    const UTL_Color& GetSelectedColor() const { return m_SelectedColor; }
    const UTL_Color& GetHighlightColor() const { return m_HighlightColor; }
    int GetPenWidth() const { return m_nPenWidth; }
    int GetPenStyle() const { return m_nPenStyle; }

    void SetNormalColor(const UTL_Color& colour) { m_NormalColor = colour; }
    void SetSelectedColor(const UTL_Color& colour) { m_SelectedColor = colour; }
    void SetHighlightColor(const UTL_Color& colour) { m_HighlightColor = colour; }
    void SetPenWidth(int width) { m_nPenWidth = width; }
    void SetPenStyle(int style) { m_nPenStyle = style; }
    void SetTitleFont(const _bstr_t& name) { m_TitleFont = name; }
    void SetFontSize(int size) { m_nFontSize = size; }
    void SetHalfVertexSize(int half) { m_nHalfVertexSize = half; }

  private:
    UTL_Color m_NormalColor;
    UTL_Color m_SelectedColor;
    UTL_Color m_HighlightColor;
    int m_nPenWidth;
    int m_nPenStyle;
    _bstr_t m_TitleFont;
    int m_nFontSize;
    int m_nHalfVertexSize;
};

// GRA_GeneralParams - the settings of each context kind, as the host
// configured them. Kinds 0 (screen), 1 (printer), 2 (film) and 3 (export to
// DICOM messages) have settings of their own; any other kind reads and writes
// those of the screen.
//
// Defaults of every kind: normal colour yellow (255, 255, 0), selected colour
// cyan (0, 255, 255), highlight colour green (0, 255, 0), pen width 1, solid
// style 0, title font "DejaVu Sans" at 12 pixels, half vertex size 3.
//
// The settings are process-wide and not guarded: the host changes them from
// its user-interface thread only.
class GRA_GeneralParams {
  public:
    enum ContextKind { SCREEN = 0, PRINTER = 1, FILM = 2, EXPORT = 3, KIND_COUNT = 4 };

    static GRA_GeneralParamsData& GetGeneralParams(int kind);
    // Every kind back to the defaults.
    static void ResetAll();
};
