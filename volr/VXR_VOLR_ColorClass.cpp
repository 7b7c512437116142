#include "VXR_VOLR_ColorClass.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <typeinfo>

#include "COM/COM_Error.h"
#include "I18n/I18n_ConvertUtils.h"
#include "UTL/UTL_Numeric.h"
#include "VXR_VOLR_BatchEvaluation.h"
#include "log/Tmr_LogFile.h"

namespace {

constexpr const char* kLogSource = "VXR_VOLR_ColorClass";

// Colour ramp: segments shorter than this are skipped (single precision).
constexpr double kShortColorSegment = static_cast<double>(1e-5f);
// Colour ramp: every segment reaches this far beyond its right-hand point
// (single precision).
constexpr double kColorSegmentTolerance = static_cast<double>(1e-6f);
// Added before a colour component is truncated. Double literal: its width is
// not fixed as single.
constexpr double kComponentRounding = 0.49;
// A window change smaller than or equal to this is no change (single precision).
constexpr double kWindowStep = static_cast<double>(1e-7f);
// Widths below this in magnitude snap the window back to none (single precision).
constexpr double kMinWidth = static_cast<double>(1e-4f);
// A pivot within this of 0 counts as not placed yet. Double literal: its width
// is not fixed as single.
constexpr double kUnsetPivot = 0.001;

constexpr int kPositionPrecision = 10;

using vxr_volr_batch::ClampToUnit;

// The arithmetic of one evaluation, shared by CalcInverseWindowing, GetColor
// and the batch evaluation so that they cannot drift apart.

// The inverse window in two steps: the offset of v from pivot + centre ...
inline double WindowOffset(float v, double center, double pivot) {
    return static_cast<double>(v) - center - pivot;
}

// ... scaled back about the pivot, rounded to float. scale is not 0.
inline float InverseWindow(double offset, double scale, double pivot) {
    return static_cast<float>(offset / scale + pivot);
}

// Width -1 collapses the window onto one position: everything off it is
// infinitely far out, the position itself has no preimage.
inline float CollapsedInverseWindow(double offset) {
    if (offset > 0.0) {
        return std::numeric_limits<float>::infinity();
    }
    if (offset < 0.0) {
        return -std::numeric_limits<float>::infinity();
    }
    return std::numeric_limits<float>::quiet_NaN();
}

inline double ColorSegmentLength(float left, float right) {
    return static_cast<double>(right) - left;
}

// A segment this short decides nothing.
inline bool IsShortColorSegment(double length) {
    return length < kShortColorSegment;
}

// How far a segment ending at right reaches: a position below this (as
// doubles) is decided by it unless an earlier segment decided.
inline double ColorSegmentReach(float right) {
    return right + kColorSegmentTolerance;
}

// The blend factor of a segment: 1 / length, rounded to float.
inline double BlendFactor(double length) {
    return static_cast<float>(1.0 / length);
}

// One channel blended at w between the points left and right, before the
// truncation.
inline double BlendChannel(double w, double left, double right, int leftComp, int rightComp,
                           double h) {
    const double toLeft = w - left;
    const double toRight = right - w;
    return (rightComp * toLeft + toRight * leftComp) * h + kComponentRounding;
}

// at[j] = the inverse window of positions[j], clamped to 0..1.
VXR_VOLR_BATCH_KERNEL void WindowKernel(const float* positions, int count, double center,
                                        double pivot, double scale, float* at) {
    if (scale == 1.0) {
        // offset / 1.0 is offset itself: the same value without a division.
        for (int j = 0; j < count; ++j) {
            at[j] =
                ClampToUnit(InverseWindow(WindowOffset(positions[j], center, pivot), 1.0, pivot));
        }
        return;
    }
    for (int j = 0; j < count; ++j) {
        at[j] = ClampToUnit(InverseWindow(WindowOffset(positions[j], center, pivot), scale, pivot));
    }
}

VXR_VOLR_BATCH_KERNEL void BlendKernel(const float* at, int count, double left, double right,
                                       double h, int leftRed, int leftGreen, int leftBlue,
                                       int rightRed, int rightGreen, int rightBlue, bool inIntRange,
                                       int* red, int* green, int* blue) {
    if (inIntRange) {
        // Every result is known to be finite and well inside the int range:
        // the plain conversion truncates exactly as UTL_TruncToInt does.
        for (int k = 0; k < count; ++k) {
            red[k] = static_cast<int>(BlendChannel(at[k], left, right, leftRed, rightRed, h));
            green[k] = static_cast<int>(BlendChannel(at[k], left, right, leftGreen, rightGreen, h));
            blue[k] = static_cast<int>(BlendChannel(at[k], left, right, leftBlue, rightBlue, h));
        }
        return;
    }
    for (int k = 0; k < count; ++k) {
        using vxr_volr_batch::TruncToIntSelect;
        red[k] = TruncToIntSelect(BlendChannel(at[k], left, right, leftRed, rightRed, h));
        green[k] = TruncToIntSelect(BlendChannel(at[k], left, right, leftGreen, rightGreen, h));
        blue[k] = TruncToIntSelect(BlendChannel(at[k], left, right, leftBlue, rightBlue, h));
    }
}

// sum[k] += weight[k] * channel, in double, rounded to float; the channels
// are whole numbers (as doubles) that the int conversion would give.
inline void AddWeighted(double weight, double red, double green, double blue, float& sumRed,
                        float& sumGreen, float& sumBlue) {
    sumRed = static_cast<float>(static_cast<double>(sumRed) + weight * red);
    sumGreen = static_cast<float>(static_cast<double>(sumGreen) + weight * green);
    sumBlue = static_cast<float>(static_cast<double>(sumBlue) + weight * blue);
}

// BlendKernel's colours (its in-int-range case) added with their weights,
// without storing them: a truncated blend is converted back to double
// exactly, as the int would be. A truncation of a value in (-1, 0) gives -0
// where the int gives +0; the product with the weight may then be a zero of
// the other sign, which leaves a sum that is not -0 as it is, and no colour
// sum is ever -0 (see VXR_VOLR_ColorTable.cpp).
VXR_VOLR_BATCH_KERNEL void BlendAddKernel(const float* at, int count, double left, double right,
                                          double h, int leftRed, int leftGreen, int leftBlue,
                                          int rightRed, int rightGreen, int rightBlue,
                                          const float* weight, float* sumRed, float* sumGreen,
                                          float* sumBlue) {
    for (int k = 0; k < count; ++k) {
        const auto truncated = [&](int leftComp, int rightComp) {
            return static_cast<double>(
                static_cast<int>(BlendChannel(at[k], left, right, leftComp, rightComp, h)));
        };
        AddWeighted(static_cast<double>(weight[k]), truncated(leftRed, rightRed),
                    truncated(leftGreen, rightGreen), truncated(leftBlue, rightBlue), sumRed[k],
                    sumGreen[k], sumBlue[k]);
    }
}

#if VXR_VOLR_INTRINSICS
// BlendAddKernel with AVX2 intrinsics, four positions at a time: the same
// operations in the same order (products commuted, which changes no bit),
// kept in registers where the compiler's eight-wide loop spills.
VXR_VOLR_AVX2 void BlendAddAvx2(const float* at, int count, double left, double right, double h,
                                int leftRed, int leftGreen, int leftBlue, int rightRed,
                                int rightGreen, int rightBlue, const float* weight, float* sumRed,
                                float* sumGreen, float* sumBlue) {
    const __m256d l = _mm256_set1_pd(left);
    const __m256d r = _mm256_set1_pd(right);
    const __m256d factor = _mm256_set1_pd(h);
    const __m256d rounding = _mm256_set1_pd(kComponentRounding);
    const __m256d lr = _mm256_set1_pd(leftRed), lg = _mm256_set1_pd(leftGreen),
                  lb = _mm256_set1_pd(leftBlue);
    const __m256d rr = _mm256_set1_pd(rightRed), rg = _mm256_set1_pd(rightGreen),
                  rb = _mm256_set1_pd(rightBlue);
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(at + k));
        const __m256d toLeft = _mm256_sub_pd(a, l);
        const __m256d toRight = _mm256_sub_pd(r, a);
        const __m256d w = _mm256_cvtps_pd(_mm_loadu_ps(weight + k));
        const auto add = [&](__m256d rightComp, __m256d leftComp, float* sum)
            __attribute__((always_inline, target("avx2"))) {
            const __m256d blend =
                _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(rightComp, toLeft),
                                                          _mm256_mul_pd(toRight, leftComp)),
                                            factor),
                              rounding);
            const __m256d channel = _mm256_round_pd(blend, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
            const __m256d total =
                _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(sum + k)), _mm256_mul_pd(w, channel));
            _mm_storeu_ps(sum + k, _mm256_cvtpd_ps(total));
        };
        add(rr, lr, sumRed);
        add(rg, lg, sumGreen);
        add(rb, lb, sumBlue);
    }
    if (k < count) {
        BlendAddKernel(at + k, count - k, left, right, h, leftRed, leftGreen, leftBlue, rightRed,
                       rightGreen, rightBlue, weight + k, sumRed + k, sumGreen + k, sumBlue + k);
    }
}

