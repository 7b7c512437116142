#include "VXR_VolR_ProjectParams.h"

#include <memory>
#include <new>

#include "IP/IP_Projector.h"
#include "IP/IP_Tissue.h"
#include "log/Tmr_LogFile.h"

namespace {

constexpr const char* kLogSource = "VXR_VolR_ProjectParams";
constexpr int kTraceLevel = 7;
constexpr int kPictLevel = 5;
constexpr int kBufferLevel = 6;

IP_VolRBoxParamsVolR* volr_box(IP_VolRBoxParams* box) {
    return static_cast<IP_VolRBoxParamsVolR*>(box);
}

void* vp(const void* p) {
    return const_cast<void*>(p);
}

// Releases the rgbtpict and the second buffer.
void release_first_two(IP_VolRBoxParamsVolR* box) {
    box->GetRGBTPict().Release();
    box->GetSecondPict().Release();
}

// Empties the third buffer without releasing it: the handle is replaced by one
// of no pager (the block goes when its last handle does).
void empty_third(IP_VolRBoxParamsVolR* box) {
    box->GetThirdPict() = MEM_PagerInfo();
}

}  // namespace

VXR_VolR_ProjectParams::VXR_VolR_ProjectParams() : m_aVolRState{} {
    m_bOriginalCopy = false;
    m_pVolRParams = new IP_VolRParamsVolR;
    reset_ColorTables();
}

VXR_VolR_ProjectParams::VXR_VolR_ProjectParams(const VXR_VolR_ProjectParams& other)
    : VXR_ProjectParams(other), m_aVolRState{} {
    m_pVolRParams = new (std::nothrow) IP_VolRParamsVolR;
    if (m_pVolRParams == nullptr) {
        throw std::bad_alloc();
    }
    copy_ZoomAccess(const_cast<VXR_VolR_ProjectParams*>(&other));
    reset_ColorTables();
    try {
        copy_data(other);
    } catch (...) {
        delete_box_lists();
        delete m_pVolRParams;
        m_pVolRParams = nullptr;
        throw;
    }
    m_bOriginalCopy = true;
}

VXR_VolR_ProjectParams::~VXR_VolR_ProjectParams() {
    Clear(true);
    delete_box_lists();
    // The rendering parameters drop every shared reference this object still
    // holds.
    delete m_pVolRParams;
}

UTL_BaseParams& VXR_VolR_ProjectParams::operator=(const UTL_BaseParams& other) {
    if (const auto* volr = dynamic_cast<const VXR_VolR_ProjectParams*>(&other)) {
        copy_data(*volr);
    }
    return VXR_ProjectParams::operator=(other);
}

VXR_VolR_ProjectParams& VXR_VolR_ProjectParams::operator=(const VXR_VolR_ProjectParams& other) {
    VXR_ProjectParams::operator=(other);
    return *this;
}

