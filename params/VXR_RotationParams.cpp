#include "VXR_RotationParams.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "IP/IP_3Coord.h"
#include "IP/IP_Matrix.h"
#include "log/Tmr_LogFile.h"

namespace {

constexpr const char* kLogSource = "VXR_RotationParams";
constexpr int kTraceLevel = 7;

// Degrees to radians as the viewer has always converted them: this exact float,
// multiplied in float with the float argument.
constexpr float kDegreesToRadians = 0.017453292f;
static_assert(std::bit_cast<std::uint32_t>(kDegreesToRadians) == 0x3C8EFA35u,
              "the degree factor must be the float 0x3C8EFA35");

// Squared distance of a row of the upper 3x3 block from the unit row below
// which two rotations count as the same: about 1.81 degrees of turn.
constexpr double kSameRotationTolerance = 0.001;

// True when m (the turn from one matrix to another) moves any of the three
// axes by the tolerance or more. Row 3 and column 3, the translation, are
// left out. A NaN sum is never below the tolerance, so it counts as a change.
bool turns_beyond_tolerance(const float (*m)[4]) {
    for (int i = 0; i < 3; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 3; ++j) {
            const double deviation = double(m[i][j]) - (i == j ? 1.0 : 0.0);
            sum += deviation * deviation;
        }
        if (!(sum < kSameRotationTolerance)) {
            return true;
        }
    }
    return false;
}

// out = from^-1 * to: the turn that leads from `from` to `to`. When `from` has
// no inverse the result is NaN, which every caller treats as "changed".
void turn_between(const float (*from)[4], const float (*to)[4], float (*out)[4]) {
    float inverse[4][4];
    IP_Minv(from, inverse);
    IP_Mmul(inverse, to, out);
}

}  // namespace

VXR_RotationParams::VXR_RotationParams() : m_DefaultOrientation(CoronalAnterior) {
    SetName("VXR_RotationParams");
    IP_Midnt(m_Rotation);
    ResetOrientation();
}

VXR_RotationParams::VXR_RotationParams(const VXR_RotationParams& other)
    : UTL_BaseParams(other), m_DefaultOrientation(SagittalLeft) {
    std::memcpy(m_Rotation, other.m_Rotation, sizeof m_Rotation);
}

VXR_RotationParams::~VXR_RotationParams() = default;

VXR_RotationParams& VXR_RotationParams::operator=(const VXR_RotationParams& other) {
    if (this != &other) {
        UTL_BaseParams::operator=(other);
        std::memcpy(m_Rotation, other.m_Rotation, sizeof m_Rotation);
        m_DefaultOrientation = other.m_DefaultOrientation;
    }
    return *this;
}

UTL_BaseParams& VXR_RotationParams::operator=(const UTL_BaseParams& other) {
    if (this != &other) {
        if (const auto* rotation = dynamic_cast<const VXR_RotationParams*>(&other)) {
            std::memcpy(m_Rotation, rotation->m_Rotation, sizeof m_Rotation);
        }
        UTL_BaseParams::operator=(other);
    }
    return *this;
}

void VXR_RotationParams::SetData(const UTL_BaseParams& other) {
    if (const auto* rotation = dynamic_cast<const VXR_RotationParams*>(&other)) {
        std::memmove(m_Rotation, rotation->m_Rotation, sizeof m_Rotation);
    }
    ++*this;
}

void VXR_RotationParams::Freeze() {
    if (UTL_BaseParams* source = GetSource()) {
        if (const auto* rotation = dynamic_cast<const VXR_RotationParams*>(source)) {
            std::memmove(m_Rotation, rotation->m_Rotation, sizeof m_Rotation);
        }
        // The base adopts the source's counter.
        UTL_BaseParams::Freeze();
    }
    TMR_LOG(kLogSource, kTraceLevel, "freeze vol data  \n");
}

