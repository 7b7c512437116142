#pragma once

#include <string>
#include <string_view>

// Number text of the workstation's stored documents (configuration trees).
//
// The text never depends on the process locale: the decimal separator is
// always ".", there is no digit grouping, and reading does not consult the
// locale either, so a tree written on one machine reads back the same on any
// other whatever locale either process runs in.
//
// Writing: Double2DicomLocaleStrNum(value, precision) gives the shortest text
// of value rounded to `precision` significant digits ("%.*g" in the C locale:
// 0.2 -> "0.2", 0.25 at precision 1 -> "0.2", 1e-7 -> "1e-07", 1234567 at
// precision 3 -> "1.23e+06"). Precision is clamped to 1..17; 17 digits read
// back to the very same double. Infinities and NaN are written "inf", "-inf"
// and "nan" and read back as such.
//
// Reading: DicomLocaleStrNum2Double(text) accepts, after leading and trailing
// blanks (spaces, tabs, CR, LF) are skipped, an optional sign ("+" or "-") and
// a decimal number with an optional exponent ("0.5", ".5", "5.", "-1e-3"), or
// inf / infinity / nan. Texts written where "," was the decimal separator are
// accepted too: a text with a single "," and no "." reads "," as ".".
// A magnitude beyond the double range reads as +-infinity, one too small for
// it as +-0. An empty text, one of blanks only, and any text that is not
// entirely such a number ("abc", "0.5x", "1 2", "1,000.5") read as 0.0;
// TryDicomLocaleStrNum2Double tells those apart by answering false.
class I18n_ConvertUtils {
  public:
    static std::string Double2DicomLocaleStrNum(double value, int precision);

    static double DicomLocaleStrNum2Double(const char* text);
    static double DicomLocaleStrNum2Double(const std::string& text);

    // True and the value for a number text; false (value set to 0.0) otherwise.
    static bool TryDicomLocaleStrNum2Double(std::string_view text, double& value);
};
