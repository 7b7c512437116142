#pragma once

#include <vector>

#include "CFG/CFG_ITree.h"
#include "COM/COM_BStr.h"
#include "RW/RWTValOrderedVector.h"

// Opacity graphs of the volume-rendering colour classes.
//
// A graph maps a normalised voxel value x (0 = lowest value of the data range,
// 1 = highest) to a relative opacity y (0 transparent .. 1 opaque), scaled by
// the graph's maximum opacity. The only kind is the piecewise-linear "trapeze"
// graph. A colour class owns exactly one graph and deletes it.
//
// Numbers (the library's one reading, stated in VXR_VOLR_ColorProtocol.h):
// points and factors are floats. Where an operation computes from several of
// them, the intermediate arithmetic is done in double and the result is
// rounded to float once, at the end. Tolerances whose precision is fixed as
// single are float constants widened to double; the others are double literals
// (see each constant in the source).

// One point of a graph: normalised value m_fX and relative opacity m_fY.
class VXR_VOLR_OpacityPoint {
  public:
    VXR_VOLR_OpacityPoint() = default;
    VXR_VOLR_OpacityPoint(float x, float y) : m_fX(x), m_fY(y) {}
    VXR_VOLR_OpacityPoint(const VXR_VOLR_OpacityPoint&) = default;
    VXR_VOLR_OpacityPoint& operator=(const VXR_VOLR_OpacityPoint&) = default;
    virtual ~VXR_VOLR_OpacityPoint() = default;

    float m_fX = 0.0f;
    float m_fY = 0.0f;
};

// Orders opacity points by x: true exactly when a.m_fX < b.m_fX.
class VXR_VOLR_OpacityPointCompare {
  public:
    bool operator()(const VXR_VOLR_OpacityPoint& a, const VXR_VOLR_OpacityPoint& b) const {
        return a.m_fX < b.m_fX;
    }
    bool operator()(const VXR_VOLR_OpacityPoint* a, const VXR_VOLR_OpacityPoint* b) const {
        return a->m_fX < b->m_fX;
    }
    VXR_VOLR_OpacityPointCompare& operator=(const VXR_VOLR_OpacityPointCompare&) = default;
};

// The interface every opacity graph offers.
class VXR_VOLR_OpacityGraphIfc {
  public:
    VXR_VOLR_OpacityGraphIfc() = default;
    VXR_VOLR_OpacityGraphIfc(const VXR_VOLR_OpacityGraphIfc&) = default;
    VXR_VOLR_OpacityGraphIfc& operator=(const VXR_VOLR_OpacityGraphIfc&) = default;
    virtual ~VXR_VOLR_OpacityGraphIfc() = default;

    // The opacity at normalised value x, maximum opacity applied.
    virtual float GetRelativeOpacity(float x) const = 0;
    virtual void SetBPP(int bpp) = 0;
    // A new graph equal to this one; the caller owns it (null when memory runs out).
    virtual VXR_VOLR_OpacityGraphIfc* Clone() const = 0;
    // The graph's type name as stored in a configuration tree ("trapeze").
    virtual _bstr_t GetTypeStr() const = 0;
    // A new, initialised tree holding the graph; the caller owns the reference.
    // The graph first drops its redundant points. Tree failures raise _com_error.
    virtual CFG_ITreePtr ExportToCFG() = 0;
};

// The piecewise-linear opacity graph ("trapeze").
//
// Points are kept in ascending order of x; points with equal x stay in the
// order they were added (AddOpacityPoint inserts at the upper bound).
// UpdateOpPoint overwrites in place and does not re-sort.
//
// Indexed access (GetOpacityPoint, UpdateOpPoint, RemoveOpPoint) raises
// RWBoundsErr when the index, taken as unsigned, is not below the count (so a
// negative index fails too); the graph is then unchanged. Evaluating an empty
// graph raises the same error for index 0.
class VXR_VOLR_TrapezeOpacityGraph : public VXR_VOLR_OpacityGraphIfc {
  public:
    // maxOpacity scales every result; flag is kept and copied, never read here.
    explicit VXR_VOLR_TrapezeOpacityGraph(float maxOpacity = 1.0f, bool flag = false);
    VXR_VOLR_TrapezeOpacityGraph(const VXR_VOLR_TrapezeOpacityGraph& other);
    VXR_VOLR_TrapezeOpacityGraph& operator=(const VXR_VOLR_TrapezeOpacityGraph& other);
    ~VXR_VOLR_TrapezeOpacityGraph() override;

