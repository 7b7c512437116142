// Number text as it comes from configuration trees: any bytes either read as a
// number or are refused, and what is read survives being written back.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "I18n/I18n_ConvertUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    double value = 1.0;
    if (!I18n_ConvertUtils::TryDicomLocaleStrNum2Double(text, value)) {
        if (value != 0.0)
            std::abort();  // a refused text reads as 0
        return 0;
    }
    if (!std::isfinite(value))
        return 0;
    // Seventeen significant digits carry every double exactly.
    const std::string written = I18n_ConvertUtils::Double2DicomLocaleStrNum(value, 17);
    double reread = 0.0;
    if (!I18n_ConvertUtils::TryDicomLocaleStrNum2Double(written, reread) || reread != value)
        std::abort();
    return 0;
}
