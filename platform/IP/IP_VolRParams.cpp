#include "IP/IP_VolRParams.h"

#include <cstring>

#include "IP/IP_Matrix.h"

IP_VolRParams::IP_VolRParams() {
    IP_Midnt(m_ViewMatrix);
}

IP_VolRParams::~IP_VolRParams() {
    set_slow(nullptr);
    set_fast(nullptr);
}

IP_VolRParams& IP_VolRParams::operator=(const IP_VolRParams& other) {
    if (this != &other) {
        std::memcpy(m_ViewMatrix, other.m_ViewMatrix, sizeof m_ViewMatrix);
        m_pClipManager = other.m_pClipManager;
        set_slow(other.m_pSlow);
        set_fast(other.m_pFast);
        m_Box = other.m_Box;
        m_BoundingBox = other.m_BoundingBox;
        m_nZoomAccess = other.m_nZoomAccess;
        for (int i = 0; i < kPictCount; ++i) {
            m_Picts[i] = other.m_Picts[i];
        }
        m_nPictValue = other.m_nPictValue;
        m_nOpacityThreshold = other.m_nOpacityThreshold;
    }
    return *this;
}

void IP_VolRParams::GetViewMatrix(float (*out)[4]) const {
    std::memcpy(out, m_ViewMatrix, sizeof m_ViewMatrix);
}

void IP_VolRParams::SetViewMatrix(const float (*m)[4]) {
    std::memcpy(m_ViewMatrix, m, sizeof m_ViewMatrix);
}

MEM_PagerInfo& IP_VolRParams::GetPict(int i) {
    return m_Picts[i >= 0 && i < kPictCount ? i : 0];
}

IP_VolRParamsMIP& IP_VolRParamsMIP::operator=(const IP_VolRParamsMIP& other) {
    IP_VolRParams::operator=(other);
    return *this;
}

IP_VolRParamsMIP::~IP_VolRParamsMIP() = default;

// Only the MIP kind's setters store the slow and fast data of a MIP parameter
// object, so the references are of that kind.
IP_MultiVolDataIncMIP* IP_VolRParamsMIP::GetSlow() const {
    return static_cast<IP_MultiVolDataIncMIP*>(GetSlowVolData());
}

IP_MultiVolDataIncMIP* IP_VolRParamsMIP::GetFast() const {
    return static_cast<IP_MultiVolDataIncMIP*>(GetFastVolData());
}

IP_VolRParamsVolR& IP_VolRParamsVolR::operator=(const IP_VolRParamsVolR& other) {
    if (this != &other) {
        IP_VolRParams::operator=(other);
        SetTisInd(other.m_MVolRTisInd);
        SetColorTableArray(other.m_ColorTables);
        SetValidationArray(other.m_ValidationPtrs);
    }
    return *this;
}

IP_VolRParamsVolR::~IP_VolRParamsVolR() {
    SetTisInd(nullptr);
    SetColorTableArray(nullptr);
    SetValidationArray(nullptr);
}

IP_MultiVolDataIncVolR* IP_VolRParamsVolR::GetSlow() const {
    return static_cast<IP_MultiVolDataIncVolR*>(GetSlowVolData());
}

IP_MultiVolDataIncVolR* IP_VolRParamsVolR::GetFast() const {
    return static_cast<IP_MultiVolDataIncVolR*>(GetFastVolData());
}

const unsigned int** IP_VolRParamsVolR::GetColorTables() const {
    return m_ColorTables != nullptr ? m_ColorTables->m_Tables : nullptr;
}

const void** IP_VolRParamsVolR::GetValidationPtrs() const {
    return m_ValidationPtrs != nullptr ? m_ValidationPtrs->m_Ptrs : nullptr;
}

IP_VolRBoxParams::~IP_VolRBoxParams() = default;
IP_VolRBoxParamsMIP::~IP_VolRBoxParamsMIP() = default;
IP_VolRBoxParamsVolR::~IP_VolRBoxParamsVolR() = default;

void IP_VolRBoxParamsVolR::Destroy_LightingPoint3DArr() {
    std::vector<IP_3Coord>().swap(m_LightingPoints);
}
