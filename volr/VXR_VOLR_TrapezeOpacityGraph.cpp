#include "VXR_VOLR_TrapezeOpacityGraph.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "I18n/I18n_ConvertUtils.h"
#include "UTL/UTL_Numeric.h"
#include "VXR_VOLR_BatchEvaluation.h"

namespace {

using vxr_volr_batch::ClampToUnit;

// Tolerance of the last segment only, so that x exactly on the last point is
// taken by it (single precision, widened to double for the comparison).
constexpr double kLastSegmentTolerance = static_cast<double>(1e-6f);
// A segment shorter than this is a vertical edge and answers its right-hand y.
// Double literal: the width of this constant is not fixed as single.
constexpr double kVerticalEdge = 0.0001;

// The arithmetic of one evaluation, shared by GetRelativeOpacity and the batch
// evaluation so that the two cannot drift apart. Compiled with the batch
// option and always inlined (see VXR_VOLR_BatchEvaluation.h).

// How far segment (left, right) reaches: a position below this (as doubles) is
// decided by it unless an earlier segment decided.
inline double SegmentReach(float rightX, bool isLastSegment) {
    return rightX + (isLastSegment ? kLastSegmentTolerance : 0.0);
}

inline double SegmentLength(float leftX, float rightX) {
    return static_cast<double>(rightX) - leftX;
}

inline double SegmentRise(float leftY, float rightY) {
    return static_cast<double>(rightY) - leftY;
}

// A segment this short answers its right-hand y.
inline bool IsVerticalEdge(double length) {
    return length < kVerticalEdge;
}

// A point's y with the maximum opacity applied.
inline float ScaledOpacity(float y, double maxOpacity) {
    return static_cast<float>(y * maxOpacity);
}

// The straight segment from (leftX, leftY), dx wide and dy high, at x, with
// the maximum opacity applied.
inline float LinearOpacity(double x, double leftX, double leftY, double dx, double dy,
                           double maxOpacity) {
    const double y = leftY + (x - leftX) / dx * dy;
    return static_cast<float>(y * maxOpacity);
}

VXR_VOLR_BATCH_KERNEL void LineKernel(const float* x, int count, double leftX, double leftY,
                                      double dx, double dy, double maxOpacity, float* opacity) {
    for (int k = 0; k < count; ++k) {
        opacity[k] = LinearOpacity(x[k], leftX, leftY, dx, dy, maxOpacity);
    }
}

constexpr int kPositionPrecision = 10;
constexpr int kOpacityPrecision = 3;

// Splits a graph value name "point<N>_<c>" (N a decimal number of one or more
// digits, N >= 1, within int range; c any one character) into the point's
// index N - 1 and whether it names x: exactly when c is 'x'; every other c
// names the y. Anything else is not a point name.
bool ParsePointName(std::u16string_view name, int& index, bool& isX) {
    constexpr std::u16string_view kPrefix = u"point";
    if (name.size() < kPrefix.size() + 3 || name.substr(0, kPrefix.size()) != kPrefix) {
        return false;
    }
    const char16_t axis = name.back();
    if (name[name.size() - 2] != u'_') {
        return false;
    }
    const std::u16string_view digits =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - 2);
    std::string ascii;
    ascii.reserve(digits.size());
    for (const char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        ascii.push_back(static_cast<char>(c));
    }
    int number = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), number);
    if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size() || number < 1) {
        return false;
    }
    index = number - 1;
    isX = axis == u'x';
    return true;
}

bool BeginsWithPoint(const _bstr_t& name) {
    return name.view().substr(0, 5) == u"point";
}

float ReadNumber(const CFG_ITreePtr& tree, const _bstr_t& name) {
    const std::string text = tree->GetString(name).utf8();
    return static_cast<float>(I18n_ConvertUtils::DicomLocaleStrNum2Double(text));
}

_bstr_t NumberText(float value, int precision) {
    return _bstr_t(
        I18n_ConvertUtils::Double2DicomLocaleStrNum(static_cast<double>(value), precision).c_str());
}

}  // namespace

VXR_VOLR_TrapezeOpacityGraph::VXR_VOLR_TrapezeOpacityGraph(float maxOpacity, bool flag)
    : m_bFlag(flag), m_fMaxOpacity(maxOpacity) {}

