#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale>
#include <string>

#include "I18n/I18n_ConvertUtils.h"

namespace {

using Convert = I18n_ConvertUtils;

// A C++ locale whose numbers use "," as decimal point and "." for grouping.
class CommaNumpunct : public std::numpunct<char> {
  protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Switches the process to a locale with a comma decimal separator (both the C
// library's and the C++ global one) and restores the previous ones.
class CommaLocale {
  public:
    CommaLocale() : m_PreviousCpp(std::locale()) {
        const char* previous = std::setlocale(LC_ALL, nullptr);
        m_PreviousC = previous ? previous : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE",
                                 "fr_FR", "nl_NL.UTF-8", "it_IT.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                m_bCLocale = true;
                break;
            }
        }
        std::locale::global(std::locale(std::locale::classic(), new CommaNumpunct));
    }
    ~CommaLocale() {
        std::locale::global(m_PreviousCpp);
        std::setlocale(LC_ALL, m_PreviousC.c_str());
    }
    bool HasCLocale() const { return m_bCLocale; }

  private:
    std::locale m_PreviousCpp;
    std::string m_PreviousC;
    bool m_bCLocale = false;
};

// Values as the configuration trees store them: floats at the precisions used.
const float kSamples[] = {0.0f,        0.2f,  0.5f,     1.0f,    0.123456789f,
                          1e-7f,       -0.3f, 0.99999f, 3.0e38f, 1.17549435e-38f,
                          0.33333334f, -1.0f, 7.25f};

}  // namespace

TEST(I18n_ConvertUtils, WritesSignificantDigitsWithAPointAndNoTrailingZeros) {
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(0.2, 10), "0.2");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(0.5, 3), "0.5");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(1.0, 3), "1");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(0.0, 10), "0");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(-0.125, 3), "-0.125");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(0.12345, 3), "0.123");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(0.9996, 3), "1");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(1234567.0, 3), "1.23e+06");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(static_cast<double>(0.2f), 10), "0.200000003");
    // Precision is clamped to 1..17.
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(0.25, 0), "0.2");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(0.1, 99), "0.10000000000000001");
}

TEST(I18n_ConvertUtils, WritesNonFiniteValuesAsWordsThatReadBack) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(inf, 3), "inf");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(-inf, 3), "-inf");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(std::nan(""), 3), "nan");
    EXPECT_EQ(Convert::Double2DicomLocaleStrNum(-std::nan(""), 3), "nan");
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("inf"), inf);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("-Infinity"), -inf);
    EXPECT_TRUE(std::isnan(Convert::DicomLocaleStrNum2Double("nan")));
}

TEST(I18n_ConvertUtils, FloatsReadBackExactlyAtPrecisionTenAndRoundedAtThree) {
    for (const float value : kSamples) {
        const std::string ten = Convert::Double2DicomLocaleStrNum(value, 10);
        EXPECT_EQ(static_cast<float>(Convert::DicomLocaleStrNum2Double(ten)), value) << ten;
        const std::string three = Convert::Double2DicomLocaleStrNum(value, 3);
        const double back = Convert::DicomLocaleStrNum2Double(three);
        // Three significant digits: the relative error is at most half a unit of the third.
        EXPECT_LE(std::fabs(back - value), std::fabs(static_cast<double>(value)) * 5e-3) << three;
        // Writing what was read gives the same text again.
        EXPECT_EQ(Convert::Double2DicomLocaleStrNum(back, 3), three);
    }
}

TEST(I18n_ConvertUtils, ReadsSignsBlanksExponentsAndBareDecimalPoints) {
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("0.5"), 0.5);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double(" \t0.25\r\n"), 0.25);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("+1.5"), 1.5);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("-1e-3"), -1e-3);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("2E+2"), 200.0);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double(".5"), 0.5);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("5."), 5.0);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("007"), 7.0);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double(std::string("0.75")), 0.75);
}

TEST(I18n_ConvertUtils, ReadsACommaAsDecimalPointOnlyWhenItIsTheOnlySeparator) {
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("0,5"), 0.5);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("-1,25e1"), -12.5);
    double value = 1.0;
    EXPECT_FALSE(Convert::TryDicomLocaleStrNum2Double("1,000.5", value));
    EXPECT_EQ(value, 0.0);
    EXPECT_FALSE(Convert::TryDicomLocaleStrNum2Double("1,2,3", value));
}

TEST(I18n_ConvertUtils, EmptyAndNonNumericTextsReadAsZeroAndAreReported) {
    for (const char* text :
         {"", "   ", "abc", "0.5x", "x0.5", "1 2", "+", "-", "+-1", "++1", "0x10", "e5", "."}) {
        double value = 42.0;
        EXPECT_FALSE(Convert::TryDicomLocaleStrNum2Double(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, 0.0) << '"' << text << '"';
        EXPECT_EQ(Convert::DicomLocaleStrNum2Double(text), 0.0) << '"' << text << '"';
    }
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double(static_cast<const char*>(nullptr)), 0.0);
    double value = 0.0;
    EXPECT_TRUE(Convert::TryDicomLocaleStrNum2Double("-0", value));
    EXPECT_TRUE(std::signbit(value));
}

TEST(I18n_ConvertUtils, MagnitudesBeyondDoubleBecomeInfinityOrZero) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("1e999"), inf);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("-1e999"), -inf);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("1e-999"), 0.0);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("1,5e999"), inf);
}

TEST(I18n_ConvertUtils, TextDoesNotDependOnTheProcessLocale) {
    std::string written[std::size(kSamples)];
    for (std::size_t i = 0; i < std::size(kSamples); ++i) {
        written[i] = Convert::Double2DicomLocaleStrNum(kSamples[i], 10);
    }
    CommaLocale comma;
    if (!comma.HasCLocale()) {
        // Without an installed comma locale only the C++ global locale changes;
        // that still has to leave the text alone.
        std::printf("no comma-decimal C locale installed; checking the C++ locale only\n");
    } else {
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        ASSERT_STREQ(probe, "0,5");  // the locale really is in force
    }
    for (std::size_t i = 0; i < std::size(kSamples); ++i) {
        EXPECT_EQ(Convert::Double2DicomLocaleStrNum(kSamples[i], 10), written[i]);
        EXPECT_EQ(static_cast<float>(Convert::DicomLocaleStrNum2Double(written[i])), kSamples[i]);
    }
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("0.5"), 0.5);
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(Convert::DicomLocaleStrNum2Double("1.000,5"), 0.0);
}