    // Reads a graph node (values point01_x, point01_y, ..., "max_opacity").
    // The tree stays the caller's. A null tree or a failed tree operation raises
    // _com_error. A graph node without any value whose name begins with "point"
    // gives an empty graph of maximum opacity 0; points lacking x or y are
    // dropped; a missing "max_opacity" leaves the maximum opacity 0.
    //
    // Point value names are "point", a decimal number N >= 1 (any number of
    // digits, so point100_x is the 100th point), "_" and one last character:
    // 'x' names the point's x, any other character its y (so point01_y,
    // point01_z and point01_X all give the y of point 1; a later name of the
    // same point and half replaces an earlier one). N orders the points before
    // they are inserted by x. Any other name that begins with "point"
    // (point00_x, pointab_x, "point", point01x without the "_", a number beyond
    // the int range) is ignored. The points are collected per number, so no
    // name can reach outside what was read.
    explicit VXR_VOLR_TrapezeOpacityGraph(const CFG_ITreePtr& tree);

    // The opacity at x, times the maximum opacity. x is clamped to 0..1. Before
    // the first point and beyond the last the end point's y holds; one point
    // holds everywhere. Otherwise the first segment j (points j-1, j) with
    // x < x_j + t decides, t being 0 except on the last segment, where it is
    // 1e-6 read as the float 1e-6f: so a value exactly on an inner point is
    // taken by the next segment that ends beyond it. A segment shorter than
    // 0.0001 (read as the double 0.0001) is a vertical edge and answers its
    // right-hand y; a longer one interpolates linearly (in double, the result
    // rounded to float once). A NaN x answers 0 (with two or more points).
    float GetRelativeOpacity(float x) const override;
    // opacity[j] = GetRelativeOpacity(x[j]) for j in 0..count-1, bit for bit,
    // for positions in any order (NaN and infinities included); see Evaluator.
    // Raises what GetRelativeOpacity raises (RWBoundsErr for an empty graph).
    void EvaluateRange(const float* x, int count, float* opacity) const;
    // m_nBPP = bpp; m_nMaxPixelValue = 2^bpp - 1 (0 for bpp <= 0, INT_MAX from 31 on).
    void SetBPP(int bpp) override;
    VXR_VOLR_OpacityGraphIfc* Clone() const override;
    _bstr_t GetTypeStr() const override;
    CFG_ITreePtr ExportToCFG() override;

    float GetMaxOpacity() const { return m_fMaxOpacity; }
    void SetMaxOpacity(float maxOpacity) { m_fMaxOpacity = maxOpacity; }
    int GetBPP() const { return m_nBPP; }
    int GetMaxPixelValue() const { return m_nMaxPixelValue; }
    bool GetFlag() const { return m_bFlag; }

    unsigned int GetOpPointCount() const;
    VXR_VOLR_OpacityPoint GetOpacityPoint(int i) const;
    void UpdateOpPoint(int i, const VXR_VOLR_OpacityPoint& point);
    void RemoveOpPoint(int i);
    void AddOpacityPoint(const VXR_VOLR_OpacityPoint& point);

    // The graph prepared for evaluation at many positions; internal to the
    // library and its tests (VXR_VOLR_BatchEvaluation.h).
    class Evaluator;

  protected:
    // Drops the inner points of every run of three or more points with exactly
    // equal y (x plays no part); the first and last point of each run stay.
    void shrink();

  private:
    bool m_bFlag = false;
    int m_nBPP = 0;
    int m_nMaxPixelValue = 0;
    float m_fMaxOpacity = 1.0f;
    RWTValOrderedVector<VXR_VOLR_OpacityPoint> m_OpPoints;
};
