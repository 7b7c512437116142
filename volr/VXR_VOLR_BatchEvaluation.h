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
// preserve floating-point exception flags; nothing in the library reads those
// flags, so the library is built with -fno-trapping-math (and, like every
// target, -ffp-contract=off), which changes no computed value. The scalar
// evaluations share the kernels' helpers and build with the same options.
//
// Also here: the prepared evaluators of the colour class and of the opacity
// graph, which the class headers only declare.

#include <optional>
#include <vector>

#include "VXR_VOLR_ColorClass.h"
#include "VXR_VOLR_TrapezeOpacityGraph.h"

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

// The hottest loops of the colour table also have an AVX2 build written with
// intrinsics (VXR_VOLR_INTRINSICS is 1 where they exist), picked at run time
// through HasAvx2(); they compute the same IEEE operations in the same order
// as the plain loops beside them. Built with VXRP_PORTABLE_KERNELS there is
// none.
#if defined(__x86_64__) && !(defined(VXRP_PORTABLE_KERNELS) && VXRP_PORTABLE_KERNELS)
#include <immintrin.h>
#define VXR_VOLR_INTRINSICS 1
#define VXR_VOLR_AVX2 __attribute__((target("avx2")))
#else
#define VXR_VOLR_INTRINSICS 0
#endif

namespace vxr_volr_batch VXR_VOLR_BATCH_HIDDEN {

// Positions handled per pass, at most: the scratch arrays of a pass stay in
// the processor's near caches, and what a pass costs besides its entries is
// spread over many.
constexpr int kBlock = 512;

// A position clamped to 0..1 as the class and its graph clamp it before the
// look-up; NaN stays NaN.
inline float ClampToUnit(float w) {
    return (w > 1.0f) ? 1.0f : ((w < 0.0f) ? 0.0f : w);
}

#if VXR_VOLR_INTRINSICS
// The processor (and the system) run AVX2 instructions; asked once. The
// processor is described first: a table may be asked for before the
// run-time library's own start-up code has done so.
inline bool HasAvx2() {
    static const bool yes = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return yes;
}
#endif

// UTL_TruncToInt as one select chain, so that loops using it vectorise: the
// same answer for every input (NaN 0, saturation at both int limits).
inline int TruncToIntSelect(double value) {
    double c = (value == value) ? value : 0.0;
    c = (c < 2147483648.0) ? c : 2147483647.0;
    c = (c > -2147483649.0) ? c : -2147483648.0;
    return static_cast<int>(c);
}

}  // namespace VXR_VOLR_BATCH_HIDDEN

namespace vxr_volr_batch VXR_VOLR_BATCH_HIDDEN {

// Defined in VXR_VOLR_BatchEvaluation.cpp. These simple loops are
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

// The graph prepared for evaluation at many positions: Evaluate answers
// exactly what the graph's GetRelativeOpacity answers at each position,
// bit for bit, but decides the branch of that evaluation once per run of
// positions instead of once per position. Preparing costs a pass over the
// points and one allocation; evaluating allocates nothing.
//
// The graph must outlive the evaluator and must not change while the
// evaluator is used. A graph of a derived type (which may override
// GetRelativeOpacity), an empty graph (which raises RWBoundsErr) and a graph
// with a non-finite x are evaluated through GetRelativeOpacity per position.
class VXR_VOLR_TrapezeOpacityGraph::Evaluator {
  public:
    // Raises std::bad_alloc when memory runs out.
    explicit Evaluator(const VXR_VOLR_TrapezeOpacityGraph& graph);

    // opacity[j] = graph.GetRelativeOpacity(x[j]) for j in 0..count-1;
    // a count of 0 or less evaluates (and raises) nothing.
    void Evaluate(const float* x, int count, float* opacity) const;

  private:
    // Positions p with lo <= p < hi (as doubles, after the clamp to 0..1)
    // take one branch of GetRelativeOpacity: a constant or a straight line.
    struct Piece {
        double lo = 0.0;
        double hi = 0.0;
        bool linear = false;
        float constant = 0.0f;
        double leftX = 0.0, leftY = 0.0, dx = 0.0, dy = 0.0, factor = 0.0;
    };

    // The colour class's evaluator has clamped the positions already and
    // knows whether they ascend; it asks through evaluate_clamped when
    // has_pieces (otherwise through Evaluate, with its unclamped ones).
    friend class VXR_VOLR_ColorClass::Evaluator;
    bool has_pieces() const { return m_bPieces; }
    static void evaluate_piece(const Piece& piece, const float* at, int count, float* opacity);
    // at[] within 0..1 or NaN; ascending: at[] never decreases.
    void evaluate_clamped(const float* at, int count, bool ascending, float* opacity) const;

