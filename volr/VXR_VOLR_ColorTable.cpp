// The colour table of VXR_VOLR_ColorProtocol: the engine that fills the block
// the renderer indexes, its average colour and its print-out.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "UTL/UTL_Numeric.h"
#include "VXR_VOLR_BatchEvaluation.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "VXR_VOLR_TableWorkers.h"
#include "log/Tmr_LogFile.h"

static_assert(sizeof(unsigned int) == sizeof(std::uint32_t), "table entries are 32-bit words");

namespace {

constexpr const char* kLogSource = "VXR_VOLR_ColorProtocol";

// A table of more bits would not fit the renderer's memory (2^24 entries is 64 MiB).
constexpr int kMaxTableBits = 24;

// A sum of relative opacities below this counts as fully transparent. Double
// literal: its width is not fixed as single.
constexpr double kTransparentSum = 0.00001;
// Opacity factor of the decreased-opacity mode (double literal).
constexpr double kDecreasedOpacity = 0.2;

// Entries evaluated together: the per-block scratch stays in the first-level cache.
constexpr int kBlock = vxr_volr_batch::kBlock;

// The largest float below which a float sum counts as transparent:
// (double)s < kTransparentSum exactly when s < this, and (double)s >
// kTransparentSum exactly when s >= this (no float equals 1e-5).
float TransparentSumBound() {
    float bound = static_cast<float>(kTransparentSum);
    if (static_cast<double>(bound) < kTransparentSum) {
        bound = std::nextafter(bound, std::numeric_limits<float>::infinity());
    }
    return bound;
}

// --- loop kernels -------------------------------------------------------------
//
// The loops over a block of entries, built for the baseline instruction set and
// for AVX2 (or for the baseline only, see VXR_VOLR_BatchEvaluation.h); the
// choice changes no bit. They are written as selects instead of branches so
// that they vectorise, under the library's -fno-trapping-math (see
// VXR_VOLR_BatchEvaluation.h).

// trunc(value) clamped to 0..255 as one select chain (NaN gives 0), as a
// double: the selects stay in the double lanes, and the four fields of an
// entry are put together in double (exact below 2^32) and converted once.
inline double TruncToByte(double value) {
    double c = (value > 0.0) ? value : 0.0;
    c = (c < 255.5) ? c : 255.5;
    return static_cast<double>(static_cast<int>(c));  // the signed conversion vectorises
}

// An entry from its four fields, each a whole number in 0..255: the packed
// value is below 2^32, exact in double, and is shifted into the int range for
// the one signed conversion that vectorises.
inline std::uint32_t PackFields(double red, double green, double blue, double alpha) {
    const double entry = ((red * 256.0 + green) * 256.0 + blue) * 256.0 + alpha;
    return static_cast<std::uint32_t>(static_cast<int>(entry - 2147483648.0)) + 0x80000000u;
}

// The position of one raw value, as the kernel below computes it.
inline float PositionOf(int raw, double slope, double intercept, double start, double range) {
    const double scaled = static_cast<double>(raw) * slope + intercept;
    const double v = static_cast<double>(vxr_volr_batch::TruncToIntSelect(scaled)) - start;
    return static_cast<float>(v / range);
}

// position[j] of raw value firstRaw + j: w = (float)(v / range), with v =
// trunc(raw * slope + intercept) - start, all in double. |raw| <= 2^24 fits an
// int and is exact in double; v is exact in double (|v| < 2^33).
VXR_VOLR_BATCH_KERNEL void PositionKernel(int firstRaw, int count, double slope, double intercept,
                                          double start, double range, bool inIntRange,
                                          float* position) {
    if (inIntRange) {
        // Every raw * slope + intercept is known to lie well inside the int
        // range: the plain conversion truncates exactly as UTL_TruncToInt does.
        for (int j = 0; j < count; ++j) {
            const double scaled = static_cast<double>(firstRaw + j) * slope + intercept;
            const double v = static_cast<double>(static_cast<int>(scaled)) - start;
            position[j] = static_cast<float>(v / range);
        }
        return;
    }
    for (int j = 0; j < count; ++j) {
        position[j] = PositionOf(firstRaw + j, slope, intercept, start, range);
    }
}

// What the entries of a block have gathered over the classes so far.
struct BlockSums {
    float opacity[kBlock];
    float maxOpacity[kBlock];
    float red[kBlock];
    float green[kBlock];
    float blue[kBlock];
    int allTransparent[kBlock];

