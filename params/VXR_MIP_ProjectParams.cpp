#include "VXR_MIP_ProjectParams.h"

#include <memory>
#include <new>

#include "IP/IP_Projector.h"
#include "IP/IP_Tissue.h"
#include "log/Tmr_LogFile.h"

namespace {

constexpr const char* kLogSource = "VXR_MIP_ProjectParams";
constexpr int kTraceLevel = 7;

IP_VolRBoxParamsMIP* mip_box(IP_VolRBoxParams* box) {
    return static_cast<IP_VolRBoxParamsMIP*>(box);
}

void* tpict_of(IP_VolRBoxParams* box) {
    return box->GetTPict().Data();
}

// Releases the box's picture and zeroes its picture state.
void release_tpict(IP_VolRBoxParams* box) {
    box->GetTPict().Release();
    box->m_nPictState = 0;
}

// As release_tpict, and zeroes the MIP flag and value too.
void reset_mip_box(IP_VolRBoxParams* box) {
    release_tpict(box);
    mip_box(box)->m_bFlag = 0;
    mip_box(box)->m_nValue = 0;
}

}  // namespace

VXR_MIP_ProjectParams::VXR_MIP_ProjectParams() : m_pTissueList(nullptr) {
    m_bOriginalCopy = false;
    m_pVolRParams = new IP_VolRParamsMIP;
}

VXR_MIP_ProjectParams::VXR_MIP_ProjectParams(const VXR_MIP_ProjectParams& other)
    : VXR_ProjectParams(other), m_pTissueList(nullptr) {
    m_pVolRParams = new (std::nothrow) IP_VolRParamsMIP;
    if (m_pVolRParams == nullptr) {
        throw std::bad_alloc();
    }
    copy_ZoomAccess(const_cast<VXR_MIP_ProjectParams*>(&other));
    try {
        copy_data(other);
    } catch (...) {
        release_all();
        throw;
    }
    m_bOriginalCopy = true;
}

VXR_MIP_ProjectParams::~VXR_MIP_ProjectParams() {
    Clear(true);
    release_all();
}

void VXR_MIP_ProjectParams::release_all() {
    delete_box_lists();
    IP_AssignRef(m_pTissueList, static_cast<IP_MultiRealListVol*>(nullptr));
    delete m_pVolRParams;
    m_pVolRParams = nullptr;
}

UTL_BaseParams& VXR_MIP_ProjectParams::operator=(const UTL_BaseParams& other) {
    if (const auto* mip = dynamic_cast<const VXR_MIP_ProjectParams*>(&other)) {
        copy_data(*mip);
    }
    return VXR_ProjectParams::operator=(other);
}

VXR_MIP_ProjectParams& VXR_MIP_ProjectParams::operator=(const VXR_MIP_ProjectParams& other) {
    VXR_ProjectParams::operator=(other);
    return *this;
}

