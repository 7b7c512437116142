#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RW/RW_Errors.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "log/Tmr_LogFile.h"
#include "support/AllocationFailure.h"
#include "support/ColorProtocolSamples.h"
#include "support/ColorTableGenerators.h"
#include "support/ColorTableReference.h"
#include "support/LogExpectations.h"
#include "support/TestRandom.h"

using vxrp_test::Block;
using vxrp_test::EdgeGenerator;
using vxrp_test::Generator;
using vxrp_test::LiteralColorTable;
using vxrp_test::MakeClass;
using vxrp_test::MakeFlatClass;
using vxrp_test::MatchesLiteralTable;

namespace {

// Exposes the protected calculation.
class TestProtocol : public VXR_VOLR_ColorProtocol {
  public:
    using VXR_VOLR_ColorProtocol::CalculateColorTable;
    using VXR_VOLR_ColorProtocol::operator=;
    using VXR_VOLR_ColorProtocol::VXR_VOLR_ColorProtocol;
};

constexpr std::uint32_t Entry(unsigned r, unsigned g, unsigned b, unsigned a) {
    return r << 24 | g << 16 | b << 8 | a;
}

// Exactly one record logged since the last take, from the protocol's file at
// the failure level, in the library's module.
testing::AssertionResult OneProtocolFailureRecord() {
    const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
    if (records.size() != 1u) {
        return testing::AssertionFailure() << records.size() << " records";
    }
    const Tmr_LogRecord& record = records[0];
    if (record.source != "VXR_VOLR_ColorProtocol" || record.level != 3 || record.module != 460) {
        return testing::AssertionFailure()
               << record.source << ", level " << record.level << ", module " << record.module;
    }
    return testing::AssertionSuccess();
}

// A ramp from black to white over the whole range, fully opaque: entry k shows
// its position w as red = trunc(w * 255 + 0.49).
VXR_VOLR_ColorClass* MakeGreyRamp() {
    return MakeClass("ramp", {{0.0f, 0, 0, 0}, {1.0f, 255, 255, 255}},
                     {{0.0f, 1.0f}, {1.0f, 1.0f}});
}

}  // namespace

// --- the layout and the worked examples -------------------------------------------------

TEST(VXR_VOLR_ColorTable, UnsignedTableStartsAtTheBlockAndSignedTableAtRawValueZero) {
    VXR_VOLR_ColorProtocol unsignedData(_bstr_t("u"), 1.0f);
    unsignedData.SetBPP(12);
    unsignedData.AddColorClass(MakeGreyRamp(), -1);
    const unsigned int* table = unsignedData.GetColorTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0], Entry(0, 0, 0, 255));
    EXPECT_EQ(table[4095], Entry(255, 255, 255, 255));
    EXPECT_TRUE(MatchesLiteralTable(unsignedData));

    VXR_VOLR_ColorProtocol signedData(_bstr_t("s"), 1.0f);
    signedData.SetSigned(true);
    signedData.SetBPP(16);
    signedData.AddColorClass(MakeGreyRamp(), -1);
    const unsigned int* middle = signedData.GetColorTable();
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(middle[-32768], Entry(0, 0, 0, 255)) << "the lowest raw value is the darkest";
    EXPECT_EQ(middle[32767], Entry(255, 255, 255, 255));
    // Raw 0 sits at v = 32768 of a range of 65535: w = 0.50000763, red =
    // trunc(127.50195 + 0.49) = 127.
    EXPECT_EQ(middle[0], Entry(127, 127, 127, 255));
    EXPECT_TRUE(MatchesLiteralTable(signedData));
}

TEST(VXR_VOLR_ColorTable, OpaqueRedClassFillsEveryEntryAndDecreasedModeScalesOnlyOpacity) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("red"), 1.0f);
    protocol.SetBPP(8);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    const unsigned int* table = protocol.GetColorTable();
    for (int k = 0; k < 256; ++k) {
        ASSERT_EQ(table[k], Entry(255, 0, 0, 255)) << k;
    }
    protocol.SetIsDecreseOpMode(true);
    protocol.InvalidateColorTable();
    table = protocol.GetColorTable();
    for (int k = 0; k < 256; ++k) {
        ASSERT_EQ(table[k], Entry(255, 0, 0, 51)) << k;  // trunc(0.2 * 255 + 0.5)
    }
}

