#pragma once

#include "elements/VXR_Voi.h"

// VXR_OvalVoi - an oval volume of interest: the ellipse inscribed in four
// corners kept as VXR_RectVoi keeps them (P0 anchor, P2 opposite, P1 = (P2.x,
// P0.y), P3 = (P0.x, P2.y)).
//
// The ellipse is drawn as a closed polygon whose points the element keeps in a
// buffer it owns: a cache of the last Draw, recomputed by every Draw
// (create_ellipse), released when recomputed and when the element dies, and
// never copied: copies and clones start without one.
//
// Reshape, Resize and Move need the four corners: on fewer points (a
// default-constructed element) they raise RWBoundsErr and change nothing.
// Coordinates that would leave the int range stay at its ends.
class VXR_OvalVoi : public VXR_Voi {
  public:
    // No points, no ellipse.
    VXR_OvalVoi();
    // Four corners at (x, y), no ellipse yet.
    VXR_OvalVoi(long x, long y);
    // src's points and base state; no ellipse.
    VXR_OvalVoi(const VXR_OvalVoi& src);
    using VXR_Voi::operator=;
    // Copies nothing; answers this element.
    VXR_OvalVoi& operator=(const VXR_OvalVoi& src);
    ~VXR_OvalVoi() override;

    // A new plain VXR_OvalVoi with this element's points and base state and no
    // ellipse, owned by the caller (also for the Plus and Minus forms); null
    // when memory runs out.
    GRA_BaseGraphicElement* Clone() override;
    // src's points (when src is a volume of interest), then VXR_Voi::Copy. The
    // ellipse stays as it is until the next Draw.
    void Copy(GRA_BaseGraphicElement* src) override;
    // Does nothing: the rendering copy has nothing to hand back.
    void Defrost(GRA_BaseGraphicElement* src) override;
    // With flag3 true: the set-up of VXR_Voi::prepare_drawing,
    // create_ellipse(kind), the polygon's sides E[i]-E[i+1] and, for more than
    // two points, the closing side E[m-1]-E[0]; then DrawLittleSquare(dc, P,
    // false) for every point of the outline. With flag3 false nothing is called.
    void Draw(UTL_BaseParamsVec* params, UTL_BaseParamsVec* params2, UI_DrawingContextInterface* dc,
              bool flag1, bool flag2, int n, bool flag3) override;
    // Shifts the shape so that P0 lands on (x, y).
    virtual void Move(int x, int y);

    // P1.x, P2.x += dx; P2.y, P3.y += dy.
    void Reshape(int dx, int dy);
    // P2 moves to (x, y); P1 and P3 follow.
    void Resize(int x, int y);

    // Recomputes the ellipse from the corners, for the general parameters of
    // context kind `kind`. With fewer than four points nothing changes.
    // With a and b the half lengths of P0-P1 and P0-P3 and h the half vertex
    // size:
    //   a >= h and b >= h  4 * EllipsePointsNum(floor(max(a, b))) + 2 points
    //                      of the ellipse around the centre (P0 + P2) / 2
    //                      (truncated toward zero);
    //   otherwise, a or b at least 0.5: two points, the centre plus and minus
    //                      (trunc(a), trunc(b)): a line through the centre;
    //   otherwise          one point, the centre.
    // The lengths and the centre are computed without integer overflow for any
    // coordinates, and the points are held within the int range. The point
    // count is bounded (GRA_Ellipse.h), so even a huge oval is cheap. When no
    // buffer can be obtained, "Not Enough Memory For ellipse" is written to the
    // standard output and the element keeps no ellipse (count 0).
    void create_ellipse(int kind);

    // The ellipse of the last Draw: its number of points and the interleaved
    // (x, y) pairs (null when there is none).
    int GetEllipsePointCount() const { return m_nEllipsePoints; }
    const int* GetEllipsePoints() const { return m_pEllipsePoints; }

  protected:
    int m_nEllipsePoints = 0;
    int* m_pEllipsePoints = nullptr;

  private:
    void release_ellipse();
    // A buffer of count pairs, or false after reporting that there is none.
    bool obtain_ellipse(int count);
};

// The oval as a region added to the volume (element type 231).
class VXR_OvalVoiPlus : public VXR_OvalVoi {
  public:
    static constexpr int kElementType = 231;

    VXR_OvalVoiPlus(long x, long y);
    VXR_OvalVoiPlus(const VXR_OvalVoiPlus& src);
    using VXR_OvalVoi::operator=;
    VXR_OvalVoiPlus& operator=(const VXR_OvalVoiPlus& src);
    ~VXR_OvalVoiPlus() override;

    // Writes 231 into the element-type code, then VXR_OvalVoi::Copy.
    void Copy(GRA_BaseGraphicElement* src) override;
};

// The oval as a region cut from the volume (element type 232).
class VXR_OvalVoiMinus : public VXR_OvalVoi {
  public:
    static constexpr int kElementType = 232;

    VXR_OvalVoiMinus(long x, long y);
    VXR_OvalVoiMinus(const VXR_OvalVoiMinus& src);
    using VXR_OvalVoi::operator=;
    VXR_OvalVoiMinus& operator=(const VXR_OvalVoiMinus& src);
    ~VXR_OvalVoiMinus() override;

    // Writes 232 into the element-type code, then VXR_OvalVoi::Copy.
    void Copy(GRA_BaseGraphicElement* src) override;
};
