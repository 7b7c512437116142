#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "DICOM/Dicom_DS.h"
#include "DICOM/Dicom_Msg.h"

namespace {

struct DSCase {
    const char* text;
    bool valid;
    double value;
};

}  // namespace

TEST(Dicom_DS, FirstValueReadsAsDoubleAndAnythingElseIsRefused) {
    const DSCase cases[] = {
        {"-20.7", true, -20.7},
        {"  -1024 ", true, -1024.0},
        {"+0.5", true, 0.5},
        {".5", true, 0.5},
        {"5.", true, 5.0},
        {"1.5E+2", true, 150.0},
        {"2e-3", true, 0.002},
        {"-0", true, 0.0},
        {"1\\2\\3", true, 1.0},
        {" 0.48828125\\0.5", true, 0.48828125},
        {"1e-400", true, 0.0},  // below the double range: zero
        {"0.000000000000000000001e-390", true, 0.0},
        {"", false, 0},
        {"   ", false, 0},
        {"\\1.5", false, 0},  // an empty first value is not taken from the second
        {"abc", false, 0},
        {"1.5x", false, 0},
        {"1 5", false, 0},
        {"1,5", false, 0},
        {"+", false, 0},
        {".", false, 0},
        {"-.e5", false, 0},
        {"1e", false, 0},
        {"1e+", false, 0},
        {"inf", false, 0},
        {"nan", false, 0},
        {"0x10", false, 0},
        {"1e400", false, 0},  // beyond the double range
        {"123456789e305", false, 0},
        {"\t1", false, 0},  // only spaces pad a DICOM string
    };
    for (const DSCase& c : cases) {
        SCOPED_TRACE(c.text);
        const Dicom_DS ds{std::string_view(c.text)};
        const double value = static_cast<double>(ds);
        if (c.valid) {
            EXPECT_DOUBLE_EQ(value, c.value);
        } else {
            EXPECT_TRUE(std::isnan(value));
        }
        double parsed = 42.0;
        EXPECT_EQ(ds.GetValue(0, parsed), c.valid);
        EXPECT_EQ(parsed, c.valid ? value : 42.0) << "a refused value leaves the output alone";
    }
}

TEST(Dicom_DS, EmbeddedZeroByteIsNoNumber) {
    const Dicom_DS ds(
        std::string_view("1\0"
                         "5",
                         3));
    EXPECT_TRUE(std::isnan(static_cast<double>(ds)));
}

TEST(Dicom_DS, ValuesAreCountedAndReadOneByOne) {
    const Dicom_DS ds(std::string_view("1\\ bad \\-2.5e1\\"));
    EXPECT_EQ(ds.GetValueCount(), 4u);
    double v = 0.0;
    EXPECT_TRUE(ds.GetValue(0, v));
    EXPECT_EQ(v, 1.0);
    EXPECT_FALSE(ds.GetValue(1, v));
    EXPECT_TRUE(ds.GetValue(2, v));
    EXPECT_EQ(v, -25.0);
    EXPECT_FALSE(ds.GetValue(3, v)) << "an empty last value";
    EXPECT_FALSE(ds.GetValue(4, v));
    EXPECT_EQ(Dicom_DS(std::string_view("  ")).GetValueCount(), 0u);
}

TEST(Dicom_DS, ElementWithoutTextIsAnEmptyDecimalString) {
    Dicom_Element numbers(Dicom_Tag(0x0028, 0x1052), Dicom_VRs::FD);
    numbers.SetNumbers({3.0});
    EXPECT_TRUE(std::isnan(static_cast<double>(Dicom_DS(numbers))));
}

TEST(Dicom_DS, EveryShortestRoundTripTextOfADoubleReadsBack) {
    // Property: what printf writes with 17 significant digits (the form a
    // writer of decimal strings may use) reads back to the same double.
    const double samples[] = {0.1,           -20.7,     1e-300,
                              6.02214076e23, -4.9e-324, 1.7976931348623157e308,
                              0.48828125,    3.0 / 7.0};
    for (double sample : samples) {
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", sample);
        double read = 0.0;
        ASSERT_TRUE(Dicom_DS::Parse(text, read)) << text;
        EXPECT_EQ(read, sample) << text;
    }
}
