#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "UTL/UTL_Numeric.h"
#include "VXR_VOLR_ColorProtocol.h"

// The colour table of a protocol, evaluated literally: for every entry the
// steps of the table algorithm one after the other, asking every active class
// for its GetColor and GetRelativeOpacity at the entry's position. No caching,
// nothing shared with the library's table loop; it is slow on purpose and is
// the yardstick the library's table is compared with, bit for bit.
//
// Answers the 2^bits entries in block order (index k is raw value k, or
// k - 2^(bits-1) for signed data), or an empty vector when the protocol has no
// table (bits outside 1..24).
//
// Numbers as the protocol states them: every expression in double; the
// variables declared float (range, w, sumOpacity, maxOpacity, r, g, b) hold
// the value rounded to float on every store.
namespace vxrp_test {

inline std::uint32_t ReferenceClampToByte(int value) {
    if (value < 0) {
        return 0u;
    }
    if (value > 255) {
        return 255u;
    }
    return static_cast<std::uint32_t>(value);
}

inline std::vector<std::uint32_t> LiteralColorTable(const VXR_VOLR_ColorProtocol& protocol) {
    const int bits = protocol.GetBPP();
    if (bits < 1 || bits > 24) {
        return {};
    }
    const long long size = 1LL << bits;
    std::vector<std::uint32_t> table(static_cast<std::size_t>(size), 0u);
    if (!protocol.GetIsVisible()) {
        return table;
    }
    int activeCount = 0;
    for (unsigned int c = 0; c < protocol.GetClassCount(); ++c) {
        if (protocol.GetClass(static_cast<int>(c))->GetIsActive()) {
            ++activeCount;
        }
    }
    if (activeCount == 0) {
        return table;  // nothing to blend: every entry stays transparent black
    }

    const int start = protocol.GetStartRange();
    const int end = protocol.GetEndRange();
    const float range =
        static_cast<float>(static_cast<std::uint32_t>(end) - static_cast<std::uint32_t>(start));
    const double slope = protocol.GetRescaleSlope();
    const double intercept = protocol.GetRescaleIntercept();

    for (long long k = 0; k < size; ++k) {
        // 1. raw value
        const long long raw = protocol.GetSigned() ? k - (1LL << (bits - 1)) : k;
        // 2. position
        const double scaled = static_cast<double>(raw) * slope + intercept;
        const long long v = static_cast<long long>(UTL_TruncToInt(scaled)) - start;
        const auto w = static_cast<float>(static_cast<double>(v) / static_cast<double>(range));
        // 3. sums
        float sumOpacity = 0.0f;
        float maxOpacity = 0.0f;
        float r = 0.0f, g = 0.0f, b = 0.0f;
        bool allTransparent = true;
        // 4. active classes in order
        for (unsigned int c = 0; c < protocol.GetClassCount(); ++c) {
            const VXR_VOLR_ColorClass* cls = protocol.GetClass(static_cast<int>(c));
            if (!cls->GetIsActive()) {
                continue;
            }
            const UTL_Color color = cls->GetColor(w);
            const float opacity = cls->GetRelativeOpacity(w);
            // (each float sum is computed in double and rounded to float when stored)
            sumOpacity =
                static_cast<float>(static_cast<double>(sumOpacity) + static_cast<double>(opacity));
            if (opacity >= maxOpacity) {
                maxOpacity = opacity;
            }
            if (allTransparent) {
                if (sumOpacity > 0.00001) {
                    r = g = b = 0.0f;
                }
                if (sumOpacity < 0.00001) {
                    r = static_cast<float>(static_cast<double>(r) + color.GetRed());
                    g = static_cast<float>(static_cast<double>(g) + color.GetGreen());
                    b = static_cast<float>(static_cast<double>(b) + color.GetBlue());
                    continue;
                }
            }
            allTransparent = false;
            r = static_cast<float>(static_cast<double>(r) +
                                   static_cast<double>(opacity) * color.GetRed());
            g = static_cast<float>(static_cast<double>(g) +
                                   static_cast<double>(opacity) * color.GetGreen());
            b = static_cast<float>(static_cast<double>(b) +
                                   static_cast<double>(opacity) * color.GetBlue());
        }
        // 5. scale
        const double scale = sumOpacity < 0.00001 ? 1.0 / static_cast<double>(activeCount)
                                                  : 1.0 / static_cast<double>(sumOpacity);
        // 6. colour, rounded
        const int red = UTL_TruncToInt(scale * r + 0.5);
        const int green = UTL_TruncToInt(scale * g + 0.5);
        const int blue = UTL_TruncToInt(scale * b + 0.5);
        // 7. opacity
        const double f = protocol.GetIsDecreseOpMode() ? 0.2 : 1.0;
        const int alpha = UTL_TruncToInt(
            static_cast<double>(maxOpacity) * protocol.GetMaxOpacity() * f * 255 + 0.5);
        // 8. pack
        table[static_cast<std::size_t>(k)] =
            ReferenceClampToByte(red) << 24 | ReferenceClampToByte(green) << 16 |
            ReferenceClampToByte(blue) << 8 | ReferenceClampToByte(alpha);
    }
    return table;
}

}  // namespace vxrp_test