VXR_VOLR_TrapezeOpacityGraph::VXR_VOLR_TrapezeOpacityGraph(
    const VXR_VOLR_TrapezeOpacityGraph& other) = default;

VXR_VOLR_TrapezeOpacityGraph& VXR_VOLR_TrapezeOpacityGraph::operator=(
    const VXR_VOLR_TrapezeOpacityGraph& other) = default;

VXR_VOLR_TrapezeOpacityGraph::~VXR_VOLR_TrapezeOpacityGraph() = default;

VXR_VOLR_TrapezeOpacityGraph::VXR_VOLR_TrapezeOpacityGraph(const CFG_ITreePtr& tree)
    : m_bFlag(false), m_fMaxOpacity(0.0f) {
    const _bstr_t self(u"");
    const int count = tree->GetValueCount(self);
    if (count < 1) {
        return;
    }
    std::vector<_bstr_t> names;
    names.reserve(static_cast<std::size_t>(count));
    bool anyPointName = false;
    for (int i = 0; i < count; ++i) {
        names.push_back(tree->GetValueName(self, i));
        anyPointName = anyPointName || BeginsWithPoint(names.back());
    }
    if (!anyPointName) {
        return;
    }

    // One entry per point number that was actually met, in number order; a
    // dense table sized by the largest number could be made huge by one name.
    struct Entry {
        float x = 0.0f;
        float y = 0.0f;
        bool xSeen = false;
        bool ySeen = false;
    };
    std::map<int, Entry> entries;
    for (const _bstr_t& name : names) {
        int index = 0;
        bool isX = false;
        if (BeginsWithPoint(name)) {
            if (!ParsePointName(name.view(), index, isX)) {
                continue;
            }
            const float value = ReadNumber(tree, name);
            Entry& entry = entries[index];
            if (isX) {
                entry.x = value;
                entry.xSeen = true;
            } else {
                entry.y = value;
                entry.ySeen = true;
            }
        } else if (name.view() == u"max_opacity") {
            m_fMaxOpacity = ReadNumber(tree, name);
        }
    }
    for (const auto& [index, entry] : entries) {
        if (entry.xSeen && entry.ySeen) {
            AddOpacityPoint(VXR_VOLR_OpacityPoint(entry.x, entry.y));
        }
    }
}

float VXR_VOLR_TrapezeOpacityGraph::GetRelativeOpacity(float x) const {
    x = ClampToUnit(x);
    const VXR_VOLR_OpacityPoint& front = m_OpPoints[0];  // raises RWBoundsErr when empty
    const double maxOpacity = m_fMaxOpacity;
    const std::size_t count = m_OpPoints.entries();
    const VXR_VOLR_OpacityPoint* points = m_OpPoints.data();
    const VXR_VOLR_OpacityPoint& back = points[count - 1];
    if (x < front.m_fX) {
        return ScaledOpacity(front.m_fY, maxOpacity);
    }
    if (x > back.m_fX) {
        return ScaledOpacity(back.m_fY, maxOpacity);
    }
    if (count == 1) {
        return ScaledOpacity(front.m_fY, maxOpacity);
    }
    const double value = x;
    for (std::size_t j = 1; j < count; ++j) {
        const VXR_VOLR_OpacityPoint& left = points[j - 1];
        const VXR_VOLR_OpacityPoint& right = points[j];
        if (value < SegmentReach(right.m_fX, j == count - 1)) {
            const double dx = SegmentLength(left.m_fX, right.m_fX);
            if (IsVerticalEdge(dx)) {
                return ScaledOpacity(right.m_fY, maxOpacity);
            }
            return LinearOpacity(value, left.m_fX, left.m_fY, dx,
                                 SegmentRise(left.m_fY, right.m_fY), maxOpacity);
        }
    }
    return 0.0f;  // only a NaN gets here
}

void VXR_VOLR_TrapezeOpacityGraph::EvaluateRange(const float* x, int count, float* opacity) const {
    Evaluator(*this).Evaluate(x, count, opacity);
}