TEST(VXR_VOLR_ColorTable, OverlappingClassesBlendByOpacityFromTheFirstNonTransparentOne) {
    // Transparent blue first, half-opaque red second: the blue is discarded.
    VXR_VOLR_ColorProtocol discard(_bstr_t("discard"), 1.0f);
    discard.SetBPP(4);
    discard.AddColorClass(MakeFlatClass("blue", 0, 0, 255, 0.0f), -1);
    discard.AddColorClass(MakeFlatClass("red", 255, 0, 0, 0.5f), -1);
    EXPECT_EQ(discard.GetColorTable()[7], Entry(255, 0, 0, 128));

    // Both half-opaque: the mean 127.5 rounds to 128, the opacity is the larger one.
    VXR_VOLR_ColorProtocol mix(_bstr_t("mix"), 1.0f);
    mix.SetBPP(4);
    mix.AddColorClass(MakeFlatClass("red", 255, 0, 0, 0.5f), -1);
    mix.AddColorClass(MakeFlatClass("blue", 0, 0, 255, 0.5f), -1);
    EXPECT_EQ(mix.GetColorTable()[7], Entry(128, 0, 128, 128));

    // Both transparent: the plain mean of the colours, opacity 0.
    VXR_VOLR_ColorProtocol clear(_bstr_t("clear"), 1.0f);
    clear.SetBPP(4);
    clear.AddColorClass(MakeFlatClass("red", 255, 0, 0, 0.0f), -1);
    clear.AddColorClass(MakeFlatClass("blue", 0, 0, 255, 0.0f), -1);
    EXPECT_EQ(clear.GetColorTable()[7], Entry(128, 0, 128, 0));

    // Opacity 0.25 then 0.75: (0.25 * 255 + 0.75 * 0) / 1 = 63.75 -> 64; alpha 191.25 -> 191.
    VXR_VOLR_ColorProtocol weighted(_bstr_t("weighted"), 1.0f);
    weighted.SetBPP(4);
    weighted.AddColorClass(MakeFlatClass("red", 255, 0, 0, 0.25f), -1);
    weighted.AddColorClass(MakeFlatClass("green", 0, 255, 0, 0.75f), -1);
    EXPECT_EQ(weighted.GetColorTable()[3], Entry(64, 191, 0, 191));

    for (VXR_VOLR_ColorProtocol* p : {&discard, &mix, &clear, &weighted}) {
        EXPECT_TRUE(MatchesLiteralTable(*p));
    }
}

TEST(VXR_VOLR_ColorTable, EntriesAreEvaluatedInDoubleAndRoundedToFloatOnlyWhereStored) {
    // Slope 0.7f (0.699999988) on 4 unsigned bits: end = trunc(15 * 0.7f) = 10.
    // Raw 10 gives 10 * 0.7f = 6.99999988, v = 6 (a product rounded to float
    // would give 7), so entries 9 and 10 share w = 0.6f and the ramp's red
    // trunc(255 * 0.6f + 0.49) = trunc(153.49) = 153.
    VXR_VOLR_ColorProtocol slope(_bstr_t("slope"), 1.0f);
    slope.SetBPP(4);
    slope.SetRescaleSlope(0.7f);
    slope.AddColorClass(MakeGreyRamp(), -1);
    const unsigned int* table = slope.GetColorTable();
    EXPECT_EQ(table[9], Entry(153, 153, 153, 255));
    EXPECT_EQ(table[10], Entry(153, 153, 153, 255));
    EXPECT_EQ(table[15], Entry(255, 255, 255, 255));
    EXPECT_TRUE(MatchesLiteralTable(slope));

    // Two classes of opacity 0.015f: r = (float)(0.015f * 255) = 3.82499981 and
    // sumOpacity = 0.0299999993f. The scale 1 / sumOpacity stays double:
    // 3.82499981 / 0.0299999993 = 127.4999965, + 0.5 truncates to 127 (with the
    // scale rounded to float first it would be 128).
    VXR_VOLR_ColorProtocol faint(_bstr_t("faint"), 1.0f);
    faint.SetBPP(4);
    faint.AddColorClass(MakeFlatClass("red", 255, 0, 0, 0.015f), -1);
    faint.AddColorClass(MakeFlatClass("blue", 0, 0, 255, 0.015f), -1);
    EXPECT_EQ(faint.GetColorTable()[7], Entry(127, 0, 127, 4));  // alpha trunc(3.825 + 0.5)
    EXPECT_TRUE(MatchesLiteralTable(faint));
}

TEST(VXR_VOLR_ColorTable, InactiveClassesTakeNoPartAndNoActiveClassGivesZeroEverywhere) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(10);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    protocol.AddColorClass(MakeFlatClass("blue", 0, 0, 255, 1.0f), -1);
    protocol.GetClass(0)->SetIsActive(false);
    EXPECT_EQ(protocol.GetColorTable()[500], Entry(0, 0, 255, 255));

    protocol.SetActivatedAllClasses(false);
    const unsigned int* table = protocol.GetColorTable();
    for (int k = 0; k < 1024; ++k) {
        ASSERT_EQ(table[k], 0u) << k;
    }
    EXPECT_TRUE(protocol.IsColorTableValid());

    VXR_VOLR_ColorProtocol empty;
    empty.SetBPP(3);
    table = empty.GetColorTable();
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(table[k], 0u);
    }
}