// WindowKernel with AVX2 intrinsics. ClampToUnit is two instructions here:
// maxps(0, w) is exactly w < 0 ? 0 : w and minps(1, x) exactly x > 1 ? 1 : x,
// NaN and -0 included.
VXR_VOLR_AVX2 void WindowAvx2(const float* positions, int count, double center, double pivot,
                              double scale, float* at) {
    const __m256d c = _mm256_set1_pd(center);
    const __m256d p = _mm256_set1_pd(pivot);
    const __m256d s = _mm256_set1_pd(scale);
    const __m128 zero = _mm_setzero_ps();
    const __m128 one = _mm_set1_ps(1.0f);
    const bool divide = scale != 1.0;  // offset / 1.0 is offset
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        const __m256d offset =
            _mm256_sub_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(positions + j)), c), p);
        const __m256d scaled = divide ? _mm256_div_pd(offset, s) : offset;
        const __m128 w = _mm256_cvtpd_ps(_mm256_add_pd(scaled, p));
        _mm_storeu_ps(at + j, _mm_min_ps(one, _mm_max_ps(zero, w)));
    }
    if (j < count) {
        WindowKernel(positions + j, count - j, center, pivot, scale, at + j);
    }
}
#endif

VXR_VOLR_BATCH_KERNEL void ConstantAddKernel(int count, double red, double green, double blue,
                                             const float* weight, float* sumRed, float* sumGreen,
                                             float* sumBlue) {
    for (int k = 0; k < count; ++k) {
        AddWeighted(static_cast<double>(weight[k]), red, green, blue, sumRed[k], sumGreen[k],
                    sumBlue[k]);
    }
}