    // Every float sum +0, with one sweep of stores over the five arrays.
    void ClearFloats();
};
static_assert(std::is_standard_layout_v<BlockSums> &&
                  offsetof(BlockSums, allTransparent) == 5 * kBlock * sizeof(float),
              "the float sums lie side by side");

#if VXR_VOLR_INTRINSICS
// Plain vector stores: a string store of this size is slow on some
// processors, and the compiler makes one of a memset or of a loop of stores
// it knows to be zeros, so it is not told. count is a multiple of 8.
VXR_VOLR_AVX2 void ClearAvx2(float* out, int count) {
    __m256 zero = _mm256_setzero_ps();
    asm("" : "+x"(zero));
    for (int j = 0; j < count; j += 8) {
        _mm256_storeu_ps(out + j, zero);
    }
}
#endif

void BlockSums::ClearFloats() {
#if VXR_VOLR_INTRINSICS
    if (vxr_volr_batch::HasAvx2()) {
        ClearAvx2(opacity, 5 * kBlock);
        return;
    }
#endif
    std::memset(static_cast<void*>(this), 0, offsetof(BlockSums, allTransparent));
}

// Adds one class's colours and opacities. Classes before the first one that is
// not transparent add their colours unweighted; the first opaque one discards
// them, and from then on every colour is weighted by its opacity. Every update
// is computed in double from the float sum and the class's answers and
// rounded to float when it is stored.
//
// The three kernels below are that one step, written without branches so that
// they vectorise, each for one state of the block; none changes a bit:
//   - an unweighted colour is added as 1.0 * colour, which is the colour
//     itself, so that one multiply-add serves both kinds of update;
//   - the opacity sum is formed in float: the double sum of two floats rounded
//     to float is the float sum (double has more than twice float's
//     precision), so this is the same value.
// Each answers whether an entry of the block is still all transparent.

// The first class of a block: the sums start at 0 and every entry is still
// transparent, so nothing is read from them.
VXR_VOLR_BATCH_KERNEL int CombineFirstKernel(int count, const int* red, const int* green,
                                             const int* blue, const float* opacity,
                                             float transparentBound, BlockSums& sums) {
    int anyTransparent = 0;
    for (int j = 0; j < count; ++j) {
        const float op = opacity[j];
        const float sum = 0.0f + op;
        sums.opacity[j] = sum;
        sums.maxOpacity[j] = (op >= 0.0f) ? op : 0.0f;
        const bool stay = sum < transparentBound;
        const double weight = stay ? 1.0 : static_cast<double>(op);
        sums.red[j] = static_cast<float>(0.0 + weight * static_cast<double>(red[j]));
        sums.green[j] = static_cast<float>(0.0 + weight * static_cast<double>(green[j]));
        sums.blue[j] = static_cast<float>(0.0 + weight * static_cast<double>(blue[j]));
        sums.allTransparent[j] = stay ? 1 : 0;
        anyTransparent |= stay ? 1 : 0;
    }
    return anyTransparent;
}

// A later class while some entry of the block may still be all transparent.
VXR_VOLR_BATCH_KERNEL int CombineKernel(int count, const int* red, const int* green,
                                        const int* blue, const float* opacity,
                                        float transparentBound, BlockSums& sums) {
    int anyTransparent = 0;
    for (int j = 0; j < count; ++j) {
        const float op = opacity[j];
        const float sum = sums.opacity[j] + op;
        sums.opacity[j] = sum;
        sums.maxOpacity[j] = (op >= sums.maxOpacity[j]) ? op : sums.maxOpacity[j];
        const bool was = sums.allTransparent[j] != 0;
        const bool stay = was && sum < transparentBound;
        const bool discard = was && sum >= transparentBound;
        const double weight = stay ? 1.0 : static_cast<double>(op);
        const double r0 = discard ? 0.0 : static_cast<double>(sums.red[j]);
        const double g0 = discard ? 0.0 : static_cast<double>(sums.green[j]);
        const double b0 = discard ? 0.0 : static_cast<double>(sums.blue[j]);
        sums.red[j] = static_cast<float>(r0 + weight * static_cast<double>(red[j]));
        sums.green[j] = static_cast<float>(g0 + weight * static_cast<double>(green[j]));
        sums.blue[j] = static_cast<float>(b0 + weight * static_cast<double>(blue[j]));
        sums.allTransparent[j] = stay ? 1 : 0;
        anyTransparent |= stay ? 1 : 0;
    }
    return anyTransparent;
}

// A later class once no entry of the block is all transparent any more: every
// colour is weighted, nothing is discarded.
VXR_VOLR_BATCH_KERNEL void CombineOpaqueKernel(int count, const int* red, const int* green,
                                               const int* blue, const float* opacity,
                                               BlockSums& sums) {
    for (int j = 0; j < count; ++j) {
        const float op = opacity[j];
        sums.opacity[j] = sums.opacity[j] + op;
        sums.maxOpacity[j] = (op >= sums.maxOpacity[j]) ? op : sums.maxOpacity[j];
        const auto weight = static_cast<double>(op);
        sums.red[j] = static_cast<float>(static_cast<double>(sums.red[j]) +
                                         weight * static_cast<double>(red[j]));
        sums.green[j] = static_cast<float>(static_cast<double>(sums.green[j]) +
                                           weight * static_cast<double>(green[j]));
        sums.blue[j] = static_cast<float>(static_cast<double>(sums.blue[j]) +
                                          weight * static_cast<double>(blue[j]));
    }
}

// Scales, rounds, clamps and packs the entries of a block, in double.
// Entries [begin, end).
void PackKernelPortable(int begin, int end, const BlockSums& sums, double activeScale,
                        float transparentBound, double maxOpacityMember, double opacityFactor,
                        std::uint32_t* out) {
    for (int j = begin; j < end; ++j) {
        const float sum = sums.opacity[j];
        const double weightedScale = 1.0 / static_cast<double>(sum);
        const double scale = (sum < transparentBound) ? activeScale : weightedScale;
        const double r = TruncToByte(scale * static_cast<double>(sums.red[j]) + 0.5);
        const double g = TruncToByte(scale * static_cast<double>(sums.green[j]) + 0.5);
        const double b = TruncToByte(scale * static_cast<double>(sums.blue[j]) + 0.5);
        const double a = TruncToByte(static_cast<double>(sums.maxOpacity[j]) * maxOpacityMember *
                                         opacityFactor * 255.0 +
                                     0.5);
        out[j] = PackFields(r, g, b, a);
    }
}

#if VXR_VOLR_INTRINSICS
// PackKernelPortable with AVX2 intrinsics, four entries at a time. The clamp
// chain is two instructions here: maxpd(a, b) is exactly a > b ? a : b and
// minpd(a, b) exactly a < b ? a : b, NaN and zeros included, which GCC does
// not see through in the portable loop.
// TruncToByte as an int: trunc(clamp(value, 0, 255.5)).
VXR_VOLR_AVX2 inline __m128i TruncToByteAvx2(__m256d value) {
    const __m256d c =
        _mm256_min_pd(_mm256_max_pd(value, _mm256_setzero_pd()), _mm256_set1_pd(255.5));
    return _mm256_cvttpd_epi32(c);
}

// TruncToByte(scale * (double)values[0..3] + 0.5).
VXR_VOLR_AVX2 inline __m128i ColorByteAvx2(__m256d scale, const float* values) {
    const __m256d v = _mm256_cvtps_pd(_mm_loadu_ps(values));
    return TruncToByteAvx2(_mm256_add_pd(_mm256_mul_pd(scale, v), _mm256_set1_pd(0.5)));
}

// The fields are put together as ints here: each is a whole number in
// 0..255, so shifting and or-ing gives what PackFields gives.
VXR_VOLR_AVX2 void PackKernelAvx2(int count, const BlockSums& sums, double activeScale,
                                  float transparentBound, double maxOpacityMember,
                                  double opacityFactor, std::uint32_t* out) {
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d bound = _mm256_set1_pd(static_cast<double>(transparentBound));
    const __m256d active = _mm256_set1_pd(activeScale);
    const __m256d member = _mm256_set1_pd(maxOpacityMember);
    const __m256d factor = _mm256_set1_pd(opacityFactor);
    const __m256d k255 = _mm256_set1_pd(255.0);
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        const __m256d sum = _mm256_cvtps_pd(_mm_loadu_ps(sums.opacity + j));
        // sum < bound in double is the float comparison (NaN: false).
        const __m256d scale = _mm256_blendv_pd(_mm256_div_pd(one, sum), active,
                                               _mm256_cmp_pd(sum, bound, _CMP_LT_OQ));
        const __m128i r = ColorByteAvx2(scale, sums.red + j);
        const __m128i g = ColorByteAvx2(scale, sums.green + j);
        const __m128i b = ColorByteAvx2(scale, sums.blue + j);
        const __m256d maxOpacity = _mm256_cvtps_pd(_mm_loadu_ps(sums.maxOpacity + j));
        const __m128i a = TruncToByteAvx2(_mm256_add_pd(
            _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(maxOpacity, member), factor), k255), half));
        const __m128i entry =
            _mm_or_si128(_mm_or_si128(_mm_slli_epi32(r, 24), _mm_slli_epi32(g, 16)),
                         _mm_or_si128(_mm_slli_epi32(b, 8), a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), entry);
    }
    PackKernelPortable(j, count, sums, activeScale, transparentBound, maxOpacityMember,
                       opacityFactor, out);
}
#endif

void PackKernel(int count, const BlockSums& sums, double activeScale, float transparentBound,
                double maxOpacityMember, double opacityFactor, std::uint32_t* out) {
#if VXR_VOLR_INTRINSICS
    if (vxr_volr_batch::HasAvx2()) {
        PackKernelAvx2(count, sums, activeScale, transparentBound, maxOpacityMember, opacityFactor,
                       out);
        return;
    }
#endif
    PackKernelPortable(0, count, sums, activeScale, transparentBound, maxOpacityMember,
                       opacityFactor, out);
}

