#include "tools/VxrpData.h"

#include <cmath>

#include "RW/RW_Errors.h"
#include "tools/VxrpCli.h"

void VxrpDataOptions::AddTo(CLI::App* command) {
    m_pBits =
        command->add_option("--bits", m_Data.bits, "bits stored per value, 1..24 (default 12)")
            ->check(CLI::Range(1, 24));
    m_pSigned = command->add_flag("--signed", m_Data.isSigned,
                                  "values are stored signed (two's complement)");
    m_pSlope = command->add_option("--slope", m_Data.slope,
                                   "rescale slope, a finite number above 0 (default 1)");
    m_pIntercept = command->add_option("--intercept", m_Data.intercept,
                                       "rescale intercept, an integer (default -1024)");
    command->add_flag("--hounsfield", m_Data.hounsfield,
                      "Hounsfield data: the protocol spans the fixed range -1024..3095");
    command->add_option("--dicom", m_DicomPath,
                        "take bits stored, pixel representation, rescale intercept and slope "
                        "from this DICOM file's header (the options above override it)");
}

VxrpData VxrpDataOptions::Resolve() const {
    VxrpData data = m_Data;
    if (!m_DicomPath.empty()) {
        throw VxrpError(kVxrpFailed,
                        "cannot read " + m_DicomPath + ": DICOM headers are not read yet");
    }
    if (!std::isfinite(data.slope) || !(data.slope > 0.0f)) {
        throw VxrpError(kVxrpUsage, "--slope: the slope must be a finite number above 0");
    }
    return data;
}

struct VxrpView::Impl {
    VXR_VOLR_ColorProtocol live;
    std::unique_ptr<VXR_VOLR_ColorProtocol> image;
};

VxrpView::VxrpView(const VXR_VOLR_ColorProtocol& protocol, const VxrpData& data)
    : m_Data(data), m_pImpl(std::make_unique<Impl>()) {
    m_pImpl->live = protocol;
    m_pImpl->live.SetRescaleIntercept(data.intercept);
    m_pImpl->live.SetRescaleSlope(data.slope);
    m_pImpl->live.SetBPP(data.bits);
    m_pImpl->live.SetSigned(data.isSigned);
    m_pImpl->live.SetIsHounsfield(data.hounsfield);
}

VxrpView::~VxrpView() = default;

VXR_VOLR_ColorProtocol& VxrpView::Live() {
    return m_pImpl->live;
}

void VxrpView::Refreeze() {
    m_pImpl->image.reset();
}

const unsigned int* VxrpView::Table() {
    if (!m_pImpl->image) {
        m_pImpl->image = std::make_unique<VXR_VOLR_ColorProtocol>();
        try {
            m_pImpl->image->FreezeCopy(m_pImpl->live);
        } catch (const RWBoundsErr&) {
            m_pImpl->image.reset();
            // A class without colour points has no colour to give any entry.
            throw VxrpError(kVxrpBadInput,
                            "a class of the protocol has no colour points; there is no table");
        }
    }
    const unsigned int* table = m_pImpl->image->GetColorTable();
    if (table == nullptr) {
        throw VxrpError(kVxrpFailed, "the library gave no colour table for " +
                                         std::to_string(m_Data.bits) + "-bit data");
    }
    return table;
}

const unsigned int* VxrpView::Block() {
    return Table() + m_Data.RawMin();
}

unsigned int VxrpView::Entry(long raw) {
    return Table()[raw];
}