float ClampWindowOffset(float value) {
    if (value < -1.0f) {
        return -1.0f;
    }
    if (value > 1.0f) {
        return 1.0f;
    }
    return value;
}

bool BeginsWith(const _bstr_t& name, std::u16string_view prefix) {
    return name.view().substr(0, prefix.size()) == prefix;
}

// A clone of graph as a trapeze graph; null for a null graph. Raises
// std::bad_alloc when memory runs out: a copy of a class must not quietly lose
// its opacities.
std::unique_ptr<VXR_VOLR_TrapezeOpacityGraph> CloneGraph(
    const VXR_VOLR_TrapezeOpacityGraph* graph) {
    if (graph == nullptr) {
        return nullptr;
    }
    std::unique_ptr<VXR_VOLR_OpacityGraphIfc> clone(graph->Clone());
    if (clone == nullptr) {
        throw std::bad_alloc();
    }
    auto* trapeze = dynamic_cast<VXR_VOLR_TrapezeOpacityGraph*>(clone.get());
    if (trapeze == nullptr) {
        throw std::bad_cast();  // a derived graph whose Clone answers another type
    }
    clone.release();
    return std::unique_ptr<VXR_VOLR_TrapezeOpacityGraph>(trapeze);
}

}  // namespace

// --- VXR_VOLR_ColorPoint ------------------------------------------------------

VXR_VOLR_ColorPoint::VXR_VOLR_ColorPoint(const CFG_ITreePtr& tree) {
    const int red = tree->GetInt("r");
    const int green = tree->GetInt("g");
    const int blue = tree->GetInt("b");
    const _bstr_t text = tree->GetString("value");
    const auto value = static_cast<float>(I18n_ConvertUtils::DicomLocaleStrNum2Double(text.utf8()));
    if (!std::isfinite(value)) {
        // A point at no finite place has no place in the ramp's order.
        COM_RaiseError(DISP_E_TYPEMISMATCH,
                       "VXR_VOLR_ColorPoint: the value \"" + text.utf8() + "\" is not finite");
    }
    m_Color = UTL_Color(red, green, blue);
    m_fValue = value;
}

CFG_ITreePtr VXR_VOLR_ColorPoint::ExportToCFG() const {
    CFG_ITreePtr tree = CFG_CreateTree();
    tree->Init();
    tree->SetInt("r", m_Color.GetRed());
    tree->SetInt("g", m_Color.GetGreen());
    tree->SetInt("b", m_Color.GetBlue());
    tree->SetString("value", I18n_ConvertUtils::Double2DicomLocaleStrNum(
                                 static_cast<double>(m_fValue), kPositionPrecision)
                                 .c_str());
    return tree;
}

// --- VXR_VOLR_ColorClass: life cycle -------------------------------------------

VXR_VOLR_ColorClass::VXR_VOLR_ColorClass(const _bstr_t& name, VXR_VOLR_TrapezeOpacityGraph* graph)
    : m_Name(name), m_pOpacityGraph(graph) {}

VXR_VOLR_ColorClass::VXR_VOLR_ColorClass(const CFG_ITreePtr& tree) {
    if (!tree) {
        TMR_LOG(kLogSource, 3, "Failed to get class\n");
        return;
    }
    m_Name = tree->GetString("name");
    m_bAllowWindowing = tree->GetIntDefault("allow_windowing", 1) > 0;
    const _bstr_t type = tree->GetString("op_graph\\type");
    if (type.view() != u"trapeze") {
        TMR_LOG(kLogSource, 3, "Failed to get opacity graph type=%ls\n", Tmr_Wide(type).c_str());
        return;
    }
    // Held here until the colour points are read: a failing read must not leak it.
    std::unique_ptr<VXR_VOLR_TrapezeOpacityGraph> graph(
        new VXR_VOLR_TrapezeOpacityGraph(tree->GetSubTree("op_graph")));
    const CFG_INameListPtr children = tree->GetChildNames("");
    const int childCount = children->GetCount();
    for (int i = 0; i < childCount; ++i) {
        const _bstr_t child = children->GetItem(i);
        if (BeginsWith(child, u"color_point")) {
            AddColorPoint(VXR_VOLR_ColorPoint(tree->GetSubTree(child)));
        }
    }
    m_pOpacityGraph = graph.release();
}

// The points are copied as they stand, in their order, whatever it is: a copy
// evaluates exactly as its source.
VXR_VOLR_ColorClass::VXR_VOLR_ColorClass(const VXR_VOLR_ColorClass& other)
    : UTL_ChangeCounter(other), m_ColorPoints(other.m_ColorPoints) {
    copy_state(other);
    m_pOpacityGraph = CloneGraph(other.m_pOpacityGraph).release();
}

