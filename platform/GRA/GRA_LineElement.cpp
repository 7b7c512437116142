#include "GRA/GRA_LineElement.h"

#include "IP/IP_Matrix.h"
#include "UTL/UTL_Numeric.h"

GRA_LineElement::GRA_LineElement(const IP_3Coord& from, const IP_3Coord& to, const _bstr_t& label,
                                 const UTL_Color& colour, unsigned property, int number,
                                 int numberingStyle, bool flag)
    : m_From(from),
      m_To(to),
      m_Label(label),
      m_Color(colour),
      m_nNumber(number),
      m_nNumberingStyle(numberingStyle),
      m_bFlag(flag) {
    m_nProperty = property;
}

GRA_LineElement::~GRA_LineElement() = default;

void GRA_LineElement::GetScreenEnds(const float (*m)[4], UTL_Point& from, UTL_Point& to) const {
    IP_3Coord a;
    IP_3Coord b;
    IP_vec3mlt(m_From, m, a);
    IP_vec3mlt(m_To, m, b);
    from = UTL_Point(UTL_TruncToInt(a.x), UTL_TruncToInt(a.y));
    to = UTL_Point(UTL_TruncToInt(b.x), UTL_TruncToInt(b.y));
}
