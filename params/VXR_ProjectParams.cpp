#include "VXR_ProjectParams.h"

#include "log/Tmr_LogFile.h"

namespace {

constexpr const char* kLogSource = "VXR_ProjectParams";
constexpr int kTraceLevel = 7;

}  // namespace

VXR_ProjectParams::VXR_ProjectParams()
    : m_nVolDataState(0),
      m_nPictState(0),
      m_nMaxState(0),
      m_pVolRParams(nullptr),
      m_bOriginalCopy(false),
      m_bPrivateTPict(false) {
    SetName("VXR_ProjectParams");
}

VXR_ProjectParams::VXR_ProjectParams(const VXR_ProjectParams& other)
    : UTL_BaseParams(other),
      m_nVolDataState(other.m_nVolDataState),
      m_nPictState(other.m_nPictState),
      m_nMaxState(other.m_nMaxState),
      m_pVolRParams(nullptr),
      m_bOriginalCopy(false),
      m_bPrivateTPict(false) {
    SetName("VXR_ProjectParams");
}

// The kinds' destructors have deleted the elements through Clear.
VXR_ProjectParams::~VXR_ProjectParams() = default;

UTL_BaseParams& VXR_ProjectParams::operator=(const UTL_BaseParams& other) {
    return UTL_BaseParams::operator=(other);
}

VXR_ProjectParams& VXR_ProjectParams::operator=(const VXR_ProjectParams& other) {
    // The virtual assignment of the object's class does the work.
    UTL_BaseParams& self = *this;
    self = static_cast<const UTL_BaseParams&>(other);
    return *this;
}

void VXR_ProjectParams::Freeze() {
    VXR_ProjectParams* source = source_params();
    if (source == nullptr) {
        return;
    }
    if (source->m_nMaxState > m_nMaxState) {
        m_nMaxState = source->m_nMaxState;
    }
    copy_ZoomAccess(source);
    UTL_ChangeCounter::operator=(*source);
}

void VXR_ProjectParams::Defrost() {
    if (VXR_ProjectParams* source = source_params()) {
        source->m_nMaxState = m_nMaxState;
    }
}

void VXR_ProjectParams::Clear(bool /*with_delete*/) {}

IP_MultiRealListVol* VXR_ProjectParams::GetTissueList() {
    return nullptr;
}

IP_Box* VXR_ProjectParams::GetBox() {
    return m_pVolRParams != nullptr ? &m_pVolRParams->GetBox() : nullptr;
}

IP_Box* VXR_ProjectParams::GetBoundingBox() {
    return m_pVolRParams != nullptr ? &m_pVolRParams->GetBoundingBox() : nullptr;
}

IP_VolRBoxParams* VXR_ProjectParams::GetNBoxParams(unsigned i) const {
    return i < m_lstBoxParams.entries() ? m_lstBoxParams[i] : nullptr;
}

IP_VolRBoxParams* VXR_ProjectParams::GetNTranspBoxParams(unsigned i) const {
    return i < m_lstTranspBoxParams.entries() ? m_lstTranspBoxParams[i] : nullptr;
}

void VXR_ProjectParams::Reset() {
    UTL_ChangeCounter::operator++();
}

void VXR_ProjectParams::Invalidate() {
    VXR_ProjectParams* source = source_params();
    if (source == nullptr || source->m_pVolRParams == nullptr) {
        return;
    }
    TMR_LOG(kLogSource, kTraceLevel, "Invalidate source vol data\n");
    source->m_pVolRParams->DropSlowVolData();
    source->m_pVolRParams->DropFastVolData();
}

void VXR_ProjectParams::InvalidateSlow() {
    VXR_ProjectParams* source = source_params();
    if (source == nullptr || source->m_pVolRParams == nullptr) {
        return;
    }
    TMR_LOG(kLogSource, kTraceLevel, "Invalidate slow source vol data\n");
    source->m_pVolRParams->DropSlowVolData();
}

void VXR_ProjectParams::InvalidateFast() {
    VXR_ProjectParams* source = source_params();
    if (source == nullptr || source->m_pVolRParams == nullptr) {
        return;
    }
    TMR_LOG(kLogSource, kTraceLevel, "Invalidate fast source vol data\n");
    source->m_pVolRParams->DropFastVolData();
}

bool VXR_ProjectParams::EnterDataProtectCriticalSection() {
    IP_MultiVolDataInc* slow = m_pVolRParams != nullptr ? m_pVolRParams->GetSlowVolData() : nullptr;
    if (slow == nullptr) {
        return false;
    }
    slow->EnterDataProtectCriticalSection();
    return true;
}

bool VXR_ProjectParams::TryEnterDataProtectCriticalSection() {
    IP_MultiVolDataInc* slow = m_pVolRParams != nullptr ? m_pVolRParams->GetSlowVolData() : nullptr;
    return slow != nullptr && slow->TryEnterDataProtectCriticalSection();
}

void VXR_ProjectParams::LeaveDataProtectCriticalSection() {
    IP_MultiVolDataInc* slow = m_pVolRParams != nullptr ? m_pVolRParams->GetSlowVolData() : nullptr;
    if (slow != nullptr) {
        slow->LeaveDataProtectCriticalSection();
    }
}

void VXR_ProjectParams::copy_ZoomAccess(VXR_ProjectParams* from) {
    if (from != nullptr && from->m_pVolRParams != nullptr && m_pVolRParams != nullptr) {
        m_pVolRParams->SetZoomAccess(from->m_pVolRParams->GetZoomAccess());
    }
}

VXR_ProjectParams* VXR_ProjectParams::source_params() const {
    return dynamic_cast<VXR_ProjectParams*>(GetSource());
}

void VXR_ProjectParams::delete_box_lists() {
    for (IP_VolRBoxParams* box : m_lstBoxParams) {
        delete box;
    }
    for (IP_VolRBoxParams* box : m_lstTranspBoxParams) {
        delete box;
    }
    m_lstBoxParams.clear();
    m_lstTranspBoxParams.clear();
}

bool VXR_ProjectParams::any_box_without_tpict() const {
    for (IP_VolRBoxParams* box : m_lstBoxParams) {
        if (box->GetTPict().Size() == 0) {
            return true;
        }
    }
    return false;
}
