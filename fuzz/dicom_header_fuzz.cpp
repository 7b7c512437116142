// Bytes as a DICOM file: the header reader either refuses the file with a
// reason or fills the message, and the protocol parameters take the rescale
// values from whatever it read without ever holding a value that no decimal
// string in the file gave. The first bytes are also read as a decimal string.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "DICOM/Dicom_DS.h"
#include "DICOM/Dicom_Tag.h"
#include "DICOM/IOD_Msg.h"
#include "dcmtk/config/osconfig.h"
#include "dcmtk/oflog/oflog.h"
#include "volr/VXR_VOLR_ProtocolParams.h"

namespace {

const std::string& scratch_path() {
    static const std::string path = [] {
        // The toolkit's own warnings about broken files would drown the output.
        OFLog::configure(OFLogger::OFF_LOG_LEVEL);
        return (std::filesystem::temp_directory_path() /
                ("vxrp_dicom_header_fuzz_" + std::to_string(::getpid()) + ".dcm"))
            .string();
    }();
    return path;
}

void check_ds(std::string_view text) {
    const Dicom_DS ds(text);
    const double first = static_cast<double>(ds);
    double value = 0.0;
    const bool read = ds.GetValue(0, value);
    if (read != !std::isnan(first) || (read && (value != first || !std::isfinite(value))))
        std::abort();
    for (std::size_t i = 0; i < ds.GetValueCount() && i < 32; ++i) {
        if (ds.GetValue(i, value) && !std::isfinite(value))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check_ds(bytes.substr(0, 64));

    const std::string& path = scratch_path();
    {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr)
            return 0;
        if (size > 0)
            std::fwrite(data, 1, size, out);
        std::fclose(out);
    }

    IOD_Msg msg;
    std::string error;
    IOD_Msg::ReadStatus status = IOD_Msg::READ_OK;
    const bool ok = msg.ReadFileHeader(path, &error, &status);
    std::remove(path.c_str());
    if (ok != (status == IOD_Msg::READ_OK) || ok != error.empty() || (!ok && msg.GetCount() != 0))
        std::abort();

    VXR_VOLR_ProtocolParams params;
    params.SetRescaleIntercept(7);
    params.SetRescaleSlope(3.0f);
    if (!params.UpdateFromDicom(&msg))
        std::abort();
    double intercept = 0.0;
    const bool hasIntercept = msg.GetDS(Dicom_Tags::RescaleIntercept, intercept) &&
                              intercept > -2147483649.0 && intercept < 2147483648.0;
    if (params.GetRescaleIntercept() != (hasIntercept ? static_cast<int>(intercept) : 7))
        std::abort();
    if (!std::isfinite(params.GetRescaleSlope()))
        std::abort();
    for (std::size_t i = 0; i < msg.GetCount(); ++i)
        check_ds(msg.GetAt(i)->GetText());
    return 0;
}
