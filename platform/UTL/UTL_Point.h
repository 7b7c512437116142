#pragma once

// UTL_Point - an integer screen point in pixels.
struct UTL_Point {
    int x = 0;
    int y = 0;

    UTL_Point() = default;
    UTL_Point(int px, int py) : x(px), y(py) {}
    bool operator==(const UTL_Point& other) const { return x == other.x && y == other.y; }
    bool operator!=(const UTL_Point& other) const { return !(*this == other); }
};