VXR_VOLR_ColorClass& VXR_VOLR_ColorClass::operator=(const VXR_VOLR_ColorClass& other) {
    if (this == &other) {
        return *this;
    }
    // Everything that can fail comes first, so that a failed copy leaves this
    // class as it was.
    RWTValOrderedVector<VXR_VOLR_ColorPoint> points(other.m_ColorPoints);
    std::unique_ptr<VXR_VOLR_TrapezeOpacityGraph> graph = CloneGraph(other.m_pOpacityGraph);
    UTL_ChangeCounter::operator=(other);
    copy_state(other);
    m_ColorPoints.swap(points);
    delete m_pOpacityGraph;
    m_pOpacityGraph = graph.release();
    return *this;
}

VXR_VOLR_ColorClass::~VXR_VOLR_ColorClass() {
    delete m_pOpacityGraph;
}

void VXR_VOLR_ColorClass::copy_state(const VXR_VOLR_ColorClass& other) {
    m_Name = other.m_Name;
    m_nBPP = other.m_nBPP;
    m_nMaxPixelValue = other.m_nMaxPixelValue;
    m_bAllowWindowing = other.m_bAllowWindowing;
    m_bIsActive = other.m_bIsActive;
    m_fWidth = other.m_fWidth;
    m_fCenter = other.m_fCenter;
    m_fPivot = other.m_fPivot;
}

// --- colour points ------------------------------------------------------------

unsigned int VXR_VOLR_ColorClass::GetColorPointCount() const {
    return static_cast<unsigned int>(m_ColorPoints.entries());
}

VXR_VOLR_ColorPoint VXR_VOLR_ColorClass::GetColorPoint(int i) const {
    return m_ColorPoints[static_cast<unsigned int>(i)];
}

void VXR_VOLR_ColorClass::RemoveColorPoint(int i) {
    m_ColorPoints.removeAt(static_cast<unsigned int>(i));
}

void VXR_VOLR_ColorClass::AddColorPoint(const VXR_VOLR_ColorPoint& point) {
    InsertColorPoint(point);
}

int VXR_VOLR_ColorClass::InsertColorPoint(const VXR_VOLR_ColorPoint& point) {
    const auto at = std::upper_bound(m_ColorPoints.begin(), m_ColorPoints.end(), point,
                                     VXR_VOLR_ColorPointCompare());
    const auto index = static_cast<std::size_t>(at - m_ColorPoints.begin());
    m_ColorPoints.insertAt(index, point);
    return static_cast<int>(index);
}

// --- evaluation -----------------------------------------------------------------

void VXR_VOLR_ColorClass::SetBPP(int bpp) {
    m_nBPP = bpp;
    m_nMaxPixelValue = UTL_MaxPixelValue(bpp);
    if (m_pOpacityGraph != nullptr) {
        m_pOpacityGraph->SetBPP(bpp);
    }
}

float VXR_VOLR_ColorClass::CalcWindowing(float v) const {
    const double pivot = m_fPivot;
    return static_cast<float>((v - pivot) * (static_cast<double>(m_fWidth) + 1.0) + pivot +
                              m_fCenter);
}

float VXR_VOLR_ColorClass::CalcInverseWindowing(float v) const {
    const double scale = static_cast<double>(m_fWidth) + 1.0;
    const double offset = WindowOffset(v, m_fCenter, m_fPivot);
    if (scale == 0.0) {
        return CollapsedInverseWindow(offset);
    }
    return InverseWindow(offset, scale, m_fPivot);
}

float VXR_VOLR_ColorClass::GetRelativeOpacity(float x) const {
    if (m_pOpacityGraph == nullptr) {
        return 0.0f;
    }
    return m_pOpacityGraph->GetRelativeOpacity(CalcInverseWindowing(x));
}

UTL_Color VXR_VOLR_ColorClass::GetColor(float x) const {
    const float w = ClampToUnit(CalcInverseWindowing(x));
    const VXR_VOLR_ColorPoint& front = m_ColorPoints[0];  // raises RWBoundsErr when empty
    const std::size_t count = m_ColorPoints.entries();
    const VXR_VOLR_ColorPoint* points = m_ColorPoints.data();
    const VXR_VOLR_ColorPoint& back = points[count - 1];
    if (w < front.m_fValue) {
        return front.m_Color;
    }
    if (w > back.m_fValue) {
        return back.m_Color;
    }
    if (count == 1) {
        return front.m_Color;
    }
    const double at = w;
    for (std::size_t i = 1; i < count; ++i) {
        const VXR_VOLR_ColorPoint& left = points[i - 1];
        const VXR_VOLR_ColorPoint& right = points[i];
        const double length = ColorSegmentLength(left.m_fValue, right.m_fValue);
        if (IsShortColorSegment(length)) {
            continue;
        }
        if (at < ColorSegmentReach(right.m_fValue)) {
            const double h = BlendFactor(length);
            const auto blend = [&](int leftComp, int rightComp) {
                return UTL_TruncToInt(
                    BlendChannel(at, left.m_fValue, right.m_fValue, leftComp, rightComp, h));
            };
            return UTL_Color(blend(left.m_Color.GetRed(), right.m_Color.GetRed()),
                             blend(left.m_Color.GetGreen(), right.m_Color.GetGreen()),
                             blend(left.m_Color.GetBlue(), right.m_Color.GetBlue()));
        }
    }
    return UTL_Color();
}

