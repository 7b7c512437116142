#include "params/VXR_ClippingParams.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>

#include "IP/IP_3Coord.h"
#include "IP/IP_Matrix.h"
#include "log/Tmr_LogFile.h"

namespace {

constexpr const char* kLogSource = "VXR_ClippingParams";
constexpr int kTraceLevel = 7;

// Two normals whose dot product lies inside (-kSameOrientation,
// kSameOrientation) point in different directions (about 2.6 degrees apart,
// up to the same from opposite); two reference points farther apart than the
// square root of kSamePosition are different places.
constexpr double kSameOrientation = 0.999;
constexpr double kSamePosition = 0.001;
// A turning axis shorter than this (squared) is no axis to turn about.
constexpr double kShortestAxis = 0.001;

// What the comparisons read of a plane: its equation, its unit normal and its
// point nearest the origin, all in double.
struct PlaneGeometry {
    double eq[4];
    double normal[3];
    double point[3];
};

// False for a plane whose normal cannot be normalised (never one a manager
// holds: the manager keeps unit normals).
bool geometry_of(const IP_ClippingPlane& plane, PlaneGeometry& out) {
    float eq[4];
    plane.GetPlaneEq(eq);
    IP_3Coord n(eq[0], eq[1], eq[2], 1.0f);
    if (!n.Normalize() || !std::isfinite(eq[3])) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        out.eq[i] = eq[i];
    }
    out.normal[0] = n.x;
    out.normal[1] = n.y;
    out.normal[2] = n.z;
    for (int i = 0; i < 3; ++i) {
        out.point[i] = out.eq[3] * out.normal[i];
    }
    return true;
}

double dot_of(const PlaneGeometry& p, const PlaneGeometry& q) {
    return p.eq[0] * q.eq[0] + p.eq[1] * q.eq[1] + p.eq[2] * q.eq[2];
}

bool orientation_differs(double dot) {
    return -kSameOrientation < dot && dot < kSameOrientation;
}

double squared_distance(const double a[3], const double b[3]) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double d = b[i] - a[i];
        sum += d * d;
    }
    return sum;
}

// The motion of one plane from the first key frame to the last, cut into
// steps: a turn about `axis` by `stepAngle` per step (when `turns`), and a
// change of the distance from the origin by `stepDistance` per step.
struct PlaneMotion {
    int number = -1;
    bool turns = false;
    IP_3Coord axis;
    float stepAngle = 0.0f;
    double stepDistance = 0.0;
};

// Places `plane` (a copy of `base`) i steps along `motion`: base's normal
// turned by i step angles, at base's distance plus i step distances. A plane
// that would not be valid keeps its place.
void place_plane(IP_ClippingPlane& plane, const IP_ClippingPlane& base, const PlaneMotion& motion,
                 int i) {
    float eq[4];
    base.GetPlaneEq(eq);
    double normal[3] = {eq[0], eq[1], eq[2]};
    if (motion.turns) {
        float turn[4][4];
        const float angle = static_cast<float>(double(motion.stepAngle) * i);
        if (IP_Mgenrot(turn, angle, motion.axis)) {
            double turned[3];
            for (int j = 0; j < 3; ++j) {
                turned[j] =
                    normal[0] * turn[0][j] + normal[1] * turn[1][j] + normal[2] * turn[2][j];
            }
            for (int j = 0; j < 3; ++j) {
                normal[j] = turned[j];
            }
        }
    }
    const double distance = double(eq[3]) + motion.stepDistance * i;
    plane.SetPlaneEq(static_cast<float>(normal[0]), static_cast<float>(normal[1]),
                     static_cast<float>(normal[2]), static_cast<float>(distance));
}

}  // namespace

VXR_ClippingParams::VXR_ClippingParams() : m_pClipManager(new (std::nothrow) IP_VolRClipManager) {
    SetName("VXR_ClippingParams");
}

VXR_ClippingParams::VXR_ClippingParams(const VXR_ClippingParams& other)
    : UTL_BaseParams(other), m_pClipManager(nullptr) {
    if (other.m_pClipManager != nullptr) {
        m_pClipManager = new (std::nothrow) IP_VolRClipManager(*other.m_pClipManager);
        if (m_pClipManager == nullptr) {
            throw std::bad_alloc();
        }
    }
}

VXR_ClippingParams::~VXR_ClippingParams() {
    delete m_pClipManager;
}

VXR_ClippingParams& VXR_ClippingParams::operator=(const VXR_ClippingParams& other) {
    VXR_ClippingParams::operator=(static_cast<const UTL_BaseParams&>(other));
    return *this;
}

UTL_BaseParams& VXR_ClippingParams::operator=(const UTL_BaseParams& other) {
    if (this != &other) {
        const auto* clipping = dynamic_cast<const VXR_ClippingParams*>(&other);
        if (clipping != nullptr && m_pClipManager != nullptr &&
            clipping->m_pClipManager != nullptr) {
            *m_pClipManager = *clipping->m_pClipManager;
        }
        UTL_BaseParams::operator=(other);
    }
    return *this;
}

