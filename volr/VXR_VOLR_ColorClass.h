#pragma once

#include "CFG/CFG_ITree.h"
#include "COM/COM_BStr.h"
#include "RW/RWTValOrderedVector.h"
#include "UTL/UTL_ChangeCounter.h"
#include "UTL/UTL_Color.h"
#include "VXR_VOLR_TrapezeOpacityGraph.h"

// One colour point of a class's colour ramp: the colour m_Color holds at the
// normalised value m_fValue.
class VXR_VOLR_ColorPoint {
  public:
    VXR_VOLR_ColorPoint() = default;
    VXR_VOLR_ColorPoint(float value, const UTL_Color& color) : m_fValue(value), m_Color(color) {}
    VXR_VOLR_ColorPoint(const VXR_VOLR_ColorPoint&) = default;
    VXR_VOLR_ColorPoint& operator=(const VXR_VOLR_ColorPoint&) = default;
    virtual ~VXR_VOLR_ColorPoint() = default;

    // Reads a colour-point node: integers "r", "g", "b", then the number "value".
    // The tree stays the caller's; a null tree or a failed read (a missing "r",
    // for one) raises _com_error, and so does a value that is not finite as a
    // float ("nan", "inf", 1e39), DISP_E_TYPEMISMATCH.
    explicit VXR_VOLR_ColorPoint(const CFG_ITreePtr& tree);
    // A new, initialised, unnamed colour-point tree; the caller owns the reference.
    CFG_ITreePtr ExportToCFG() const;

    float m_fValue = 0.0f;
    UTL_Color m_Color;
};

// Orders colour points by value: true exactly when a.m_fValue < b.m_fValue.
class VXR_VOLR_ColorPointCompare {
  public:
    bool operator()(const VXR_VOLR_ColorPoint& a, const VXR_VOLR_ColorPoint& b) const {
        return a.m_fValue < b.m_fValue;
    }
    bool operator()(const VXR_VOLR_ColorPoint* a, const VXR_VOLR_ColorPoint* b) const {
        return a->m_fValue < b->m_fValue;
    }
    VXR_VOLR_ColorPointCompare& operator=(const VXR_VOLR_ColorPointCompare&) = default;
};

// One tissue class of a colour protocol: a colour ramp through colour points
// and an opacity graph, both seen through a window (centre offset, width factor
// and the pivot the width scales about) that the user drags. The window moves
// what GetColor and GetRelativeOpacity answer without touching the points until
// ApplyWindowing bakes it into them.
//
// Ownership: the class owns its graph and deletes it; copies (constructor and
// assignment) clone it, so no two classes share one. A copy is complete, equal
// to its source point for point (in the source's order, whatever it is), or
// it raises std::bad_alloc and an assigned class stays as it was. SetOpacityGraph adopts the
// new graph and does NOT delete the graph held before: a caller that replaces a
// graph deletes the old one itself (it may still hold and use it).
//
// A class without a graph (made with a null graph, or read from a tree whose
// graph type is not "trapeze") is a valid, transparent class:
//   GetRelativeOpacity answers 0 for every value;
//   SetBPP sets the class's own fields only;
//   SetWidth sets the width but leaves the pivot where it is (there are no
//     opacity points to centre it on);
//   ApplyWindowing moves the colour points only;
//   copies have no graph either;
//   ExportToCFG writes an empty "op_graph" node without a type, which reads
//     back as a class without graph (and without colour points).
// GetOpacityGraph answers null for such a class.
//
// Colour-point indices (GetColorPoint, RemoveColorPoint) raise RWBoundsErr when
// the index, taken as unsigned, is not below the count; the class is then
// unchanged. GetColor on a class without colour points raises the same error
// for index 0.
//
// None of the class's own operations advances the change counter; copies take
// its value.
//
// Numbers (the library's one reading, noted beside the table loop in
// VXR_VOLR_ColorTable.cpp:
// every expression in double, rounded to float only where a float is stored or
// a float is written out): the window state is float. CalcWindowing and
// CalcInverseWindowing compute in double and round the result to float once;
// GetColor interpolates in double and truncates toward zero after adding 0.49.
// The constants' widths are noted beside them in the source.
class VXR_VOLR_ColorClass : public UTL_ChangeCounter {
  public:
    // Adopts graph (which may be null: see above). Windowing allowed, active,
    // no window, no colour points, bits per pixel 0.
    VXR_VOLR_ColorClass(const _bstr_t& name, VXR_VOLR_TrapezeOpacityGraph* graph);
    // Reads a class node. A null tree logs "Failed to get class\n" and gives a
    // class with defaults, no name and no graph; a graph type other than
    // "trapeze" logs "Failed to get opacity graph type=%ls\n" and gives a class
    // with its name and windowing flag but no graph and no colour points. Failed
    // tree operations raise _com_error. The tree stays the caller's.
    explicit VXR_VOLR_ColorClass(const CFG_ITreePtr& tree);
    VXR_VOLR_ColorClass(const VXR_VOLR_ColorClass& other);
    VXR_VOLR_ColorClass& operator=(const VXR_VOLR_ColorClass& other);
    ~VXR_VOLR_ColorClass() override;

    // The counter assignments of the base stay available.
    using UTL_ChangeCounter::operator=;

    void SetName(const _bstr_t& name) { m_Name = name; }
    _bstr_t GetName() const { return m_Name; }

    // Adopts graph; the graph held before is NOT deleted (see above).
    void SetOpacityGraph(VXR_VOLR_TrapezeOpacityGraph* graph) { m_pOpacityGraph = graph; }
    // The class keeps ownership; null for a class without a graph.
    VXR_VOLR_TrapezeOpacityGraph* GetOpacityGraph() const { return m_pOpacityGraph; }

