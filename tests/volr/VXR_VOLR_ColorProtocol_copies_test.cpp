// Copies of classes and protocols, and the lifetime of a shared colour table.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "CFG/CFG_ITree.h"
#include "COM/COM_Error.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "support/AllocationFailure.h"
#include "support/ColorProtocolSamples.h"
#include "support/LogExpectations.h"

namespace {

using Class = VXR_VOLR_ColorClass;
using Protocol = VXR_VOLR_ColorProtocol;

// Positions across the range and beyond both ends.
std::vector<float> Probes() {
    std::vector<float> x;
    for (int i = -4; i <= 84; ++i) {
        x.push_back(static_cast<float>(i) / 80.0f);
    }
    return x;
}

// Whether b holds what a holds: name, flags, window, points in their order,
// graph points, and every colour and opacity a probe sees.
::testing::AssertionResult SameClass(const Class& a, const Class& b) {
    if (a.GetName() != b.GetName() || a.GetIsActive() != b.GetIsActive() ||
        a.GetWidth() != b.GetWidth() || a.GetCenter() != b.GetCenter() ||
        a.GetPivot() != b.GetPivot() || a.GetBPP() != b.GetBPP() ||
        a.GetColorPointCount() != b.GetColorPointCount() ||
        (a.GetOpacityGraph() == nullptr) != (b.GetOpacityGraph() == nullptr)) {
        return ::testing::AssertionFailure() << "the state differs";
    }
    for (int i = 0; i < static_cast<int>(a.GetColorPointCount()); ++i) {
        const VXR_VOLR_ColorPoint p = a.GetColorPoint(i);
        const VXR_VOLR_ColorPoint q = b.GetColorPoint(i);
        if (p.m_fValue != q.m_fValue || !(p.m_Color == q.m_Color)) {
            return ::testing::AssertionFailure() << "colour point " << i << " differs";
        }
    }
    if (a.GetOpacityGraph() != nullptr &&
        a.GetOpacityGraph()->GetOpPointCount() != b.GetOpacityGraph()->GetOpPointCount()) {
        return ::testing::AssertionFailure() << "the graphs differ";
    }
    for (const float x : Probes()) {
        if (a.GetColorPointCount() != 0 && !(a.GetColor(x) == b.GetColor(x))) {
            return ::testing::AssertionFailure() << "the colour at " << x << " differs";
        }
        if (a.GetRelativeOpacity(x) != b.GetRelativeOpacity(x)) {
            return ::testing::AssertionFailure() << "the opacity at " << x << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

std::unique_ptr<Class> RichClass(const char* name) {
    return std::unique_ptr<Class>(vxrp_test::MakeClass(
        name, {{0.1f, 10, 20, 30}, {0.4f, 200, 0, 90}, {0.6f, 255, 255, 0}, {0.9f, 1, 2, 3}},
        {{0.1f, 0.0f}, {0.3f, 0.7f}, {0.5f, 0.2f}, {0.8f, 1.0f}}));
}

// A class whose points are out of order: a width below -1 turns the window
// round, and ApplyWindowing bakes that into the points.
std::unique_ptr<Class> ReversedClass() {
    std::unique_ptr<Class> cls = RichClass("reversed");
    cls->SetWidth(-1.5f);
    cls->ApplyWindowing();
    return cls;
}

std::vector<std::uint32_t> TableOf(Protocol& protocol) {
    const unsigned int* table = protocol.GetColorTable();
    if (table == nullptr) {
        return {};
    }
    const std::size_t entries = std::size_t{1} << protocol.GetBPP();
    const unsigned int* start = protocol.GetSigned() ? table - entries / 2 : table;
    return std::vector<std::uint32_t>(start, start + entries);
}

std::unique_ptr<Protocol> RichProtocol() {
    std::unique_ptr<Protocol> protocol =
        vxrp_test::MakeOverlappingProtocol(8, true, -20, 3, 0.2f, true);
    protocol->SetName("a protocol name long enough to live on the heap");
    protocol->AddColorClass(ReversedClass().release(), -1);
    const std::unique_ptr<Class> holder = RichClass("bone place holder");
    protocol->PutTissuePlaceHolder(TIS_BONE, holder.get());
    return protocol;
}

::testing::AssertionResult SameProtocol(Protocol& a, Protocol& b) {
    if (a.GetName() != b.GetName() || a.GetClassCount() != b.GetClassCount()) {
        return ::testing::AssertionFailure() << "the state differs";
    }
    for (int i = 0; i < static_cast<int>(a.GetClassCount()); ++i) {
        ::testing::AssertionResult same = SameClass(*a.GetClass(i), *b.GetClass(i));
        if (!same) {
            return same << " (class " << i << ")";
        }
    }
    for (const TIS_TissueType t : {TIS_GENERAL, TIS_BONE}) {
        const Class* p = a.GetTissuePlaceHolder(t);
        const Class* q = b.GetTissuePlaceHolder(t);
        if ((p == nullptr) != (q == nullptr) || (p != nullptr && !SameClass(*p, *q))) {
            return ::testing::AssertionFailure() << "place holder " << t << " differs";
        }
    }
    if (TableOf(a) != TableOf(b)) {
        return ::testing::AssertionFailure() << "the tables differ";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(VXR_VOLR_ColorClass, ACopyIsCompleteOrRaisesAndAFailedAssignmentChangesNothing) {
    const std::unique_ptr<Class> source = RichClass("a class name long enough for the heap");
    std::unique_ptr<Class> made;
    const int failures =
        vxrp_test::FailEachAllocation([&] { made = std::make_unique<Class>(*source); },
                                      [&](bool raised) {
                                          if (raised) {
                                              EXPECT_EQ(made, nullptr);
                                          } else {
                                              ASSERT_NE(made, nullptr);
                                              EXPECT_TRUE(SameClass(*source, *made));
                                          }
                                      });
    EXPECT_GT(failures, 2);

    const std::unique_ptr<Class> target = RichClass("before");
    target->AddColorPoint(VXR_VOLR_ColorPoint(0.5f, UTL_Color(7, 7, 7)));
    const Class snapshot(*target);
    vxrp_test::FailEachAllocation(
        [&] { *target = *source; },
        [&](bool raised) { EXPECT_TRUE(SameClass(raised ? snapshot : *source, *target)); });
}

TEST(VXR_VOLR_ColorClass, ACopyEqualsItsSourceWhateverTheOrderOfItsPoints) {
    const std::unique_ptr<Class> reversed = ReversedClass();
    ASSERT_GT(reversed->GetColorPoint(0).m_fValue, reversed->GetColorPoint(1).m_fValue);
    const Class constructed(*reversed);
    EXPECT_TRUE(SameClass(*reversed, constructed));
    Class assigned("other", nullptr);
    assigned = *reversed;
    EXPECT_TRUE(SameClass(*reversed, assigned));
}

TEST(VXR_VOLR_ColorClass, ATreePointAtNoFinitePlaceRaisesTheTreeError) {
    for (const char* value : {"nan", "inf", "-inf", "1e39"}) {
        CFG_ITreePtr tree = VXR_VOLR_ColorPoint(0.5f, UTL_Color(1, 2, 3)).ExportToCFG();
        tree->SetString("value", value);
        EXPECT_THROW(VXR_VOLR_ColorPoint{tree}, _com_error) << value;

        CFG_ITreePtr classTree = RichClass("c")->ExportToCFG();
        tree->SetNodeName("", "color_point99");
        classTree->AddSubTree("", tree);
        EXPECT_THROW(Class{classTree}, _com_error) << value;
    }
}

TEST(VXR_VOLR_ColorProtocol, ACopyIsCompleteOrRaisesAndAFailedAssignmentChangesNothing) {
    const std::unique_ptr<Protocol> source = RichProtocol();
    std::unique_ptr<Protocol> made;
    const int failures =
        vxrp_test::FailEachAllocation([&] { made = std::make_unique<Protocol>(*source); },
                                      [&](bool raised) {
                                          if (raised) {
                                              EXPECT_EQ(made, nullptr);
                                          } else {
                                              ASSERT_NE(made, nullptr);
                                              EXPECT_TRUE(SameProtocol(*source, *made));
                                          }
                                      });
    EXPECT_GT(failures, 10);

    const std::unique_ptr<Protocol> target =
        vxrp_test::MakeOverlappingProtocol(8, false, 0, 2, 0.3f, false);
    const std::unique_ptr<Protocol> snapshot = std::make_unique<Protocol>(*target);
    vxrp_test::FailEachAllocation(
        [&] { *target = *source; },
        [&](bool raised) { EXPECT_TRUE(SameProtocol(raised ? *snapshot : *source, *target)); });
}

TEST(VXR_VOLR_ColorProtocol, ExtremeBitCountsNeverOverflowTheValueRange) {
    for (const bool isSigned : {true, false}) {
        for (const int bits : {INT_MIN, INT_MIN + 1, -1, INT_MAX}) {
            Protocol protocol(_bstr_t("p"), 1.0f);
            protocol.SetSigned(isSigned);
            protocol.SetRescaleSlope(0.5f);
            protocol.SetBPP(bits);
            const long long start = protocol.GetStartRange();
            const long long end = protocol.GetEndRange();
            EXPECT_LE(start, end) << bits;
            EXPECT_EQ(protocol.GetColorTable(), nullptr);
            EXPECT_EQ(vxrp_test::TakeLogTexts().size(), 1u) << bits;
        }
    }
}

// Every order of freezing, re-freezing, recalculating and destroying across
// three protocols: no protocol ever reads a block that is gone (the sanitizer
// build sees to that), and an image reads the table it was frozen with.
TEST(VXR_VOLR_ColorProtocol, FrozenImagesKeepTheirTableThroughEveryOrderOfChanges) {
    std::array<int, 6> order{0, 1, 2, 3, 4, 5};
    std::vector<unsigned long> histogram(1024, 3);
    int sequences = 0;
    do {
        std::array<std::unique_ptr<Protocol>, 3> p;
        for (std::unique_ptr<Protocol>& protocol : p) {
            protocol = vxrp_test::MakeOverlappingProtocol(8, false, 0, 2, 0.3f, false);
        }
        p[2]->SetBPP(10);
        const auto freeze = [&](int image, int source) {
            if (p[static_cast<std::size_t>(image)] && p[static_cast<std::size_t>(source)]) {
                p[static_cast<std::size_t>(image)]->FreezeCopy(
                    *p[static_cast<std::size_t>(source)]);
            }
        };
        for (const int step : order) {
            switch (step) {
                case 0:
                    freeze(1, 0);
                    break;
                case 1:
                    freeze(2, 1);
                    break;
                case 2:
                    freeze(0, 2);
                    break;
                case 3:
                    freeze(1, 2);
                    break;
                case 4:
                    if (p[0]) {
                        p[0]->SetBPP(p[0]->GetBPP() == 8 ? 9 : 8);
                        p[0]->GetColorTable();
                    }
                    break;
                default:
                    p[0].reset();
                    break;
            }
            for (std::unique_ptr<Protocol>& protocol : p) {
                if (!protocol) {
                    continue;
                }
                const std::vector<std::uint32_t> table = TableOf(*protocol);
                ASSERT_EQ(table.size(), std::size_t{1} << protocol->GetBPP());
                protocol->CalculateAverageColor(histogram.data(), 3000,
                                                static_cast<int>(table.size()));
            }
        }
        ++sequences;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(sequences, 720);
}

TEST(VXR_VOLR_ColorProtocol, AnImageOfAnImageKeepsTheFirstSourcesTableAfterTheMiddleOneMoves) {
    auto first = vxrp_test::MakeOverlappingProtocol(8, false, 0, 2, 0.3f, false);
    auto middle = vxrp_test::MakeOverlappingProtocol(8, false, 0, 1, 0.3f, false);
    auto other = vxrp_test::MakeOverlappingProtocol(8, false, 0, 3, 0.1f, true);
    Protocol last;
    const std::vector<std::uint32_t> expected = TableOf(*first);
    middle->FreezeCopy(*first);
    last.FreezeCopy(*middle);
    middle->FreezeCopy(*other);
    first.reset();
    EXPECT_EQ(TableOf(last), expected);
    EXPECT_EQ(TableOf(*middle), TableOf(*other));
}