UTL_BaseParams* VXR_MIP_ProjectParams::Clone() {
    try {
        return new (std::nothrow) VXR_MIP_ProjectParams(*this);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

IP_MultiRealListVol* VXR_MIP_ProjectParams::GetTissueList() {
    return m_pTissueList;
}

IP_VolRBoxParamsMIP* VXR_MIP_ProjectParams::GetMIPBox(unsigned i) const {
    return mip_box(GetNBoxParams(i));
}

IP_VolRBoxParamsMIP* VXR_MIP_ProjectParams::GetMIPTranspBox(unsigned i) const {
    return mip_box(GetNTranspBoxParams(i));
}

void VXR_MIP_ProjectParams::copy_data(const VXR_MIP_ProjectParams& from) {
    if (this == &from) {
        return;
    }
    m_bPrivateTPict = false;
    m_nVolDataState = from.m_nVolDataState;
    m_nPictState = from.m_nPictState;
    m_nMaxState = from.m_nMaxState;
    if (from.GetMIPParams()->GetSlow() != nullptr) {
        *GetMIPParams() = *from.GetMIPParams();
        copy_boxParams(&from, this);
    }
    IP_AssignRef(m_pTissueList, from.m_pTissueList);
}

bool VXR_MIP_ProjectParams::append_box_pair() {
    return VXR_ProjectParams::append_box_pair<IP_VolRBoxParamsMIP>();
}

void VXR_MIP_ProjectParams::copy_boxParams(const VXR_MIP_ProjectParams* from,
                                           VXR_MIP_ProjectParams* to) {
    copy_box_lists<IP_VolRBoxParamsMIP>(from, to, Surplus::FromFront);
}

void VXR_MIP_ProjectParams::SetTissueList(IP_MultiRealListVol* list) {
    if (m_pTissueList != nullptr) {
        IP_AssignRef(m_pTissueList, static_cast<IP_MultiRealListVol*>(nullptr));
        if (auto* source = dynamic_cast<VXR_MIP_ProjectParams*>(source_params())) {
            IP_AssignRef(source->m_pTissueList, static_cast<IP_MultiRealListVol*>(nullptr));
        }
    }
    // The caller's reference passes to this object.
    m_pTissueList = list;
}

void VXR_MIP_ProjectParams::SetSlowTissueList(IP_MultiRealListVol* list) {
    if (IP_MultiVolDataIncMIP* slow = GetMIPParams()->GetSlow()) {
        slow->SetSlowTissueList(list);
    }
}

void VXR_MIP_ProjectParams::ResetVolData(bool /*with_delete*/) {}

bool VXR_MIP_ProjectParams::Relate(IP_3Coord screen, float (*const view)[4],
                                   IP_VolRClipManager* clip, IP_3Coord* out) {
    IP_VolRParamsMIP* params = GetMIPParams();
    params->SetViewMatrix(view);
    params->SetClipManager(clip);
    if (params->GetSlow() == nullptr) {
        return false;
    }
    IP_3Coord physical(0.0f, 0.0f, 0.0f, 1.0f);
    return IP_MIPProjector::Screen2Physical(params, IP_3Coord(screen.x, screen.y, screen.z, 1.0f),
                                            &physical, out);
}

bool VXR_MIP_ProjectParams::IncrementalCopyVolData(IP_MultiVolData* data,
                                                   IP_MultiRealListVol& tissues, bool flag, int a,
                                                   int b, int c) {
    IP_VolRParamsMIP* params = GetMIPParams();
    IP_MultiVolDataIncMIP* slow = params->GetSlow();
    if (slow != nullptr) {
        for (std::size_t i = 0; i < m_lstBoxParams.entries(); ++i) {
            TMR_LOG(kLogSource, kTraceLevel,
                    "%p VXR_MIP_ProjectParams::IncrementalCopyVolData delete %p\n",
                    static_cast<void*>(this), tpict_of(m_lstBoxParams[i]));
            release_tpict(m_lstBoxParams[i]);
            release_tpict(m_lstTranspBoxParams[i]);
        }
        m_nPictState = 0;
        if (VXR_ProjectParams* source = source_params()) {
            source->SetPictState(0);
        }
        delete_box_lists();
    } else {
        Invalidate();
        slow = new (std::nothrow) IP_MultiVolDataIncMIP;
        if (slow == nullptr) {
            return false;
        }
        params->SetSlow(slow);
        slow->Release();
    }
    bool r = slow->Rebuild(data, &tissues, flag, 1, a, b, 1, true, c);
    const int n = slow->GetNVolData();
    if (n > 0) {
        for (int i = 0; i < n; ++i) {
            if (!append_box_pair()) {
                r = false;
                break;
            }
            mip_box(m_lstBoxParams.last())->m_nCounter -= 1;
            mip_box(m_lstTranspBoxParams.last())->m_nCounter -= 1;
        }
        m_bOriginalCopy = true;
        TMR_LOG(kLogSource, kTraceLevel, "incremental copy slow vol data newMultiVolData: %p\n",
                static_cast<void*>(slow));
    }
    return r;
}

bool VXR_MIP_ProjectParams::IncrementalBuildFastFromSlowVolData(IP_MultiVolData* data,
                                                                IP_MultiRealListVol& tissues,
                                                                bool flag, int a, int b, int c) {
    IP_VolRParamsMIP* params = GetMIPParams();
    IP_MultiVolDataIncMIP* fast = params->GetFast();
    if (fast == nullptr) {
        fast = new (std::nothrow) IP_MultiVolDataIncMIP;
        if (fast == nullptr) {
            return false;
        }
        params->SetFast(fast);
        fast->Release();
    }
    const bool r = fast->Rebuild(data, &tissues, flag, 2, a, b, 0, false, c);
    if (fast->GetNVolData() > 0) {
        m_bOriginalCopy = true;
        TMR_LOG(kLogSource, kTraceLevel, "incremental copy fast vol data newMultiVolData: %p\n",
                static_cast<void*>(fast));
    }
    return r;
}

bool VXR_MIP_ProjectParams::CopyVolDataWithTissue(IP_MultiVolData* data,
                                                  IP_MultiRealListVol& tissues, int a, int b,
                                                  int c) {
    IP_MultiVolDataIncMIP* slow = GetMIPParams()->GetSlow();
    if (slow == nullptr) {
        return false;
    }
    const bool r = slow->CopyWithTissue(data, &tissues, a, b, c);
    if (slow->GetNVolData() > 0) {
        m_bOriginalCopy = true;
        TMR_LOG(kLogSource, kTraceLevel,
                "copy slow vol data with new tissue, newMultiVolData: %p\n",
                static_cast<void*>(slow));
    }
    return r;
}

bool VXR_MIP_ProjectParams::CopyFastFromSlowVolData(IP_MultiVolData* data,
                                                    IP_MultiRealListVol& tissues, int a, int b,
                                                    int c) {
    IP_MultiVolDataIncMIP* fast = GetMIPParams()->GetFast();
    if (fast == nullptr) {
        return false;
    }
    const bool r = fast->CopyFastFromSlow(data, &tissues, a, b, c);
    if (fast->GetNVolData() > 0) {
        m_bOriginalCopy = true;
        TMR_LOG(kLogSource, kTraceLevel,
                "copy fast vol data with new tissue, newMultiVolData: %p\n",
                static_cast<void*>(fast));
    }
    return r;
}

void VXR_MIP_ProjectParams::Freeze() {
    if (auto* source = dynamic_cast<VXR_MIP_ProjectParams*>(source_params())) {
        for (std::size_t i = 0; i < source->m_lstBoxParams.entries(); ++i) {
            TMR_LOG(kLogSource, kTraceLevel, "%p VXR_MIP_ProjectParams::Freeze reset\n",
                    static_cast<void*>(source));
            reset_mip_box(source->m_lstBoxParams[i]);
            reset_mip_box(source->m_lstTranspBoxParams[i]);
        }
        source->m_nPictState = 0;
        m_bPrivateTPict = true;
        if (any_box_without_tpict()) {
            source->UTL_ChangeCounter::operator++();
        }
        VXR_ProjectParams::Freeze();
    }
    TMR_LOG(kLogSource, kTraceLevel, "freeze vol data  \n");
}

void VXR_MIP_ProjectParams::Defrost() {
    TMR_LOG(kLogSource, kTraceLevel, "defrost vol data \n");
    auto* source = dynamic_cast<VXR_MIP_ProjectParams*>(source_params());
    if (source == nullptr) {
        return;
    }
    IP_VolRParamsMIP* mine = GetMIPParams();
    IP_VolRParamsMIP* theirs = source->GetMIPParams();
    theirs->SetSlow(mine->GetSlow());
    theirs->SetFast(mine->GetFast());
    IP_AssignRef(source->m_pTissueList, m_pTissueList);
    theirs->GetBoundingBox() = mine->GetBoundingBox();
    copy_boxParams(this, source);
    theirs->GetBox() = mine->GetBox();
    source->m_nVolDataState = m_nVolDataState;
    source->m_nPictState = m_nPictState;
    m_bPrivateTPict = false;
    VXR_ProjectParams::Defrost();
}

void VXR_MIP_ProjectParams::Clear(bool with_delete) {
    IP_VolRParamsMIP* params = GetMIPParams();
    auto* source = dynamic_cast<VXR_MIP_ProjectParams*>(source_params());
    if (source != nullptr) {
        // While the source still refers to the data or the list, they stay
        // with it; this object's references go with this object.
        if (source->GetMIPParams()->GetSlow() == nullptr) {
            TMR_LOG(kLogSource, kTraceLevel, "delete mvoldata %p\n",
                    static_cast<void*>(params->GetSlow()));
            params->SetSlow(nullptr);
            params->SetFast(nullptr);
        }
        if (source->m_pTissueList == nullptr) {
            IP_AssignRef(m_pTissueList, static_cast<IP_MultiRealListVol*>(nullptr));
        }
    } else if (!m_bOriginalCopy) {
        TMR_LOG(kLogSource, kTraceLevel, "org delete mvoldata %p\n",
                static_cast<void*>(params->GetSlow()));
        if (with_delete) {
            m_nVolDataState = 0;
        }
        params->SetSlow(nullptr);
        params->SetFast(nullptr);
        IP_AssignRef(m_pTissueList, static_cast<IP_MultiRealListVol*>(nullptr));
        for (std::size_t i = 0; i < m_lstBoxParams.entries(); ++i) {
            release_tpict(m_lstBoxParams[i]);
            release_tpict(m_lstTranspBoxParams[i]);
        }
        m_nPictState = 0;
    }
    if (m_bPrivateTPict) {
        for (std::size_t i = 0; i < m_lstBoxParams.entries(); ++i) {
            TMR_LOG(kLogSource, kTraceLevel,
                    "%p VXR_MIP_ProjectParams::Clear private_tpict reset %p\n",
                    static_cast<void*>(this), tpict_of(m_lstBoxParams[i]));
            release_tpict(m_lstBoxParams[i]);
            release_tpict(m_lstTranspBoxParams[i]);
        }
        m_nPictState = 0;
        if (source != nullptr) {
            source->m_nPictState = 0;
        }
    }
    delete_box_lists();
}

void VXR_MIP_ProjectParams::ForceLocalCopy() {
    IP_VolRParamsMIP* params = GetMIPParams();
    params->SetSlow(nullptr);
    params->SetFast(nullptr);
    IP_AssignRef(m_pTissueList, static_cast<IP_MultiRealListVol*>(nullptr));
    m_bOriginalCopy = false;
    m_nVolDataState = -1;
    m_nPictState = -1;
    for (std::size_t i = 0; i < m_lstBoxParams.entries(); ++i) {
        TMR_LOG(kLogSource, kTraceLevel, "%p VXR_MIP_ProjectParams::ForceLocalCopy reset %p\n",
                static_cast<void*>(this), tpict_of(m_lstBoxParams[i]));
        reset_mip_box(m_lstBoxParams[i]);
        reset_mip_box(m_lstTranspBoxParams[i]);
    }
    m_nPictState = 0;
    for (int i = 0; i < IP_VolRParams::kPictCount; ++i) {
        params->GetPict(i).Release();
    }
    params->SetPictValue(0);
    UTL_ChangeCounter::operator++();
}
