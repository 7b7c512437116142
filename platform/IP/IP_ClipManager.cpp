#include "IP/IP_ClipManager.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <utility>

#include "IP/IP_Matrix.h"

namespace {

// Normalises (a, b, c, d) in double so that (a, b, c) has unit length. False
// for a zero normal, any non-finite input, or a result beyond float range.
bool normalised_plane(const double in[4], float out[4]) {
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(in[i])) {
            return false;
        }
    }
    const double length = std::hypot(in[0], in[1], in[2]);
    if (!(length > 0.0) || !std::isfinite(length)) {
        return false;
    }
    double scaled[4];
    for (int i = 0; i < 4; ++i) {
        scaled[i] = in[i] / length;
        if (!(std::fabs(scaled[i]) <= double(std::numeric_limits<float>::max()))) {
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<float>(scaled[i]);
    }
    return true;
}

}  // namespace

// --- IP_ClippingPlane --------------------------------------------------------

IP_ClippingPlane::IP_ClippingPlane(const IP_ClippingPlane& other)
    : m_nNumber(other.m_nNumber), m_nSlabPartner(other.m_nSlabPartner), m_pOwner(nullptr) {
    std::copy(std::begin(other.m_Eq), std::end(other.m_Eq), std::begin(m_Eq));
}

IP_ClippingPlane& IP_ClippingPlane::operator=(const IP_ClippingPlane& other) {
    if (this != &other) {
        std::copy(std::begin(other.m_Eq), std::end(other.m_Eq), std::begin(m_Eq));
        // A plane cannot be its own partner: a link to itself would make it a
        // slab of one.
        m_nSlabPartner = (other.m_nSlabPartner >= 0 && other.m_nSlabPartner != m_nNumber)
                             ? other.m_nSlabPartner
                             : -1;
        modified();
    }
    return *this;
}

void IP_ClippingPlane::GetPlaneEq(float* eq) const {
    std::copy(std::begin(m_Eq), std::end(m_Eq), eq);
}

bool IP_ClippingPlane::SetPlaneEq(float a, float b, float c, float d) {
    const double in[4] = {a, b, c, d};
    float out[4];
    if (!normalised_plane(in, out)) {
        return false;
    }
    std::copy(std::begin(out), std::end(out), std::begin(m_Eq));
    modified();
    return true;
}

bool IP_ClippingPlane::SetPlaneEq(const float* eq) {
    return eq != nullptr && SetPlaneEq(eq[0], eq[1], eq[2], eq[3]);
}

double IP_ClippingPlane::SignedDistance(const IP_3Coord& p) const {
    return double(m_Eq[0]) * p.x + double(m_Eq[1]) * p.y + double(m_Eq[2]) * p.z - double(m_Eq[3]);
}

bool IP_ClippingPlane::Keeps(const IP_3Coord& p, double tolerance) const {
    return SignedDistance(p) <= tolerance;
}

void IP_ClippingPlane::Flip() {
    for (float& v : m_Eq) {
        v = -v;
    }
    modified();
}

bool IP_ClippingPlane::Transform(const float (*m)[4]) {
    if (m == nullptr) {
        return false;
    }
    float carried[4];
    std::copy(std::begin(m_Eq), std::end(m_Eq), std::begin(carried));
    if (!IP_myeqtrans(carried, m)) {
        return false;
    }
    const double in[4] = {carried[0], carried[1], carried[2], carried[3]};
    float out[4];
    if (!normalised_plane(in, out)) {
        return false;
    }
    std::copy(std::begin(out), std::end(out), std::begin(m_Eq));
    modified();
    return true;
}

void IP_ClippingPlane::modified() {
    if (m_pOwner != nullptr) {
        m_pOwner->Modified();
    }
}

// --- IP_ClipManager ----------------------------------------------------------

IP_ClipManager::IP_ClipManager(const IP_ClipManager& other)
    : m_Planes(other.m_Planes),
      m_bClipHidden(other.m_bClipHidden),
      m_bSlabHidden(other.m_bSlabHidden),
      m_nModCount(other.m_nModCount) {
    adopt_planes();
}

IP_ClipManager& IP_ClipManager::operator=(const IP_ClipManager& other) {
    if (this != &other) {
        std::map<int, IP_ClippingPlane> copy(other.m_Planes);  // may raise; nothing touched yet
        m_Planes.swap(copy);
        m_bClipHidden = other.m_bClipHidden;
        m_bSlabHidden = other.m_bSlabHidden;
        m_nModCount = other.m_nModCount;
        m_nWalkAfter = -1;
        adopt_planes();
    }
    return *this;
}

IP_ClipManager::~IP_ClipManager() = default;

void IP_ClipManager::adopt_planes() {
    for (auto& [number, plane] : m_Planes) {
        plane.m_pOwner = this;
    }
}

