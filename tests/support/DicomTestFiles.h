#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/oflog/oflog.h"

// Small DICOM files written through the toolkit, for the header reader's
// tests and for the fuzz target's seeds.
namespace vxrp_test {

struct DicomTextValue {
    DcmTagKey tag;
    std::string text;  // as stored, padding and "\" included
};

struct DicomFileContent {
    // Text attributes (DS, CS, ...), written as given.
    std::vector<DicomTextValue> texts;
    // Rows, Columns, Bits Allocated, Bits Stored, Pixel Representation; a
    // negative value leaves the attribute out.
    int rows = 4;
    int columns = 4;
    int bitsAllocated = 16;
    int bitsStored = 12;
    int pixelRepresentation = 0;
    bool pixelData = true;
    E_TransferSyntax syntax = EXS_LittleEndianExplicit;
};

// A CT-like header: modality, position, orientation, spacing, rescale values.
inline DicomFileContent ct_like_content(const std::string& intercept, const std::string& slope) {
    DicomFileContent content;
    content.texts = {{DCM_Modality, "CT"},
                     {DCM_ImagePositionPatient, "-125.5\\-130\\42.25"},
                     {DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0"},
                     {DCM_PixelSpacing, "0.48828125\\0.48828125"},
                     {DCM_RescaleIntercept, intercept},
                     {DCM_RescaleSlope, slope}};
    return content;
}

// Quiets the toolkit's own warnings (about the broken files tests write).
inline void quiet_dicom_toolkit() {
    static const bool quiet = [] {
        OFLog::configure(OFLogger::OFF_LOG_LEVEL);
        return true;
    }();
    (void)quiet;
}

// Writes content as a file with preamble and meta header; false when the toolkit
// refuses.
inline bool write_dicom_file(const std::filesystem::path& path, const DicomFileContent& content) {
    quiet_dicom_toolkit();
    DcmFileFormat file;
    DcmDataset* data = file.getDataset();
    data->putAndInsertString(DCM_SOPClassUID, "1.2.840.10008.5.1.4.1.1.2");
    data->putAndInsertString(DCM_SOPInstanceUID, "1.2.826.0.1.3680043.2.1143.1.1");
    for (const DicomTextValue& value : content.texts) {
        if (data->putAndInsertOFStringArray(value.tag,
                                            OFString(value.text.c_str(), value.text.size()))
                .bad()) {
            return false;
        }
    }
    const std::pair<DcmTagKey, int> numbers[] = {
        {DCM_Rows, content.rows},
        {DCM_Columns, content.columns},
        {DCM_BitsAllocated, content.bitsAllocated},
        {DCM_BitsStored, content.bitsStored},
        {DCM_PixelRepresentation, content.pixelRepresentation}};
    for (const auto& [tag, value] : numbers) {
        if (value >= 0) {
            data->putAndInsertUint16(tag, static_cast<Uint16>(value));
        }
    }
    if (content.pixelData) {
        const std::size_t count =
            static_cast<std::size_t>(content.rows > 0 ? content.rows : 1) *
            static_cast<std::size_t>(content.columns > 0 ? content.columns : 1);
        std::vector<Uint16> pixels(count, 0x0123);
        data->putAndInsertUint16Array(DCM_PixelData, pixels.data(),
                                      static_cast<unsigned long>(pixels.size()));
    }
    return file.saveFile(path.c_str(), content.syntax).good();
}

}  // namespace vxrp_test