// --- batch evaluation ---------------------------------------------------------------

namespace {

// A generous bound on |BlendChannel| over the piece's positions, which the
// clamp keeps within 0..1.
template <class Piece>
bool BlendStaysInIntRange(const Piece& piece) {
    const double lo = piece.lo > 0.0 ? piece.lo : 0.0;
    const double hi = piece.hi < 1.0 ? piece.hi : 1.0;
    // The larger of two, NaN if either is: a NaN anywhere leaves the piece
    // out of range (std::fmax would drop it, and is a call).
    const auto larger = [](double a, double b) { return (a > b || a != a) ? a : b; };
    const double toLeft = larger(std::fabs(lo - piece.left), std::fabs(hi - piece.left));
    const double toRight = larger(std::fabs(piece.right - lo), std::fabs(piece.right - hi));
    const auto channel = [&](int right, int left) {
        return (std::fabs(static_cast<double>(right)) * toLeft +
                toRight * std::fabs(static_cast<double>(left))) *
                   piece.h +
               1.0;
    };
    const double bound = larger(channel(piece.rightRed, piece.leftRed),
                                larger(channel(piece.rightGreen, piece.leftGreen),
                                       channel(piece.rightBlue, piece.leftBlue)));
    return std::isfinite(bound) && bound < 1073741824.0;  // 2^30
}

// The pieces cover the whole line, in order, each beginning where the one
// before it ends: the piece of a position is then the one whose end lies
// beyond it.
template <class Piece>
bool Contiguous(const std::vector<Piece>& pieces) {
    const double inf = std::numeric_limits<double>::infinity();
    if (pieces.empty() || pieces.front().lo != -inf || pieces.back().hi != inf) {
        return false;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (!(pieces[i].lo < pieces[i].hi) || (i > 0 && pieces[i].lo != pieces[i - 1].hi)) {
            return false;
        }
    }
    return true;
}

template <class Piece>
int PieceOf(const std::vector<Piece>& pieces, float a) {
    const double at = a;
    std::size_t i = 0;
    while (i + 1 < pieces.size() && !(at < pieces[i].hi)) {
        ++i;
    }
    return static_cast<int>(i);
}

}  // namespace

void VXR_VOLR_ColorClass::EvaluateRange(const float* positions, int count, int* red, int* green,
                                        int* blue, float* opacity) const {
    Evaluator(*this).Evaluate(positions, count, red, green, blue, opacity);
}

VXR_VOLR_ColorClass::Evaluator::Evaluator(const VXR_VOLR_ColorClass& cls) : m_pClass(&cls) {
    if (typeid(cls) != typeid(VXR_VOLR_ColorClass)) {
        m_bDerived = true;  // its GetColor and GetRelativeOpacity may be others
        return;
    }
    m_dCenter = cls.m_fCenter;
    m_dPivot = cls.m_fPivot;
    m_dScale = static_cast<double>(cls.m_fWidth) + 1.0;
    prepare_ramp();
    if (cls.m_pOpacityGraph != nullptr) {
        m_Graph.emplace(*cls.m_pOpacityGraph);
    }
    m_bRunWise = m_bRampPieces && m_Graph.has_value() && m_Graph->has_pieces() &&
                 std::isfinite(m_dCenter) && std::isfinite(m_dPivot) && std::isfinite(m_dScale) &&
                 m_dScale > 0.0 && Contiguous(m_Pieces) && Contiguous(m_Graph->m_Pieces);
}

void VXR_VOLR_ColorClass::Evaluator::AtRun(const float* positions, int begin, int end,
                                           float* at) const {
    if (begin < end) {
#if VXR_VOLR_INTRINSICS
        if (vxr_volr_batch::HasAvx2()) {
            WindowAvx2(positions + begin, end - begin, m_dCenter, m_dPivot, m_dScale, at + begin);
            return;
        }
#endif
        WindowKernel(positions + begin, end - begin, m_dCenter, m_dPivot, m_dScale, at + begin);
    }
}

int VXR_VOLR_ColorClass::Evaluator::OpacityPiece(float a) const {
    return PieceOf(m_Graph->m_Pieces, a);
}

double VXR_VOLR_ColorClass::Evaluator::OpacityPieceEnd(int piece) const {
    return m_Graph->m_Pieces[static_cast<std::size_t>(piece)].hi;
}

bool VXR_VOLR_ColorClass::Evaluator::OpacityConstant(int piece, float& value) const {
    const auto& p = m_Graph->m_Pieces[static_cast<std::size_t>(piece)];
    value = p.constant;
    return !p.linear;
}

void VXR_VOLR_ColorClass::Evaluator::OpacityRun(int piece, const float* at, int count,
                                                float* opacity) const {
    m_Graph->evaluate_piece(m_Graph->m_Pieces[static_cast<std::size_t>(piece)], at, count, opacity);
}

int VXR_VOLR_ColorClass::Evaluator::ColorPiece(float a) const {
    return PieceOf(m_Pieces, a);
}

bool VXR_VOLR_ColorClass::Evaluator::ColorConstant(int piece) const {
    return !m_Pieces[static_cast<std::size_t>(piece)].blend;
}

