#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "IP/IP_3Coord.h"
#include "IP/IP_Box.h"
#include "IP/IP_VolRParams.h"
#include "RW/RWTValOrderedVector.h"
#include "UTL/UTL_BaseParams.h"

class IP_MultiRealListVol;
class IP_VolRClipManager;

// VXR_ProjectParams - the shared part of the two projection parameter objects
// (VXR_MIP_ProjectParams, VXR_VolR_ProjectParams), registered as
// "VXR_ProjectParams": the renderer's parameters of the view with the prepared
// volume data, two lists of per-box parameters with their picture buffers, and
// three renderer state words.
//
// Source and copy: the host edits a live object (the source) and renders from a
// copy (Clone, SetSource, Freeze). The copy builds the volume data; Defrost hands
// them to the source, after which both refer to the same platform objects.
//
// Ownership:
//  * m_pVolRParams belongs to this object (made by the derived constructor,
//    deleted by the derived destructor). Two objects never share it: copies and
//    assignments copy its contents.
//  * The box parameter objects of both lists belong to this object; the lists
//    always have the same length. Their picture buffers may be shared with the
//    source's or a copy's boxes (MEM_PagerInfo).
//  * The prepared volume data, tissue index, tissue list and colour-table arrays
//    are shared between source and copies. Each object holds its own reference
//    (IP_RefCounted): where this family "deletes" such an object it drops its
//    reference, and the platform object is freed when its last holder lets go.
//    So whichever of source and copy is cleared or destroyed first, nothing is
//    freed twice, nothing that another object still refers to is freed, and
//    nothing is left behind.
//  * The source link must outlive the copy's use of it (UTL_BaseParams).
//
// The data-protect lock belongs to the slow volume data; the three lock
// operations are the only way to it, and this family never takes it itself. A
// thread that entered it must leave it before anybody replaces or drops the slow
// data reference of this object (the host calls everything else from one
// thread).
class VXR_ProjectParams : public UTL_BaseParams {
  public:
    VXR_ProjectParams();
    // Copies the base (counter, name); both lists start empty.
    VXR_ProjectParams(const VXR_ProjectParams& other);
    ~VXR_ProjectParams() override;

    using UTL_BaseParams::operator=;
    // The base's assignment only; the kinds add their data first.
    UTL_BaseParams& operator=(const UTL_BaseParams& other) override;
    // Behaves as the virtual assignment of this object's class.
    VXR_ProjectParams& operator=(const VXR_ProjectParams& other);

    // With a source link: m_nMaxState becomes the larger of this and the
    // source's, the source's zoom-access value and change counter are taken.
    void Freeze() override;
    // With a source link: writes m_nMaxState into the source.
    void Defrost() override;

    // Maps a screen point through the renderer's projector; the kinds say how.
    virtual bool Relate(IP_3Coord screen, float (*const view)[4], IP_VolRClipManager* clip,
                        IP_3Coord* out) = 0;
    // Drops or deletes what the object holds; the base does nothing.
    virtual void Clear(bool with_delete);
    // The MIP tissue list; null here.
    virtual IP_MultiRealListVol* GetTissueList();

    IP_VolRParams* GetIPVolRParams() const { return m_pVolRParams; }
    // The box and bounding box inside the rendering parameters (not copies).
    IP_Box* GetBox();
    IP_Box* GetBoundingBox();
    // Element i of the list, or null when i is not below its length.
    IP_VolRBoxParams* GetNBoxParams(unsigned i) const;
    IP_VolRBoxParams* GetNTranspBoxParams(unsigned i) const;
    unsigned GetBoxParamsCount() const { return unsigned(m_lstBoxParams.entries()); }

    // Counts a change; nothing else.
    void Reset();
    // With a source link: logs and drops the source's slow and fast data
    // references (this object's stay).
    void Invalidate();

    // With slow data: enters its data-protect section and answers true;
    // without: false.
    bool EnterDataProtectCriticalSection();
    // With slow data: whether its section was entered (never waits); without:
    // false. After false the caller does not leave.
    bool TryEnterDataProtectCriticalSection();
    // With slow data: leaves its section; without: nothing.
    void LeaveDataProtectCriticalSection();

