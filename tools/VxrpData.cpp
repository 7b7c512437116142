#include "tools/VxrpData.h"

#include <cmath>
#include <new>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/oflog/oflog.h"

#include "DICOM/Dicom_Tag.h"
#include "DICOM/IOD_Msg.h"
#include "RW/RW_Errors.h"
#include "VXR_VOLR_ProtocolParams.h"
#include "tools/VxrpCli.h"

namespace {

// Bits stored and pixel representation from the header; the rescale values
// through the protocol parameters' UpdateFromDicom, as the viewer takes them
// (a value the file lacks stays at the parameters' default: intercept 0,
// slope 1).
void read_dicom(const std::string& path, VxrpData& data) {
    // The toolkit would print its own warnings about odd files on standard
    // error; the reader's answer says what matters, in one line.
    OFLog::configure(OFLogger::OFF_LOG_LEVEL);
    IOD_Msg msg;
    std::string error;
    if (!msg.ReadFileHeader(path, &error)) {
        throw VxrpError(kVxrpBadInput, error);
    }
    double bits = 0.0;
    if (!msg.GetNumber(Dicom_Tags::BitsStored, bits)) {
        throw VxrpError(kVxrpBadInput, path + ": the header has no Bits Stored (0028,0101)");
    }
    if (!(bits >= 1.0 && bits <= 24.0)) {
        throw VxrpError(kVxrpBadInput, path + ": Bits Stored " +
                                           std::to_string(static_cast<long long>(bits)) +
                                           " is not within the 1..24 bits a table can have");
    }
    double representation = 0.0;
    msg.GetNumber(Dicom_Tags::PixelRepresentation, representation);
    VXR_VOLR_ProtocolParams params;
    params.UpdateFromDicom(&msg);
    data.bits = static_cast<int>(bits);
    data.isSigned = representation == 1.0;
    data.intercept = params.GetRescaleIntercept();
    data.slope = params.GetRescaleSlope();
}

}  // namespace

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
        read_dicom(m_DicomPath, data);
        // Options given beside the file override its values.
        if (m_pBits->count() > 0) {
            data.bits = m_Data.bits;
        }
        if (m_pSigned->count() > 0) {
            data.isSigned = true;
        }
        if (m_pSlope->count() > 0) {
            data.slope = m_Data.slope;
        }
        if (m_pIntercept->count() > 0) {
            data.intercept = m_Data.intercept;
        }
    }
    if (!std::isfinite(data.slope) || !(data.slope > 0.0f)) {
        throw VxrpError(m_DicomPath.empty() || m_pSlope->count() > 0 ? kVxrpUsage : kVxrpBadInput,
                        (m_pSlope->count() > 0 ? std::string("--slope") : m_DicomPath) +
                            ": the slope must be a finite number above 0");
    }
    return data;
}

struct VxrpView::Impl {
    VXR_VOLR_ProtocolParams live;
    std::unique_ptr<UTL_BaseParams> frozen;
};

VxrpView::VxrpView(VXR_VOLR_ColorProtocol& protocol, const VxrpData& data)
    : m_Data(data), m_pImpl(std::make_unique<Impl>()) {
    VXR_VOLR_ProtocolParams& params = m_pImpl->live;
    params.SetRescaleIntercept(data.intercept);
    params.SetRescaleSlope(data.slope);
    params.SetBPP(data.bits);
    params.SetSigned(data.isSigned);
    params.SetIsHounsfield(data.hounsfield);
    // The params take a copy, with the series description pushed in.
    params.SetProtocol(&protocol, true);
}

VxrpView::~VxrpView() {
    // The renderer's copy goes before the live protocol whose table it shows.
    m_pImpl->frozen.reset();
}

VXR_VOLR_ColorProtocol& VxrpView::Live() {
    return *m_pImpl->live.GetProtocol();
}

void VxrpView::Refreeze() {
    m_pImpl->frozen.reset();
}

const unsigned int* VxrpView::Table() {
    if (!m_pImpl->frozen) {
        std::unique_ptr<UTL_BaseParams> copy(m_pImpl->live.Clone());
        if (!copy) {
            throw std::bad_alloc();
        }
        copy->SetSource(&m_pImpl->live);
        try {
            copy->Freeze();
        } catch (const RWBoundsErr&) {
            // A class without colour points has no colour to give any entry.
            throw VxrpError(kVxrpBadInput,
                            "a class of the protocol has no colour points; there is no table");
        }
        m_pImpl->frozen = std::move(copy);
    }
    VXR_VOLR_ColorProtocol* image =
        static_cast<VXR_VOLR_ProtocolParams*>(m_pImpl->frozen.get())->GetProtocol();
    const unsigned int* table = image != nullptr ? image->GetColorTable() : nullptr;
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