// --- batch evaluation ---------------------------------------------------------
//
// The pieces follow GetRelativeOpacity over the clamped position: below the
// first point its y, above the last its y, in between the first segment whose
// reach lies beyond the position; a vertical edge answers its right y. A
// running maximum of the reaches keeps the pieces exact even for points out of
// order (UpdateOpPoint does not re-sort).

VXR_VOLR_TrapezeOpacityGraph::Evaluator::Evaluator(const VXR_VOLR_TrapezeOpacityGraph& graph)
    : m_pGraph(&graph) {
    if (typeid(graph) != typeid(VXR_VOLR_TrapezeOpacityGraph)) {
        return;  // its GetRelativeOpacity may be another
    }
    const std::size_t count = graph.m_OpPoints.entries();
    if (count == 0) {
        return;  // the graph raises its bounds error: let it
    }
    const VXR_VOLR_OpacityPoint* points = graph.m_OpPoints.data();
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(points[i].m_fX)) {
            return;  // the pieces split the line only between finite points
        }
    }
    const double maxOpacity = graph.m_fMaxOpacity;
    // Pieces are made in place: a piece made aside and copied in costs more
    // than the rest of the preparation (its narrow stores are read back wide).
    const auto flat = [this](double lo, double hi, float value) {
        Piece& piece = m_Pieces.emplace_back();
        piece.lo = lo;
        piece.hi = hi;
        piece.constant = value;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const VXR_VOLR_OpacityPoint& front = points[0];
    const VXR_VOLR_OpacityPoint& back = points[count - 1];
    const double firstX = front.m_fX;
    const double afterLast = std::nextafter(static_cast<double>(back.m_fX), inf);  // p > back
    const float firstY = ScaledOpacity(front.m_fY, maxOpacity);

    m_Pieces.reserve(count + 3);
    flat(-inf, firstX, firstY);
    if (count == 1) {
        flat(firstX, inf, firstY);
        m_NaN.constant = firstY;
    } else {
        double from = firstX;
        for (std::size_t j = 1; j < count; ++j) {
            const VXR_VOLR_OpacityPoint& left = points[j - 1];
            const VXR_VOLR_OpacityPoint& right = points[j];
            const double reach = SegmentReach(right.m_fX, j == count - 1);
            const double to = reach < afterLast ? reach : afterLast;
            if (from < to) {
                const double dx = SegmentLength(left.m_fX, right.m_fX);
                if (IsVerticalEdge(dx)) {
                    flat(from, to, ScaledOpacity(right.m_fY, maxOpacity));
                } else if (left.m_fY == right.m_fY && std::isfinite(left.m_fY) &&
                           left.m_fY != 0.0f) {
                    // A level segment: the line adds (x - leftX) / dx * 0 to leftY,
                    // a zero of either sign (the quotient is finite: x is
                    // clamped, dx is at least the vertical-edge length), which
                    // leaves a leftY other than zero as it is.
                    flat(from, to, ScaledOpacity(left.m_fY, maxOpacity));
                } else {
                    Piece& piece = m_Pieces.emplace_back();
                    piece.lo = from;
                    piece.hi = to;
                    piece.linear = true;
                    piece.leftX = left.m_fX;
                    piece.leftY = left.m_fY;
                    piece.dx = dx;
                    piece.dy = SegmentRise(left.m_fY, right.m_fY);
                    piece.factor = maxOpacity;
                }
            }
            if (reach > from) {
                from = reach;
            }
        }
        if (from < afterLast) {
            flat(from, afterLast, 0.0f);
        }
        m_NaN.constant = 0.0f;
    }
    flat(firstX > afterLast ? firstX : afterLast, inf, ScaledOpacity(back.m_fY, maxOpacity));
    m_bPieces = true;
}

void VXR_VOLR_TrapezeOpacityGraph::Evaluator::Evaluate(const float* x, int count,
                                                       float* opacity) const {
    if (!m_bPieces) {
        for (int j = 0; j < count; ++j) {
            opacity[j] = m_pGraph->GetRelativeOpacity(x[j]);
        }
        return;
    }
    float at[vxr_volr_batch::kBlock];
    for (int base = 0; base < count; base += vxr_volr_batch::kBlock) {
        const int n = count - base < vxr_volr_batch::kBlock ? count - base : vxr_volr_batch::kBlock;
        vxr_volr_batch::ClampKernel(x + base, n, at);
        evaluate_clamped(at, n, vxr_volr_batch::AscendingKernel(at, n), opacity + base);
    }
}

