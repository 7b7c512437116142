#include "volr/VXR_VOLR_ProtocolParams.h"

#include <cfloat>
#include <cmath>
#include <memory>
#include <new>

#include "DICOM/Dicom_DS.h"
#include "DICOM/Dicom_Tag.h"
#include "DICOM/IOD_Msg.h"
#include "UTL/UTL_DDPInfo.h"
#include "UTL/UTL_Numeric.h"
#include "volr/VXR_VOLR_ColorProtocol.h"

namespace {

constexpr const char* kRegisteredName = "VXR_VOLR_ProtocolParams";

// The first value of the decimal string under tag, or false.
bool read_ds(const IOD_Msg& msg, const Dicom_Tag& tag, double& value) {
    const Dicom_Element* element = msg.Get(tag);
    if (element == nullptr) {
        return false;
    }
    value = static_cast<double>(Dicom_DS(*element));
    return std::isfinite(value);
}

// Values whose truncation fits a 32-bit int.
bool truncates_to_int(double value) {
    return value > -2147483649.0 && value < 2147483648.0;
}

}  // namespace

VXR_VOLR_ProtocolParams::VXR_VOLR_ProtocolParams() {
    SetName(kRegisteredName);
}

VXR_VOLR_ProtocolParams::VXR_VOLR_ProtocolParams(const VXR_VOLR_ProtocolParams& other)
    : UTL_BaseParams(other) {
    SetName(kRegisteredName);
    copy_data(other);
}

VXR_VOLR_ProtocolParams::~VXR_VOLR_ProtocolParams() {
    delete m_pProtocol;
}

VXR_VOLR_ProtocolParams& VXR_VOLR_ProtocolParams::operator=(const VXR_VOLR_ProtocolParams& other) {
    operator=(static_cast<const UTL_BaseParams&>(other));
    return *this;
}

UTL_BaseParams& VXR_VOLR_ProtocolParams::operator=(const UTL_BaseParams& other) {
    if (this != &other) {
        if (const auto* params = dynamic_cast<const VXR_VOLR_ProtocolParams*>(&other)) {
            copy_data(*params);
        }
        UTL_BaseParams::operator=(other);
    }
    return *this;
}

void VXR_VOLR_ProtocolParams::copy_data(const VXR_VOLR_ProtocolParams& src) {
    // The copy comes first, so that running out of memory changes nothing.
    std::unique_ptr<VXR_VOLR_ColorProtocol> copy;
    if (src.m_pProtocol != nullptr) {
        copy = std::make_unique<VXR_VOLR_ColorProtocol>(*src.m_pProtocol);
    }
    m_nRescaleIntercept = src.m_nRescaleIntercept;
    m_fRescaleSlope = src.m_fRescaleSlope;
    m_nBPP = src.m_nBPP;
    m_bSigned = src.m_bSigned;
    m_bIsHounsfield = src.m_bIsHounsfield;
    delete m_pProtocol;
    m_pProtocol = copy.release();
    UTL_ChangeCounter::operator=(src);
}

void VXR_VOLR_ProtocolParams::Freeze() {
    UTL_BaseParams* source = GetSource();
    if (source == nullptr || source == this) {
        return;
    }
    auto* params = dynamic_cast<VXR_VOLR_ProtocolParams*>(source);
    if (params != nullptr && params->m_pProtocol != nullptr) {
        if (m_pProtocol == nullptr) {
            m_pProtocol = new VXR_VOLR_ColorProtocol();
        }
        m_pProtocol->FreezeCopy(*params->m_pProtocol);
    }
    // The base adopts the source's counter.
    UTL_BaseParams::Freeze();
}

UTL_BaseParams* VXR_VOLR_ProtocolParams::Clone() {
    try {
        return new (std::nothrow) VXR_VOLR_ProtocolParams(*this);
    } catch (const std::bad_alloc&) {
        // The protocol's copy ran out of memory; the half-built object is gone.
        return nullptr;
    }
}

void VXR_VOLR_ProtocolParams::Defrost() {}

void VXR_VOLR_ProtocolParams::RecordDDPInfo(DDPInfoVector& info, bool /*flag*/) {
    if (m_pProtocol == nullptr) {
        return;
    }
    const _bstr_t name = m_pProtocol->GetName();
    if (name.empty()) {
        return;
    }
    info.AddCurrentValue(new UTL_DDPInfo(_bstr_t(u"color_protocol"), _bstr_t(u""), name));
}

void VXR_VOLR_ProtocolParams::SetProtocol(VXR_VOLR_ColorProtocol* p, bool advance) {
    if (p == nullptr) {
        return;
    }
    if (m_pProtocol != nullptr) {
        *m_pProtocol = *p;
    } else {
        m_pProtocol = new VXR_VOLR_ColorProtocol(*p);
    }
    SetAdditionalDataToProtocol(m_pProtocol);
    if (advance) {
        ++*this;
    }
}

VXR_VOLR_ColorProtocol* VXR_VOLR_ProtocolParams::GetProtocol() {
    return m_pProtocol;
}

void VXR_VOLR_ProtocolParams::SetAdditionalDataToProtocol(VXR_VOLR_ColorProtocol* p) {
    if (p == nullptr) {
        return;
    }
    p->SetRescaleIntercept(m_nRescaleIntercept);
    p->SetRescaleSlope(m_fRescaleSlope);
    p->SetBPP(m_nBPP);
    p->SetSigned(m_bSigned);
    p->SetIsHounsfield(m_bIsHounsfield);
}

bool VXR_VOLR_ProtocolParams::UpdateFromDicom(IOD_Msg* msg) {
    if (msg == nullptr) {
        return false;
    }
    double intercept = 0.0;
    if (read_ds(*msg, Dicom_Tags::RescaleIntercept, intercept) && truncates_to_int(intercept)) {
        m_nRescaleIntercept = UTL_TruncToInt(intercept);
    }
    double slope = 0.0;
    if (read_ds(*msg, Dicom_Tags::RescaleSlope, slope) && std::fabs(slope) <= double(FLT_MAX)) {
        m_fRescaleSlope = static_cast<float>(slope);
    }
    return true;
}