TEST(VXR_VOLR_ColorTable, HiddenProtocolIsAllZeroAndRecomputedOnEveryRead) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(6);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    EXPECT_EQ(protocol.GetColorTable()[0], Entry(255, 0, 0, 255));
    protocol.SetIsVisible(false);
    protocol.InvalidateColorTable();
    const unsigned int* table = protocol.GetColorTable();
    for (int k = 0; k < 64; ++k) {
        ASSERT_EQ(table[k], 0u);
    }
    EXPECT_FALSE(protocol.IsColorTableValid());
    // Showing it again takes effect on the next read without an invalidation.
    protocol.SetIsVisible(true);
    EXPECT_EQ(protocol.GetColorTable()[0], Entry(255, 0, 0, 255));
    EXPECT_TRUE(protocol.IsColorTableValid());
}

TEST(VXR_VOLR_ColorTable, HounsfieldPositionsSpanMinus1024To3095) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("ct"), 1.0f);
    protocol.SetBPP(12);
    protocol.SetIsHounsfield(true);
    protocol.SetRescaleIntercept(-1024);
    protocol.SetRescaleSlope(1.0f);
    protocol.AddColorClass(MakeGreyRamp(), -1);
    const unsigned int* table = protocol.GetColorTable();
    // Raw 0 is -1024 HU: w = 0. Raw 4095 is 3071 HU: w = 4095 / 4119 = 0.99417335,
    // red = trunc(253.514 + 0.49) = 254.
    EXPECT_EQ(table[0], Entry(0, 0, 0, 255));
    EXPECT_EQ(table[4095], Entry(254, 254, 254, 255));
    // Raw 2048 is 1024 HU: w = 2048 / 4119 = 0.4972081, red = trunc(126.788 + 0.49) = 127.
    EXPECT_EQ(table[2048], Entry(127, 127, 127, 255));
    // Slope 2 doubles the step: raw 1000 is 976 HU, w = 2000 / 4119, red = trunc(123.81 + 0.49).
    protocol.SetRescaleSlope(2.0f);
    protocol.InvalidateColorTable();
    EXPECT_EQ(protocol.GetColorTable()[1000], Entry(124, 124, 124, 255));
    EXPECT_TRUE(MatchesLiteralTable(protocol));
}

TEST(VXR_VOLR_ColorTable, WindowedClassesReachTheTableThroughTheirInverseWindow) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(8);
    protocol.AddColorClass(MakeGreyRamp(), -1);
    const std::vector<std::uint32_t> before(Block(protocol), Block(protocol) + 256);
    protocol.AddCenter(0.5f);
    EXPECT_FALSE(protocol.IsColorTableValid());
    const unsigned int* table = protocol.GetColorTable();
    // The ramp now starts at w = 0.5: every entry below is black.
    EXPECT_EQ(table[100], Entry(0, 0, 0, 255));
    EXPECT_NE(table[255], before[255]);
    EXPECT_TRUE(MatchesLiteralTable(protocol));
    protocol.AddWidth(0.5f);
    EXPECT_TRUE(MatchesLiteralTable(protocol));
}

// --- the literal evaluation over generated protocols ------------------------------------

TEST(VXR_VOLR_ColorTable, EveryEntryEqualsTheLiteralEvaluationOverGeneratedProtocols) {
    Generator generate(20240611u);
    int compared = 0;
    for (int bits = 1; bits <= 16; ++bits) {
        const int protocols = bits <= 10 ? 12 : (bits <= 13 ? 4 : 2);
        const int maxClasses = bits <= 12 ? 8 : 4;
        for (int i = 0; i < protocols; ++i) {
            std::string description;
            auto protocol = generate.Protocol(bits, maxClasses, description);
            ASSERT_TRUE(MatchesLiteralTable(*protocol, description));
            ++compared;
        }
    }
    EXPECT_EQ(compared, 10 * 12 + 3 * 4 + 3 * 2);
}

TEST(VXR_VOLR_ColorTable, EightWindowedClassesOnSixteenBitSignedDataEqualTheLiteralEvaluation) {
    auto owned = vxrp_test::MakeOverlappingProtocol(16, true, -1024, 8, 0.1f, true);
    VXR_VOLR_ColorProtocol& protocol = *owned;
    EXPECT_TRUE(MatchesLiteralTable(protocol, "windowed"));
    protocol.AddCenter(-0.1f);
    protocol.AddWidth(-0.5f);
    EXPECT_TRUE(MatchesLiteralTable(protocol, "dragged"));
}

TEST(VXR_VOLR_ColorTable, ShortcutEdgesEqualTheLiteralEvaluation) {
    EdgeGenerator generate(90210u);
    for (int i = 0; i < 60; ++i) {
        std::string description;
        auto protocol = generate.Protocol(description);
        ASSERT_TRUE(MatchesLiteralTable(*protocol, description));
        // A drag step on every class, as the host makes it.
        protocol->AddWidth(0.01f);
        protocol->AddCenter(-0.003f);
        ASSERT_TRUE(MatchesLiteralTable(*protocol, description + ", dragged"));
    }
}

