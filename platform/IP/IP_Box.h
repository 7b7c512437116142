#pragma once

#include "IP/IP_3Coord.h"

// IP_Box - a box in physical space: a corner and three edge vectors, twelve
// floats in this order:
//
//     values[0..2]   origin   (x, y, z) of the corner the edges leave from
//     values[3..5]   edge u   from the origin along the box's first axis
//     values[6..8]   edge v   along the second axis
//     values[9..11]  edge w   along the third axis
//
// The box is the set origin + s*u + t*v + r*w for s, t, r in [0, 1]; the edges
// need not be orthogonal or of one length. GetInvNormTrans gives the matrix that
// takes those normalised coordinates (the unit cube) to physical ones (row
// vectors, IP/IP_Matrix.h): rows u, v, w, and (origin, 1).
//
// A default box is the unit cube at the origin. Boxes are plain values.
class IP_Box {
  public:
    static constexpr int kValueCount = 12;

    IP_Box();
    IP_Box(const IP_3Coord& origin, const IP_3Coord& u, const IP_3Coord& v, const IP_3Coord& w);

    // An axis-aligned box from its lowest and highest corner.
    static IP_Box FromCorners(const IP_3Coord& low, const IP_3Coord& high);

    void GetValues(float* values) const;
    void SetValues(const float* values);

    IP_3Coord GetOrigin() const;
    // axis 0, 1 or 2: u, v or w; any other value gives (0, 0, 0).
    IP_3Coord GetEdge(int axis) const;

    // The physical point of the normalised coordinates (s, t, r).
    IP_3Coord ToPhysical(float s, float t, float r) const;
    void GetInvNormTrans(float (*out)[4]) const;

    bool operator==(const IP_Box& other) const;
    bool operator!=(const IP_Box& other) const { return !(*this == other); }

  private:
    float m_Values[kValueCount];
};