void VXR_VOLR_TrapezeOpacityGraph::Evaluator::evaluate_clamped(const float* at, int count,
                                                               bool ascending,
                                                               float* opacity) const {
    vxr_volr_batch::ForEachRun(at, count, ascending, m_Pieces, m_NaN,
                               [&](const Piece& piece, int begin, int end) {
                                   evaluate_piece(piece, at + begin, end - begin, opacity + begin);
                               });
}

void VXR_VOLR_TrapezeOpacityGraph::Evaluator::evaluate_piece(const Piece& piece, const float* at,
                                                             int count, float* opacity) {
    if (piece.linear) {
        LineKernel(at, count, piece.leftX, piece.leftY, piece.dx, piece.dy, piece.factor, opacity);
    } else {
        vxr_volr_batch::FillKernel(count, piece.constant, opacity);
    }
}

void VXR_VOLR_TrapezeOpacityGraph::SetBPP(int bpp) {
    m_nBPP = bpp;
    m_nMaxPixelValue = UTL_MaxPixelValue(bpp);
}

VXR_VOLR_OpacityGraphIfc* VXR_VOLR_TrapezeOpacityGraph::Clone() const {
    // The copy of the points allocates too: any allocation that fails answers null.
    try {
        return new VXR_VOLR_TrapezeOpacityGraph(*this);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

_bstr_t VXR_VOLR_TrapezeOpacityGraph::GetTypeStr() const {
    static const _bstr_t type(u"trapeze");
    return type;
}

unsigned int VXR_VOLR_TrapezeOpacityGraph::GetOpPointCount() const {
    return static_cast<unsigned int>(m_OpPoints.entries());
}

VXR_VOLR_OpacityPoint VXR_VOLR_TrapezeOpacityGraph::GetOpacityPoint(int i) const {
    return m_OpPoints[static_cast<unsigned int>(i)];
}

void VXR_VOLR_TrapezeOpacityGraph::UpdateOpPoint(int i, const VXR_VOLR_OpacityPoint& point) {
    VXR_VOLR_OpacityPoint& target = m_OpPoints[static_cast<unsigned int>(i)];
    target.m_fX = point.m_fX;
    target.m_fY = point.m_fY;
}

void VXR_VOLR_TrapezeOpacityGraph::RemoveOpPoint(int i) {
    m_OpPoints.removeAt(static_cast<unsigned int>(i));
}

void VXR_VOLR_TrapezeOpacityGraph::AddOpacityPoint(const VXR_VOLR_OpacityPoint& point) {
    const auto at = std::upper_bound(m_OpPoints.begin(), m_OpPoints.end(), point,
                                     VXR_VOLR_OpacityPointCompare());
    m_OpPoints.insertAt(static_cast<std::size_t>(at - m_OpPoints.begin()), point);
}

void VXR_VOLR_TrapezeOpacityGraph::shrink() {
    std::size_t i = 2;
    while (i < m_OpPoints.entries()) {
        const float y = m_OpPoints[i].m_fY;
        if (y == m_OpPoints[i - 1].m_fY && y == m_OpPoints[i - 2].m_fY) {
            m_OpPoints.removeAt(i - 1);
        } else {
            ++i;
        }
    }
}

CFG_ITreePtr VXR_VOLR_TrapezeOpacityGraph::ExportToCFG() {
    shrink();
    CFG_ITreePtr tree = CFG_CreateTree();
    tree->Init();
    const std::size_t count = m_OpPoints.entries();
    for (std::size_t k = 1; k <= count; ++k) {
        const VXR_VOLR_OpacityPoint& point = m_OpPoints[k - 1];
        char name[32];
        std::snprintf(name, sizeof name, "point%.2d_x", static_cast<int>(k));
        tree->SetString(name, NumberText(point.m_fX, kPositionPrecision));
        std::snprintf(name, sizeof name, "point%.2d_y", static_cast<int>(k));
        tree->SetString(name, NumberText(point.m_fY, kOpacityPrecision));
    }
    tree->SetString("max_opacity", NumberText(m_fMaxOpacity, kOpacityPrecision));
    return tree;
}