double VXR_VOLR_ColorClass::Evaluator::ColorPieceEnd(int piece) const {
    return m_Pieces[static_cast<std::size_t>(piece)].hi;
}

void VXR_VOLR_ColorClass::Evaluator::AddWeightedColorRun(int piece, const float* at, int count,
                                                         const float* weight, float* sumRed,
                                                         float* sumGreen, float* sumBlue) const {
    const Piece& p = m_Pieces[static_cast<std::size_t>(piece)];
    if (!p.blend) {
        ConstantAddKernel(count, p.red, p.green, p.blue, weight, sumRed, sumGreen, sumBlue);
    } else if (p.inIntRange) {
#if VXR_VOLR_INTRINSICS
        if (vxr_volr_batch::HasAvx2()) {
            BlendAddAvx2(at, count, p.left, p.right, p.h, p.leftRed, p.leftGreen, p.leftBlue,
                         p.rightRed, p.rightGreen, p.rightBlue, weight, sumRed, sumGreen, sumBlue);
            return;
        }
#endif
        BlendAddKernel(at, count, p.left, p.right, p.h, p.leftRed, p.leftGreen, p.leftBlue,
                       p.rightRed, p.rightGreen, p.rightBlue, weight, sumRed, sumGreen, sumBlue);
    } else {
        // Blends that may leave the int range saturate as the class does.
        int red[vxr_volr_batch::kBlock], green[vxr_volr_batch::kBlock],
            blue[vxr_volr_batch::kBlock];
        for (int base = 0; base < count; base += vxr_volr_batch::kBlock) {
            const int n =
                count - base < vxr_volr_batch::kBlock ? count - base : vxr_volr_batch::kBlock;
            evaluate_piece(p, at + base, n, red, green, blue);
            for (int k = 0; k < n; ++k) {
                AddWeighted(static_cast<double>(weight[base + k]), red[k], green[k], blue[k],
                            sumRed[base + k], sumGreen[base + k], sumBlue[base + k]);
            }
        }
    }
}

void VXR_VOLR_ColorClass::Evaluator::evaluate_piece(const Piece& piece, const float* at, int n,
                                                    int* red, int* green, int* blue) {
    if (piece.blend) {
        BlendKernel(at, n, piece.left, piece.right, piece.h, piece.leftRed, piece.leftGreen,
                    piece.leftBlue, piece.rightRed, piece.rightGreen, piece.rightBlue,
                    piece.inIntRange, red, green, blue);
    } else {
        vxr_volr_batch::FillKernel(n, piece.red, red);
        vxr_volr_batch::FillKernel(n, piece.green, green);
        vxr_volr_batch::FillKernel(n, piece.blue, blue);
    }
}

// The pieces follow GetColor over the clamped, windowed position: below the
// first point its colour, above the last point the last colour; in between the
// first segment, not a short one, whose reach lies beyond the position. A
// running maximum of the reaches keeps the pieces exact even for points out of
// order (ApplyWindowing with a negative scale leaves them so).
void VXR_VOLR_ColorClass::Evaluator::prepare_ramp() {
    const std::size_t count = m_pClass->m_ColorPoints.entries();
    if (count == 0) {
        return;  // GetColor raises its bounds error: let it
    }
    const VXR_VOLR_ColorPoint* points = m_pClass->m_ColorPoints.data();
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(points[i].m_fValue)) {
            return;  // the pieces split the line only between finite points
        }
    }
    // Pieces are made in place: a piece made aside and copied in costs more
    // than the rest of the preparation (its narrow stores are read back wide).
    const auto paint = [](Piece& piece, const UTL_Color& color) {
        piece.red = color.GetRed();
        piece.green = color.GetGreen();
        piece.blue = color.GetBlue();
    };
    const auto constant = [this, &paint](double lo, double hi, const UTL_Color& color) {
        Piece& piece = m_Pieces.emplace_back();
        piece.lo = lo;
        piece.hi = hi;
        paint(piece, color);
    };
    const double inf = std::numeric_limits<double>::infinity();
    const VXR_VOLR_ColorPoint& front = points[0];
    const VXR_VOLR_ColorPoint& back = points[count - 1];
    const double first = front.m_fValue;
    const double afterLast = std::nextafter(static_cast<double>(back.m_fValue), inf);  // p > back

    m_Pieces.reserve(count + 3);
    constant(-inf, first, front.m_Color);
    if (count == 1) {
        constant(first, inf, front.m_Color);
        paint(m_NaN, front.m_Color);
    } else {
        double from = first;
        for (std::size_t i = 1; i < count; ++i) {
            const VXR_VOLR_ColorPoint& left = points[i - 1];
            const VXR_VOLR_ColorPoint& right = points[i];
            const double length = ColorSegmentLength(left.m_fValue, right.m_fValue);
            if (IsShortColorSegment(length)) {
                continue;
            }
            const double reach = ColorSegmentReach(right.m_fValue);
            const double to = reach < afterLast ? reach : afterLast;
            if (from < to) {
                Piece& piece = m_Pieces.emplace_back();
                piece.lo = from;
                piece.hi = to;
                piece.blend = true;
                piece.left = left.m_fValue;
                piece.right = right.m_fValue;
                piece.h = BlendFactor(length);
                piece.leftRed = left.m_Color.GetRed();
                piece.leftGreen = left.m_Color.GetGreen();
                piece.leftBlue = left.m_Color.GetBlue();
                piece.rightRed = right.m_Color.GetRed();
                piece.rightGreen = right.m_Color.GetGreen();
                piece.rightBlue = right.m_Color.GetBlue();
                piece.inIntRange = BlendStaysInIntRange(piece);
            }
            if (reach > from) {
                from = reach;
            }
        }
        if (from < afterLast) {
            constant(from, afterLast, UTL_Color());
        }
        paint(m_NaN, UTL_Color());
    }
    constant(first > afterLast ? first : afterLast, inf, back.m_Color);
    m_bRampPieces = true;
}