// Out of memory at each allocation of a calculation in turn, on a thread that
// has not calculated a table before (so that its kept block work is made
// here too), alone and shared with a helper (whose start, job and block
// states are allocated too), each time on a copy that has kept no positions
// yet: every read gives no table or the literal table, never raises, and
// nothing leaks (the sanitizer run checks). Its log line has no memory
// either, and is dropped.
TEST(VXR_VOLR_ColorTable, EachAllocationOfACalculationMayFailAndTheTableIsRightOrAbsent) {
    auto protocol = vxrp_test::MakeOverlappingProtocol(12, false, -1024, 4, 0.2f, true);
    const std::vector<std::uint32_t> expected = LiteralColorTable(*protocol);
    for (const int threads : {1, 2}) {
        std::vector<std::unique_ptr<VXR_VOLR_ColorProtocol>> copies;
        for (int k = 0; k < 400; ++k) {
            copies.push_back(std::make_unique<VXR_VOLR_ColorProtocol>(*protocol));
        }
        VXR_VOLR_ColorProtocol::SetTableThreads(threads);
        int failures = 0;
        int absent = 0;
        std::thread fresh([&] {
            std::size_t next = 0;
            const unsigned int* read = nullptr;
            failures = vxrp_test::FailEachAllocation(
                [&] { read = copies.at(next++)->GetColorTable(); },
                [&](bool raised) {
                    EXPECT_FALSE(raised);
                    if (read == nullptr) {
                        ++absent;
                    } else {
                        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), read));
                    }
                });
            const unsigned int* table = copies.at(next)->GetColorTable();  // memory is back
            ASSERT_NE(table, nullptr);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), table));
        });
        fresh.join();
        VXR_VOLR_ColorProtocol::SetTableThreads(1);
        vxrp_test::TakeLogTexts();
        EXPECT_GT(failures, 3) << threads;
        EXPECT_GT(absent, 0) << threads;
        EXPECT_LT(absent, failures) << threads;  // some are met with a table all the same
    }
}

// A child forked after helper threads started has none of them: its tables
// must be calculated without waiting for them, and its exit must not wait to
// join them.
TEST(VXR_VOLR_ColorTable, AChildForkedAfterHelpersStartedCalculatesAloneAndExits) {
    VXR_VOLR_ColorProtocol::SetTableThreads(2);
    auto protocol = vxrp_test::MakeOverlappingProtocol(13, false, -1024, 4, 0.2f, true);
    const std::vector<std::uint32_t> expected = LiteralColorTable(*protocol);
    ASSERT_TRUE(MatchesLiteralTable(*protocol));  // the helpers have started, where there are two
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        protocol->InvalidateColorTable();
        const std::uint32_t* block = Block(*protocol);
        const bool same = block != nullptr && std::equal(expected.begin(), expected.end(), block);
#if defined(__SANITIZE_ADDRESS__)
        // The leak checker would count the parent's helper threads' memory,
        // which no thread of the child owns, as leaked.
        ::_exit(same ? 0 : 1);
#else
        std::exit(same ? 0 : 1);  // with the exit-time clean-up, as such a child may
#endif
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    VXR_VOLR_ColorProtocol::SetTableThreads(1);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A class that answers through its own virtual operations: the table must ask it.
class StripedClass : public VXR_VOLR_ColorClass {
  public:
    using VXR_VOLR_ColorClass::operator=;
    StripedClass() : VXR_VOLR_ColorClass(_bstr_t("striped"), nullptr) {}
    UTL_Color GetColor(float x) const override {
        return (static_cast<int>(x * 100.0f) % 2 == 0) ? UTL_Color(255, 0, 0)
                                                       : UTL_Color(0, 255, 0);
    }
    float GetRelativeOpacity(float x) const override { return x; }
};

TEST(VXR_VOLR_ColorTable, DerivedClassesAreEvaluatedThroughTheirOwnOverrides) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(10);
    protocol.AddColorClass(new StripedClass, -1);
    protocol.AddColorClass(MakeGreyRamp(), -1);
    EXPECT_TRUE(MatchesLiteralTable(protocol));
    const unsigned int* table = protocol.GetColorTable();
    EXPECT_NE(table[10] & 0xff000000u, table[20] & 0xff000000u);
}

// --- bad input ----------------------------------------------------------------------------

TEST(VXR_VOLR_ColorTable, AnUnsupportedDepthIsLoggedOnceHoweverOftenTheTableIsAskedFor) {
    TestProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    protocol.SetBPP(30);
    unsigned long histogram[4] = {1, 1, 1, 1};
    testing::internal::CaptureStdout();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(protocol.GetColorTable(), nullptr);
        protocol.Print();
        protocol.CalculateAverageColor(histogram, 4, 4);
        protocol.CalculateColorTable();
    }
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(OneProtocolFailureRecord());
    EXPECT_EQ(
        vxrp_test::TakeLogTexts(),
        (std::vector<std::string>{"No color table for 30 bits per pixel (1 to 24 supported)\n"}));

    // Another depth is another reason; coming back to a failing depth after it
    // is one again, and so is failing again after a table was had.
    protocol.SetBPP(31);
    protocol.GetColorTable();
    protocol.GetColorTable();
    protocol.SetBPP(30);
    protocol.GetColorTable();
    protocol.SetBPP(3);
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    protocol.SetBPP(30);
    protocol.GetColorTable();
    protocol.GetColorTable();
    EXPECT_EQ(
        vxrp_test::TakeLogTexts(),
        (std::vector<std::string>{"No color table for 31 bits per pixel (1 to 24 supported)\n",
                                  "No color table for 30 bits per pixel (1 to 24 supported)\n",
                                  "No color table for 30 bits per pixel (1 to 24 supported)\n"}));
}