UTL_BaseParams* VXR_VolR_ProjectParams::Clone() {
    try {
        return new (std::nothrow) VXR_VolR_ProjectParams(*this);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

VXR_VolR_ProjectParams* VXR_VolR_ProjectParams::volr_source() const {
    return dynamic_cast<VXR_VolR_ProjectParams*>(source_params());
}

IP_VolRBoxParamsVolR* VXR_VolR_ProjectParams::GetVolRBox(unsigned i) const {
    return volr_box(GetNBoxParams(i));
}

IP_VolRBoxParamsVolR* VXR_VolR_ProjectParams::GetVolRTranspBox(unsigned i) const {
    return volr_box(GetNTranspBoxParams(i));
}

std::int32_t VXR_VolR_ProjectParams::GetVolRState(int i) const {
    return i >= 0 && i < kVolRStateCount ? m_aVolRState[i] : 0;
}

void VXR_VolR_ProjectParams::SetVolRState(int i, std::int32_t value) {
    if (i >= 0 && i < kVolRStateCount) {
        m_aVolRState[i] = value;
    }
}

void VXR_VolR_ProjectParams::copy_data(const VXR_VolR_ProjectParams& from) {
    if (this == &from) {
        return;
    }
    IP_VolRParamsVolR* params = GetVolRParams();
    const IP_VolRParamsVolR* theirs = from.GetVolRParams();
    m_bPrivateTPict = false;
    m_nVolDataState = from.m_nVolDataState;
    m_nPictState = from.m_nPictState;
    m_nMaxState = from.m_nMaxState;
    for (int i = 0; i < kVolRStateCount; ++i) {
        m_aVolRState[i] = from.m_aVolRState[i];
    }
    if (theirs->GetSlow() != nullptr || theirs->GetFast() != nullptr) {
        *params = *theirs;
        copy_boxParams(&from, this);
    }
    if (from.GetColorTables() != nullptr && !SetColorTables(from.GetColorTables())) {
        throw std::bad_alloc();
    }
    if (IP_MultiVolDataIncVolR* slow = params->GetSlow()) {
        slow->SetSlowMultiTisInd(params->m_MVolRTisInd, GetColorTables());
    }
}

bool VXR_VolR_ProjectParams::append_box_pair() {
    return VXR_ProjectParams::append_box_pair<IP_VolRBoxParamsVolR>();
}

void VXR_VolR_ProjectParams::copy_boxParams(const VXR_VolR_ProjectParams* from,
                                            VXR_VolR_ProjectParams* to) {
    copy_box_lists<IP_VolRBoxParamsVolR>(from, to, Surplus::FromEnd);
}

const unsigned int** VXR_VolR_ProjectParams::GetColorTables() const {
    return GetVolRParams()->GetColorTables();
}

const void** VXR_VolR_ProjectParams::GetCTableValidationPtr() const {
    return GetVolRParams()->GetValidationPtrs();
}

bool VXR_VolR_ProjectParams::SetColorTables(const unsigned int** tables) {
    IP_VolRParamsVolR* params = GetVolRParams();
    if (params->m_ColorTables == nullptr) {
        if (VXR_VolR_ProjectParams* source = volr_source()) {
            source->GetVolRParams()->SetColorTableArray(nullptr);
        }
        auto* array = new (std::nothrow) IP_ColorTableArray;
        if (array == nullptr) {
            return false;
        }
        params->SetColorTableArray(array);
        array->Release();
    }
    for (int t = 0; t < kIP_TissueCount; ++t) {
        params->m_ColorTables->m_Tables[t] = tables != nullptr ? tables[t] : nullptr;
    }
    return true;
}

bool VXR_VolR_ProjectParams::SetCTableValidationPtr(const void** ptrs) {
    IP_VolRParamsVolR* params = GetVolRParams();
    if (params->m_ValidationPtrs == nullptr) {
        if (VXR_VolR_ProjectParams* source = volr_source()) {
            source->GetVolRParams()->SetValidationArray(nullptr);
        }
        auto* array = new (std::nothrow) IP_ValidationArray;
        if (array == nullptr) {
            return false;
        }
        params->SetValidationArray(array);
        array->Release();
    }
    for (int t = 0; t < kIP_TissueCount; ++t) {
        params->m_ValidationPtrs->m_Ptrs[t] = ptrs != nullptr ? ptrs[t] : nullptr;
    }
    return true;
}

void VXR_VolR_ProjectParams::reset_ColorTables() {
    IP_VolRParamsVolR* params = GetVolRParams();
    if (params->m_ColorTables == nullptr) {
        return;
    }
    for (const unsigned int*& table : params->m_ColorTables->m_Tables) {
        table = nullptr;
    }
    if (params->m_ValidationPtrs != nullptr) {
        for (const void*& ptr : params->m_ValidationPtrs->m_Ptrs) {
            ptr = nullptr;
        }
    }
}

IP_MultiVolRTisIndInc* VXR_VolR_ProjectParams::GetMultiTisInd() const {
    return GetVolRParams()->m_MVolRTisInd;
}

void VXR_VolR_ProjectParams::SetSlowMultiTisInd(const unsigned int** tables) {
    if (tables != nullptr) {
        SetColorTables(tables);
    }
    IP_VolRParamsVolR* params = GetVolRParams();
    if (IP_MultiVolDataIncVolR* slow = params->GetSlow()) {
        slow->SetSlowMultiTisInd(params->m_MVolRTisInd, GetColorTables());
    }
}

void VXR_VolR_ProjectParams::ResetSlowMultiTisInd(const unsigned int* table) {
    TMR_LOG(kLogSource, kTraceLevel, "ResetSlowMultiTisInd\n");
    reset_ColorTables();
    IP_VolRParamsVolR* params = GetVolRParams();
    if (params->m_ColorTables != nullptr) {
        params->m_ColorTables->m_Tables[kIP_DefaultTissue] = table;
        if (IP_MultiVolDataIncVolR* slow = params->GetSlow()) {
            slow->SetSlowMultiTisInd(nullptr, GetColorTables());
        }
    }
}

bool VXR_VolR_ProjectParams::IncrementalBuildTisInd(IP_MultiVolData* data,
                                                    const unsigned int** tables, int a, int b,
                                                    int c, bool flag, IP_VolRTissueList& list) {
    IP_VolRParamsVolR* params = GetVolRParams();
    if (params->m_MVolRTisInd == nullptr) {
        if (VXR_VolR_ProjectParams* source = volr_source()) {
            source->GetVolRParams()->SetTisInd(nullptr);
        }
        auto* index = new (std::nothrow) IP_MultiVolRTisIndInc;
        if (index == nullptr) {
            return false;
        }
        params->SetTisInd(index);
        index->Release();
    }
    if (tables != nullptr) {
        SetColorTables(tables);
    }
    return params->m_MVolRTisInd->Rebuild(data, a, b, c, flag, list);
}

bool VXR_VolR_ProjectParams::ResetTisInd(const unsigned int** tables) {
    GetVolRParams()->SetTisInd(nullptr);
    if (VXR_VolR_ProjectParams* source = volr_source()) {
        source->GetVolRParams()->SetTisInd(nullptr);
    }
    if (tables != nullptr) {
        SetColorTables(tables);
    }
    return true;
}

void VXR_VolR_ProjectParams::CreateBoxParams(IP_MultiVolDataIncVolR* data) {
    if (data != nullptr && data->GetNVolData() > 0) {
        if (!append_box_pair()) {
            throw std::bad_alloc();
        }
        m_bOriginalCopy = true;
    }
}

void VXR_VolR_ProjectParams::ResetBoxParams(bool /*with_delete*/) {
    VXR_VolR_ProjectParams* source = volr_source();
    if (!m_lstBoxParams.isEmpty()) {
        for (IP_VolRBoxParams* first : {m_lstBoxParams.first(), m_lstTranspBoxParams.first()}) {
            release_first_two(volr_box(first));
            empty_third(volr_box(first));
            first->m_nPictState = 0;
        }
        delete m_lstBoxParams.removeAt(0);
        delete m_lstTranspBoxParams.removeAt(0);
        if (source != nullptr) {
            if (IP_VolRBoxParamsVolR* box = source->GetVolRBox(0)) {
                TMR_LOG(kLogSource, kTraceLevel,
                        "ResetBoxParams, source, this = %p, source_boxparams = %p, rgbtpict = %p\n",
                        static_cast<void*>(this), static_cast<void*>(box),
                        vp(box->GetRGBTPict().Data()));
                release_first_two(box);
                TMR_LOG(kLogSource, kBufferLevel, "%p ResetBoxParams of source %p = NULL\n",
                        static_cast<void*>(source), vp(box->GetThirdPict().Data()));
                empty_third(box);
                box->m_nPictState = 0;
            }
            if (IP_VolRBoxParamsVolR* box = source->GetVolRTranspBox(0)) {
                release_first_two(box);
                empty_third(box);
                box->m_nPictState = 0;
            }
        }
    }
    m_nPictState = 0;
    if (source != nullptr) {
        source->m_nPictState = 0;
    }
}

bool VXR_VolR_ProjectParams::IncrementalCopyVolData(IP_MultiVolData* data,
                                                    const unsigned int** tables, int a, int b) {
    IP_VolRParamsVolR* params = GetVolRParams();
    if (params->GetSlow() != nullptr || params->GetFast() != nullptr) {
        TMR_LOG(kLogSource, kTraceLevel, "IncrementalCopyVolData with_delete = true\n");
        TMR_LOG(kLogSource, kBufferLevel, "%p IncrementalCopyVolData\n", static_cast<void*>(this));
        ResetBoxParams(true);
    }
    IP_MultiVolDataIncVolR* slow = params->GetSlow();
    if (slow == nullptr) {
        InvalidateSlow();
        slow = new (std::nothrow) IP_MultiVolDataIncVolR;
        if (slow == nullptr) {
            return false;
        }
        params->SetSlow(slow);
        slow->Release();
    }
    if (tables != nullptr) {
        SetColorTables(tables);
    }
    const bool r = slow->Rebuild(data, GetColorTables(), params->m_MVolRTisInd, 1, a, b, 1, true);
    CreateBoxParams(slow);
    return r;
}

bool VXR_VolR_ProjectParams::IncrementalBuildFastFromSlowVolData(IP_MultiVolData* data,
                                                                 const unsigned int** tables, int a,
                                                                 int b) {
    IP_VolRParamsVolR* params = GetVolRParams();
    if (params->GetSlow() != nullptr || params->GetFast() != nullptr) {
        TMR_LOG(kLogSource, kTraceLevel,
                "IncrementalBuildFastFromSlowVolData with_delete = true\n");
        TMR_LOG(kLogSource, kBufferLevel, "%p IncrementalBuildFastFromSlowVolData\n",
                static_cast<void*>(this));
        ResetBoxParams(true);
    }
    IP_MultiVolDataIncVolR* fast = params->GetFast();
    if (fast == nullptr) {
        InvalidateFast();
        fast = new (std::nothrow) IP_MultiVolDataIncVolR;
        if (fast == nullptr) {
            return false;
        }
        params->SetFast(fast);
        fast->Release();
    }
    if (tables != nullptr) {
        SetColorTables(tables);
        if (IP_MultiVolDataIncVolR* slow = params->GetSlow()) {
            slow->SetSlowMultiTisInd(params->m_MVolRTisInd, GetColorTables());
        }
    }
    const bool r = fast->Rebuild(data, GetColorTables(), params->m_MVolRTisInd, 2, a, b, 0, false);
    CreateBoxParams(fast);
    return r;
}

bool VXR_VolR_ProjectParams::CopyVolDataWithTissue(IP_MultiVolData* data,
                                                   const unsigned int** tables, int a, int b) {
    IP_VolRParamsVolR* params = GetVolRParams();
    IP_MultiVolDataIncVolR* slow = params->GetSlow();
    if (slow == nullptr) {
        return false;
    }
    if (tables != nullptr) {
        SetColorTables(tables);
    }
    const bool r = slow->CopyWithTissue(data, GetColorTables(), params->m_MVolRTisInd, a, b);
    if (slow->GetNVolData() > 0) {
        m_bOriginalCopy = true;
        TMR_LOG(kLogSource, kTraceLevel,
                "copy slow vol data with new tissue, newMultiVolData: %p\n",
                static_cast<void*>(slow));
    }
    return r;
}

bool VXR_VolR_ProjectParams::CopyFastFromSlowVolData(IP_MultiVolData* data,
                                                     const unsigned int** tables, int a, int b) {
    IP_VolRParamsVolR* params = GetVolRParams();
    IP_MultiVolDataIncVolR* fast = params->GetFast();
    if (fast == nullptr) {
        return false;
    }
    if (tables != nullptr) {
        SetColorTables(tables);
        if (IP_MultiVolDataIncVolR* slow = params->GetSlow()) {
            slow->SetSlowMultiTisInd(params->m_MVolRTisInd, GetColorTables());
        }
    }
    const bool r = fast->CopyFastFromSlow(data, GetColorTables(), params->m_MVolRTisInd, a, b);
    if (fast->GetNVolData() > 0) {
        m_bOriginalCopy = true;
        TMR_LOG(kLogSource, kTraceLevel,
                "copy fast vol data with new tissue, newMultiVolData: %p\n",
                static_cast<void*>(fast));
    }
    return r;
}

void VXR_VolR_ProjectParams::ResetVolData(bool /*with_delete*/) {}

bool VXR_VolR_ProjectParams::Relate(IP_3Coord screen, float (*const view)[4],
                                    IP_VolRClipManager* clip, IP_3Coord* out) {
    IP_VolRParamsVolR* params = GetVolRParams();
    params->SetViewMatrix(view);
    params->SetClipManager(clip);
    if (params->GetSlow() == nullptr || GetColorTables() == nullptr) {
        return false;
    }
    IP_3Coord physical(0.0f, 0.0f, 0.0f, 1.0f);
    return IP_VolRProjector::Screen2Physical(params, IP_3Coord(screen.x, screen.y, screen.z, 1.0f),
                                             &physical, out, GetColorTables(),
                                             params->m_MVolRTisInd);
}

void VXR_VolR_ProjectParams::ClearTPict() {
    for (std::size_t i = 0; i < m_lstBoxParams.entries(); ++i) {
        IP_VolRBoxParamsVolR* box = volr_box(m_lstBoxParams[i]);
        TMR_LOG(kLogSource, kPictLevel,
                "ClearTPict, this = %p, m_lstBoxParams[i] = %p, rgbtpict = %p\n",
                static_cast<void*>(this), static_cast<void*>(box), vp(box->GetRGBTPict().Data()));
        release_first_two(box);
        TMR_LOG(kLogSource, kBufferLevel, "%p ClearTPict %p = NULL\n", static_cast<void*>(this),
                vp(box->GetThirdPict().Data()));
        empty_third(box);
        box->m_nPictState = 0;
        IP_VolRBoxParamsVolR* transp = volr_box(m_lstTranspBoxParams[i]);
        release_first_two(transp);
        empty_third(transp);
        transp->m_nPictState = 0;
    }
    m_nPictState = 0;
}

void VXR_VolR_ProjectParams::Freeze() {
    if (VXR_VolR_ProjectParams* source = volr_source()) {
        if (any_box_without_tpict()) {
            source->UTL_ChangeCounter::operator++();
        }
        m_bPrivateTPict = true;
        VXR_ProjectParams::Freeze();
    }
    TMR_LOG(kLogSource, kTraceLevel, "freeze vol data  \n");
}

void VXR_VolR_ProjectParams::Defrost() {
    TMR_LOG(kLogSource, kTraceLevel, "defrost vol data \n");
    VXR_VolR_ProjectParams* source = volr_source();
    if (source == nullptr) {
        return;
    }
    IP_VolRParamsVolR* mine = GetVolRParams();
    IP_VolRParamsVolR* theirs = source->GetVolRParams();
    theirs->SetSlow(mine->GetSlow());
    theirs->SetFast(mine->GetFast());
    theirs->SetTisInd(mine->m_MVolRTisInd);
    theirs->SetColorTableArray(mine->m_ColorTables);
    theirs->SetValidationArray(mine->m_ValidationPtrs);
    theirs->GetBoundingBox() = mine->GetBoundingBox();
    copy_boxParams(this, source);
    theirs->GetBox() = mine->GetBox();
    source->m_nVolDataState = m_nVolDataState;
    for (int i = 0; i < kVolRStateCount; ++i) {
        source->m_aVolRState[i] = m_aVolRState[i];
    }
    source->m_nPictState = m_nPictState;
    if (IP_MultiVolDataIncVolR* slow = theirs->GetSlow()) {
        slow->SetSlowMultiTisInd(theirs->m_MVolRTisInd, source->GetColorTables());
    }
    m_bPrivateTPict = false;
    VXR_ProjectParams::Defrost();
}

void VXR_VolR_ProjectParams::Clear(bool with_delete) {
    IP_VolRParamsVolR* params = GetVolRParams();
    VXR_VolR_ProjectParams* source = volr_source();
    if (source != nullptr) {
        // Each shared item is judged by the source's own reference: while the
        // source refers to one, it stays with the source.
        IP_VolRParamsVolR* theirs = source->GetVolRParams();
        if (theirs->GetSlow() == nullptr) {
            TMR_LOG(kLogSource, kTraceLevel, "delete mvoldata %p\n",
                    static_cast<void*>(params->GetSlow()));
            params->SetSlow(nullptr);
        } else {
            theirs->GetSlow()->ResetCManager();
        }
        if (theirs->GetFast() == nullptr) {
            TMR_LOG(kLogSource, kTraceLevel, "delete fast_mvoldata %p\n",
                    static_cast<void*>(params->GetFast()));
            params->SetFast(nullptr);
        } else {
            theirs->GetFast()->ResetCManager();
        }
        if (theirs->m_MVolRTisInd == nullptr) {
            TMR_LOG(kLogSource, kTraceLevel, "delete m_MVolRTisInd %p\n",
                    static_cast<void*>(params->m_MVolRTisInd));
            params->SetTisInd(nullptr);
        }
        if (theirs->m_ColorTables == nullptr) {
            TMR_LOG(kLogSource, kTraceLevel, "delete m_ColorTables %p\n",
                    static_cast<void*>(GetColorTables()));
            params->SetColorTableArray(nullptr);
            params->SetValidationArray(nullptr);
        }
    } else if (!m_bOriginalCopy) {
        TMR_LOG(kLogSource, kTraceLevel, "org delete mvoldata %p\n",
                static_cast<void*>(params->GetSlow()));
        if (with_delete) {
            m_nVolDataState = 0;
        }
        params->SetSlow(nullptr);
        params->SetFast(nullptr);
        params->SetTisInd(nullptr);
        params->SetColorTableArray(nullptr);
        params->SetValidationArray(nullptr);
        reset_ColorTables();
        TMR_LOG(kLogSource, kTraceLevel, "Clear !m_bOriginalCopy with_delete = %d\n",
                with_delete ? 1 : 0);
        TMR_LOG(kLogSource, kBufferLevel, "%p Clear\n", static_cast<void*>(this));
        ResetBoxParams(with_delete);
    }
    if (m_bPrivateTPict) {
        for (std::size_t i = 0; i < m_lstBoxParams.entries(); ++i) {
            IP_VolRBoxParamsVolR* box = volr_box(m_lstBoxParams[i]);
            TMR_LOG(kLogSource, kTraceLevel,
                    "Clear, private_tpict, this = %p, m_lstBoxParams[i] = %p, rgbtpict = %p\n",
                    static_cast<void*>(this), static_cast<void*>(box),
                    vp(box->GetRGBTPict().Data()));
            box->Destroy_LightingPoint3DArr();
            release_first_two(box);
            box->m_nPictState = 0;
            TMR_LOG(kLogSource, kBufferLevel, "%p !m_bOriginalCopy, private_tpict\n",
                    static_cast<void*>(this));
            IP_VolRBoxParamsVolR* transp = volr_box(m_lstTranspBoxParams[i]);
            release_first_two(transp);
            empty_third(transp);
            transp->m_nPictState = 0;
        }
        m_nPictState = 0;
        if (source != nullptr) {
            source->m_nPictState = 0;
            TMR_LOG(kLogSource, kPictLevel, "Clear: ClearTPict\n");
            source->ClearTPict();
        }
    }
    delete_box_lists();
}

void VXR_VolR_ProjectParams::ForceLocalCopy() {
    IP_VolRParamsVolR* params = GetVolRParams();
    params->SetSlow(nullptr);
    params->SetFast(nullptr);
    params->SetTisInd(nullptr);
    params->SetColorTableArray(nullptr);
    params->SetValidationArray(nullptr);
    m_bOriginalCopy = false;
    m_nVolDataState = -1;
    m_nPictState = -1;
    for (std::int32_t& state : m_aVolRState) {
        state = -1;
    }
    TMR_LOG(kLogSource, kPictLevel, "ForceLocalCopy: ClearTPict\n");
    ClearTPict();
    UTL_ChangeCounter::operator++();
}