void VXR_VOLR_ColorClass::Evaluator::Evaluate(const float* positions, int count, int* red,
                                              int* green, int* blue, float* opacity) const {
    if (m_bDerived) {
        for (int j = 0; j < count; ++j) {
            const UTL_Color color = m_pClass->GetColor(positions[j]);
            opacity[j] = m_pClass->GetRelativeOpacity(positions[j]);
            red[j] = color.GetRed();
            green[j] = color.GetGreen();
            blue[j] = color.GetBlue();
        }
        return;
    }
    using vxr_volr_batch::kBlock;
    for (int base = 0; base < count; base += kBlock) {
        const int n = count - base < kBlock ? count - base : kBlock;
        evaluate_block(positions + base, n, red + base, green + base, blue + base, opacity + base);
    }
}

void VXR_VOLR_ColorClass::Evaluator::evaluate_block(const float* positions, int count, int* red,
                                                    int* green, int* blue, float* opacity) const {
    if (count <= 0) {
        return;
    }
    // The windowed positions clamped to 0..1, where the ramp (and the graph)
    // are looked up.
    float at[vxr_volr_batch::kBlock];
    if (m_dScale == 0.0) {
        for (int j = 0; j < count; ++j) {
            at[j] = ClampToUnit(window(positions[j]));
        }
    } else {
        WindowKernel(positions, count, m_dCenter, m_dPivot, m_dScale, at);
    }
    const bool ascending = vxr_volr_batch::AscendingKernel(at, count);

    if (m_bRampPieces) {
        vxr_volr_batch::ForEachRun(at, count, ascending, m_Pieces, m_NaN,
                                   [&](const Piece& piece, int begin, int end) {
                                       evaluate_piece(piece, at + begin, end - begin, red + begin,
                                                      green + begin, blue + begin);
                                   });
    } else {
        for (int j = 0; j < count; ++j) {
            const UTL_Color color = m_pClass->VXR_VOLR_ColorClass::GetColor(positions[j]);
            red[j] = color.GetRed();
            green[j] = color.GetGreen();
            blue[j] = color.GetBlue();
        }
    }

    if (!m_Graph.has_value()) {
        vxr_volr_batch::FillKernel(count, 0.0f, opacity);
    } else if (m_Graph->has_pieces()) {
        // The graph clamps as the ramp does: the clamped positions answer the same.
        m_Graph->evaluate_clamped(at, count, ascending, opacity);
    } else {
        // A graph that is asked position by position gets what the class would
        // hand it: the windowed position, unclamped.
        float w[vxr_volr_batch::kBlock];
        for (int j = 0; j < count; ++j) {
            w[j] = window(positions[j]);
        }
        m_Graph->Evaluate(w, count, opacity);
    }
}

// CalcInverseWindowing with the window read when the evaluator was made.
float VXR_VOLR_ColorClass::Evaluator::window(float x) const {
    const double offset = WindowOffset(x, m_dCenter, m_dPivot);
    if (m_dScale == 0.0) {
        return CollapsedInverseWindow(offset);
    }
    return InverseWindow(offset, m_dScale, m_dPivot);
}

// --- window -----------------------------------------------------------------------

void VXR_VOLR_ColorClass::SetCenter(float center) {
    if (!m_bAllowWindowing || !m_bIsActive) {
        return;
    }
    m_fCenter = center;
}

bool VXR_VOLR_ColorClass::AddCenter(float delta) {
    if (!m_bAllowWindowing || !m_bIsActive) {
        return false;
    }
    const float moved =
        ClampWindowOffset(static_cast<float>(static_cast<double>(m_fCenter) + delta));
    if (!(std::fabs(static_cast<double>(m_fCenter) - moved) > kWindowStep)) {
        return false;
    }
    m_fCenter = moved;
    return true;
}

void VXR_VOLR_ColorClass::SetWidth(float width) {
    if (!m_bAllowWindowing || !m_bIsActive) {
        return;
    }
    if (std::fabs(static_cast<double>(width)) < kMinWidth) {
        m_fWidth = 0.0f;
        m_fPivot = 0.0f;
        return;
    }
    if (std::fabs(static_cast<double>(m_fPivot)) <= kUnsetPivot && m_pOpacityGraph != nullptr) {
        // Both reads come first: an empty graph raises before anything changes.
        const VXR_VOLR_OpacityPoint first = m_pOpacityGraph->GetOpacityPoint(0);
        const VXR_VOLR_OpacityPoint last = m_pOpacityGraph->GetOpacityPoint(
            static_cast<int>(m_pOpacityGraph->GetOpPointCount()) - 1);
        m_fPivot = static_cast<float>((static_cast<double>(first.m_fX) + last.m_fX) * 0.5);
    }
    m_fWidth = width;
}