void VXR_ClippingParams::SetData(const UTL_BaseParams& other) {
    const auto* clipping = dynamic_cast<const VXR_ClippingParams*>(&other);
    if (m_pClipManager != nullptr) {
        if (clipping != nullptr && clipping != this && clipping->m_pClipManager != nullptr) {
            *m_pClipManager = *clipping->m_pClipManager;
        }
        m_pClipManager->Modified();
    }
    ++*this;
}

void VXR_ClippingParams::Freeze() {
    if (UTL_BaseParams* source = GetSource()) {
        bool current = true;
        const auto* clipping = dynamic_cast<const VXR_ClippingParams*>(source);
        if (clipping != nullptr && m_pClipManager != nullptr &&
            clipping->m_pClipManager != nullptr &&
            m_pClipManager->GetModificationCount() !=
                clipping->m_pClipManager->GetModificationCount()) {
            try {
                *m_pClipManager = *clipping->m_pClipManager;
            } catch (const std::bad_alloc&) {
                // The copy keeps its old planes and its old counter, so the
                // host still sees it differ from the source and freezes again.
                current = false;
            }
        }
        if (current) {
            // The base adopts the source's counter.
            UTL_BaseParams::Freeze();
        }
    }
    TMR_LOG(kLogSource, kTraceLevel, "freeze vol data  \n");
}

