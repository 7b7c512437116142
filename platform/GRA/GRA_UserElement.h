#pragma once

#include "GRA/GRA_BaseGraphicElement.h"

// GRA_ExportElement - a graphic element that can be written to DICOM messages
// (CanUpdateMsg answers true); what it writes is its own UpdateMsg.
class GRA_ExportElement : public GRA_BaseGraphicElement {
  public:
    GRA_ExportElement() = default;
    GRA_ExportElement(const GRA_ExportElement& src) = default;
    GRA_ExportElement& operator=(const GRA_ExportElement& src) = default;
    using GRA_BaseGraphicElement::operator=;
    ~GRA_ExportElement() override;

    bool CanUpdateMsg() override;
};

// GRA_UserElement - an element the user draws and edits over the view (as
// opposed to the system's annotations). It marks its vertices with little
// squares.
class GRA_UserElement : public GRA_ExportElement {
  public:
    GRA_UserElement() = default;
    GRA_UserElement(const GRA_UserElement& src) = default;
    GRA_UserElement& operator=(const GRA_UserElement& src) = default;
    using GRA_ExportElement::operator=;
    ~GRA_UserElement() override;

    // The outline of a square centred on p, half as wide as the half vertex
    // size h of the context's kind (GRA_GeneralParams): four DrawLine calls
    // (p.x-h, p.y-h) -> (p.x+h, p.y-h) -> (p.x+h, p.y+h) -> (p.x-h, p.y+h) -> back,
    // in the current pen. filled adds one horizontal line per inner row, top to
    // bottom. h is taken within 0..1024; corners beyond the int range are held
    // at its ends. A null dc draws nothing.
    void DrawLittleSquare(UI_DrawingContextInterface* dc, UTL_Point p, bool filled) override;
};