// --- run by run ----------------------------------------------------------------
//
// Most of a table's class-entries cannot change its entry: once an entry has
// met its first class that is not transparent (its opacity sum has reached
// the transparency bound), a later class whose opacity there is zero adds
// nothing. Its opacity leaves the sum as it is (s + 0 is s; the sum is never
// -0) and the maximum too (it is at least +0, and the sign of a zero maximum
// never shows in the entry), and its colour is weighted by that zero: c * 0 is
// a zero, and r + 0 is r, since a colour sum is never -0 (it starts at +0 and
// every addend is a multiple of the smallest float, so no sum rounds to -0).
// Colours of classes before the first one that is not transparent are
// discarded there, so they need not be computed either. Only entries that no
// class makes non-transparent need every class's colour.
//
// So a block is done in two passes. The first gathers every class's opacity
// into the sums, the maximum and the index of the first class that is not
// transparent, and records the class's runs of one graph piece; where the
// piece is constant (zero, mostly) its opacity needs no windowed position at
// all. The windowed position never decreases along ascending positions (see
// VXR_VOLR_ColorClass::Evaluator::RunWise), so a run's end is found by a
// search: a guess from the window's inverse, then galloping and bisection.
// The second pass computes each class's colour only over the span of entries
// where it can count, and adds it with the weight the entry gives it: 1 if
// the entry stays transparent to the end, the opacity from its first
// non-transparent class on, 0 before it. The weights of the span come first
// (from the recorded runs), then each piece of the colour ramp adds its
// colours with them in one loop. A weight of 0 changes no sum (above), so the
// span may hold entries that do not count.
//
// The blocks of a table are independent: they may be computed in any order,
// on any thread (see CalculateShared).
//
// Every value that is computed is computed by the same expressions as in the
// class-by-class loop above; only values that cannot change an entry are left
// out. A block whose positions do not ascend, or an entry whose opacity sum
// becomes NaN while it is still transparent (the literal rule then neither
// discards nor stays transparent), is done class by class instead.

constexpr int kNoClass = INT_MAX;  // the entry never met a non-transparent class

// Adds one class's opacities to the sums and the maximum and records the
// first class that leaves an entry non-transparent. Answers 1 when an entry
// still transparent got a NaN sum.
inline int OpacityStep(float op, int cls, float transparentBound, float& sum, float& maxOpacity,
                       int& first) {
    const float s = sum + op;
    sum = s;
    maxOpacity = (op >= maxOpacity) ? op : maxOpacity;
    const bool open = first == kNoClass;
    const bool stays = s < transparentBound;
    first = (open && !stays) ? cls : first;
    return (open && s != s) ? 1 : 0;
}

VXR_VOLR_BATCH_KERNEL int OpacityStepKernel(int count, int cls, const float* opacity,
                                            float transparentBound, float* sum, float* maxOpacity,
                                            int* first) {
    int nanSum = 0;
    for (int j = 0; j < count; ++j) {
        nanSum |= OpacityStep(opacity[j], cls, transparentBound, sum[j], maxOpacity[j], first[j]);
    }
    return nanSum;
}

// The same for a class whose opacity is one value over the run.
VXR_VOLR_BATCH_KERNEL int OpacityStepConstantKernel(int count, int cls, float opacity,
                                                    float transparentBound, float* sum,
                                                    float* maxOpacity, int* first) {
    int nanSum = 0;
    for (int j = 0; j < count; ++j) {
        nanSum |= OpacityStep(opacity, cls, transparentBound, sum[j], maxOpacity[j], first[j]);
    }
    return nanSum;
}

// The weight an entry gives class cls's colour: 1 while the entry stays
// transparent to the end, its opacity from its first non-transparent class
// on, 0 before it. Each weight is a float value (1, the float opacity or 0),
// so the colour pass converts it to double exactly as the literal rule
// converts the opacity.
inline float Weight(int cls, int first, float opacity) {
    return (first == kNoClass) ? 1.0f : ((cls >= first) ? opacity : 0.0f);
}

VXR_VOLR_BATCH_KERNEL void WeightKernel(int count, int cls, const int* first, const float* opacity,
                                        float* weight) {
    for (int j = 0; j < count; ++j) {
        weight[j] = Weight(cls, first[j], opacity[j]);
    }
}

VXR_VOLR_BATCH_KERNEL void WeightConstantKernel(int count, int cls, const int* first, float opacity,
                                                float* weight) {
    for (int j = 0; j < count; ++j) {
        weight[j] = Weight(cls, first[j], opacity);
    }
}

// The largest first class of count entries (kNoClass when one never met a
// non-transparent class).
VXR_VOLR_BATCH_KERNEL int LastFirstKernel(int count, const int* first) {
    int last = INT_MIN;
    for (int j = 0; j < count; ++j) {
        last = first[j] > last ? first[j] : last;
    }
    return last;
}

// How many entries of the block never met a non-transparent class.
VXR_VOLR_BATCH_KERNEL int OpenCountKernel(int count, const int* first) {
    int open = 0;
    for (int j = 0; j < count; ++j) {
        open += (first[j] == kNoClass) ? 1 : 0;
    }
    return open;
}

using ClassEvaluator = VXR_VOLR_ColorClass::Evaluator;