    bool GetAllowWindowing() const { return m_bAllowWindowing; }
    void SetAllowWindowing(bool allow) { m_bAllowWindowing = allow; }
    bool GetIsActive() const { return m_bIsActive; }
    void SetIsActive(bool active) { m_bIsActive = active; }

    float GetWidth() const { return m_fWidth; }
    float GetCenter() const { return m_fCenter; }
    float GetPivot() const { return m_fPivot; }
    int GetBPP() const { return m_nBPP; }
    int GetMaxPixelValue() const { return m_nMaxPixelValue; }

    // The opacity at normalised value x: the graph's opacity at the windowed
    // position (CalcInverseWindowing(x)); the graph clamps. 0 without a graph.
    virtual float GetRelativeOpacity(float x) const;
    // The ramp's colour at normalised value x, seen through the window: at
    // w = CalcInverseWindowing(x) clamped to 0..1. Before the first point and
    // beyond the last the end colour holds; one point holds everywhere.
    // Otherwise segments shorter than 1e-5 (the float 1e-5f) are skipped and the
    // first other segment with w < v_i + 1e-6 (the float 1e-6f; every segment)
    // decides: with h = 1 / length rounded to float, each channel is
    // trunc((c_i * (w - v_i-1) + (v_i - w) * c_i-1) * h + 0.49), computed in
    // double with 0.49 as a double, truncated toward zero (NaN or out-of-range
    // channels through UTL_TruncToInt). No deciding segment (w NaN, all points
    // at one value, w inside a short last segment) gives the default colour.
    // Allocates nothing and raises nothing unless the class has no colour points.
    virtual UTL_Color GetColor(float x) const;
    // m_nBPP = bpp, m_nMaxPixelValue = 2^bpp - 1, then the graph's SetBPP.
    virtual void SetBPP(int bpp);

    // The colour and opacity at count positions at once: for j in 0..count-1,
    // (red[j], green[j], blue[j]) are the channels of GetColor(positions[j])
    // and opacity[j] is GetRelativeOpacity(positions[j]), bit for bit, for
    // positions in any order (NaN and infinities included) and through the
    // overrides of a derived class. Raises what those calls raise (RWBoundsErr
    // for a class without colour points or with an empty graph), and
    // std::bad_alloc when memory runs out.
    void EvaluateRange(const float* positions, int count, int* red, int* green, int* blue,
                       float* opacity) const;

    // The class prepared for evaluation at many positions; internal to the
    // library and its tests (VXR_VOLR_BatchEvaluation.h).
    class Evaluator;

    unsigned int GetColorPointCount() const;
    VXR_VOLR_ColorPoint GetColorPoint(int i) const;
    void RemoveColorPoint(int i);
    // Inserts a copy before the first point whose value is greater.
    void AddColorPoint(const VXR_VOLR_ColorPoint& point);
    // As AddColorPoint; answers the index the new point got.
    int InsertColorPoint(const VXR_VOLR_ColorPoint& point);

    // Where a stored point at v is shown: (v - pivot) * (width + 1) + pivot + centre.
    float CalcWindowing(float v) const;
    // Which stored position is shown at v: (v - centre - pivot) / (width + 1) + pivot.
    // At width -1 this is +-infinity, or NaN for v exactly at pivot + centre.
    float CalcInverseWindowing(float v) const;

    // The four window changes do nothing (the Add forms answer false) unless
    // windowing is allowed and the class is active. Their thresholds: a change
    // of 1e-7 (the float 1e-7f) or less is none; a width below 1e-4 (the float
    // 1e-4f) snaps to 0; a pivot within 0.001 (the double 0.001) of 0 counts as
    // not placed. The sums are computed in double and rounded to float.
    void SetCenter(float center);
    // Moves the centre by delta, clamped to -1..1; false when it moved by 1e-7 or less.
    bool AddCenter(float delta);
    // A width below 1e-4 in magnitude resets width and pivot to 0. Otherwise a
    // pivot still at (about) 0 is put at the middle of the graph's first and
    // last opacity point, then the width is set. A graph without points raises
    // RWBoundsErr and nothing changes.
    void SetWidth(float width);
    // Moves the width by delta, clamped to -1..1, through SetWidth; false when it
    // moved by 1e-7 or less.
    bool AddWidth(float delta);

    // Moves the colour points and the graph's points through the window,
    // clamping them to 0..1 (points pushed beyond an end collapse onto it), then
    // resets width, centre and pivot to 0. Ignores the two flags.
    void ApplyWindowing();

    // A new, initialised, unnamed class tree; the caller owns the reference. The
    // class first drops its redundant colour points (and the graph its
    // redundant points). Tree failures raise _com_error.
    CFG_ITreePtr ExportToCFG();

  protected:
    // Drops colour points whose removal changes no colour GetColor answers:
    // a leading or trailing point equal in colour to its neighbour and the inner
    // points of runs of three or more equal colours.
    void shrink();

  private:
    void copy_state(const VXR_VOLR_ColorClass& other);

    _bstr_t m_Name;
    VXR_VOLR_TrapezeOpacityGraph* m_pOpacityGraph = nullptr;
    RWTValOrderedVector<VXR_VOLR_ColorPoint> m_ColorPoints;
    int m_nBPP = 0;
    int m_nMaxPixelValue = 0;
    bool m_bAllowWindowing = true;
    bool m_bIsActive = true;
    float m_fWidth = 0.0f;
    float m_fCenter = 0.0f;
    float m_fPivot = 0.0f;
};
