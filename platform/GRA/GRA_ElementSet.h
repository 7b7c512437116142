#pragma once

#include <cstddef>

#include "GRA/GRA_LineElement.h"
#include "RW/RWTValOrderedVector.h"

class UI_DrawingContextInterface;
class UTL_BaseParamsVec;

// GRA_ElementSet - an ordered set of line elements that the set owns and draws
// together; an element keeps the index at which it was added.
//
// The set deletes its elements when it is destroyed. Copies (constructor and
// assignment) copy every element; a copy is complete or raises std::bad_alloc
// and leaves the target as it was. The set's own property word (GRA_BaseElement)
// tells how the owner shows the set.
class GRA_ElementSet : public GRA_BaseElement {
  public:
    GRA_ElementSet() = default;
    GRA_ElementSet(const GRA_ElementSet& src);
    GRA_ElementSet& operator=(const GRA_ElementSet& src);
    ~GRA_ElementSet() override;

    // Takes ownership of element and appends it; a null element is ignored.
    // When memory runs out the element is deleted and std::bad_alloc raised.
    void AddElement(GRA_LineElement* element);
    std::size_t GetCount() const { return m_Elements.entries(); }
    // Element i, still owned by the set; RWBoundsErr for i at or beyond the count.
    GRA_LineElement* GetElement(std::size_t i) const { return m_Elements[i]; }
    // Gives every element this colour.
    void SetColor(const UTL_Color& colour);
    // Draws every element, in order: its ends mapped by m (GetScreenEnds), in
    // its own colour, with the pen width and style of the context kind's general
    // parameters (GetPenParams(selected, highlight)). Null dc or m draws nothing.
    void Draw(UTL_BaseParamsVec* params, UI_DrawingContextInterface* dc, const float (*m)[4],
              bool selected, bool highlight) const;

  private:
    void delete_all();

    RWTValOrderedVector<GRA_LineElement*> m_Elements;
};