TEST(VXR_VOLR_ColorTable, MoreThan24BitsOrNegativeBitsGiveNoTableAndALogLine) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    protocol.SetBPP(4);
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    protocol.SetBPP(25);
    EXPECT_EQ(protocol.GetColorTable(), nullptr);
    EXPECT_EQ(
        vxrp_test::TakeLogTexts(),
        (std::vector<std::string>{"No color table for 25 bits per pixel (1 to 24 supported)\n"}));
    protocol.SetBPP(-3);
    EXPECT_EQ(protocol.GetColorTable(), nullptr);
    EXPECT_EQ(
        vxrp_test::TakeLogTexts(),
        (std::vector<std::string>{"No color table for -3 bits per pixel (1 to 24 supported)\n"}));
    // Still usable: back to a supported depth.
    protocol.SetBPP(5);
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    EXPECT_EQ(protocol.GetColorTable()[31], Entry(255, 0, 0, 255));
    EXPECT_TRUE(vxrp_test::TakeLogTexts().empty());
}

TEST(VXR_VOLR_ColorTable, ABlockThatCannotBeAllocatedGivesNoTableOneLogLineAndAUsableProtocol) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetSigned(true);
    protocol.SetBPP(8);
    protocol.AddColorClass(MakeGreyRamp(), -1);
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    {
        // The owned block of 8 bits is kept while the bits stay ...
        const vxrp_test::NothrowNewFailure noMemory;
        protocol.InvalidateColorTable();
        EXPECT_NE(protocol.GetColorTable(), nullptr);
        // ... and a block for 10 bits cannot be had.
        protocol.SetBPP(10);
        EXPECT_EQ(protocol.GetColorTable(), nullptr);
        EXPECT_EQ(protocol.GetColorTable(), nullptr);
        EXPECT_FALSE(protocol.IsColorTableValid());
        testing::internal::CaptureStdout();
        protocol.Print();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "-------------------------------------\n");
        unsigned long histogram[1024] = {};
        histogram[700] = 3;
        protocol.CalculateAverageColor(histogram, 3, 1024);
        EXPECT_FALSE(protocol.IsAverageColorValid());
        // Windowing goes on as usual.
        protocol.AddCenter(0.25f);
        EXPECT_EQ(protocol.GetClass(0)->GetCenter(), 0.25f);
    }
    EXPECT_TRUE(OneProtocolFailureRecord());
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"No color table: no memory for 1024 entries\n"}));
    // With memory back, the next read has its table.
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    EXPECT_TRUE(protocol.IsColorTableValid());
    EXPECT_TRUE(MatchesLiteralTable(protocol));
}

TEST(VXR_VOLR_ColorTable, ZeroBitsGiveNoTableSilently) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    EXPECT_EQ(protocol.GetColorTable(), nullptr);
    protocol.SetSigned(true);
    EXPECT_EQ(protocol.GetColorTable(), nullptr);
    EXPECT_EQ(protocol.GetStartRange(), 0) << "no 2^-1 for signed data without bits";
    EXPECT_EQ(protocol.GetEndRange(), 0);
}

TEST(VXR_VOLR_ColorTable, TwentyFourBitsAreSupported) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetSigned(true);
    protocol.SetBPP(24);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    protocol.GetClass(0)->SetIsActive(false);
    const unsigned int* table = protocol.GetColorTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[-(1 << 23)], 0u);
    EXPECT_EQ(table[(1 << 23) - 1], 0u);
}

TEST(VXR_VOLR_ColorTable, FieldsSaturateForColoursOutsideTheByteAndMaximumOpacityAboveOne) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 2.5f);
    protocol.SetBPP(4);
    protocol.AddColorClass(MakeFlatClass("odd", 300, -5, 2147483647, 1.0f), -1);
    const unsigned int* table = protocol.GetColorTable();
    for (int k = 0; k < 16; ++k) {
        ASSERT_EQ(table[k], Entry(255, 0, 255, 255)) << k;
    }
    EXPECT_TRUE(MatchesLiteralTable(protocol));
}

