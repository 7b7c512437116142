#include "I18n/I18n_ConvertUtils.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The "C" locale, made once; used only to settle the direction of an
// out-of-range text, never the process locale.
locale_t ClassicLocale() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return classic;
}

// from_chars leaves the value alone when the magnitude does not fit a double;
// strtod in the C locale gives the IEEE answer (+-HUGE_VAL or +-0).
double OutOfRangeValue(const std::string& number) {
    if (const locale_t classic = ClassicLocale()) {
        return strtod_l(number.c_str(), nullptr, classic);
    }
    // Without a locale object fall back on the exponent's sign.
    const std::size_t e = number.find_first_of("eE");
    const bool negative = !number.empty() && number[0] == '-';
    const bool tiny = e != std::string::npos && e + 1 < number.size() && number[e + 1] == '-';
    const double magnitude = tiny ? 0.0 : HUGE_VAL;
    return negative ? -magnitude : magnitude;
}

}  // namespace

std::string I18n_ConvertUtils::Double2DicomLocaleStrNum(double value, int precision) {
    precision = std::clamp(precision, 1, 17);
    if (std::isnan(value)) {
        return "nan";
    }
    char text[64];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, precision);
    if (result.ec != std::errc()) {
        return "nan";  // cannot happen with 64 characters and at most 17 digits
    }
    return std::string(text, result.ptr);
}

bool I18n_ConvertUtils::TryDicomLocaleStrNum2Double(std::string_view text, double& value) {
    value = 0.0;
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            return false;
        }
    }
    if (text.empty()) {
        return false;
    }

    std::string number(text);
    if (number.find('.') == std::string::npos &&
        std::count(number.begin(), number.end(), ',') == 1) {
        std::replace(number.begin(), number.end(), ',', '.');
    }

    double parsed = 0.0;
    const char* first = number.data();
    const char* last = first + number.size();
    const std::from_chars_result result =
        std::from_chars(first, last, parsed, std::chars_format::general);
    if (result.ptr != last) {
        return false;
    }
    if (result.ec == std::errc::result_out_of_range) {
        value = OutOfRangeValue(number);
        return true;
    }
    if (result.ec != std::errc()) {
        return false;
    }
    value = parsed;
    return true;
}

double I18n_ConvertUtils::DicomLocaleStrNum2Double(const char* text) {
    double value = 0.0;
    if (text != nullptr) {
        TryDicomLocaleStrNum2Double(text, value);
    }
    return value;
}

double I18n_ConvertUtils::DicomLocaleStrNum2Double(const std::string& text) {
    double value = 0.0;
    TryDicomLocaleStrNum2Double(text, value);
    return value;
}
