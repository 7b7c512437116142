#pragma once

#include <cstdint>
#include <map>

#include "IP/IP_3Coord.h"

// The geometry library's clip planes and the manager that keeps them.
//
// Geometry (the conventions of IP/IP_Matrix.h: row vectors p' = p * M):
//
//  * A plane is four floats (a, b, c, d) meaning a*x + b*y + c*z = d. A plane
//    KEEPS the half-space a*x + b*y + c*z <= d and cuts away the other one: its
//    normal (a, b, c) points out of the part of the volume that stays visible,
//    as the normals of a box's faces point out of the box. The unit cube is the
//    region that (-1,0,0,0), (0,-1,0,0), (0,0,-1,0), (1,0,0,1), (0,1,0,1) and
//    (0,0,1,1) bound.
//  * Every plane a manager holds has a unit normal and finite values: the
//    setters normalise what they are given and refuse (answering false, the
//    plane unchanged) a zero normal, NaN or infinity, and anything whose
//    normalised form overflows. With a unit normal, SignedDistance is the true
//    distance in the equation's length unit, positive on the cut-away side,
//    and (a, b, c) * d is the plane's point nearest the origin.
//  * Flipping a plane negates all four values: the same geometric plane, now
//    keeping the half-space it cut away before.
//  * Carrying a plane by a matrix M moves every point p on it to p * M on the
//    result (IP_myeqtrans), then normalises the result.
//
// Slabs: two planes may be made slab partners (SetSlab), each then naming the
// other. A slab is the region between them that both keep; nothing forces the
// two to face each other, the caller places them. A plane with a partner is a
// SLAB plane, one without a CLIP plane (ClipTypeEn). A partner number may name
// a plane the manager no longer holds only if the caller wrote it so through
// plane assignment; freeing a plane clears its partner's link.
//
// Visibility: the manager keeps two hidden flags, one for all clip planes and
// one for all slab planes (HideAllClipPlanes, HideAllSlabPlanes). A hidden
// plane is still held, iterated, compared and moved; it only stops clipping:
// IsInside and ClipLine leave it out. A plane's kind, and so whether it is
// hidden, follows its slab link at the time of asking.
//
// Numbers: planes are kept under non-negative integer numbers, which the caller
// chooses (negative numbers mean "no plane" to callers, e.g. a box face or "no
// slab partner"). At most kIP_MaxClipPlanes planes are held.
//
// Iteration: ResetIterator, then GetNextPlane until null, visits the planes in
// ascending number. The walk remembers the last number it gave, not a position,
// so freeing or adding planes during a walk is safe: a freed plane that was not
// reached yet is skipped, an added one with a higher number than the last one
// given is met later.
//
// Modification count: an integer that every successful change to the held
// planes or flags advances by 1, whether made through the manager or through a
// plane pointer it handed out (SetPlaneEq, Flip, Transform, plane assignment).
// Copies and assignment carry it, so two managers with the same count and a
// common history hold the same planes; Modified() advances it by hand.
//
// Ownership: planes are owned by their manager and live until freed or until
// the manager dies; a pointer from NewClipPlane, GetClipPlane or GetNextPlane
// stays valid until then (other planes being added or freed does not move it).
//
// Errors: no operation throws, except that copying a manager (constructor or
// assignment) may raise std::bad_alloc, leaving the target as it was.

// Largest number of planes one manager holds. Callers that lay the planes out
// in a fixed table beside a box's six faces rely on it.
inline constexpr int kIP_MaxClipPlanes = 50;

class IP_ClipManager;

class IP_ClippingPlane {
  public:
    // Number -1 (held by no manager), no slab partner, the plane z = 0 keeping
    // z <= 0.
    IP_ClippingPlane() = default;
    // Copies number, equation and partner; the copy belongs to no manager.
    IP_ClippingPlane(const IP_ClippingPlane& other);
    // Takes equation and slab partner from other; the number and the manager
    // stay. Counts a modification of this plane's manager.
    IP_ClippingPlane& operator=(const IP_ClippingPlane& other);
    ~IP_ClippingPlane() = default;

    // The key under which the manager keeps this plane; -1 for a plane that
    // belongs to none.
    int GetNumber() const { return m_nNumber; }
    // The number of the slab partner, or -1 for none.
    int GetSlabPartner() const { return m_nSlabPartner; }
    bool IsSlabPlane() const { return m_nSlabPartner >= 0; }

    // Writes a, b, c, d to eq[0..3].
    void GetPlaneEq(float* eq) const;
    // Sets the plane a*x + b*y + c*z = d, normalised to a unit normal. False,
    // and nothing changed, for a zero normal, a NaN or infinite value, or a
    // normalised d beyond float range.
    bool SetPlaneEq(float a, float b, float c, float d);
    // The same from eq[0..3]; a null eq answers false.
    bool SetPlaneEq(const float* eq);

    // a*x + b*y + c*z - d in double: the distance of the point from the plane,
    // positive on the cut-away side, NaN for a NaN point. w is ignored.
    double SignedDistance(const IP_3Coord& p) const;
    // True when the point lies in the kept half-space, within `tolerance` of it
    // (SignedDistance <= tolerance). A NaN point is never kept.
    bool Keeps(const IP_3Coord& p, double tolerance = 0.0) const;