    // The renderer's state words (their meaning is the renderer's). The volume
    // data state is the processed data's change counter the data were built for.
    std::int32_t GetVolDataState() const { return m_nVolDataState; }
    void SetVolDataState(std::int32_t value) { m_nVolDataState = value; }
    std::int32_t GetPictState() const { return m_nPictState; }
    void SetPictState(std::int32_t value) { m_nPictState = value; }
    std::int32_t GetMaxState() const { return m_nMaxState; }
    void SetMaxState(std::int32_t value) { m_nMaxState = value; }
    bool IsOriginalCopy() const { return m_bOriginalCopy; }
    bool HasPrivateTPict() const { return m_bPrivateTPict; }

  protected:
    // As Invalidate, for one of the two references.
    void InvalidateSlow();
    void InvalidateFast();
    // Copies the zoom-access value when from and both rendering parameters exist.
    void copy_ZoomAccess(VXR_ProjectParams* from);
    // The source as a projection object, or null.
    VXR_ProjectParams* source_params() const;
    // Deletes every element of both lists and empties them.
    void delete_box_lists();
    // Appends one new Box to each list; false, nothing appended, when memory
    // runs out.
    template <class Box>
    bool append_box_pair();
    // Makes to's lists as long as from's, adding new boxes or taking surplus
    // ones from the front or from the end, then copies every box's contents
    // with Box's assignment (both lists hold Boxes). Nothing happens when
    // from or to is null or both are one object. Raises std::bad_alloc when
    // a box can't be made; the lists are then as long as they were, or
    // longer by whole pairs.
    enum class Surplus { FromFront, FromEnd };
    template <class Box>
    static void copy_box_lists(const VXR_ProjectParams* from, VXR_ProjectParams* to,
                               Surplus surplus);
    // True when a box of the first list has no picture.
    bool any_box_without_tpict() const;

    std::int32_t m_nVolDataState;
    std::int32_t m_nPictState;
    std::int32_t m_nMaxState;
    IP_VolRParams* m_pVolRParams;
    RWTValOrderedVector<IP_VolRBoxParams*> m_lstBoxParams;
    RWTValOrderedVector<IP_VolRBoxParams*> m_lstTranspBoxParams;
    bool m_bOriginalCopy;
    bool m_bPrivateTPict;
};

template <class Box>
bool VXR_ProjectParams::append_box_pair() {
    std::unique_ptr<Box> box(new (std::nothrow) Box);
    std::unique_ptr<Box> transp(new (std::nothrow) Box);
    if (box == nullptr || transp == nullptr) {
        return false;
    }
    try {
        m_lstBoxParams.reserve(m_lstBoxParams.entries() + 1);
        m_lstTranspBoxParams.reserve(m_lstTranspBoxParams.entries() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_lstBoxParams.append(box.release());
    m_lstTranspBoxParams.append(transp.release());
    return true;
}

template <class Box>
void VXR_ProjectParams::copy_box_lists(const VXR_ProjectParams* from, VXR_ProjectParams* to,
                                       Surplus surplus) {
    if (from == nullptr || to == nullptr || from == to) {
        return;
    }
    const std::size_t n = from->m_lstBoxParams.entries();
    while (to->m_lstBoxParams.entries() < n) {
        if (!to->append_box_pair<Box>()) {
            throw std::bad_alloc();
        }
    }
    while (to->m_lstBoxParams.entries() > n) {
        const std::size_t at = surplus == Surplus::FromFront ? 0 : to->m_lstBoxParams.entries() - 1;
        delete to->m_lstBoxParams.removeAt(at);
        delete to->m_lstTranspBoxParams.removeAt(at);
    }
    for (std::size_t i = 0; i < n; ++i) {
        *static_cast<Box*>(to->m_lstBoxParams[i]) =
            *static_cast<const Box*>(from->m_lstBoxParams[i]);
        *static_cast<Box*>(to->m_lstTranspBoxParams[i]) =
            *static_cast<const Box*>(from->m_lstTranspBoxParams[i]);
    }
}
