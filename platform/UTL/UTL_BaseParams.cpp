#include "UTL/UTL_BaseParams.h"

#include <new>

UTL_BaseParams::UTL_BaseParams(const UTL_BaseParams& other)
    : UTL_ChangeCounter(other), m_Name(other.m_Name), m_bUpdatedFromDDP(other.m_bUpdatedFromDDP) {}

long UTL_BaseParams::AddRef() {
    return ++m_nRefCount;
}

long UTL_BaseParams::Release() {
    const long remaining = --m_nRefCount;
    if (remaining == 0) {
        delete this;
    }
    return remaining;
}

UTL_BaseParams& UTL_BaseParams::operator=(const UTL_BaseParams& other) {
    if (this != &other) {
        UTL_ChangeCounter::operator=(other);
        m_Name = other.m_Name;
        m_bUpdatedFromDDP = other.m_bUpdatedFromDDP;
    }
    return *this;
}

void UTL_BaseParams::SetData(const UTL_BaseParams& /*other*/) {
    ++*this;
}

void UTL_BaseParams::Freeze() {
    if (m_pSource != nullptr) {
        UTL_ChangeCounter::operator=(*m_pSource);
    }
}

UTL_BaseParams* UTL_BaseParams::Clone() {
    // The copy of the registered name allocates too: any allocation that
    // fails answers null.
    try {
        return new UTL_BaseParams(*this);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void UTL_BaseParams::Defrost() {}

bool UTL_BaseParams::IsBurnToRasterNeeded() {
    return false;
}

void UTL_BaseParams::Update(UTL_BaseParams* /*other*/) {}

bool UTL_BaseParams::Interpolate(UTL_BaseParams** /*frames*/, int /*n*/,
                                 UTL_BaseParamsVec* /*vec*/) {
    return false;
}

bool UTL_BaseParams::IsChanged(UTL_BaseParams* other) {
    return other != nullptr && static_cast<const UTL_ChangeCounter&>(*this) != *other;
}

int UTL_BaseParams::GetNumberOfFramesForInterpolation() {
    return 0;
}

void UTL_BaseParams::Copy() {}

void UTL_BaseParams::Paste() {}

void UTL_BaseParams::UpdateSR() {}

void UTL_BaseParams::RecordDDPInfo(DDPInfoVector& /*info*/, bool /*flag*/) {}

bool UTL_BaseParams::AffectedByPresentation() {
    return false;
}

bool UTL_BaseParams::IsUpdatedFromDDP() {
    return m_bUpdatedFromDDP;
}

void UTL_BaseParams::SetUpdatedFromDDP(bool updated) {
    m_bUpdatedFromDDP = updated;
}

void UTL_BaseParams::SetName(const char* name) {
    m_Name = name != nullptr ? name : "";
}
