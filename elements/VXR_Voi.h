#pragma once

#include "GRA/GRA_UserElement.h"
#include "RW/RWTValOrderedVector.h"
#include "UTL/UTL_Point.h"

// VXR_Voi - the abstract base of the volume-of-interest outlines (rectangle,
// oval, free-hand; VXR_RectVoi.h, VXR_OvalVoi.h, VXR_FreeVoi.h).
//
// It owns the outline's vertices by value: integer screen pixels of the host's
// view, in drawing order, taken and returned exactly as the host gives them.
// The editing operations below are those the host's drawing tools call while
// the user drags; none of them indexes past the end of the list. Indexed reads
// of the list raise RWBoundsErr for an index at or beyond the count.
//
// The element draws nothing itself (the shapes do), detects nothing of its own
// and writes nothing to DICOM messages. Assignment copies nothing: elements
// take each other's state through Copy, which the shapes extend with the points.
class VXR_Voi : public GRA_UserElement {
  public:
    VXR_Voi();
    // Base state (the element-type code included) and a copy of src's points.
    VXR_Voi(const VXR_Voi& src);
    using GRA_UserElement::operator=;
    // Copies nothing; answers this element.
    VXR_Voi& operator=(const VXR_Voi& src);
    ~VXR_Voi() override;

    GRA_BaseGraphicElement* Clone() override = 0;
    // Only the framework's Copy (GRA_BaseGraphicElement::Copy): the points are
    // copied by the shapes before they call this.
    void Copy(GRA_BaseGraphicElement* src) override;
    void Draw(UTL_BaseParamsVec* params, UTL_BaseParamsVec* params2, UI_DrawingContextInterface* dc,
              bool flag1, bool flag2, int n, bool flag3) override = 0;
    // Writes nothing; answers 0.
    int UpdateMsg(IOD_Msg* msg, UTL_BaseParamsVec* params, float (*m)[4], GRA_Mode mode) override;
    // Does nothing.
    void UpdateFromMsg(int count, float* values, float (*m)[4]) override;

    // The list becomes n copies of (x, y); n <= 0 empties it. When memory runs
    // out the list is left as it was and std::bad_alloc raised.
    void Set(int n, int x, int y);
    // Appends (x, y); when memory runs out the list is unchanged (std::bad_alloc).
    void AddPoint(int x, int y);
    // The last point becomes (x, y); an empty list is left alone.
    void MoveEndPoint(int x, int y);
    // Takes back the last point; when the last two points coincide (a point laid
    // down twice), both. An empty list is left alone.
    void DeleteLastPoint();
    // The last point; (0, 0) for an empty list. Null addresses are skipped.
    void GetLastPoint(long* x, long* y) const;

    const RWTValOrderedVector<UTL_Point>& GetPoints() const { return m_Points; }

  protected:
    // False: the outline is drawn in screen pixels and does not follow zoom or pan.
    bool AffectedByPresentation() override;

    // The drawing set-up the shapes share. With flag3 false (or no context)
    // nothing is called and the answer is false. Otherwise: the context kind,
    // the highlight pen of its general parameters (GetPenParams(flag2, flag3,
    // 0)), PrepareDrawing, the title font (SelectFont(font, size * 10, 0, 1.0)),
    // SelectPen and SetDrawColor with that pen; answers true and the kind.
    bool prepare_drawing(UI_DrawingContextInterface* dc, bool flag2, bool flag3, int& kind);

    // Raises RWBoundsErr, changing nothing, unless the list holds the four
    // corners of a rectangle or oval.
    void require_corners() const;
    // The corner edits of the rectangle and the oval (P2 moves, P1 and P3
    // follow). Coordinates are held within the int range.
    void reshape_corners(int dx, int dy);
    void resize_corners(int x, int y);
    // Adds (x - P0.x, y - P0.y) to every point, held within the int range; an
    // empty list is left alone.
    void move_points(int x, int y);

    // A coordinate the host passes as long, held within the int range.
    static int to_coordinate(long v);

    RWTValOrderedVector<UTL_Point> m_Points;
};
