#pragma once

#include <string>
#include <utility>
#include <vector>

#include "UI/UI_DrawingContextInterface.h"

// UI_RecordingContext - a drawing context that draws nothing and records every
// call with its arguments, for tests and for tracing an element's drawing.
//
// Each call becomes one UI_RecordedCall and one line of Dump(), written as the
// call was made:
//   PrepareDrawing()
//   SelectPen((255,0,0), 1, 0)
//   DrawLine((10,20), (30,20))
//   SelectFont("DejaVu Sans", 90, 0, 1)
//   SetDrawColor((255,0,0))
//   GetContextKind() -> 0
// (floats print with the shortest text that reads back to the same value).
// GetContextKind answers the kind given to the constructor or SetContextKind.
class UI_RecordingContext : public UI_DrawingContextInterface {
  public:
    enum Operation {
        PREPARE_DRAWING,
        SELECT_PEN,
        DRAW_LINE,
        SELECT_FONT,
        SET_DRAW_COLOR,
        GET_CONTEXT_KIND,
    };

    // One call; only the fields of its operation are meaningful.
    struct UI_RecordedCall {
        Operation op = PREPARE_DRAWING;
        UTL_Color colour;     // SelectPen, SetDrawColor
        int a = 0;            // SelectPen width, SelectFont size10, GetContextKind answer
        int b = 0;            // SelectPen style, SelectFont weight
        UTL_Point from;       // DrawLine
        UTL_Point to;         // DrawLine
        std::u16string font;  // SelectFont name
        float aspect = 0.0f;  // SelectFont
    };

    explicit UI_RecordingContext(int kind = 0) : m_nKind(kind) {}

    void PrepareDrawing() override;
    void SelectPen(const UTL_Color& colour, int width, int style) override;
    void DrawLine(UTL_Point from, UTL_Point to) override;
    void SelectFont(const _bstr_t& name, int size10, int weight, float aspect) override;
    void SetDrawColor(UTL_Color colour) override;
    int GetContextKind() override;

    void SetContextKind(int kind) { m_nKind = kind; }
    const std::vector<UI_RecordedCall>& Calls() const { return m_Calls; }
    // The calls, one readable line each (see above).
    std::vector<std::string> Dump() const;
    // The lines drawn, in order.
    std::vector<std::pair<UTL_Point, UTL_Point>> Lines() const;
    void Clear() { m_Calls.clear(); }

    static std::string Describe(const UI_RecordedCall& call);

  private:
    int m_nKind;
    std::vector<UI_RecordedCall> m_Calls;
};
