#pragma once

#include "elements/VXR_Voi.h"

// VXR_RectVoi - a rectangular volume of interest, spanned by four corners:
// P0 the anchor where the user started, P2 the opposite corner, P1 = (P2.x,
// P0.y) and P3 = (P0.x, P2.y). The outline runs P0, P1, P2, P3 and back.
//
// Reshape, Resize, Move and Draw need the four corners: on a list of fewer
// points (a default-constructed element) they raise RWBoundsErr and change
// nothing. Coordinates that would leave the int range stay at its ends.
class VXR_RectVoi : public VXR_Voi {
  public:
    // No points.
    VXR_RectVoi();
    // Four corners at (x, y).
    VXR_RectVoi(long x, long y);
    VXR_RectVoi(const VXR_RectVoi& src);
    using VXR_Voi::operator=;
    // Copies nothing; answers this element.
    VXR_RectVoi& operator=(const VXR_RectVoi& src);
    ~VXR_RectVoi() override;

    // A new plain VXR_RectVoi with this element's points and base state, owned
    // by the caller (also for the Plus and Minus forms); null when memory runs
    // out.
    GRA_BaseGraphicElement* Clone() override;
    // src's points (when src is a volume of interest), then VXR_Voi::Copy.
    void Copy(GRA_BaseGraphicElement* src) override;
    // With flag3 true: the set-up of VXR_Voi::prepare_drawing, the four edges
    // P0-P1, P1-P2, P2-P3, P3-P0, then DrawLittleSquare(dc, P[i], false) for
    // i = 0..3. With flag3 false nothing is called.
    void Draw(UTL_BaseParamsVec* params, UTL_BaseParamsVec* params2, UI_DrawingContextInterface* dc,
              bool flag1, bool flag2, int n, bool flag3) override;

    // P1.x, P2.x += dx; P2.y, P3.y += dy.
    void Reshape(int dx, int dy);
    // P2 moves to (x, y); P1 and P3 follow.
    void Resize(int x, int y);
    // Shifts the shape so that P0 lands on (x, y).
    void Move(int x, int y);
};

// The rectangle as a region added to the volume (element type 229).
class VXR_RectVoiPlus : public VXR_RectVoi {
  public:
    static constexpr int kElementType = 229;

    VXR_RectVoiPlus(long x, long y);
    VXR_RectVoiPlus(const VXR_RectVoiPlus& src);
    using VXR_RectVoi::operator=;
    VXR_RectVoiPlus& operator=(const VXR_RectVoiPlus& src);
    ~VXR_RectVoiPlus() override;

    // Writes 229 into the element-type code, then VXR_RectVoi::Copy.
    void Copy(GRA_BaseGraphicElement* src) override;
};

// The rectangle as a region cut from the volume (element type 230).
class VXR_RectVoiMinus : public VXR_RectVoi {
  public:
    static constexpr int kElementType = 230;

    VXR_RectVoiMinus(long x, long y);
    VXR_RectVoiMinus(const VXR_RectVoiMinus& src);
    using VXR_RectVoi::operator=;
    VXR_RectVoiMinus& operator=(const VXR_RectVoiMinus& src);
    ~VXR_RectVoiMinus() override;

    // Writes 230 into the element-type code, then VXR_RectVoi::Copy.
    void Copy(GRA_BaseGraphicElement* src) override;
};
