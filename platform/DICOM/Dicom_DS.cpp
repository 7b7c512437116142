#include "DICOM/Dicom_DS.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "DICOM/Dicom_Msg.h"

namespace {

constexpr char kSeparator = '\\';

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trim_spaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// Value number i of the text, or false when there are fewer.
bool nth_value(std::string_view text, std::size_t i, std::string_view& value) {
    for (std::size_t k = 0;; ++k) {
        const std::size_t end = text.find(kSeparator);
        if (k == i) {
            value = text.substr(0, end);
            return true;
        }
        if (end == std::string_view::npos) {
            return false;
        }
        text.remove_prefix(end + 1);
    }
}

// The power of ten of the first non-zero digit of a well-formed unsigned
// number ("123.4e5" gives 7, "0.05" gives -2); the exponent is saturated so
// that any length of digits stays in range. Only called for a non-zero value.
long long decimal_exponent(std::string_view number) {
    const std::size_t e = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::size_t pos = e + 1;
        bool negative = false;
        if (number[pos] == '+' || number[pos] == '-') {
            negative = number[pos] == '-';
            ++pos;
        }
        for (; pos < number.size(); ++pos) {
            if (exponent < 1000000000LL) {
                exponent = exponent * 10 + (number[pos] - '0');
            }
        }
        if (negative) {
            exponent = -exponent;
        }
    }
    const std::size_t point = mantissa.find('.');
    const std::string_view integer = mantissa.substr(0, point);
    const std::size_t firstInteger = integer.find_first_not_of('0');
    long long lead = 0;
    if (firstInteger != std::string_view::npos) {
        lead = static_cast<long long>(integer.size() - firstInteger) - 1;
    } else if (point != std::string_view::npos) {
        const std::string_view fraction = mantissa.substr(point + 1);
        const std::size_t firstFraction = fraction.find_first_not_of('0');
        lead =
            -static_cast<long long>(firstFraction == std::string_view::npos ? 0 : firstFraction) -
            1;
    }
    return lead + exponent;
}

}  // namespace

Dicom_DS::Dicom_DS(const Dicom_Element& element) : m_Text(element.GetText()) {}

std::size_t Dicom_DS::GetValueCount() const {
    if (trim_spaces(m_Text).empty()) {
        return 0;
    }
    std::size_t count = 1;
    for (char c : m_Text) {
        if (c == kSeparator) {
            ++count;
        }
    }
    return count;
}

bool Dicom_DS::GetValue(std::size_t i, double& value) const {
    std::string_view one;
    return nth_value(m_Text, i, one) && Parse(one, value);
}

Dicom_DS::operator double() const {
    double value = 0.0;
    return GetValue(0, value) ? value : std::numeric_limits<double>::quiet_NaN();
}

bool Dicom_DS::Parse(std::string_view text, double& value) {
    text = trim_spaces(text);
    // Check the shape first: from_chars alone would also take "inf", "nan"
    // and hexadecimal forms.
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t numberStart = pos;
    std::size_t digits = 0;
    while (pos < text.size() && is_digit(text[pos])) {
        ++pos;
        ++digits;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && is_digit(text[pos])) {
            ++pos;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            ++pos;
        }
        std::size_t exponentDigits = 0;
        while (pos < text.size() && is_digit(text[pos])) {
            ++pos;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    if (pos != text.size()) {
        return false;
    }
    // from_chars takes no leading '+'; the sign is applied afterwards.
    const char* first = text.data() + numberStart;
    const char* last = text.data() + text.size();
    double magnitude = 0.0;
    const auto [end, error] = std::from_chars(first, last, magnitude, std::chars_format::general);
    if (end != last) {
        return false;
    }
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here, so tell overflow from
        // underflow by the decimal exponent: a number of 1 or more that is out
        // of range is too large (refused), one below 1 too small (zero).
        if (decimal_exponent(text.substr(numberStart)) >= 0) {
            return false;
        }
        magnitude = 0.0;
    } else if (error != std::errc()) {
        return false;
    }
    if (!std::isfinite(magnitude)) {
        return false;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}
