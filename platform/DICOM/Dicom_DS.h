#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class Dicom_Element;

// Dicom_DS - a DICOM decimal string read as numbers.
//
// The text holds one or more values separated by "\". One value is, after
// leading and trailing spaces are dropped, an optional sign, digits with an
// optional decimal point (at least one digit on either side: "5", "-20.7",
// ".5", "5.") and an optional exponent ("1.5E+2", "2e-3"). Nothing else is a
// number: no inner spaces, no "," as decimal point, no "inf" or "nan", no
// hexadecimal, no empty value. A value whose magnitude is beyond the double
// range is refused too, so every value read is finite. Values of more than the
// 16 characters DICOM allows are read all the same.
//
// Conversion to double answers the first value; NaN when the text is empty or
// the first value is not a number (later values do not matter then).
class Dicom_DS {
  public:
    explicit Dicom_DS(std::string_view text) : m_Text(text) {}
    // The element's text; an element holding binary numbers or items gives an
    // empty decimal string.
    explicit Dicom_DS(const Dicom_Element& element);

    const std::string& GetText() const { return m_Text; }
    // Number of "\"-separated values; 0 for an empty text (or spaces only).
    std::size_t GetValueCount() const;
    // Value i; false, value untouched, when there is no such value or it is no
    // number.
    bool GetValue(std::size_t i, double& value) const;
    // The first value, or NaN.
    explicit operator double() const;

    // One value (no "\"), as above.
    static bool Parse(std::string_view text, double& value);

  private:
    std::string m_Text;
};
