#pragma once

// IP_3Coord - the geometry library's point: four floats x, y, z, w.
//
// Points are stored with w = 1 (the default), directions usually too; the
// routines of IP_Matrix.h state for each what they do with w. Members are
// public: a point is plain data that callers read and write directly.
class IP_3Coord {
  public:
    IP_3Coord() = default;
    IP_3Coord(float px, float py, float pz, float pw = 1.0f) : x(px), y(py), z(pz), w(pw) {}

    // Scales (x, y, z) to unit length; w is left as it is. The length is taken
    // in double precision, so tiny and huge vectors normalise without
    // underflow or overflow. A zero vector, or one with a NaN or infinite
    // component, cannot be normalised: it is left unchanged and the answer is
    // false. Callers that go on with the result must check the answer.
    bool Normalize();

    // True when this point's (x, y, z) lies within tolerance of the segment
    // from `from` to `to`, measured as the Euclidean distance in 3-D to the
    // nearest point of the segment (its end points included; a segment of zero
    // length is its single point). w is ignored everywhere. A negative or NaN
    // tolerance, or a NaN coordinate, answers false.
    bool WithinDistanceFromLine(const IP_3Coord& from, const IP_3Coord& to, float tolerance) const;

    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};