    const VXR_VOLR_TrapezeOpacityGraph* m_pGraph;
    bool m_bPieces = false;  // false: ask the graph position by position
    std::vector<Piece> m_Pieces;
    Piece m_NaN;  // what a NaN position answers
};

// The class prepared for evaluation at many positions: Evaluate answers
// what EvaluateRange answers, but the window, the colour ramp and the graph
// are read once, when the evaluator is made, and the branch of each
// evaluation is decided once per run of positions instead of once per
// position. Evaluating allocates nothing.
//
// The class (and its graph) must outlive the evaluator and must not change
// while the evaluator is used. A class of a derived type is evaluated
// through its GetColor and GetRelativeOpacity, position by position in that
// order; so are the colours of a class without colour points (which raises)
// or with a non-finite point value. One exception: the run-by-run
// operations of an evaluator for which RunWise is true read only what the
// evaluator copied when it was made, so such an evaluator may serve them
// after its class is gone (the colour table's helper threads rely on it).
class VXR_VOLR_ColorClass::Evaluator {
  public:
    // Raises std::bad_alloc when memory runs out.
    explicit Evaluator(const VXR_VOLR_ColorClass& cls);

    // See EvaluateRange; a count of 0 or less evaluates (and raises) nothing.
    void Evaluate(const float* positions, int count, int* red, int* green, int* blue,
                  float* opacity) const;

    // --- run by run, for the colour table (see VXR_VOLR_ColorTable.cpp) ---
    //
    // When RunWise is true, the colour and the opacity at a position depend
    // only on which piece of the ramp and of the graph its clamped, windowed
    // position At falls in, and, in a piece that is not constant, on that
    // position; At never decreases while the position grows. A caller with
    // ascending positions can then find where a piece ends by bisection over
    // At and evaluate each run with the piece's own loop, answering exactly
    // what Evaluate answers. It is true for a class of this very type whose
    // ramp and graph split into pieces and whose window has a finite centre
    // and pivot and a scale (width + 1) above 0 and finite.
    bool RunWise() const { return m_bRunWise; }
    // The clamped, windowed position, as Evaluate computes it.
    float At(float position) const { return vxr_volr_batch::ClampToUnit(window(position)); }
    // A position whose windowed position is about a, before the clamp: a
    // guess for searches, with no promise about its last bits.
    double WindowPreimage(double a) const {
        return (a - m_dPivot) * m_dScale + m_dCenter + m_dPivot;
    }
    // at[j] = At(positions[j]) for j in [begin, end).
    void AtRun(const float* positions, int begin, int end, float* at) const;

    // The piece of the graph (of the ramp) that holds the clamped position a
    // (not NaN), and where it ends: later positions belong to it while they
    // are below the end.
    int OpacityPiece(float a) const;
    double OpacityPieceEnd(int piece) const;
    // True, with its value, when the piece answers one opacity everywhere.
    bool OpacityConstant(int piece, float& value) const;
    // opacity[j] for at[j] in the piece, j in [0, count).
    void OpacityRun(int piece, const float* at, int count, float* opacity) const;
    int ColorPiece(float a) const;
    double ColorPieceEnd(int piece) const;
    // True when the piece answers one colour everywhere.
    bool ColorConstant(int piece) const;
    // The colour of every at[j] in the piece (every at[j] in it), weighted and
    // added to float sums: sumRed[j] = (float)((double)sumRed[j] +
    // (double)weight[j] * red), and likewise green and blue, for j in [0,
    // count); the colour is the one Evaluate answers there, to the bit.
    void AddWeightedColorRun(int piece, const float* at, int count, const float* weight,
                             float* sumRed, float* sumGreen, float* sumBlue) const;

  private:
    // Positions w with lo <= w < hi (as doubles, after the window and the
    // clamp to 0..1) take one branch of GetColor: a constant colour or a
    // blend between two points.
    struct Piece {
        double lo = 0.0;
        double hi = 0.0;
        bool blend = false;
        int red = 0, green = 0, blue = 0;  // constant pieces
        double left = 0.0, right = 0.0, h = 0.0;
        int leftRed = 0, leftGreen = 0, leftBlue = 0;
        int rightRed = 0, rightGreen = 0, rightBlue = 0;
        // Every blend over the piece's positions is finite and far inside
        // the int range, so the plain conversion truncates as the class does.
        bool inIntRange = false;
    };

    void prepare_ramp();
    float window(float x) const;
    static void evaluate_piece(const Piece& piece, const float* at, int n, int* red, int* green,
                               int* blue);
    void evaluate_block(const float* positions, int count, int* red, int* green, int* blue,
                        float* opacity) const;

    const VXR_VOLR_ColorClass* m_pClass;
    bool m_bDerived = false;     // ask the class's virtual operations
    bool m_bRampPieces = false;  // false: colours through GetColor
    double m_dCenter = 0.0, m_dPivot = 0.0, m_dScale = 1.0;
    std::vector<Piece> m_Pieces;
    Piece m_NaN;  // what a NaN position answers
    std::optional<VXR_VOLR_TrapezeOpacityGraph::Evaluator> m_Graph;
    bool m_bRunWise = false;
};
