#pragma once

#include "IP/IP_3Coord.h"

// The geometry library's 4x4 matrix routines.
//
// A matrix is 16 floats, row by row, passed as `float (*)[4]`; m[i][j] is row i,
// column j. One convention holds for every routine here:
//
//  * Points are ROW vectors multiplied on the left: p' = p * M. A rigid or
//    affine matrix therefore keeps its translation in row 3 (m[3][0..2]) and
//    has column 3 equal to (0, 0, 0, 1).
//  * IP_Mmul(a, b, out) writes a * b: applied to a point, a acts first, then b.
//  * Rotations are right-handed: a positive angle turns counter-clockwise when
//    seen from the tip of the axis looking toward the origin; about 'z', the
//    x axis turns toward the y axis. In the row-vector layout that puts +sin in
//    m[0][1] of IP_Mrotmat(m, a, 'z'):
//
//        about 'x'            about 'y'            about 'z'
//        | 1  0  0  0 |       | c  0 -s  0 |       | c  s  0  0 |
//        | 0  c  s  0 |       | 0  1  0  0 |       |-s  c  0  0 |
//        | 0 -s  c  0 |       | s  0  c  0 |       | 0  0  1  0 |
//        | 0  0  0  1 |       | 0  0  0  1 |       | 0  0  0  1 |
//
//  * Angles are radians.
//  * Every routine computes in double precision and rounds each result element
//    to float once, so results do not depend on evaluation order. Outputs may
//    alias inputs: each routine reads all of its input before writing.
//
// Planes are four floats (a, b, c, d) meaning a*x + b*y + c*z = d.

// Tolerance by which IP_MgenNRoot decides that a matrix is a rotation (or a
// rigid motion): every element of R * R^T - I (R the upper 3x3 block) and every
// element of column 3 minus (0, 0, 0, 1) within this bound, and det R > 0.
inline constexpr double kIP_RotationTolerance = 1e-3;

// A rotation whose angle lies within this many radians of a half turn counts as
// a half turn for IP_MgenNRoot (see there): its sense of turning is then too
// close to the rounding noise to choose the root by.
inline constexpr double kIP_HalfTurnTolerance = 1e-3;

// IP_Minv declares a matrix singular when, after each row is scaled so that its
// largest magnitude is 1, elimination meets a pivot whose magnitude is at most
// this value. Such a matrix has no inverse worth using in float.
inline constexpr double kIP_SingularTolerance = 1e-6;

// m = identity.
void IP_Midnt(float (*m)[4]);

// out = a * b. out may be a or b.
void IP_Mmul(const float (*a)[4], const float (*b)[4], float (*out)[4]);

// out = m^-1, answering true. A singular matrix, one holding NaN or infinity,
// or one whose inverse does not fit in float (an entry would be infinite),
// answers false and fills out with quiet NaN: a caller that ignores
// the answer carries NaN on instead of a wrong matrix. out may be m.
bool IP_Minv(const float (*m)[4], float (*out)[4]);

// out = the rotation by `radians` about the coordinate axis 'x', 'y' or 'z'
// (upper case accepted too). Any other character answers false and gives the
// identity.
bool IP_Mrotmat(float (*out)[4], float radians, char axis);

// out = the rotation by `radians` about the axis through the origin along
// (axis.x, axis.y, axis.z); axis.w is ignored. The axis is normalised here (in
// double), so a non-unit axis gives the same rotation as its unit vector. A zero
// axis or a NaN/infinite component answers false and gives the identity.
bool IP_Mgenrot(float (*out)[4], float radians, const IP_3Coord& axis);

// out = a matrix whose k-th power is m, for m a rotation or a rigid motion
// (rotation plus translation in row 3) within kIP_RotationTolerance, and k >= 1.
//  * The root turns by angle/k about m's own axis, the angle taken in [0, pi]:
//    the smallest turn, in m's own sense.
//  * Half turn (angle within kIP_HalfTurnTolerance of pi): both senses are
//    roots; the root turns POSITIVELY about the axis direction whose component
//    of largest magnitude is positive (the first such component on a tie). A
//    half turn about y, or about -y, gives a root turning by pi/k about +y.
//  * The identity's root is the identity.
//  * A translation t is shared out so that the k steps add up to it exactly
//    (the root is a screw motion's k-th step).
// Anything else (a reflection, shear, scaling, projective last column, NaN or
// infinity, k < 1) answers false and gives the identity. out may be m.
// The answer's k-th power equals m within the deviation m has from an exact
// rotation plus float rounding.
bool IP_MgenNRoot(float (*out)[4], const float (*m)[4], int k);

// m = m * translation(x, y, z): the translation is applied after what m does.
// For an affine m this adds (x, y, z) to row 3.
void IP_Mtranslate(float (*m)[4], float x, float y, float z);

// Carries a plane by m, in place: afterwards p * m lies on the plane exactly
// when p lay on it before. The equation is not normalised (a rigid m keeps the
// length of (a, b, c); a scaling changes it). A singular or non-finite m
// answers false and leaves the plane unchanged.
bool IP_myeqtrans(float* plane, const float (*m)[4]);

// result = point * m, the point taken as (x, y, z, 1) whatever its w. When the
// product's fourth component w' is neither 0 nor 1 (a projective m), x, y, z are
// divided by it and result.w = 1; when w' is 0 the result is the undivided
// direction with result.w = 0. For an affine m, result.w is always 1.
// result may be point.
void IP_vec3mlt(const IP_3Coord& point, const float (*m)[4], IP_3Coord& result);