TEST(VXR_VOLR_ColorTable, OddSlopesGiveADefinedTableEqualToTheLiteralEvaluation) {
    const float slopes[] = {0.0f,
                            -1.0f,
                            -0.001f,
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            3e9f,
                            1e38f};
    for (const float slope : slopes) {
        for (const bool isSigned : {false, true}) {
            VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
            protocol.SetSigned(isSigned);
            protocol.SetBPP(12);
            protocol.SetRescaleSlope(slope);
            protocol.SetRescaleIntercept(-1024);
            protocol.AddColorClass(MakeGreyRamp(), -1);
            protocol.AddColorClass(MakeClass("bone", {{0.2f, 255, 255, 200}, {0.8f, 255, 0, 0}},
                                             {{0.2f, 0.0f}, {0.5f, 0.7f}}),
                                   -1);
            std::ostringstream what;
            what << "slope " << slope << (isSigned ? " signed" : " unsigned");
            EXPECT_TRUE(MatchesLiteralTable(protocol, what.str()));
        }
    }
    // NaN slope: start = end = intercept, v = -intercept for every raw value, so
    // w = -intercept / 0. A negative intercept gives +infinity, clamped to
    // position 1 (white); a positive one -infinity, clamped to 0 (black); 0
    // gives NaN, for which the ramp answers its default colour and opacity 0.
    const std::pair<int, std::uint32_t> nanSlope[] = {
        {-1024, Entry(255, 255, 255, 255)}, {1000, Entry(0, 0, 0, 255)}, {0, 0u}};
    for (const auto& [intercept, entry] : nanSlope) {
        VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
        protocol.SetBPP(6);
        protocol.SetRescaleSlope(std::numeric_limits<float>::quiet_NaN());
        protocol.SetRescaleIntercept(intercept);
        protocol.AddColorClass(MakeGreyRamp(), -1);
        EXPECT_EQ(protocol.GetStartRange(), intercept);
        EXPECT_EQ(protocol.GetEndRange(), intercept);
        const unsigned int* constant = protocol.GetColorTable();
        for (int k = 0; k < 64; ++k) {
            ASSERT_EQ(constant[k], entry) << "intercept " << intercept << ", entry " << k;
        }
    }

    // Slope 0: every position is 0/0 (NaN); the ramp answers its default colour
    // and its two-point graph 0, the bone class likewise.
    VXR_VOLR_ColorProtocol flat(_bstr_t("p"), 1.0f);
    flat.SetBPP(6);
    flat.SetRescaleSlope(0.0f);
    flat.AddColorClass(MakeGreyRamp(), -1);
    const unsigned int* table = flat.GetColorTable();
    for (int k = 0; k < 64; ++k) {
        ASSERT_EQ(table[k], 0u);
    }
}

TEST(VXR_VOLR_ColorTable, AClassThatCannotBeEvaluatedRaisesItsBoundsErrorAndLeavesTheTableInvalid) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(4);
    protocol.AddColorClass(
        new VXR_VOLR_ColorClass(_bstr_t("no points"), new VXR_VOLR_TrapezeOpacityGraph), -1);
    EXPECT_THROW(protocol.GetColorTable(), RWBoundsErr);
    EXPECT_FALSE(protocol.IsColorTableValid());
    protocol.RemoveColorClass(0);
    EXPECT_NE(protocol.GetColorTable(), nullptr);
}

// --- recalculation and sharing -----------------------------------------------------------

TEST(VXR_VOLR_ColorTable, RecalculationWithTheSameBitsRewritesTheSameBlock) {
    TestProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(8);
    protocol.AddColorClass(MakeGreyRamp(), -1);
    const unsigned int* first = protocol.GetColorTable();
    protocol.AddCenter(0.2f);
    EXPECT_EQ(protocol.GetColorTable(), first);
    protocol.CalculateColorTable();
    EXPECT_TRUE(protocol.IsColorTableValid());
    EXPECT_EQ(protocol.GetColorTable(), first);
    protocol.SetBPP(9);
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    EXPECT_TRUE(MatchesLiteralTable(protocol));
}

TEST(VXR_VOLR_ColorTable, FrozenImageSharesTheSourceTableAndNeverWritesOrFreesIt) {
    VXR_VOLR_ColorProtocol source(_bstr_t("live"), 1.0f);
    source.SetBPP(10);
    source.SetSigned(true);
    source.AddColorClass(MakeGreyRamp(), -1);
    const unsigned int* live = source.GetColorTable();
    const std::vector<std::uint32_t> saved(Block(source), Block(source) + 1024);
    {
        VXR_VOLR_ColorProtocol image;
        image.FreezeCopy(source);
        EXPECT_EQ(image.GetColorTable(), live);
        EXPECT_EQ(image.GetBPP(), 10);
        EXPECT_TRUE(image.GetSigned());
        // The image has no classes of its own; a recalculation it is forced into
        // goes into its own block.
        image.InvalidateColorTable();
        const unsigned int* own = image.GetColorTable();
        ASSERT_NE(own, nullptr);
        EXPECT_NE(own, live);
        EXPECT_EQ(own[0], 0u);
        // Freezing again drops the own block and looks at the source's again.
        image.FreezeCopy(source);
        EXPECT_EQ(image.GetColorTable(), live);
    }
    EXPECT_EQ(source.GetColorTable(), live);
    EXPECT_EQ(std::vector<std::uint32_t>(Block(source), Block(source) + 1024), saved);
}

