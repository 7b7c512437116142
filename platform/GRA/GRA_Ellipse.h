#pragma once

// The framework's ellipse helpers, used by elements that draw an ellipse as a
// closed polygon of integer screen points.
//
// EllipsePointsNum(r) answers k for an ellipse whose larger half axis is r
// pixels; the polygon then has 4k + 2 points. k = ceil(pi * r / 4), so
// neighbouring points lie about 2 pixels apart along the larger axis, held
// within 1..kEllipseMaxQuarterPoints: a NaN, zero or negative r gives 1, and
// beyond about 2600 pixels k stays at the maximum (4k + 2 = 8194 points), so
// that a huge ellipse costs no more than a screen-sized one and 4k + 2 never
// overflows an int.
//
// GenerateEllipsePoints(r, a, b, c, s, first, second, n) writes exactly n
// points of the ellipse with half axes a and b, centred on 0, turned by the
// angle whose cosine and sine are c and s:
//     t_i = 2 pi i / n,   u = a cos t_i,   v = b sin t_i,
//     first[2i]  = round(u c - v s),   second[2i] = round(u s + v c)
// for i = 0 .. n-1, rounded to the nearest integer (halves away from zero) and
// held within the int range. first and second point into one interleaved
// buffer of pairs, so the points land 2 ints apart; passing the x slot as
// first and the y slot as second gives (x, y) pairs, the other way round gives
// (y, x) pairs. The points go round the ellipse once, in order, starting on the
// first axis. r is the radius EllipsePointsNum was given; it only documents
// the call. n <= 0 or a null address writes nothing.
inline constexpr int kEllipseMaxQuarterPoints = 2048;

int EllipsePointsNum(float r);
void GenerateEllipsePoints(float r, float a, float b, float c, float s, int* first, int* second,
                           int n);
