#pragma once

#include "COM/COM_BStr.h"
#include "UTL/UTL_Color.h"
#include "UTL/UTL_Point.h"

// UI_DrawingContextInterface - the host's drawing context: where graphic
// elements draw their overlays.
//
// Coordinates are screen pixels of the view: x grows to the right, y grows
// downward, (0, 0) is the top-left pixel. A point names a pixel; a line from a
// to b covers both end pixels (a zero-length line covers its one pixel).
//
// The operations, in the order of the host's table:
//   PrepareDrawing()               readies the context for an element's drawing
//                                  (the element calls it once before it chooses
//                                  a font); what it resets is the host's affair
//   SelectPen(colour, width, style) the pen for the following lines: width in
//                                  pixels (below 1 draws 1 pixel wide), style
//                                  0 solid, 1 dashed, 2 dotted (other values
//                                  solid)
//   DrawLine(from, to)             one line with the current pen and colour
//   SelectFont(name, size10, weight, aspect)
//                                  the font for text: a family name, its height
//                                  in tenths of a pixel, a weight (0 normal,
//                                  other values bold) and a width factor
//                                  (1.0 normal)
//   SetDrawColor(colour)           the colour of what follows (it replaces the
//                                  pen's colour, keeping its width and style)
//   GetContextKind()               the kind of the context (screen, printer,
//                                  ...), the key of GRA_GeneralParams
class UI_DrawingContextInterface {
  public:
    UI_DrawingContextInterface() = default;
    UI_DrawingContextInterface(const UI_DrawingContextInterface&) = delete;
    UI_DrawingContextInterface& operator=(const UI_DrawingContextInterface&) = delete;
    virtual ~UI_DrawingContextInterface();

    virtual void PrepareDrawing() = 0;
    virtual void SelectPen(const UTL_Color& colour, int width, int style) = 0;
    virtual void DrawLine(UTL_Point from, UTL_Point to) = 0;
    virtual void SelectFont(const _bstr_t& name, int size10, int weight, float aspect) = 0;
    virtual void SetDrawColor(UTL_Color colour) = 0;
    virtual int GetContextKind() = 0;
};
