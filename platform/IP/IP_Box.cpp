#include "IP/IP_Box.h"

#include <algorithm>
#include <cstring>

IP_Box::IP_Box() : m_Values{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1} {}

IP_Box::IP_Box(const IP_3Coord& origin, const IP_3Coord& u, const IP_3Coord& v, const IP_3Coord& w)
    : m_Values{origin.x, origin.y, origin.z, u.x, u.y, u.z, v.x, v.y, v.z, w.x, w.y, w.z} {}

IP_Box IP_Box::FromCorners(const IP_3Coord& low, const IP_3Coord& high) {
    return IP_Box(low, IP_3Coord(high.x - low.x, 0, 0), IP_3Coord(0, high.y - low.y, 0),
                  IP_3Coord(0, 0, high.z - low.z));
}

void IP_Box::GetValues(float* values) const {
    std::memcpy(values, m_Values, sizeof m_Values);
}

void IP_Box::SetValues(const float* values) {
    std::memcpy(m_Values, values, sizeof m_Values);
}

IP_3Coord IP_Box::GetOrigin() const {
    return IP_3Coord(m_Values[0], m_Values[1], m_Values[2]);
}

IP_3Coord IP_Box::GetEdge(int axis) const {
    if (axis < 0 || axis > 2) {
        return IP_3Coord(0, 0, 0);
    }
    const float* e = m_Values + 3 + 3 * axis;
    return IP_3Coord(e[0], e[1], e[2]);
}

IP_3Coord IP_Box::ToPhysical(float s, float t, float r) const {
    float p[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = float(double(m_Values[i]) + double(s) * m_Values[3 + i] +
                     double(t) * m_Values[6 + i] + double(r) * m_Values[9 + i]);
    }
    return IP_3Coord(p[0], p[1], p[2]);
}

void IP_Box::GetInvNormTrans(float (*out)[4]) const {
    for (int row = 0; row < 3; ++row) {
        for (int i = 0; i < 3; ++i) {
            out[row][i] = m_Values[3 + 3 * row + i];
        }
        out[row][3] = 0.0f;
    }
    for (int i = 0; i < 3; ++i) {
        out[3][i] = m_Values[i];
    }
    out[3][3] = 1.0f;
}

bool IP_Box::operator==(const IP_Box& other) const {
    return std::equal(m_Values, m_Values + kValueCount, other.m_Values);
}