UTL_BaseParams* VXR_ClippingParams::Clone() {
    try {
        return new (std::nothrow) VXR_ClippingParams(*this);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void VXR_ClippingParams::Defrost() {
    TMR_LOG(kLogSource, kTraceLevel, "defrost vol data \n");
}

bool VXR_ClippingParams::IsChanged(UTL_BaseParams* other) {
    if (other == nullptr) {
        return false;
    }
    auto* clipping = dynamic_cast<VXR_ClippingParams*>(other);
    if (clipping == nullptr) {
        return UTL_BaseParams::IsChanged(other);
    }
    if (m_pClipManager == nullptr || clipping->m_pClipManager == nullptr || clipping == this) {
        return false;
    }
    IP_ClipManager& mine = *m_pClipManager;
    IP_ClipManager& theirs = *clipping->m_pClipManager;

    bool changed = false;
    std::array<int, kIP_MaxClipPlanes> recorded{};
    std::size_t nRecorded = 0;
    mine.ResetIterator();
    while (IP_ClippingPlane* plane = mine.GetNextPlane()) {
        const int number = plane->GetNumber();
        if (nRecorded < recorded.size()) {
            recorded[nRecorded++] = number;
        }
        const IP_ClippingPlane* counterpart = theirs.GetClipPlane(number);
        if (counterpart == nullptr) {
            // The walk goes on past a freed plane.
            mine.FreeClipPlane(number);
            continue;
        }
        PlaneGeometry p;
        PlaneGeometry q;
        if (!geometry_of(*plane, p) || !geometry_of(*counterpart, q)) {
            changed = true;
            continue;
        }
        if (orientation_differs(dot_of(p, q)) ||
            squared_distance(p.point, q.point) > kSamePosition) {
            changed = true;
        }
    }

    const auto was_recorded = [&](int number) {
        for (std::size_t i = 0; i < nRecorded; ++i) {
            if (recorded[i] == number) {
                return true;
            }
        }
        return false;
    };
    theirs.ResetIterator();
    while (const IP_ClippingPlane* plane = theirs.GetNextPlane()) {
        if (was_recorded(plane->GetNumber())) {
            continue;
        }
        if (IP_ClippingPlane* added = mine.NewClipPlane(plane->GetNumber())) {
            *added = *plane;
        } else {
            // Out of memory: the planes cannot be brought into line, so they
            // are reported as different rather than silently the same.
            changed = true;
        }
    }
    return changed;
}

bool VXR_ClippingParams::Interpolate(UTL_BaseParams** frames, int n, UTL_BaseParamsVec* /*vec*/) {
    if (frames == nullptr || n < 2 || m_pClipManager == nullptr) {
        return false;
    }
    const auto* first = dynamic_cast<const VXR_ClippingParams*>(frames[0]);
    auto* last = dynamic_cast<VXR_ClippingParams*>(frames[n - 1]);
    if (first == nullptr || last == nullptr || last->m_pClipManager == nullptr ||
        m_pClipManager->GetNPlanes() == 0) {
        return false;
    }
    const int steps = n - 1;
    const float inverseSteps = 1.0f / static_cast<float>(steps);

    std::array<PlaneMotion, kIP_MaxClipPlanes> motions;
    std::size_t nMotions = 0;
    IP_ClipManager& start = *m_pClipManager;
    start.ResetIterator();
    while (const IP_ClippingPlane* plane = start.GetNextPlane()) {
        const IP_ClippingPlane* target = last->m_pClipManager->GetClipPlane(plane->GetNumber());
        PlaneGeometry p;
        PlaneGeometry q;
        if (target == nullptr || !geometry_of(*plane, p) || !geometry_of(*target, q)) {
            continue;
        }
        PlaneMotion motion;
        motion.number = plane->GetNumber();

        const double dot = dot_of(p, q);
        const double axis[3] = {p.normal[1] * q.normal[2] - p.normal[2] * q.normal[1],
                                p.normal[2] * q.normal[0] - p.normal[0] * q.normal[2],
                                p.normal[0] * q.normal[1] - p.normal[1] * q.normal[0]};
        const double axisLength2 = axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2];
        if (orientation_differs(dot) && axisLength2 > kShortestAxis) {
            motion.axis = IP_3Coord(static_cast<float>(axis[0]), static_cast<float>(axis[1]),
                                    static_cast<float>(axis[2]), 1.0f);
            if (motion.axis.Normalize()) {
                const float angle = std::acos(static_cast<float>(dot));
                motion.stepAngle = angle / static_cast<float>(steps);
                motion.turns = true;
            }
        }

        // The threshold looks at one step of the straight move between the
        // reference points, as it always has. The move itself changes only
        // the distance from the origin: the turn already carries the reference
        // point round, and moving it along the chord as well would pull an
        // offset plane toward the origin between the key frames. A plane that
        // moves at all steps its distance evenly to the last key frame's, so
        // that one step past the last made frame lands on it.
        double delta[3];
        for (int i = 0; i < 3; ++i) {
            delta[i] = (q.point[i] - p.point[i]) * double(inverseSteps);
        }
        const double zero[3] = {0.0, 0.0, 0.0};
        const bool moves = squared_distance(zero, delta) > kSamePosition;
        if (motion.turns || moves) {
            // Turning, the normal ends on q's, so the distance ends at q's d;
            // not turning, the plane keeps p's normal and ends where q's
            // reference point lies along it.
            const double endDistance = motion.turns
                                           ? q.eq[3]
                                           : q.point[0] * p.normal[0] + q.point[1] * p.normal[1] +
                                                 q.point[2] * p.normal[2];
            motion.stepDistance = (endDistance - p.eq[3]) / steps;
            motions[nMotions++] = motion;
        }
        if (nMotions == motions.size()) {
            break;
        }
    }
    if (nMotions == 0) {
        return false;
    }
    if (steps <= 1) {
        return true;
    }

    // The new frames are gathered first and only then put into the slots, so
    // running out of memory half-way leaves the caller's array untouched.
    const auto count = static_cast<std::size_t>(n - 2);
    std::unique_ptr<std::unique_ptr<VXR_ClippingParams>[]> made(
        new (std::nothrow) std::unique_ptr<VXR_ClippingParams>[count]);
    if (made == nullptr) {
        return false;
    }
    const IP_ClipManager* firstPlanes = first->m_pClipManager;
    const VXR_ClippingParams* previous = first;
    for (std::size_t i = 0; i < count; ++i) {
        try {
            made[i].reset(new (std::nothrow) VXR_ClippingParams(*previous));
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (made[i] == nullptr) {
            return false;
        }
        VXR_ClippingParams& frame = *made[i];
        for (std::size_t m = 0; m < nMotions; ++m) {
            const PlaneMotion& motion = motions[m];
            const IP_ClippingPlane* base =
                firstPlanes != nullptr ? firstPlanes->GetClipPlane(motion.number) : nullptr;
            IP_ClippingPlane* plane = frame.GetClipPlane(motion.number);
            if (base != nullptr && plane != nullptr) {
                place_plane(*plane, *base, motion, static_cast<int>(i) + 1);
            }
            ++frame;
        }
        previous = &frame;
    }
    for (std::size_t i = 0; i < count; ++i) {
        frames[i + 1] = made[i].release();
    }
    return true;
}

void VXR_ClippingParams::HideClipping(bool hide) {
    if (m_pClipManager != nullptr) {
        m_pClipManager->HideAllClipPlanes(hide);
    }
    ++*this;
}

void VXR_ClippingParams::HideSlab(bool hide) {
    if (m_pClipManager != nullptr) {
        m_pClipManager->HideAllSlabPlanes(hide);
    }
    ++*this;
}

void VXR_ClippingParams::Reset(IP_ClipManager::ClipTypeEn type) {
    if (m_pClipManager != nullptr) {
        m_pClipManager->FreeAllClipPlane(type);
    }
    ++*this;
}

void VXR_ClippingParams::FlipClip(int number) {
    if (m_pClipManager != nullptr) {
        m_pClipManager->Flip(number);
    }
    ++*this;
}

void VXR_ClippingParams::Transform(float (*const m)[4], int number) {
    if (m_pClipManager != nullptr) {
        m_pClipManager->Transform(m, number);
    }
    ++*this;
}

IP_ClippingPlane* VXR_ClippingParams::NewClipPlane(int number) {
    ++*this;
    return m_pClipManager != nullptr ? m_pClipManager->NewClipPlane(number) : nullptr;
}

IP_ClippingPlane* VXR_ClippingParams::GetClipPlane(int number) {
    return m_pClipManager != nullptr ? m_pClipManager->GetClipPlane(number) : nullptr;
}

int VXR_ClippingParams::GetNumberClipPlanes() const {
    return m_pClipManager != nullptr ? m_pClipManager->GetNPlanes() : 0;
}