IP_ClippingPlane* IP_ClipManager::NewClipPlane(int number) {
    if (number < 0) {
        return nullptr;
    }
    if (IP_ClippingPlane* held = GetClipPlane(number)) {
        return held;
    }
    if (GetNPlanes() >= kIP_MaxClipPlanes) {
        return nullptr;
    }
    try {
        IP_ClippingPlane& plane = m_Planes[number];
        plane.m_nNumber = number;
        plane.m_pOwner = this;
        Modified();
        return &plane;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

IP_ClippingPlane* IP_ClipManager::GetClipPlane(int number) {
    const auto found = m_Planes.find(number);
    return found != m_Planes.end() ? &found->second : nullptr;
}

const IP_ClippingPlane* IP_ClipManager::GetClipPlane(int number) const {
    const auto found = m_Planes.find(number);
    return found != m_Planes.end() ? &found->second : nullptr;
}

void IP_ClipManager::unlink_partner_of(const IP_ClippingPlane& plane) {
    if (plane.m_nSlabPartner < 0) {
        return;
    }
    IP_ClippingPlane* partner = GetClipPlane(plane.m_nSlabPartner);
    if (partner != nullptr && partner->m_nSlabPartner == plane.m_nNumber) {
        partner->m_nSlabPartner = -1;
    }
}

bool IP_ClipManager::FreeClipPlane(int number) {
    const auto found = m_Planes.find(number);
    if (found == m_Planes.end()) {
        return false;
    }
    unlink_partner_of(found->second);
    m_Planes.erase(found);
    Modified();
    return true;
}

void IP_ClipManager::FreeAllClipPlane(ClipTypeEn type) {
    if (type != CLIP_PLANES && type != SLAB_PLANES && type != ALL_PLANES) {
        return;
    }
    // The kinds are decided before anything is removed: freeing one partner
    // of a slab must not turn the other into a clip plane that is then freed
    // as one. A manager never holds more than kIP_MaxClipPlanes planes, so the
    // list needs no allocation.
    std::array<int, kIP_MaxClipPlanes> doomed{};
    std::size_t count = 0;
    for (const auto& [number, plane] : m_Planes) {
        if (count < doomed.size() &&
            (type == ALL_PLANES || (type == SLAB_PLANES) == plane.IsSlabPlane())) {
            doomed[count++] = number;
        }
    }
    const auto is_doomed = [&](int number) {
        return std::find(doomed.begin(), doomed.begin() + static_cast<std::ptrdiff_t>(count),
                         number) != doomed.begin() + static_cast<std::ptrdiff_t>(count);
    };
    for (std::size_t i = 0; i < count; ++i) {
        m_Planes.erase(doomed[i]);
    }
    for (auto& [number, plane] : m_Planes) {
        if (plane.m_nSlabPartner >= 0 && is_doomed(plane.m_nSlabPartner)) {
            plane.m_nSlabPartner = -1;
        }
    }
    Modified();
}

void IP_ClipManager::ResetIterator() {
    m_nWalkAfter = -1;
}

IP_ClippingPlane* IP_ClipManager::GetNextPlane() {
    const auto next = m_Planes.upper_bound(m_nWalkAfter);
    if (next == m_Planes.end()) {
        return nullptr;
    }
    m_nWalkAfter = next->first;
    return &next->second;
}

void IP_ClipManager::HideAllClipPlanes(bool hide) {
    m_bClipHidden = hide;
    Modified();
}

void IP_ClipManager::HideAllSlabPlanes(bool hide) {
    m_bSlabHidden = hide;
    Modified();
}

bool IP_ClipManager::IsHidden(const IP_ClippingPlane& plane) const {
    return plane.IsSlabPlane() ? m_bSlabHidden : m_bClipHidden;
}

bool IP_ClipManager::SetSlab(int number, int partner) {
    IP_ClippingPlane* first = GetClipPlane(number);
    IP_ClippingPlane* second = GetClipPlane(partner);
    if (first == nullptr || second == nullptr || first == second) {
        return false;
    }
    unlink_partner_of(*first);
    unlink_partner_of(*second);
    first->m_nSlabPartner = partner;
    second->m_nSlabPartner = number;
    Modified();
    return true;
}

bool IP_ClipManager::BreakSlab(int number) {
    IP_ClippingPlane* plane = GetClipPlane(number);
    if (plane == nullptr) {
        return false;
    }
    unlink_partner_of(*plane);
    plane->m_nSlabPartner = -1;
    Modified();
    return true;
}

bool IP_ClipManager::Flip(int number) {
    IP_ClippingPlane* plane = GetClipPlane(number);
    if (plane == nullptr) {
        return false;
    }
    plane->Flip();
    return true;
}

bool IP_ClipManager::Transform(const float (*m)[4], int number) {
    IP_ClippingPlane* plane = GetClipPlane(number);
    return plane != nullptr && plane->Transform(m);
}

bool IP_ClipManager::IsInside(const IP_3Coord& p, double tolerance) const {
    if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) {
        return false;
    }
    for (const auto& [number, plane] : m_Planes) {
        if (!IsHidden(plane) && !plane.Keeps(p, tolerance)) {
            return false;
        }
    }
    return true;
}

bool IP_ClipManager::ClipLine(const IP_3Coord& origin, const IP_3Coord& direction, double& tmin,
                              double& tmax) const {
    const double o[3] = {origin.x, origin.y, origin.z};
    const double v[3] = {direction.x, direction.y, direction.z};
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(o[i]) || !std::isfinite(v[i])) {
            return false;
        }
    }
    if (std::isnan(tmin) || std::isnan(tmax)) {
        return false;
    }
    for (const auto& [number, plane] : m_Planes) {
        if (IsHidden(plane)) {
            continue;
        }
        float eq[4];
        plane.GetPlaneEq(eq);
        // Kept where eq.n * (o + t v) - d <= 0, i.e. t * along <= room.
        const double room = double(eq[3]) - (eq[0] * o[0] + eq[1] * o[1] + eq[2] * o[2]);
        const double along = eq[0] * v[0] + eq[1] * v[1] + eq[2] * v[2];
        if (along == 0.0) {
            if (room < 0.0) {
                return false;
            }
        } else if (along > 0.0) {
            tmax = std::min(tmax, room / along);
        } else {
            tmin = std::max(tmin, room / along);
        }
        if (tmin > tmax) {
            return false;
        }
    }
    return tmin <= tmax;
}

void IP_ClipManager::Modified() {
    m_nModCount = static_cast<int>(static_cast<unsigned>(m_nModCount) + 1u);
}

IP_VolRClipManager::~IP_VolRClipManager() = default;