    // Turns the plane to face the other side: (a, b, c, d) -> (-a, -b, -c, -d).
    void Flip();
    // Carries the plane by m (see above). False, and nothing changed, for a
    // null, singular or non-finite m, or when the carried plane is degenerate.
    bool Transform(const float (*m)[4]);

  private:
    friend class IP_ClipManager;

    void modified();

    int m_nNumber = -1;
    int m_nSlabPartner = -1;
    float m_Eq[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    IP_ClipManager* m_pOwner = nullptr;
};

class IP_ClipManager {
  public:
    // What FreeAllClipPlane removes: the planes without a slab partner, those
    // with one, or every plane.
    enum ClipTypeEn : std::int32_t {
        CLIP_PLANES = 0,
        SLAB_PLANES = 1,
        ALL_PLANES = 2,
    };

    IP_ClipManager() = default;
    // Copies planes, hidden flags and modification count; the walk starts
    // afresh. May raise std::bad_alloc.
    IP_ClipManager(const IP_ClipManager& other);
    // Replaces planes, flags and count by other's; complete or, raising
    // std::bad_alloc, unchanged. Self-assignment does nothing. Plane pointers
    // handed out before no longer hold.
    IP_ClipManager& operator=(const IP_ClipManager& other);
    virtual ~IP_ClipManager();

    // The plane under number, made if the manager lacks it (new planes: the
    // default plane z = 0, no partner). A number the manager holds answers its
    // plane unchanged. Null for a negative number, when kIP_MaxClipPlanes
    // planes are held, or when memory runs out.
    IP_ClippingPlane* NewClipPlane(int number);
    // The plane under number, or null.
    IP_ClippingPlane* GetClipPlane(int number);
    const IP_ClippingPlane* GetClipPlane(int number) const;
    // Removes the plane; its slab partner (if held) loses its link. False for a
    // number the manager lacks.
    bool FreeClipPlane(int number);
    // Removes every plane of the kind (see ClipTypeEn); an unknown kind
    // removes nothing. Partners of removed planes lose their links.
    void FreeAllClipPlane(ClipTypeEn type);
    int GetNPlanes() const { return static_cast<int>(m_Planes.size()); }

    // The walk described above.
    void ResetIterator();
    IP_ClippingPlane* GetNextPlane();

    // Hides (true) or shows (false) every clip plane / every slab plane.
    void HideAllClipPlanes(bool hide);
    void HideAllSlabPlanes(bool hide);
    bool AreClipPlanesHidden() const { return m_bClipHidden; }
    bool AreSlabPlanesHidden() const { return m_bSlabHidden; }
    // Whether the plane currently clips nothing because its kind is hidden.
    bool IsHidden(const IP_ClippingPlane& plane) const;

    // Makes the two held planes slab partners, first unlinking each from a
    // former partner. False, and nothing changed, when either is not held or
    // both are the same.
    bool SetSlab(int number, int partner);
    // Unlinks the plane and its partner. False for an unknown number.
    bool BreakSlab(int number);

    // Flips the plane (see IP_ClippingPlane::Flip). False for an unknown
    // number.
    bool Flip(int number);
    // Carries the plane by m. False for an unknown number or a matrix the
    // plane refuses (see IP_ClippingPlane::Transform).
    bool Transform(const float (*m)[4], int number);

    // The region that all visible planes bound (the hidden ones left out; with
    // none, all of space).
    //  * IsInside: every visible plane keeps p within tolerance. NaN: false.
    //  * ClipLine: narrows [tmin, tmax] to the part of the line
    //    origin + t * direction that lies in the region; false (tmin and tmax
    //    then unspecified) when nothing of it does. A ray is [0, +inf), a
    //    segment from p to q is origin p, direction q - p, [0, 1]. A direction
    //    parallel to a plane keeps or loses the whole line by the origin's
    //    side. NaN anywhere answers false.
    bool IsInside(const IP_3Coord& p, double tolerance = 0.0) const;
    bool ClipLine(const IP_3Coord& origin, const IP_3Coord& direction, double& tmin,
                  double& tmax) const;

    int GetModificationCount() const { return m_nModCount; }
    // Advances the modification count by 1 (wraps modulo 2^32).
    void Modified();

  private:
    friend class IP_ClippingPlane;

    void adopt_planes();
    void unlink_partner_of(const IP_ClippingPlane& plane);

    std::map<int, IP_ClippingPlane> m_Planes;
    bool m_bClipHidden = false;
    bool m_bSlabHidden = false;
    int m_nModCount = 0;
    // Number after which the walk continues; -1 lies below every valid number.
    int m_nWalkAfter = -1;
};

// The kind the volume renderer and its projectors take. It clips exactly as
// its base does; it exists so that rendering parameters name the kind they
// accept.
class IP_VolRClipManager : public IP_ClipManager {
  public:
    IP_VolRClipManager() = default;
    IP_VolRClipManager(const IP_VolRClipManager& other) = default;
    IP_VolRClipManager& operator=(const IP_VolRClipManager& other) = default;
    using IP_ClipManager::operator=;
    ~IP_VolRClipManager() override;
};