// The first k in [low, high] for which below(k) is false, given that
// below(low - 1) holds, below(high) does not, and below is true up to some
// index and false from there on. guess is where the change is expected (any
// double, NaN included): the search probes it and gallops from it, then
// bisects what is left, so that a good guess settles it in two or three
// probes and a bad one costs a few more than bisection alone.
template <class Below>
int FirstNotBelow(int low, int high, double guess, Below below) {
    if (low < high && guess >= static_cast<double>(low) && guess <= static_cast<double>(high)) {
        const int g = static_cast<int>(guess + 0.5);
        if (below(g)) {
            low = g + 1;
            for (int step = 1; low < high; step *= 2) {
                const int m = g + step < high ? g + step : high;
                if (!below(m)) {
                    high = m;
                    break;
                }
                low = m + 1;
            }
        } else {
            high = g;
            for (int step = 1; low < high; step *= 2) {
                const int m = g - step > low ? g - step : low;
                if (below(m)) {
                    low = m + 1;
                    break;
                }
                high = m;
            }
        }
    }
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (below(middle)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

// Where along from..to (at indices from and to) the value target is
// expected, for values that grow about linearly with the index.
inline double LinearGuess(int from, int to, double fromValue, double toValue, double target) {
    return static_cast<double>(from) +
           (target - fromValue) / (toValue - fromValue) * static_cast<double>(to - from);
}

// The end of the run from j on whose windowed positions stay below end;
// the position of entry j does. Positions grow about linearly along a block
// and the window is linear before its clamp, so the guess is where the
// window's inverse puts end.
int RunEndByWindow(const ClassEvaluator& evaluator, const float* position, int j, int count,
                   double end) {
    const int last = count - 1;
    if (static_cast<double>(evaluator.At(position[last])) < end) {
        return count;
    }
    const double guess =
        LinearGuess(j, last, position[j], position[last], evaluator.WindowPreimage(end));
    return FirstNotBelow(j + 1, last, guess, [&](int k) {
        return static_cast<double>(evaluator.At(position[k])) < end;
    });
}

// The same over windowed positions already computed (ascending), up to count.
int RunEndByPosition(const float* at, int j, int count, double end) {
    const int last = count - 1;
    if (static_cast<double>(at[last]) < end) {
        return count;
    }
    const double guess = LinearGuess(j, last, at[j], at[last], end);
    return FirstNotBelow(j + 1, last, guess,
                         [&](int k) { return static_cast<double>(at[k]) < end; });
}

// A run of a block's entries on which a class's opacity is one piece of its
// graph: a constant value, or a line whose values are in the scratch.
struct OpacityRun {
    int begin = 0;
    int end = 0;
    bool linear = false;
    float value = 0.0f;  // of a constant run
};

// [begin, end) of entries; empty when begin >= end.
struct Span {
    int begin = 0;
    int end = 0;
    void Add(int b, int e) {
        if (begin >= end) {
            begin = b;
            end = e;
        } else {
            begin = b < begin ? b : begin;
            end = e > end ? e : end;
        }
    }
};

// The per-block scratch of the run-by-run passes, one row per active class.
// Everything is allocated when it is made: a block allocates nothing.
class RunScratch {
  public:
    explicit RunScratch(std::size_t classes)
        : m_At(classes * kBlock),
          m_Opacity(classes * kBlock),
          m_Runs(classes * kBlock),
          m_RunCount(classes),
          m_Computed(classes),
          m_Counting(classes) {}

    float* At(std::size_t cls) { return m_At.data() + cls * kBlock; }
    float* Opacity(std::size_t cls) { return m_Opacity.data() + cls * kBlock; }
    float* Weight() { return m_Weight; }

    // Makes sure the windowed positions of class cls are computed over
    // [begin, end), keeping the computed entries one span.
    void EnsureAt(std::size_t cls, const ClassEvaluator& evaluator, const float* position,
                  int begin, int end) {
        Span& done = m_Computed[cls];
        float* at = At(cls);
        if (done.begin >= done.end) {
            evaluator.AtRun(position, begin, end, at);
            done = {begin, end};
            return;
        }
        if (begin < done.begin) {
            evaluator.AtRun(position, begin, done.begin, at);
            done.begin = begin;
        }
        if (end > done.end) {
            evaluator.AtRun(position, done.end, end, at);
            done.end = end;
        }
    }

    // The opacity runs of class cls cover the block in order; a block has at
    // most one run per entry.
    void AddRun(std::size_t cls, const OpacityRun& run) {
        m_Runs[cls * kBlock + static_cast<std::size_t>(m_RunCount[cls]++)] = run;
    }
    const OpacityRun* Runs(std::size_t cls) const { return m_Runs.data() + cls * kBlock; }
    int RunCount(std::size_t cls) const { return m_RunCount[cls]; }

    std::size_t Classes() const { return m_RunCount.size(); }
    // Readies the rows of the first classes for a block.
    void Reset(std::size_t classes) {
        for (std::size_t c = 0; c < classes; ++c) {
            m_Computed[c] = Span{};
            m_Counting[c] = Span{};
            m_RunCount[c] = 0;
        }
    }
    Span& Counting(std::size_t cls) { return m_Counting[cls]; }

  private:
    std::vector<float> m_At;
    std::vector<float> m_Opacity;  // the values of linear runs
    std::vector<OpacityRun> m_Runs;
    std::vector<int> m_RunCount;
    std::vector<Span> m_Computed;  // where At(cls) holds values
    std::vector<Span> m_Counting;  // where cls has an opacity other than 0
    float m_Weight[kBlock] = {};
};

// Shows that a block is under way: a counter advanced after its positions
// and after every class of every pass (class by class too), which the
// thread sharing the table watches (see TableJob). Without a counter it
// does nothing.
struct Heartbeat {
    std::atomic<std::uint32_t>* counter = nullptr;
    void operator()() const {
        if (counter != nullptr) {
            counter->store(counter->load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        }
    }
};

// The run-by-run passes over one block of ascending positions. Answers false,
// leaving the sums to be recomputed, when the block must be done class by class.
bool RunWiseBlock(const std::vector<ClassEvaluator>& evaluators, const float* position, int count,
                  float transparentBound, RunScratch& scratch, BlockSums& sums, int* first,
                  Heartbeat beat) {
    sums.ClearFloats();
    vxr_volr_batch::FillKernel(count, kNoClass, first);
    scratch.Reset(evaluators.size());

    // The opacity pass.
    int nanSum = 0;
    for (std::size_t c = 0; c < evaluators.size(); ++c) {
        const ClassEvaluator& evaluator = evaluators[c];
        const int cls = static_cast<int>(c);
        float* at = scratch.At(c);
        float* opacity = scratch.Opacity(c);
        int j = 0;
        while (j < count) {
            const int piece = evaluator.OpacityPiece(evaluator.At(position[j]));
            const int end =
                RunEndByWindow(evaluator, position, j, count, evaluator.OpacityPieceEnd(piece));
            OpacityRun run{j, end, false, 0.0f};
            if (evaluator.OpacityConstant(piece, run.value)) {
                if (!(run.value == 0.0f)) {  // NaN counts
                    nanSum |=
                        OpacityStepConstantKernel(end - j, cls, run.value, transparentBound,
                                                  sums.opacity + j, sums.maxOpacity + j, first + j);
                    scratch.Counting(c).Add(j, end);
                }
            } else {
                run.linear = true;
                scratch.EnsureAt(c, evaluator, position, j, end);
                evaluator.OpacityRun(piece, at + j, end - j, opacity + j);
                nanSum |= OpacityStepKernel(end - j, cls, opacity + j, transparentBound,
                                            sums.opacity + j, sums.maxOpacity + j, first + j);
                scratch.Counting(c).Add(j, end);
            }
            scratch.AddRun(c, run);
            j = end;
        }
        beat();
    }
    if (nanSum != 0) {
        return false;
    }

    Span open;  // the entries that stay transparent
    if (OpenCountKernel(count, first) != 0) {
        for (int j = 0; j < count; ++j) {
            if (first[j] == kNoClass) {
                open.Add(j, j + 1);
            }
        }
    }

    // The colour pass.
    float* weight = scratch.Weight();
    for (std::size_t c = 0; c < evaluators.size(); ++c) {
        Span span = scratch.Counting(c);
        if (open.begin < open.end) {
            span.Add(open.begin, open.end);
        }
        if (span.begin >= span.end) {
            continue;
        }
        const int cls = static_cast<int>(c);
        const OpacityRun* runs = scratch.Runs(c);
        float* opacity = scratch.Opacity(c);
        // Where every entry of the span has met a non-transparent class at or
        // before this one, each weight is the opacity itself: the constant
        // runs' opacities are written beside the line's, and those are the
        // weights.
        const bool opacityWeights =
            LastFirstKernel(span.end - span.begin, first + span.begin) <= cls;
        const float* weights = opacityWeights ? opacity : weight;
        for (int r = 0; r < scratch.RunCount(c); ++r) {
            const int b = runs[r].begin > span.begin ? runs[r].begin : span.begin;
            const int e = runs[r].end < span.end ? runs[r].end : span.end;
            if (b >= e) {
                continue;
            }
            if (opacityWeights) {
                if (!runs[r].linear) {
                    vxr_volr_batch::FillKernel(e - b, runs[r].value, opacity + b);
                }
            } else if (runs[r].linear) {
                WeightKernel(e - b, cls, first + b, opacity + b, weight + b);
            } else {
                WeightConstantKernel(e - b, cls, first + b, runs[r].value, weight + b);
            }
        }
        const ClassEvaluator& evaluator = evaluators[c];
        scratch.EnsureAt(c, evaluator, position, span.begin, span.end);
        const float* at = scratch.At(c);
        int j = span.begin;
        while (j < span.end) {
            const int piece = evaluator.ColorPiece(at[j]);
            const int end = RunEndByPosition(at, j, span.end, evaluator.ColorPieceEnd(piece));
            evaluator.AddWeightedColorRun(piece, at + j, end - j, weights + j, sums.red + j,
                                          sums.green + j, sums.blue + j);
            j = end;
        }
        beat();
    }
    return true;
}

// True when every entry whose position lies in [first, last] is the same:
// for every class, the windowed positions of first and last (and so, the
// window never decreasing, of every position between) fall in one piece of
// the graph and one piece of the ramp, both constant. An entry is made of
// nothing but the classes' opacities and colours there.
bool ConstantBlock(const std::vector<VXR_VOLR_ColorClass::Evaluator>& evaluators, float first,
                   float last) {
    for (const VXR_VOLR_ColorClass::Evaluator& evaluator : evaluators) {
        const float from = evaluator.At(first);
        const float to = evaluator.At(last);
        if (from != from || to != to) {
            return false;
        }
        const int opacity = evaluator.OpacityPiece(from);
        float value = 0.0f;
        if (!(static_cast<double>(to) < evaluator.OpacityPieceEnd(opacity)) ||
            !evaluator.OpacityConstant(opacity, value)) {
            return false;
        }
        const int color = evaluator.ColorPiece(from);
        if (!(static_cast<double>(to) < evaluator.ColorPieceEnd(color)) ||
            !evaluator.ColorConstant(color)) {
            return false;
        }
    }
    return true;
}

using WorkScratch = vxr_volr_table::TableWorkers::Job::Scratch;

// What one thread needs to compute blocks of a table. Every array starts a
// cache line (each is a whole number of them long), so that no vector load
// of the kernels straddles two.
struct alignas(64) BlockWork final : WorkScratch {
    alignas(64) float position[kBlock];
    int red[kBlock], green[kBlock], blue[kBlock];
    int first[kBlock];
    float opacity[kBlock];
    BlockSums sums;
    std::uint32_t out[kBlock];          // a helper's block before it is committed
    std::optional<RunScratch> scratch;  // for the run-by-run passes
};

// The block work kept in kept (which holds nothing else), made or grown to a
// run-by-run scratch for at least classes classes: a table allocates
// nothing once its thread has calculated one with as many classes. Null
// when memory runs out.
BlockWork* KeptWork(std::unique_ptr<WorkScratch>& kept, std::size_t classes) {
    try {
        if (kept == nullptr) {
            kept = std::make_unique<BlockWork>();
        }
        auto* work = static_cast<BlockWork*>(kept.get());
        if (!work->scratch.has_value() || work->scratch->Classes() < classes) {
            work->scratch.reset();
            work->scratch.emplace(classes);
        }
        return work;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// The block work of the calling (host) thread, kept between tables.
BlockWork* ThreadWork(std::size_t classes) {
    thread_local std::unique_ptr<WorkScratch> kept;
    return KeptWork(kept, classes);
}

// The inputs of one calculation of a table.
struct TableInputs {
    std::uint32_t* table = nullptr;
    std::size_t entries = 0;
    long long half = 0;  // the raw value of index 0 is -half
    double slope = 0.0, intercept = 0.0, start = 0.0, range = 0.0;
    bool positionsInIntRange = false;
    float transparentBound = 0.0f;
    double activeScale = 0.0, maxOpacityMember = 0.0, opacityFactor = 0.0;
    bool runWise = false;          // every class allows the run-by-run passes
    bool positionsAscend = false;  // known without looking (see CalculateColorTable)
    // Positions kept from an earlier table with the same inputs, read
    // instead of computed; or else, when not null, where this table's
    // positions are kept as its blocks are computed.
    const float* keptPositions = nullptr;
    float* keepPositions = nullptr;
};

// The state of every block of a table shared with helpers, and the
// heartbeat of the helper computing it (see TableJob).
struct SharedBlocks {
    std::vector<std::atomic<unsigned char>> states;
    std::vector<std::atomic<std::uint32_t>> beats;
};

// One calculation of a table: its inputs, its classes, and the next block
// to be taken. Blocks are taken one at a time by whichever thread is free;
// each is computed the same way whoever takes it.
//
// Shared with helpers (CalculateWithHelpers), every block has a state. A
// helper computes the blocks it takes into its own buffer and commits one
// (kTaken -> kCommitting, copy into the table, kDone) only if the asking
// thread has not stolen it meanwhile (kTaken -> kStolen): once no block is
// left to take, the asking thread waits a little for the helpers' last
// blocks and then computes those still unfinished itself. So it never waits
// for a helper that the system has descheduled, only for a commit under
// way, and it returns once every block is in the table; a helper that comes
// back later finds its block stolen and drops it. The job owns everything a
// helper reads (the helper keeps it alive), and a helper writes the table
// (and the positions kept for the next table) only through a commit, which
// the asking thread waits for.
class TableJob final : public vxr_volr_table::TableWorkers::Job {
  public:
    enum : unsigned char { kTaken, kCommitting, kDone, kStolen };

    // owner keeps the positions of the inputs alive as long as the job.
    TableJob(const TableInputs& inputs, std::vector<VXR_VOLR_ColorClass::Evaluator> evaluators,
             SharedBlocks shared, std::shared_ptr<const void> owner)
        : m_Owner(std::move(owner)),
          m_Inputs(inputs),
          m_Evaluators(std::move(evaluators)),
          m_Shared(std::move(shared)),
          m_Blocks((inputs.entries + kBlockSize - 1) / kBlockSize) {}

    const std::vector<VXR_VOLR_ColorClass::Evaluator>& Evaluators() const { return m_Evaluators; }
    std::vector<VXR_VOLR_ColorClass::Evaluator> TakeEvaluators() { return std::move(m_Evaluators); }
    // Class by class only: the run-by-run passes need a scratch.
    void NotRunWise() { m_Inputs.runWise = false; }
    bool RunWise() const { return m_Inputs.runWise; }
    std::size_t Blocks() const { return m_Blocks; }

    // Every block, on the calling thread alone.
    void Calculate(BlockWork& work) {
        for (std::size_t b = Take(); b < m_Blocks; b = Take()) {
            Keep(work, b, Block(work, b, m_Inputs.table + b * kBlockSize));
        }
    }

    // The asking thread's part once the job is posted: blocks until none is
    // left, then whatever the helpers have not finished (see above).
    void CalculateWithHelpers(BlockWork& work) {
        const std::int64_t begun = Now();
        std::int64_t own = 0;
        for (std::size_t b = Take(); b < m_Blocks; b = Take()) {
            Keep(work, b, Block(work, b, m_Inputs.table + b * kBlockSize));
            m_Shared.states[b].store(kDone, std::memory_order_relaxed);
            ++own;
        }
        // A helper's block is left to it while its heartbeat goes on; one
        // whose heartbeat has stopped for longer than kStalled, or than a
        // quarter of the time one of our blocks took on a slow build (at
        // most kMostPatience), is done here: its helper has been
        // descheduled, or has not started. A block's longest step between
        // two beats, the packing, takes about a tenth of it.
        std::int64_t patience = own == 0 ? 0 : (Now() - begun) / (4 * own);
        patience = patience < kStalled ? kStalled : patience;
        patience = patience > kMostPatience ? kMostPatience : patience;
        for (std::size_t b = 0; b < m_Blocks; ++b) {
            std::atomic<unsigned char>& state = m_Shared.states[b];
            unsigned char seen = state.load(std::memory_order_acquire);
            if (seen == kTaken) {
                std::uint32_t beat = m_Shared.beats[b].load(std::memory_order_relaxed);
                std::int64_t since = Now();
                for (;;) {
                    vxr_volr_table::Pause();
                    seen = state.load(std::memory_order_acquire);
                    if (seen != kTaken) {
                        break;
                    }
                    const std::uint32_t now = m_Shared.beats[b].load(std::memory_order_relaxed);
                    if (now != beat) {
                        beat = now;
                        since = Now();
                    } else if (Now() - since > patience) {
                        break;
                    }
                }
                if (seen == kTaken &&
                    state.compare_exchange_strong(seen, kStolen, std::memory_order_acquire)) {
                    Keep(work, b, Block(work, b, m_Inputs.table + b * kBlockSize));
                    continue;
                }
            }
            // Committed or being committed: wait for the copy to end.
            while (seen != kDone) {
                std::this_thread::yield();
                seen = state.load(std::memory_order_acquire);
            }
        }
    }

    bool Help(std::unique_ptr<WorkScratch>& scratch) noexcept override {
        BlockWork* work = KeptWork(scratch, m_Evaluators.size());
        if (work == nullptr) {
            return true;  // the asking thread does this helper's part
        }
        bool stolen = false;
        for (std::size_t b = Take(); b < m_Blocks; b = Take()) {
            const int count = Block(*work, b, work->out, Heartbeat{&m_Shared.beats[b]});
            unsigned char state = kTaken;
            if (m_Shared.states[b].compare_exchange_strong(state, kCommitting,
                                                           std::memory_order_acquire)) {
                std::memcpy(m_Inputs.table + b * kBlockSize, work->out,
                            static_cast<std::size_t>(count) * sizeof(std::uint32_t));
                Keep(*work, b, count);
                m_Shared.states[b].store(kDone, std::memory_order_release);
            } else {
                stolen = true;
            }
        }
        return !stolen;
    }

  private:
    static constexpr auto kBlockSize = static_cast<std::size_t>(kBlock);
    // A heartbeat that stops for this long (ns) has stopped: a block's
    // longest step between two beats takes a few microseconds.
    static constexpr std::int64_t kStalled = 20000;
    static constexpr std::int64_t kMostPatience = 1000000;

    std::size_t Take() { return m_Next.fetch_add(1, std::memory_order_relaxed); }
    static std::int64_t Now() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    // Block b into out; answers its entry count. When the table's positions
    // are being kept, the block's are left in work.position (see Keep).
    int Block(BlockWork& work, std::size_t b, std::uint32_t* out, Heartbeat beat = {}) const {
        const TableInputs& s = m_Inputs;
        const std::size_t base = b * kBlockSize;
        const int count =
            static_cast<int>(s.entries - base < kBlockSize ? s.entries - base : kBlockSize);
        const int firstRaw = static_cast<int>(static_cast<long long>(base) - s.half);
        const float* position = nullptr;  // the block's, once known
        if (s.keptPositions != nullptr) {
            position = s.keptPositions + base;
        } else if (s.keepPositions != nullptr) {
            PositionKernel(firstRaw, count, s.slope, s.intercept, s.start, s.range,
                           s.positionsInIntRange, work.position);
            position = work.position;
            beat();
        }
        if (s.runWise && s.positionsAscend && count > 1) {
            const float first = position != nullptr
                                    ? position[0]
                                    : PositionOf(firstRaw, s.slope, s.intercept, s.start, s.range);
            const float last = position != nullptr ? position[count - 1]
                                                   : PositionOf(firstRaw + count - 1, s.slope,
                                                                s.intercept, s.start, s.range);
            if (ConstantBlock(m_Evaluators, first, last)) {
                // Every entry of the block is the entry of its first position.
                Entries(work, &first, 1, out, beat);
                std::fill(out + 1, out + count, out[0]);
                return count;
            }
        }
        if (position == nullptr) {
            PositionKernel(firstRaw, count, s.slope, s.intercept, s.start, s.range,
                           s.positionsInIntRange, work.position);
            position = work.position;
            beat();
        }
        Entries(work, position, count, out, beat);
        return count;
    }

    // Keeps the positions Block left in work.position for block b.
    void Keep(const BlockWork& work, std::size_t b, int count) const {
        if (m_Inputs.keepPositions != nullptr) {
            std::memcpy(m_Inputs.keepPositions + b * kBlockSize, work.position,
                        static_cast<std::size_t>(count) * sizeof(float));
        }
    }

    // The entries of position[0..count) into out.
    void Entries(BlockWork& work, const float* position, int count, std::uint32_t* out,
                 Heartbeat beat) const {
        const TableInputs& s = m_Inputs;
        BlockSums& sums = work.sums;
        if (s.runWise && (s.positionsAscend || vxr_volr_batch::AscendingKernel(position, count)) &&
            RunWiseBlock(m_Evaluators, position, count, s.transparentBound, *work.scratch, sums,
                         work.first, beat)) {
            PackKernel(count, sums, s.activeScale, s.transparentBound, s.maxOpacityMember,
                       s.opacityFactor, out);
            return;
        }
        bool firstClass = true;
        bool anyTransparent = true;
        for (const VXR_VOLR_ColorClass::Evaluator& evaluator : m_Evaluators) {
            evaluator.Evaluate(position, count, work.red, work.green, work.blue, work.opacity);
            if (firstClass) {
                anyTransparent = CombineFirstKernel(count, work.red, work.green, work.blue,
                                                    work.opacity, s.transparentBound, sums) != 0;
                firstClass = false;
            } else if (anyTransparent) {
                anyTransparent = CombineKernel(count, work.red, work.green, work.blue, work.opacity,
                                               s.transparentBound, sums) != 0;
            } else {
                CombineOpaqueKernel(count, work.red, work.green, work.blue, work.opacity, sums);
            }
            beat();
        }
        PackKernel(count, sums, s.activeScale, s.transparentBound, s.maxOpacityMember,
                   s.opacityFactor, out);
    }

    std::shared_ptr<const void> m_Owner;
    TableInputs m_Inputs;
    std::vector<VXR_VOLR_ColorClass::Evaluator> m_Evaluators;
    SharedBlocks m_Shared;  // shared tables only
    std::size_t m_Blocks;
    std::atomic<std::size_t> m_Next{0};
};

// Tables smaller than this are not worth waking a helper for.
constexpr std::size_t kSharedEntries = 2048;
constexpr auto kBlockSize = static_cast<std::size_t>(kBlock);

// Computes the whole table with the helper threads when the host allows
// more than one thread and the table is large enough; answers false,
// having written nothing and kept the evaluators, when no helper takes
// part (the caller then computes it alone). Only run-by-run tables are
// shared: their blocks call no class's own operations, so nothing can raise
// on a helper.
bool CalculateShared(const TableInputs& inputs,
                     std::vector<VXR_VOLR_ColorClass::Evaluator>& evaluators,
                     const std::shared_ptr<const void>& owner) {
    using vxr_volr_table::TableWorkers;
    const int threads = TableWorkers::Threads();
    if (threads < 2 || inputs.entries < kSharedEntries || !inputs.runWise) {
        return false;
    }
    BlockWork* own = ThreadWork(evaluators.size());
    if (own == nullptr) {
        return false;
    }
    std::shared_ptr<TableJob> job;
    try {
        const std::size_t blocks = (inputs.entries + kBlockSize - 1) / kBlockSize;
        SharedBlocks shared{std::vector<std::atomic<unsigned char>>(blocks),
                            std::vector<std::atomic<std::uint32_t>>(blocks)};
        // Should the job's own allocation fail, nothing has been moved yet.
        job = std::make_shared<TableJob>(inputs, std::move(evaluators), std::move(shared), owner);
    } catch (const std::bad_alloc&) {
        return false;
    }
    TableWorkers& workers = TableWorkers::Instance();
    if (workers.Post(job, threads - 1) == 0) {
        evaluators = job->TakeEvaluators();
        return false;
    }
    job->CalculateWithHelpers(*own);
    workers.Withdraw(job.get());
    return true;
}

}  // namespace

// The positions of a table's entries depend only on its value range (the
// bits, the sign, the slope and the intercept), which a drag leaves alone:
// they are kept from one table to the next instead of being computed again,
// for tables of up to kKeptPositionBits bits (4 bytes an entry beside the
// table's 4). A kept block never changes: other inputs make a new one.
struct VXR_VOLR_ColorProtocol::TablePositions {
    std::size_t entries = 0;
    long long half = 0;
    double slope = 0.0, intercept = 0.0, start = 0.0, range = 0.0;
    bool inIntRange = false;
    std::unique_ptr<float[]> values;

    // Compared bit for bit (a NaN slope is never the same).
    bool Fits(const TableInputs& inputs) const {
        return entries == inputs.entries && half == inputs.half && slope == inputs.slope &&
               intercept == inputs.intercept && start == inputs.start && range == inputs.range &&
               inIntRange == inputs.positionsInIntRange;
    }
};

namespace {
constexpr int kKeptPositionBits = 16;
}  // namespace

// --- colour table ----------------------------------------------------------------------

std::size_t VXR_VOLR_ColorProtocol::table_entries(int bits) {
    return bits >= 1 && bits <= kMaxTableBits ? std::size_t{1} << bits : 0;
}

bool VXR_VOLR_ColorProtocol::ensure_table_block() {
    // Every read of a table that cannot be had tries again (the table stays
    // invalid); the reason is logged once for each bit count that fails, not
    // on every read.
    const bool reported = m_bNoTableReported && m_nNoTableBits == m_nBPP;
    if (m_nBPP != 0 && table_entries(m_nBPP) == 0) {
        free_table();
        if (!reported) {
            TMR_LOG(kLogSource, 3, "No color table for %d bits per pixel (1 to %d supported)\n",
                    m_nBPP, kMaxTableBits);
        }
        m_bNoTableReported = true;
        m_nNoTableBits = m_nBPP;
        return false;
    }
    if (m_bOwnsColorTable && m_ColorTable != nullptr && m_nColorTableBits == m_nBPP) {
        return true;
    }
    free_table();
    const std::size_t entries = table_entries(m_nBPP);
    std::shared_ptr<std::uint32_t[]> block;
    if (std::uint32_t* raw = new (std::nothrow) std::uint32_t[entries]; raw != nullptr) {
        try {
            block.reset(raw);  // frees raw itself when its share cannot be made
        } catch (const std::bad_alloc&) {
            block.reset();
        }
    }
    if (block == nullptr) {
        if (!reported) {
            TMR_LOG(kLogSource, 3, "No color table: no memory for %zu entries\n", entries);
        }
        m_bNoTableReported = true;
        m_nNoTableBits = m_nBPP;
        return false;
    }
    m_ColorTable = std::move(block);
    m_bOwnsColorTable = true;
    m_nColorTableBits = m_nBPP;
    m_bNoTableReported = false;
    return true;
}

// Numbers - one reading for the whole library (the colour class and the
// opacity graph follow it too): every expression is evaluated in double, and
// a value is rounded to float only where it is stored in a float (a member,
// or a variable the table algorithm declares float) or where a cast to float
// is written out. Here:
//   range = (float)(end - start)             a float;
//   v = trunc(raw * slope + intercept) - start   in double, so slope 0.7f
//                                            (0.699999988) takes raw 10 to
//                                            6.99999988 and v to 6, not 7;
//   w = (float)(v / range)                   the quotient in double, rounded;
//   sumOpacity, maxOpacity, r, g, b          floats: each update is computed
//                                            in double from the float operands
//                                            (r + opacity * red) and rounded
//                                            to float when stored;
//   scale = 1 / activeCount or 1 / sumOpacity    double (not declared float);
//   trunc(scale * r + 0.5), trunc(maxOpacity * maxOpacityMember * f * 255 + 0.5)
//                                            in double.
// The same holds for the value range (trunc(2^(bits-1) * slope), trunc((2^k
// - 1) * slope)), ApplyInterceptAndSlop (trunc(v * slope)),
// InverseInterceptAndSlop (trunc((v - intercept) / slope)) and the average
// colour (its weights and sums are floats, each update computed in double;
// 1 / sumWeight and the products with it are double). The constants 0.00001
// (the transparency threshold), 0.5 (rounding), 0.2 (decreased opacity) and
// 255 are doubles. Every float-to-int conversion truncates toward zero
// through UTL_TruncToInt (NaN gives 0, out-of-range saturates), and every
// field is then clamped to 0..255, so a maximum opacity above 1 or colours
// outside 0..255 saturate instead of spilling into the neighbouring
// field. The difference end - start is taken modulo 2^32, and v is computed
// in 64 bits, so no slope overflows anything. What odd slopes give:
//   slope 0        the range is empty: every w is 0/0 = NaN, and each entry
//                  holds what the classes answer for NaN (their default
//                  colour and, for graphs of two or more points, opacity 0);
//   slope < 0      end < start: the difference wraps to nearly 2^32, so every
//                  w is a tiny number or negative and the entries hold the
//                  classes' values at (or just above) position 0;
//   NaN            the range functions truncate their NaN products to 0,
//                  so start = end = intercept and the range is 0; every
//                  raw * NaN + intercept truncates to 0, so v = -intercept
//                  and every w = -intercept / 0: -infinity for a positive
//                  intercept, +infinity for a negative one, which the
//                  classes clamp to position 0 or 1 (a constant table of
//                  their values there), and NaN for intercept 0 (a constant
//                  table of what they answer for NaN, as for slope 0);
//   +-infinity or so large that the range overflows: products saturate at the
//                  int limits, the range wraps modulo 2^32, and the entries
//                  hold whatever those positions give - defined, not useful.
void VXR_VOLR_ColorProtocol::CalculateColorTable() {
    if (m_nBPP == 0) {
        return;
    }
    if (!ensure_table_block()) {
        return;
    }
    const std::size_t entries = table_entries(m_nBPP);
    std::uint32_t* table = m_ColorTable.get();
    if (!m_bIsVisible) {
        std::memset(table, 0, entries * sizeof *table);
        return;
    }

    std::vector<VXR_VOLR_ColorClass::Evaluator> evaluators;
    try {
        evaluators.reserve(m_ColorClasses.entries());
        for (const VXR_VOLR_ColorClass* cls : m_ColorClasses) {
            if (cls->GetIsActive()) {
                evaluators.emplace_back(*cls);
            }
        }
    } catch (const std::bad_alloc&) {
        free_table();
        TMR_LOG(kLogSource, 3, "No color table: no memory to prepare %u classes\n",
                GetClassCount());
        return;
    }
    const int activeCount = static_cast<int>(evaluators.size());

    if (activeCount == 0) {
        // Every entry of a table without active classes is 0.
        std::memset(table, 0, entries * sizeof *table);
        m_bColorTableValid = true;
        m_bAverageColorValid = false;
        return;
    }

    const long long half = m_bSigned ? (1LL << (m_nBPP - 1)) : 0;
    const int start = GetStartRange();
    const auto startValue = static_cast<double>(start);
    const std::uint32_t difference =
        static_cast<std::uint32_t>(GetEndRange()) - static_cast<std::uint32_t>(start);
    const float range = static_cast<float>(difference);  // a float, as the range is declared
    const auto slope = static_cast<double>(m_fRescaleSlope);
    const auto intercept = static_cast<double>(m_nRescaleIntercept);
    // |raw| <= 2^24, so |raw * slope + intercept| stays below 2^30 (rounding
    // included) whenever this holds.
    const bool positionsInIntRange =
        std::isfinite(slope) && std::fabs(static_cast<double>(slope)) < 16.0 &&
        std::abs(static_cast<long long>(m_nRescaleIntercept)) < (1LL << 29);
    const float transparentBound = TransparentSumBound();
    const double activeScale = 1.0 / static_cast<double>(activeCount);
    const double opacityFactor = m_bIsDecreseOpMode ? kDecreasedOpacity : 1.0;
    const auto maxOpacityMember = static_cast<double>(m_fMaxOpacity);

    TableInputs inputs;
    inputs.table = table;
    inputs.entries = entries;
    inputs.half = half;
    inputs.slope = slope;
    inputs.intercept = intercept;
    inputs.start = startValue;
    inputs.range = static_cast<double>(range);
    inputs.positionsInIntRange = positionsInIntRange;
    inputs.transparentBound = transparentBound;
    inputs.activeScale = activeScale;
    inputs.maxOpacityMember = maxOpacityMember;
    inputs.opacityFactor = opacityFactor;
    // Positions never decrease along the table when the slope is finite and
    // not negative and the range is above 0: every step of their expression
    // (the product with such a slope, the sum, the truncation, the
    // difference, the quotient by such a range, the rounding) keeps the
    // order. The blocks then need no check.
    inputs.positionsAscend = std::isfinite(slope) && slope >= 0.0 && range > 0.0f;
    // Run by run when every class allows it (see RunWiseBlock).
    inputs.runWise = true;
    for (const VXR_VOLR_ColorClass::Evaluator& evaluator : evaluators) {
        inputs.runWise = inputs.runWise && evaluator.RunWise();
    }
    // The positions: kept from the last table, or kept from this one.
    std::shared_ptr<const TablePositions> kept;
    std::shared_ptr<TablePositions> keeping;
    if (m_pTablePositions != nullptr && m_pTablePositions->Fits(inputs)) {
        kept = m_pTablePositions;
        inputs.keptPositions = kept->values.get();
    } else if (entries <= (std::size_t{1} << kKeptPositionBits)) {
        try {
            auto positions = std::make_shared<TablePositions>();
            positions->values.reset(new float[entries]);
            positions->entries = inputs.entries;
            positions->half = inputs.half;
            positions->slope = inputs.slope;
            positions->intercept = inputs.intercept;
            positions->start = inputs.start;
            positions->range = inputs.range;
            positions->inIntRange = inputs.positionsInIntRange;
            keeping = std::move(positions);
            inputs.keepPositions = keeping->values.get();
        } catch (const std::bad_alloc&) {
            // Calculated all the same, and nothing kept.
        }
    }
    const std::shared_ptr<const void> owner =
        kept != nullptr ? std::shared_ptr<const void>(kept) : std::shared_ptr<const void>(keeping);
    if (!CalculateShared(inputs, evaluators, owner)) {
        TableJob job(inputs, std::move(evaluators), {}, nullptr);
        BlockWork* work = ThreadWork(job.Evaluators().size());
        if (work == nullptr) {
            // Class by class needs no scratch, and this work no allocation.
            BlockWork alone;
            job.NotRunWise();
            job.Calculate(alone);
        } else {
            job.Calculate(*work);
        }
    }
    if (keeping != nullptr) {
        m_pTablePositions = std::move(keeping);
    }
    m_bColorTableValid = true;
    m_bAverageColorValid = false;
}

void VXR_VOLR_ColorProtocol::SetTableThreads(int threads) {
    vxr_volr_table::TableWorkers::SetThreads(threads);
}

int VXR_VOLR_ColorProtocol::GetTableThreads() {
    return vxr_volr_table::TableWorkers::Threads();
}

unsigned int* VXR_VOLR_ColorProtocol::GetColorTable() {
    if (!m_bColorTableValid) {
        CalculateColorTable();
    }
    const std::size_t entries = table_entries(m_nBPP);
    if (m_ColorTable == nullptr || entries == 0) {
        return nullptr;
    }
    if (m_bSigned) {
        return m_ColorTable.get() + entries / 2;
    }
    return m_ColorTable.get();
}

void VXR_VOLR_ColorProtocol::Print() {
    CalculateColorTable();
    const std::size_t entries = table_entries(m_nBPP);
    if (m_ColorTable != nullptr && entries != 0) {
        const std::uint32_t* table = m_ColorTable.get();
        const double last = static_cast<double>(entries - 1);
        for (std::size_t k = 0; k < entries; ++k) {
            const std::uint32_t entry = table[k];
            std::printf("%d\t%f\t%d\t%d\t%d\t%d\t%x\n", static_cast<int>(k),
                        static_cast<double>(k) / last, static_cast<int>(entry & 0xffu),
                        static_cast<int>(entry >> 24), static_cast<int>((entry >> 16) & 0xffu),
                        static_cast<int>((entry >> 8) & 0xffu), entry);
        }
    }
    std::printf("-------------------------------------\n");
}

void VXR_VOLR_ColorProtocol::CalculateAverageColor(unsigned long* histogram, int total, int count) {
    if (m_nBPP == 0 || histogram == nullptr || (m_bAverageColorValid && m_bColorTableValid)) {
        return;
    }
    if (!m_bColorTableValid) {
        CalculateColorTable();
    }
    const std::size_t entries = table_entries(m_nBPP);
    if (m_ColorTable == nullptr || entries == 0) {
        return;
    }
    if (count < 0 || static_cast<std::size_t>(count) != entries) {
        return;
    }
    if (total <= 0) {
        return;  // nothing counted: no weights to average with
    }
    const std::uint32_t* table = m_ColorTable.get();
    // The counts and the total are taken as floats, the weights and the sums
    // are floats; every expression is evaluated in double and rounded to float
    // where it is stored.
    const double voxels = static_cast<float>(total);
    float sumWeight = 0.0f;
    float sumRed = 0.0f;
    float sumGreen = 0.0f;
    float sumBlue = 0.0f;
    for (std::size_t k = 0; k < entries; ++k) {
        const std::uint32_t entry = table[k];
        const double counted = static_cast<float>(histogram[k]);
        const auto weight = static_cast<float>(counted / voxels * (entry & 0xffu));
        const double wide = weight;
        sumWeight = static_cast<float>(sumWeight + wide);
        sumRed = static_cast<float>(sumRed + wide * (entry >> 24));
        sumGreen = static_cast<float>(sumGreen + wide * ((entry >> 16) & 0xffu));
        sumBlue = static_cast<float>(sumBlue + wide * ((entry >> 8) & 0xffu));
    }
    if (sumWeight == 0.0f) {
        m_AverageColor = UTL_Color(0, 0, 0);
    } else {
        const double inverse = 1.0 / static_cast<double>(sumWeight);
        m_AverageColor =
            UTL_Color(UTL_TruncToInt(sumRed * inverse), UTL_TruncToInt(sumGreen * inverse),
                      UTL_TruncToInt(sumBlue * inverse));
    }
    VXR_VOLR_ColorClass* minus = GetTissueDefClass(_bstr_t(VXR_VOLR_MINUS));
    if (minus != nullptr) {
        VXR_VOLR_ColorPoint point = minus->GetColorPoint(0);
        point.m_Color = m_AverageColor;
        minus->RemoveColorPoint(0);
        minus->AddColorPoint(point);
    }
    m_bAverageColorValid = true;
}