TEST(VXR_VOLR_ColorTable, FreezeCopyCalculatesAnInvalidSourceTableFirst) {
    VXR_VOLR_ColorProtocol source(_bstr_t("live"), 1.0f);
    source.SetBPP(8);
    source.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    VXR_VOLR_ColorProtocol image;
    image.FreezeCopy(source);
    EXPECT_TRUE(source.IsColorTableValid());
    EXPECT_TRUE(image.IsColorTableValid());
    EXPECT_EQ(image.GetColorTable()[3], Entry(255, 0, 0, 255));
}

TEST(VXR_VOLR_ColorTable, EveryOrderOfCopyAssignFreezeRecalculateAndDestroyIsClean) {
    // Run under the sanitizer build: a double free, a leak or a read of a freed
    // block halts the run.
    auto make = [] {
        auto p = std::make_unique<VXR_VOLR_ColorProtocol>(_bstr_t("p"), 1.0f);
        p->SetBPP(6);
        p->AddColorClass(MakeGreyRamp(), -1);
        return p;
    };
    auto source = make();
    auto image = std::make_unique<VXR_VOLR_ColorProtocol>();
    image->FreezeCopy(*source);

    // Assigning into an image keeps the shared pointer unowned; its next
    // calculation allocates its own block.
    *image = *source;
    EXPECT_NE(image->GetColorTable(), source->GetColorTable());
    EXPECT_TRUE(MatchesLiteralTable(*image));

    image->FreezeCopy(*source);
    auto copy = std::make_unique<VXR_VOLR_ColorProtocol>(*image);  // copies no table
    EXPECT_NE(copy->GetColorTable(), source->GetColorTable());
    VXR_VOLR_ColorProtocol& self = *copy;
    *copy = self;
    EXPECT_TRUE(MatchesLiteralTable(*copy));
    copy->FreezeCopy(*copy);  // only brings its own table up to date
    EXPECT_TRUE(copy->IsColorTableValid());

    // An image frozen back from its own image keeps its block.
    auto second = std::make_unique<VXR_VOLR_ColorProtocol>();
    second->FreezeCopy(*copy);
    copy->FreezeCopy(*second);
    EXPECT_EQ(copy->GetColorTable(), second->GetColorTable());
    second.reset();
    EXPECT_TRUE(MatchesLiteralTable(*copy));

    image.reset();  // the image first, as the host does
    source->SetBPP(7);
    EXPECT_TRUE(MatchesLiteralTable(*source));
    copy.reset();
    source.reset();
}

// --- print ----------------------------------------------------------------------------------

TEST(VXR_VOLR_ColorTable, PrintWritesOneLinePerEntryThenTheDashes) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(1);
    protocol.AddColorClass(MakeGreyRamp(), -1);
    testing::internal::CaptureStdout();
    protocol.Print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "0\t0.000000\t255\t0\t0\t0\tff\n"
              "1\t1.000000\t255\t255\t255\t255\tffffffff\n"
              "-------------------------------------\n");
}

TEST(VXR_VOLR_ColorTable, PrintOfSignedDataStartsAtTheLowestRawValue) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 0.5f);
    protocol.SetBPP(2);
    protocol.SetSigned(true);
    protocol.AddColorClass(MakeGreyRamp(), -1);
    testing::internal::CaptureStdout();
    protocol.Print();
    // w = 0, 1/3, 2/3, 1; opacity trunc(0.5 * 255 + 0.5) = 128.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "0\t0.000000\t128\t0\t0\t0\t80\n"
              "1\t0.333333\t128\t85\t85\t85\t55555580\n"
              "2\t0.666667\t128\t170\t170\t170\taaaaaa80\n"
              "3\t1.000000\t128\t255\t255\t255\tffffff80\n"
              "-------------------------------------\n");
}

TEST(VXR_VOLR_ColorTable, PrintWithoutATablePrintsOnlyTheDashes) {
    VXR_VOLR_ColorProtocol protocol;
    testing::internal::CaptureStdout();
    protocol.Print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "-------------------------------------\n");
}

// --- average colour ---------------------------------------------------------------------------

namespace {

struct MinusFixture {
    VXR_VOLR_TissueClassHash hash;
    std::unique_ptr<VXR_VOLR_ColorClass> minus{
        MakeClass("minus", {{0.3f, 1, 2, 3}, {0.7f, 4, 5, 6}}, {{0.0f, 1.0f}})};
    MinusFixture() { hash.insertKeyAndValue(_bstr_t("minus"), minus.get()); }
};

}  // namespace

