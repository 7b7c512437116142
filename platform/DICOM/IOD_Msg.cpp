#include "DICOM/IOD_Msg.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "dcmtk/config/osconfig.h"  // must come first among the toolkit's headers
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcelem.h"
#include "dcmtk/dcmdata/dcfilefo.h"

// --- line annotations -------------------------------------------------------------

IOD_Msg::IOD_Msg() = default;
IOD_Msg::IOD_Msg(const IOD_Msg& other) = default;
IOD_Msg& IOD_Msg::operator=(const IOD_Msg& other) = default;
IOD_Msg::~IOD_Msg() = default;

IOD_Msg::LineGroup& IOD_Msg::GetLineGroup(const _bstr_t& name) {
    for (LineGroup& group : m_LineGroups) {
        if (group.name == name) {
            return group;
        }
    }
    LineGroup group;
    group.name = name;
    m_LineGroups.push_back(std::move(group));
    return m_LineGroups.back();
}

const IOD_Msg::LineGroup* IOD_Msg::FindLineGroup(const _bstr_t& name) const {
    for (const LineGroup& group : m_LineGroups) {
        if (group.name == name) {
            return &group;
        }
    }
    return nullptr;
}

const IOD_Msg::LineGroup* IOD_Msg::GetLineGroupAt(std::size_t i) const {
    return i < m_LineGroups.size() ? &m_LineGroups[i] : nullptr;
}

void IOD_Msg::AddLineAnnotation(const _bstr_t& group, const IOD_LineAnnotation& line) {
    GetLineGroup(group).lines.push_back(line);
}

std::size_t IOD_Msg::GetLineAnnotationCount() const {
    std::size_t count = 0;
    for (const LineGroup& group : m_LineGroups) {
        count += group.lines.size();
    }
    return count;
}

void IOD_Msg::ClearLineAnnotations() {
    m_LineGroups.clear();
}

// --- reading a file -------------------------------------------------------------

namespace {

// Longest value the header reader loads; the attributes it wants are far
// shorter (six decimal strings of 16 characters at most), and anything longer
// stays on disk.
constexpr Uint32 kMaxValueLength = 4096;

constexpr std::size_t kPreambleLength = 128;

struct HeaderAttribute {
    Dicom_Tag tag;
    Dicom_VR vr;
};

constexpr HeaderAttribute kHeaderAttributes[] = {
    {Dicom_Tags::Modality, Dicom_VRs::CS},
    {Dicom_Tags::ImagePositionPatient, Dicom_VRs::DS},
    {Dicom_Tags::ImageOrientationPatient, Dicom_VRs::DS},
    {Dicom_Tags::Rows, Dicom_VRs::US},
    {Dicom_Tags::Columns, Dicom_VRs::US},
    {Dicom_Tags::PixelSpacing, Dicom_VRs::DS},
    {Dicom_Tags::BitsAllocated, Dicom_VRs::US},
    {Dicom_Tags::BitsStored, Dicom_VRs::US},
    {Dicom_Tags::PixelRepresentation, Dicom_VRs::US},
    {Dicom_Tags::RescaleIntercept, Dicom_VRs::DS},
    {Dicom_Tags::RescaleSlope, Dicom_VRs::DS},
};

bool fail(IOD_Msg::ReadStatus why, const std::string& text, std::string* error,
          IOD_Msg::ReadStatus* status) {
    if (error != nullptr) {
        *error = text;
    }
    if (status != nullptr) {
        *status = why;
    }
    return false;
}

// Copies one attribute of the data set into msg in the form listed; false when
// the data set has no usable value for it.
bool copy_attribute(DcmDataset& dataset, const HeaderAttribute& attribute, Dicom_Msg& msg) {
    DcmElement* element = nullptr;
    const DcmTagKey key(attribute.tag.GetGroup(), attribute.tag.GetElement());
    if (dataset.findAndGetElement(key, element, OFFalse).bad() || element == nullptr ||
        !element->isLeaf()) {
        return false;
    }
    const Uint32 length = element->getLength();
    if (length == 0 || length > kMaxValueLength) {
        return false;
    }
    if (attribute.vr.IsBinaryNumber()) {
        Uint16 value = 0;
        if (element->getUint16(value, 0).bad()) {
            return false;
        }
        msg.PutNumbers(attribute.tag, attribute.vr, {static_cast<double>(value)});
        return true;
    }
    OFString text;
    if (element->getOFStringArray(text, OFFalse).bad()) {
        return false;
    }
    msg.PutText(attribute.tag, attribute.vr, std::string_view(text.c_str(), text.length()));
    return true;
}

}  // namespace

bool IOD_Msg::ReadFileHeader(const std::string& path, std::string* error, ReadStatus* status) {
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) {
        return fail(READ_CANNOT_OPEN, "cannot open DICOM file '" + path + "': no such file", error,
                    status);
    }
    // The toolkit would also take a bare data set without preamble; a stored
    // image always has one, and text or other files must not be mistaken for
    // a data set.
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return fail(READ_CANNOT_OPEN, "cannot open DICOM file '" + path + "'", error, status);
        }
        char head[kPreambleLength + 4] = {};
        in.read(head, sizeof head);
        if (in.gcount() != static_cast<std::streamsize>(sizeof head) ||
            std::memcmp(head + kPreambleLength, "DICM", 4) != 0) {
            return fail(READ_NOT_DICOM, "'" + path + "' is not a DICOM file (no DICM preamble)",
                        error, status);
        }
    }

    DcmFileFormat file;
    const OFCondition loaded = file.loadFileUntilTag(
        OFFilename(path.c_str()), EXS_Unknown, EGL_noChange, kMaxValueLength, ERM_fileOnly,
        DcmTagKey(Dicom_Tags::PixelData.GetGroup(), Dicom_Tags::PixelData.GetElement()));
    DcmDataset* dataset = file.getDataset();
    if (loaded.bad() || dataset == nullptr) {
        return fail(READ_MALFORMED,
                    "cannot read the DICOM header of '" + path + "': " + loaded.text(), error,
                    status);
    }

    // Build the new values apart, so that a failure leaves this message as it was.
    Dicom_Msg read;
    for (const HeaderAttribute& attribute : kHeaderAttributes) {
        copy_attribute(*dataset, attribute, read);
    }
    for (const HeaderAttribute& attribute : kHeaderAttributes) {
        if (const Dicom_Element* element = read.Get(attribute.tag)) {
            Dicom_Element& stored = Put(attribute.tag, attribute.vr);
            stored = *element;
        } else {
            Remove(attribute.tag);
        }
    }
    if (status != nullptr) {
        *status = READ_OK;
    }
    return true;
}