bool VXR_VOLR_ColorClass::AddWidth(float delta) {
    if (!m_bAllowWindowing || !m_bIsActive) {
        return false;
    }
    const float moved =
        ClampWindowOffset(static_cast<float>(static_cast<double>(m_fWidth) + delta));
    if (!(std::fabs(static_cast<double>(m_fWidth) - moved) > kWindowStep)) {
        return false;
    }
    SetWidth(moved);
    return true;
}

void VXR_VOLR_ColorClass::ApplyWindowing() {
    std::size_t i = 0;
    while (i < m_ColorPoints.entries()) {
        VXR_VOLR_ColorPoint& point = m_ColorPoints[i];
        point.m_fValue = CalcWindowing(point.m_fValue);
        if (point.m_fValue < 0.0f) {
            point.m_fValue = 0.0f;
            if (i > 0) {
                // The earlier point already sits at 0; the current one takes
                // its place and the next point is now at index i.
                m_ColorPoints.removeAt(0);
                continue;
            }
        } else if (point.m_fValue > 1.0f) {
            point.m_fValue = 1.0f;
            m_ColorPoints.resize(i + 1);
            break;
        }
        ++i;
    }

    // A graph point pushed beyond an end takes the graph's opacity at that end,
    // read on the graph as it stands at that moment (earlier points moved, later
    // ones not yet) and with the graph's maximum opacity applied, as the stored
    // protocols were always baked.
    if (m_pOpacityGraph != nullptr) {
        VXR_VOLR_TrapezeOpacityGraph& graph = *m_pOpacityGraph;
        int k = 0;
        while (static_cast<unsigned int>(k) < graph.GetOpPointCount()) {
            VXR_VOLR_OpacityPoint point = graph.GetOpacityPoint(k);
            point.m_fX = CalcWindowing(point.m_fX);
            graph.UpdateOpPoint(k, point);
            if (point.m_fX < 0.0f) {
                point.m_fY = graph.GetRelativeOpacity(0.0f);
                point.m_fX = 0.0f;
                graph.UpdateOpPoint(k, point);
                if (k > 0) {
                    graph.RemoveOpPoint(0);
                    continue;
                }
            } else if (point.m_fX > 1.0f) {
                point.m_fY = graph.GetRelativeOpacity(1.0f);
                point.m_fX = 1.0f;
                graph.UpdateOpPoint(k, point);
                while (graph.GetOpPointCount() > static_cast<unsigned int>(k) + 1) {
                    graph.RemoveOpPoint(k + 1);
                }
                break;
            }
            ++k;
        }
    }

    m_fWidth = 0.0f;
    m_fCenter = 0.0f;
    m_fPivot = 0.0f;
}

// --- storage --------------------------------------------------------------------

void VXR_VOLR_ColorClass::shrink() {
    if (m_ColorPoints.entries() < 2) {
        return;
    }
    if (m_ColorPoints[1].m_Color == m_ColorPoints[0].m_Color) {
        m_ColorPoints.removeAt(0);
    }
    std::size_t i = 2;
    while (i < m_ColorPoints.entries()) {
        const UTL_Color& color = m_ColorPoints[i].m_Color;
        if (color == m_ColorPoints[i - 1].m_Color && color == m_ColorPoints[i - 2].m_Color) {
            m_ColorPoints.removeAt(i - 1);
        } else {
            ++i;
        }
    }
    const std::size_t count = m_ColorPoints.entries();
    if (count >= 2 && m_ColorPoints[count - 1].m_Color == m_ColorPoints[count - 2].m_Color) {
        m_ColorPoints.removeAt(count - 1);
    }
}

CFG_ITreePtr VXR_VOLR_ColorClass::ExportToCFG() {
    shrink();
    CFG_ITreePtr tree = CFG_CreateTree();
    tree->Init();
    tree->SetString("name", m_Name);
    tree->SetInt("allow_windowing", m_bAllowWindowing ? 1 : 0);
    if (m_pOpacityGraph != nullptr) {
        CFG_ITreePtr graphTree = m_pOpacityGraph->ExportToCFG();
        graphTree->SetNodeName("", "op_graph");
        tree->AddSubTree("", graphTree);
        tree->SetString("op_graph\\type", m_pOpacityGraph->GetTypeStr());
    } else {
        // No type: the node reads back as a class without graph.
        CFG_ITreePtr graphTree = CFG_CreateTree();
        graphTree->Init();
        graphTree->SetNodeName("", "op_graph");
        tree->AddSubTree("", graphTree);
    }
    const std::size_t count = m_ColorPoints.entries();
    for (std::size_t k = 1; k <= count; ++k) {
        CFG_ITreePtr pointTree = VXR_VOLR_ColorPoint(m_ColorPoints[k - 1]).ExportToCFG();
        char name[32];
        std::snprintf(name, sizeof name, "color_point%.2d", static_cast<int>(k));
        pointTree->SetNodeName("", name);
        tree->AddSubTree("", pointTree);
    }
    return tree;
}