TEST(VXR_VOLR_ColorTable, AverageColourWeighsEveryEntryByHistogramAndOpacity) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(2);
    protocol.AddColorClass(
        MakeClass("c", {{0.0f, 200, 100, 0}, {1.0f, 0, 100, 200}}, {{0.0f, 1.0f}, {1.0f, 0.5f}}),
        -1);
    MinusFixture fixture;
    protocol.PutTissueClassHash(&fixture.hash);
    const unsigned int* table = protocol.GetColorTable();
    // Entries (w = 0, 1/3, 2/3, 1): colours (200,100,0) (133,100,67) (67,100,133) (0,100,200),
    // opacities 255, 212, 170, 128 (at w = 1/3 the graph gives 0.83333331f, and
    // 0.83333331 * 255 = 212.49999 rounds down).
    ASSERT_EQ(table[0], Entry(200, 100, 0, 255));
    ASSERT_EQ(table[1], Entry(133, 100, 67, 212));
    unsigned long histogram[4] = {10, 0, 0, 30};
    protocol.CalculateAverageColor(histogram, 40, 4);
    // weights 0.25 * 255 = 63.75 and 0.75 * 128 = 96: red (63.75 * 200) / 159.75 = 79.8 -> 79,
    // blue (96 * 200) / 159.75 = 120.19 -> 120.
    EXPECT_EQ(protocol.GetAverageColor(), UTL_Color(79, 100, 120));
    EXPECT_TRUE(protocol.IsAverageColorValid());
    // Written back into the "minus" class's first point, which keeps its value.
    ASSERT_EQ(fixture.minus->GetColorPointCount(), 2u);
    EXPECT_EQ(fixture.minus->GetColorPoint(0).m_fValue, 0.3f);
    EXPECT_EQ(fixture.minus->GetColorPoint(0).m_Color, UTL_Color(79, 100, 120));
    EXPECT_EQ(fixture.minus->GetColorPoint(1).m_Color, UTL_Color(4, 5, 6));

    // Up to date: a second call returns at once, even with another histogram.
    unsigned long other[4] = {0, 0, 0, 5};
    protocol.CalculateAverageColor(other, 5, 4);
    EXPECT_EQ(protocol.GetAverageColor(), UTL_Color(79, 100, 120));
    // A table change makes it count again.
    protocol.InvalidateColorTable();
    protocol.CalculateAverageColor(other, 5, 4);
    EXPECT_EQ(protocol.GetAverageColor(), UTL_Color(0, 100, 200));
}

TEST(VXR_VOLR_ColorTable, AverageColourRefusesBadArgumentsWithoutDividingByZero) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(2);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    MinusFixture fixture;
    protocol.PutTissueClassHash(&fixture.hash);
    unsigned long histogram[4] = {1, 1, 1, 1};

    protocol.CalculateAverageColor(nullptr, 4, 4);
    EXPECT_FALSE(protocol.IsColorTableValid()) << "no histogram: returns before the table";
    protocol.CalculateAverageColor(histogram, 4, 8);
    EXPECT_TRUE(protocol.IsColorTableValid()) << "the table is recalculated first";
    EXPECT_FALSE(protocol.IsAverageColorValid());
    protocol.CalculateAverageColor(histogram, 0, 4);
    protocol.CalculateAverageColor(histogram, -3, 4);
    EXPECT_FALSE(protocol.IsAverageColorValid());
    EXPECT_EQ(protocol.GetAverageColor(), UTL_Color());
    EXPECT_EQ(fixture.minus->GetColorPoint(0).m_Color, UTL_Color(1, 2, 3));

    // A histogram only over transparent entries: weights sum to 0, the average is black.
    VXR_VOLR_ColorProtocol clear(_bstr_t("clear"), 1.0f);
    clear.SetBPP(2);
    clear.AddColorClass(MakeFlatClass("red", 255, 0, 0, 0.0f), -1);
    clear.CalculateAverageColor(histogram, 4, 4);
    EXPECT_EQ(clear.GetAverageColor(), UTL_Color(0, 0, 0));
    EXPECT_TRUE(clear.IsAverageColorValid()) << "without a hash the write-back is skipped";

    VXR_VOLR_ColorProtocol noBits;
    noBits.CalculateAverageColor(histogram, 4, 1);
    EXPECT_FALSE(noBits.IsAverageColorValid());
}

TEST(VXR_VOLR_ColorTable, MinusClassWithoutColourPointsRaisesAndLeavesTheAverageInvalid) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(1);
    protocol.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    VXR_VOLR_TissueClassHash hash;
    VXR_VOLR_ColorClass empty(_bstr_t("minus"), new VXR_VOLR_TrapezeOpacityGraph);
    hash.insertKeyAndValue(_bstr_t("minus"), &empty);
    protocol.PutTissueClassHash(&hash);
    unsigned long histogram[2] = {1, 1};
    EXPECT_THROW(protocol.CalculateAverageColor(histogram, 2, 2), RWBoundsErr);
    EXPECT_EQ(protocol.GetAverageColor(), UTL_Color(255, 0, 0));
    EXPECT_FALSE(protocol.IsAverageColorValid());
}
