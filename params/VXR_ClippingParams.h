#pragma once

#include "IP/IP_ClipManager.h"
#include "UTL/UTL_BaseParams.h"

// VXR_ClippingParams - the clip planes and slabs of a view.
//
// The planes live in one clip manager (IP/IP_ClipManager.h: plane equations,
// the half-space each keeps, slabs, hidden flags) that this object owns; two
// objects never share one. The object is registered as "VXR_ClippingParams";
// the clip-plane overlay element and the space-info objects find it by that
// name, and the projection objects receive its manager.
//
// Change counter: every wrapper that changes planes (HideClipping, HideSlab,
// Reset, FlipClip, Transform, NewClipPlane) advances it, whether or not the
// manager accepted the change, so that the host renders again; NewClipPlane
// advances it before the plane is made. Changes made directly through
// GetClipManager() or a plane pointer advance only the manager's modification
// count, which Freeze compares.
//
// No manager: the manager is null only when its allocation failed in the
// default constructor. The wrappers then do nothing (GetClipPlane and
// NewClipPlane answer null, GetNumberClipPlanes 0) but still count their
// change; IsChanged and Interpolate answer false; assignment and SetData skip
// the manager. Copying an object that has a manager gives a copy with its own
// manager or raises std::bad_alloc; Clone answers null instead.
class VXR_ClippingParams : public UTL_BaseParams {
  public:
    // Registers the name and makes an empty manager.
    VXR_ClippingParams();
    // Base state and a new manager copied from other's (planes, flags,
    // modification count). Raises std::bad_alloc when memory runs out.
    VXR_ClippingParams(const VXR_ClippingParams& other);
    ~VXR_ClippingParams() override;

    using UTL_BaseParams::operator=;
    // As the virtual assignment.
    VXR_ClippingParams& operator=(const VXR_ClippingParams& other);
    // When both have a manager, other's is assigned to this one (raising
    // std::bad_alloc, this object unchanged, when memory runs out); then the
    // base state. Another class of parameter object: the base state only.
    UTL_BaseParams& operator=(const UTL_BaseParams& other) override;
    // As the assignment (manager only, not the base state), then the manager's
    // modification count and the change counter each advance by 1.
    void SetData(const UTL_BaseParams& other) override;
    // With a source link to another VXR_ClippingParams: takes the source's
    // planes when the modification counts differ, and the source's change
    // counter. Logs "freeze vol data  \n" in any case.
    void Freeze() override;
    // A new object as the copy constructor makes it, owned by the caller; null
    // when memory runs out.
    UTL_BaseParams* Clone() override;
    // Logs "defrost vol data \n"; there is nothing to hand back.
    void Defrost() override;

    // Compares this object's planes with other's plane by plane number. A pair
    // differs when the normals are more than about 2.6 degrees apart (opposite
    // normals count as the same orientation: a flipped plane is the same
    // plane) or the points nearest the origin are more than sqrt(0.001) apart.
    // Side effect: planes that other lacks are freed here and planes only other
    // holds are copied here; neither counts as a difference. The change counter
    // is not touched. False for null, for other without a manager (nothing is
    // then changed), and when this object has no manager. Another class of
    // parameter object is compared as the base does (by counter).
    bool IsChanged(UTL_BaseParams* other) override;

    // Key-frame movie from this object's planes to those of frames[n-1].
    // frames[1..n-2] receive new objects, each a copy of the one before it
    // (frames[0] first) with every moving plane one step further; the caller
    // owns them. A plane moves when its normal turns (between about 2.6 and
    // 177.4 degrees) or when its point nearest the origin moves by more than
    // sqrt(0.001) per step. Frame i turns the plane by i/(n-1) of the turn about
    // the axis perpendicular to both normals, and places it at i/(n-1) of the
    // way from the first key frame's distance from the origin to the last's
    // (along the turning normal), so that one step more would reach the last
    // key frame. Each new object's counter advances by the number of moving
    // planes. Planes that frames[n-1] lacks stand still.
    // Answers true when any plane moves (also for n = 2, making nothing);
    // false, making nothing and leaving every slot as it was, when none moves,
    // for n < 2, a null array, a null or foreign frames[0], a null or foreign
    // frames[n-1], no manager here, and when memory runs out. vec is not used.
    bool Interpolate(UTL_BaseParams** frames, int n, UTL_BaseParamsVec* vec) override;

    // The manager itself (not a copy), or null; see above for what changes
    // through it count.
    IP_VolRClipManager* GetClipManager() const { return m_pClipManager; }

    // Hides or shows all clip planes / all slab planes. Counts a change.
    void HideClipping(bool hide);
    void HideSlab(bool hide);
    // Frees every plane of the kind. Counts a change.
    void Reset(IP_ClipManager::ClipTypeEn type);
    // Turns the plane to face the other side. Counts a change.
    void FlipClip(int number);
    // Carries the plane by m (p on it goes to p * m). Counts a change.
    void Transform(float (*const m)[4], int number);
    // Counts a change first, then answers the manager's plane under number,
    // made if missing (see IP_ClipManager::NewClipPlane), or null.
    IP_ClippingPlane* NewClipPlane(int number);
    // The plane under number, or null. Counts nothing.
    IP_ClippingPlane* GetClipPlane(int number);
    int GetNumberClipPlanes() const;

  private:
    IP_VolRClipManager* m_pClipManager;
};
