#include "GRA/GRA_ElementSet.h"

#include <memory>
#include <utility>

#include "GRA/GRA_GeneralParams.h"
#include "UI/UI_DrawingContextInterface.h"

namespace {

// A deep copy of the elements of src, all or nothing.
RWTValOrderedVector<GRA_LineElement*> copy_elements(
    const RWTValOrderedVector<GRA_LineElement*>& src) {
    RWTValOrderedVector<GRA_LineElement*> copy;
    try {
        copy.reserve(src.entries());
        for (const GRA_LineElement* element : src) {
            copy.append(new GRA_LineElement(*element));
        }
    } catch (...) {
        for (GRA_LineElement* element : copy) {
            delete element;
        }
        throw;
    }
    return copy;
}

}  // namespace

GRA_ElementSet::GRA_ElementSet(const GRA_ElementSet& src)
    : GRA_BaseElement(src), m_Elements(copy_elements(src.m_Elements)) {}

GRA_ElementSet& GRA_ElementSet::operator=(const GRA_ElementSet& src) {
    if (this != &src) {
        RWTValOrderedVector<GRA_LineElement*> copy = copy_elements(src.m_Elements);
        delete_all();
        m_Elements = std::move(copy);
        GRA_BaseElement::operator=(src);
    }
    return *this;
}

GRA_ElementSet::~GRA_ElementSet() {
    delete_all();
}

void GRA_ElementSet::delete_all() {
    for (GRA_LineElement* element : m_Elements) {
        delete element;
    }
    m_Elements.clear();
}

void GRA_ElementSet::AddElement(GRA_LineElement* element) {
    if (element == nullptr) {
        return;
    }
    std::unique_ptr<GRA_LineElement> owned(element);
    m_Elements.append(owned.get());
    owned.release();
}

void GRA_ElementSet::SetColor(const UTL_Color& colour) {
    for (GRA_LineElement* element : m_Elements) {
        element->SetColor(colour);
    }
}

void GRA_ElementSet::Draw(UTL_BaseParamsVec* /*params*/, UI_DrawingContextInterface* dc,
                          const float (*m)[4], bool selected, bool highlight) const {
    if (dc == nullptr || m == nullptr) {
        return;
    }
    UTL_Color unused;
    int width = 1;
    int style = 0;
    GRA_GeneralParams::GetGeneralParams(dc->GetContextKind())
        .GetPenParams(unused, width, style, selected ? 1 : 0, highlight ? 1 : 0, 0);
    for (const GRA_LineElement* element : m_Elements) {
        UTL_Point from;
        UTL_Point to;
        element->GetScreenEnds(m, from, to);
        dc->SelectPen(element->GetColor(), width, style);
        dc->DrawLine(from, to);
    }
}
