#pragma once

#include <climits>

// Float-to-integer conversions that are defined for every input.
//
// A plain static_cast<int> of a NaN, an infinity or a value beyond the int
// range is undefined behaviour (and halts the sanitizer build). Library code
// converts through these helpers instead:
//
//   UTL_TruncToInt(v)   truncates toward zero, like static_cast<int>, for every
//                       v whose truncation fits an int;
//                       NaN                          -> 0
//                       v >= 2^31 (also +infinity)   -> INT_MAX
//                       v <= -2^31 - 1 (also -inf)   -> INT_MIN
//
// The float overload widens to double first (exactly), so both overloads give
// the same answer for the same value.
inline int UTL_TruncToInt(double value) noexcept {
    if (value != value) {  // NaN
        return 0;
    }
    if (value >= 2147483648.0) {
        return INT_MAX;
    }
    // Anything above -2^31 - 1 truncates to -2^31 or more.
    if (value <= -2147483649.0) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

inline int UTL_TruncToInt(float value) noexcept {
    return UTL_TruncToInt(static_cast<double>(value));
}

// The largest pixel value of bpp bits, 2^bpp - 1, computed without shifting a
// signed int into its sign bit: 0 for bpp <= 0, 2^bpp - 1 for bpp 1..31, and
// INT_MAX (saturated) for bpp >= 31.
inline int UTL_MaxPixelValue(int bpp) noexcept {
    if (bpp <= 0) {
        return 0;
    }
    if (bpp >= 31) {
        return INT_MAX;
    }
    return static_cast<int>((1u << static_cast<unsigned>(bpp)) - 1u);
}
