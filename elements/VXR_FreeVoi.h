#pragma once

#include "elements/VXR_Voi.h"

// VXR_FreeVoi - a free-hand volume of interest: the open polyline of the points
// the user lays down, two or more in drawing order (created as two copies of the
// start point, the second following the pointer). No vertex squares are drawn.
class VXR_FreeVoi : public VXR_Voi {
  public:
    // No points.
    VXR_FreeVoi();
    // Two points at (x, y).
    VXR_FreeVoi(long x, long y);
    VXR_FreeVoi(const VXR_FreeVoi& src);
    using VXR_Voi::operator=;
    // Copies nothing; answers this element.
    VXR_FreeVoi& operator=(const VXR_FreeVoi& src);
    ~VXR_FreeVoi() override;

    // A new plain VXR_FreeVoi with this element's points and base state, owned
    // by the caller; null when memory runs out.
    GRA_BaseGraphicElement* Clone() override;
    // src's points (when src is a volume of interest), then VXR_Voi::Copy.
    void Copy(GRA_BaseGraphicElement* src) override;
    // With flag3 true: the set-up of VXR_Voi::prepare_drawing, then, when there
    // are two points or more, DrawLine(P[i], P[i+1]) for every neighbouring pair;
    // the outline stays open. With flag3 false nothing is called.
    void Draw(UTL_BaseParamsVec* params, UTL_BaseParamsVec* params2, UI_DrawingContextInterface* dc,
              bool flag1, bool flag2, int n, bool flag3) override;

    // Shifts every point so that the first lands on (x, y); an outline without
    // points is left alone.
    void Move(int x, int y);
};

// The free-hand outline as a region added to the volume (element type 233).
class VXR_FreeVoiPlus : public VXR_FreeVoi {
  public:
    static constexpr int kElementType = 233;

    VXR_FreeVoiPlus(long x, long y);
    VXR_FreeVoiPlus(const VXR_FreeVoiPlus& src);
    using VXR_FreeVoi::operator=;
    VXR_FreeVoiPlus& operator=(const VXR_FreeVoiPlus& src);
    ~VXR_FreeVoiPlus() override;

    // Writes 233 into the element-type code, then VXR_FreeVoi::Copy.
    void Copy(GRA_BaseGraphicElement* src) override;
};

// The free-hand outline as a region cut from the volume (element type 234).
class VXR_FreeVoiMinus : public VXR_FreeVoi {
  public:
    static constexpr int kElementType = 234;

    VXR_FreeVoiMinus(long x, long y);
    VXR_FreeVoiMinus(const VXR_FreeVoiMinus& src);
    using VXR_FreeVoi::operator=;
    VXR_FreeVoiMinus& operator=(const VXR_FreeVoiMinus& src);
    ~VXR_FreeVoiMinus() override;

    // Writes 234 into the element-type code, then VXR_FreeVoi::Copy.
    void Copy(GRA_BaseGraphicElement* src) override;
};
