#include "tools/VxrpHistogram.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"

namespace {

VxrpData data_of(int bits, bool isSigned) {
    VxrpData data;
    data.bits = bits;
    data.isSigned = isSigned;
    return data;
}

TEST(VxrpHistogram, ReadsBinsInTableOrderAddingRepeatsAndSkippingComments) {
    const VxrpHistogram histogram = VxrpParseHistogram(
        "# raw value, voxels\n\n  -128 5\r\n0,7\n127\t 9 \n0 , 1\n", data_of(8, true), "h");
    ASSERT_EQ(histogram.counts.size(), 256u);
    EXPECT_EQ(histogram.counts[0], 5u);    // raw -128 is the block's first entry
    EXPECT_EQ(histogram.counts[128], 8u);  // raw 0, listed twice
    EXPECT_EQ(histogram.counts[255], 9u);
    EXPECT_EQ(histogram.total, 22);
}

TEST(VxrpHistogram, RefusesWhatIsNotAHistogramNamingTheLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"1 2\n4096 1\n", "h:2: the value 4096 is outside the raw values 0..4095"},
        {"-1 1\n", "h:1: the value -1 is outside the raw values 0..4095"},
        {"5 -3\n", "h:1: the count \"-3\" is not an integer of 0 or more"},
        {"5\n", "h:1: expected VALUE COUNT, found \"5\""},
        {"5 6 7\n", "h:1: expected VALUE COUNT, found more: \"5 6 7\""},
        {"5,,6\n", "h:1: expected VALUE COUNT, found more: \"5,,6\""},
        {"x 6\n", "h:1: the value \"x\" is not an integer"},
        {"5 6.5\n", "h:1: the count \"6.5\" is not an integer of 0 or more"},
        {"99999999999999999999 1\n", "h:1: the value \"99999999999999999999\" is not an integer"},
        {"1 2147483647\n2 1\n", "h:2: the counts add up to more than 2147483647"},
        {"1 18446744073709551615\n", "h:1: the counts add up to more than 2147483647"},
        {"# only a comment\n\n", "h: no voxels counted"},
        {"3 0\n", "h: no voxels counted"},
        {"", "h: no voxels counted"},
    };
    for (const Case& c : cases) {
        try {
            VxrpParseHistogram(c.text, data_of(12, false), "h");
            ADD_FAILURE() << "read: " << c.text;
        } catch (const VxrpError& e) {
            EXPECT_EQ(e.Code(), kVxrpBadInput) << c.text;
            EXPECT_EQ(std::string(e.what()), c.message) << c.text;
        }
    }
}

}  // namespace