UTL_BaseParams* VXR_RotationParams::Clone() {
    // The copy of the registered name allocates too: any allocation that
    // fails answers null.
    try {
        return new VXR_RotationParams(*this);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void VXR_RotationParams::Defrost() {
    TMR_LOG(kLogSource, kTraceLevel, "defrost vol data \n");
}

bool VXR_RotationParams::Interpolate(UTL_BaseParams** frames, int n, UTL_BaseParamsVec* /*vec*/) {
    if (frames == nullptr || n < 2) {
        return false;
    }
    const auto* first = dynamic_cast<const VXR_RotationParams*>(frames[0]);
    if (first == nullptr) {
        return false;
    }

    float step[4][4];
    int count = 0;
    if (frames[n - 1] != nullptr) {
        const auto* last = dynamic_cast<const VXR_RotationParams*>(frames[n - 1]);
        if (last == nullptr) {
            return false;
        }
        float turn[4][4];
        turn_between(first->m_Rotation, last->m_Rotation, turn);
        if (!turns_beyond_tolerance(turn)) {
            return false;
        }
        if (!IP_MgenNRoot(step, turn, n - 1)) {
            TMR_LOG(kLogSource, kTraceLevel, "Non-rotation matrix in Interpolate()\n");
            return false;
        }
        count = n - 2;
    } else {
        IP_3Coord axis(0.0f, -1.0f, 0.0f, 1.0f);
        axis.Normalize();
        const float angle = static_cast<float>(6.283185307179586 / n);
        IP_Mgenrot(step, angle, axis);
        count = n - 1;
    }

    // The new frames are gathered first and only then put into the slots, so
    // running out of memory half-way (in any allocation, the copies of the
    // registered name included) leaves the caller's array untouched.
    std::unique_ptr<std::unique_ptr<VXR_RotationParams>[]> made;
    try {
        made.reset(new std::unique_ptr<VXR_RotationParams>[static_cast<std::size_t>(count)]);
        const VXR_RotationParams* previous = first;
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
            made[i].reset(new VXR_RotationParams(*previous));
            IP_Mmul(previous->m_Rotation, step, made[i]->m_Rotation);
            ++*made[i];
            previous = made[i].get();
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        frames[i + 1] = made[i].release();
    }
    return true;
}

bool VXR_RotationParams::IsChanged(UTL_BaseParams* other) {
    if (other == nullptr) {
        return false;
    }
    const auto* rotation = dynamic_cast<const VXR_RotationParams*>(other);
    if (rotation == nullptr) {
        return UTL_BaseParams::IsChanged(other);
    }
    float turn[4][4];
    turn_between(m_Rotation, rotation->m_Rotation, turn);
    return turns_beyond_tolerance(turn);
}

void VXR_RotationParams::GetRotation(float (*const out)[4]) const {
    std::memmove(out, m_Rotation, sizeof m_Rotation);
}

void VXR_RotationParams::rotate(const float (*const m)[4]) {
    IP_Mmul(m_Rotation, m, m_Rotation);
    ++*this;
}

void VXR_RotationParams::Roll(const float (*const m)[4]) {
    IP_Mmul(m_Rotation, m, m_Rotation);
}

void VXR_RotationParams::Roll(float degrees) {
    float turn[4][4];
    IP_Mrotmat(turn, degrees * kDegreesToRadians, 'z');
    Roll(turn);
}

void VXR_RotationParams::SwivelHoriz(float degrees) {
    float turn[4][4];
    IP_Mrotmat(turn, degrees * kDegreesToRadians, 'y');
    rotate(turn);
}

void VXR_RotationParams::SwivelVert(float degrees) {
    float turn[4][4];
    IP_Mrotmat(turn, degrees * kDegreesToRadians, 'x');
    rotate(turn);
}

void VXR_RotationParams::FlipView() {
    SwivelHoriz(180.0f);
}

void VXR_RotationParams::SetDefaultOrientation(Orientation orientation) {
    m_DefaultOrientation = orientation;
}

void VXR_RotationParams::ResetOrientation() {
    IP_Midnt(m_Rotation);
    ++*this;
    // Compared unsigned: negative values fall out of range with the large ones.
    switch (static_cast<std::uint32_t>(m_DefaultOrientation)) {
        case AxialInferior:
            IP_Midnt(m_Rotation);
            ++*this;
            break;
        case AxialSuperior:
            ResetAxialSuperior();
            break;
        case CoronalAnterior:
            ResetCoronalAnterior();
            break;
        case CoronalPosterior:
            ResetCoronalPosterior();
            break;
        case SagittalLeft:
            ResetSagittalLeft();
            break;
        case SagittalRight:
            ResetSagittalRight();
            break;
        default:
            break;
    }
}

void VXR_RotationParams::Reset() {
    ResetOrientation();
    ++*this;
}

void VXR_RotationParams::ResetAxialInferior() {
    IP_Midnt(m_Rotation);
    ++*this;
}

void VXR_RotationParams::ResetAxialSuperior() {
    IP_Midnt(m_Rotation);
    SwivelHoriz(180.0f);
}

void VXR_RotationParams::ResetCoronalAnterior() {
    IP_Midnt(m_Rotation);
    SwivelVert(90.0f);
}

void VXR_RotationParams::ResetCoronalPosterior() {
    IP_Midnt(m_Rotation);
    SwivelVert(90.0f);
    SwivelHoriz(180.0f);
}

void VXR_RotationParams::ResetSagittalLeft() {
    IP_Midnt(m_Rotation);
    SwivelHoriz(90.0f);
    Roll(-90.0f);
}

void VXR_RotationParams::ResetSagittalRight() {
    IP_Midnt(m_Rotation);
    SwivelHoriz(270.0f);
    Roll(90.0f);
}
