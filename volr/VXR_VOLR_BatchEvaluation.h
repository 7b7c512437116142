#pragma once

// Internal to the colour classes, their opacity graphs and the colour table:
// the machinery their batch evaluations share. Nothing here is part of the
// library's interface, and nothing here knows a class's arithmetic or its
// tolerances; those live beside the scalar evaluations they must match.
//
// A batch evaluation splits the line of positions into pieces, each the set of
// positions that take one branch of the scalar evaluation, and evaluates a run
// of positions in one piece with one loop. The loops ("kernels") are built
// twice, for the baseline instruction set and for AVX2, and the processor picks
// one when the library loads. Both builds compute every value with the same
// IEEE operations in the same order (contraction is off everywhere), so the
// choice changes no bit. Built with VXRP_PORTABLE_KERNELS (see below) they are
// built once, for the baseline instruction set only.
//
// The loops are written as selects instead of branches so that they vectorise.
// GCC keeps floating-point selects and comparisons as branches while it has to
// preserve floating-point exception flags; nothing here reads those flags, and
// the option changes no computed value. The helpers below are compiled with
// that option and always inlined, so that both the kernels (which have it) and
// the scalar evaluations (which do not) take them in.

#include <vector>

// On the definition of every kernel.
//
// VXRP_PORTABLE_KERNELS (the CMake option of that name, on by default in the
// sanitizer build) compiles every kernel once, for the baseline instruction
// set, without processor dispatch. On a processor with AVX2 the dispatched
// build never runs its baseline clones; the sanitizer run therefore exercises
// the baseline loops this way, while the optimised run exercises the dispatched
// ones (the AVX2 clones on such a processor).
#if defined(VXRP_PORTABLE_KERNELS) && VXRP_PORTABLE_KERNELS
#define VXR_VOLR_BATCH_KERNEL
#else
#define VXR_VOLR_BATCH_KERNEL __attribute__((target_clones("avx2", "default")))
#endif
// Everything here stays inside the library.
#define VXR_VOLR_BATCH_HIDDEN __attribute__((visibility("hidden")))

#pragma GCC push_options
#pragma GCC optimize("no-trapping-math", "fp-contract=off")

namespace vxr_volr_batch VXR_VOLR_BATCH_HIDDEN {

// Positions handled per pass: the scratch arrays of a pass stay in the
// first-level cache.
constexpr int kBlock = 256;

// A position clamped to 0..1 as the class and its graph clamp it before the
// look-up; NaN stays NaN.
[[gnu::always_inline]] inline float ClampToUnit(float w) {
    return (w > 1.0f) ? 1.0f : ((w < 0.0f) ? 0.0f : w);
}

// UTL_TruncToInt as one select chain, so that loops using it vectorise: the
// same answer for every input (NaN 0, saturation at both int limits).
[[gnu::always_inline]] inline int TruncToIntSelect(double value) {
    double c = (value == value) ? value : 0.0;
    c = (c < 2147483648.0) ? c : 2147483647.0;
    c = (c > -2147483649.0) ? c : -2147483648.0;
    return static_cast<int>(c);
}

}  // namespace VXR_VOLR_BATCH_HIDDEN

#pragma GCC pop_options

namespace vxr_volr_batch VXR_VOLR_BATCH_HIDDEN {

// Defined with the opacity graph's batch evaluation. These simple loops are
// built for the baseline instruction set only: a processor-picked symbol
// shared between files would be exported from the library.
//
// out[j] = ClampToUnit(in[j]); in and out may be the same array.
void ClampKernel(const float* in, int count, float* out);
// True when at[0..count) never decreases (a NaN makes it false).
bool AscendingKernel(const float* at, int count);
void FillKernel(int count, float value, float* out);
void FillKernel(int count, int value, int* out);

// The end of the run of positions from j on that lie in [lo, hi), at[j] being
// one of them. In an ascending block the run is found by bisection, otherwise
// entry by entry.
inline int RunEnd(const float* at, int j, int count, double lo, double hi, bool ascending) {
    if (ascending) {
        int first = j + 1;
        int last = count;
        while (first < last) {
            const int middle = first + (last - first) / 2;
            if (static_cast<double>(at[middle]) < hi) {
                first = middle + 1;
            } else {
                last = middle;
            }
        }
        return first;
    }
    int end = j + 1;
    while (end < count && static_cast<double>(at[end]) >= lo && static_cast<double>(at[end]) < hi) {
        ++end;
    }
    return end;
}

// Hands every run of at[0..count) that falls in one piece to
// apply(piece, begin, end). Piece has double members lo and hi; a position p
// belongs to the first piece, in order, with lo <= p < hi. The pieces must
// cover every non-NaN position; runs of NaN go to nanPiece.
template <class Piece, class Apply>
void ForEachRun(const float* at, int count, bool ascending, const std::vector<Piece>& pieces,
                const Piece& nanPiece, Apply&& apply) {
    int j = 0;
    while (j < count) {
        const double first = at[j];
        const Piece* piece = nullptr;
        int end = j + 1;
        if (first == first) {
            for (const Piece& candidate : pieces) {
                if (first >= candidate.lo && first < candidate.hi) {
                    piece = &candidate;
                    break;
                }
            }
        }
        if (piece != nullptr) {
            end = RunEnd(at, j, count, piece->lo, piece->hi, ascending);
        } else {
            piece = &nanPiece;
            while (end < count && at[end] != at[end]) {
                ++end;
            }
        }
        apply(*piece, j, end);
        j = end;
    }
}

}  // namespace VXR_VOLR_BATCH_HIDDEN
