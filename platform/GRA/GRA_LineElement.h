#pragma once

#include "COM/COM_BStr.h"
#include "GRA/GRA_BaseGraphicElement.h"
#include "IP/IP_3Coord.h"
#include "UTL/UTL_Color.h"

// GRA_LineElement - one straight line of the framework, between two points in
// the coordinates of its owner (for example physical space); drawing maps them
// to the screen through a matrix.
//
// It carries a colour, a label, a number (its place in its owner's numbering)
// with a numbering style, a property word and a flag the owner sets for its own
// purposes. It owns nothing; copies are independent.
class GRA_LineElement : public GRA_BaseElement {
  public:
    GRA_LineElement(const IP_3Coord& from, const IP_3Coord& to, const _bstr_t& label,
                    const UTL_Color& colour, unsigned property, int number, int numberingStyle,
                    bool flag);
    GRA_LineElement(const GRA_LineElement&) = default;
    GRA_LineElement& operator=(const GRA_LineElement&) = default;
    ~GRA_LineElement() override;

    void SetCoord(const IP_3Coord& from, const IP_3Coord& to) {
        m_From = from;
        m_To = to;
    }
    const IP_3Coord& GetFrom() const { return m_From; }
    const IP_3Coord& GetTo() const { return m_To; }
    const UTL_Color& GetColor() const { return m_Color; }
    void SetColor(const UTL_Color& colour) { m_Color = colour; }
    bool GetFlag() const { return m_bFlag; }
    void SetFlag(bool flag) { m_bFlag = flag; }
    int GetNumber() const { return m_nNumber; }
    int GetNumberingStyle() const { return m_nNumberingStyle; }
    const _bstr_t& GetLabel() const { return m_Label; }

    // The two ends mapped by m (row vectors, p' = p * m, as IP_vec3mlt), their x
    // and y truncated toward zero to pixels (held within the int range); z is
    // dropped.
    void GetScreenEnds(const float (*m)[4], UTL_Point& from, UTL_Point& to) const;

  private:
    IP_3Coord m_From;
    IP_3Coord m_To;
    _bstr_t m_Label;
    UTL_Color m_Color;
    int m_nNumber;
    int m_nNumberingStyle;
    bool m_bFlag;
};
