// The colour table shared with helper threads: the same table, bit for bit,
// whatever the thread count, and whichever host threads ask at once.
#include <gtest/gtest.h>
#include <sched.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RW/RW_Errors.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "support/ColorProtocolSamples.h"
#include "support/ColorTableGenerators.h"

using vxrp_test::Block;
using vxrp_test::MatchesLiteralTable;

namespace {

// Table threads for one test, back to the default after it.
class TableThreads {
  public:
    explicit TableThreads(int threads) { VXR_VOLR_ColorProtocol::SetTableThreads(threads); }
    ~TableThreads() { VXR_VOLR_ColorProtocol::SetTableThreads(1); }
    TableThreads(const TableThreads&) = delete;
    TableThreads& operator=(const TableThreads&) = delete;
};

std::vector<std::uint32_t> TableOf(VXR_VOLR_ColorProtocol& protocol) {
    protocol.InvalidateColorTable();
    const std::uint32_t* block = Block(protocol);
    return {block, block + (std::size_t{1} << protocol.GetBPP())};
}

// Every thread of the process on one processor for one test (helpers
// started meanwhile inherit it); after it, every thread of the process,
// those started meanwhile included, back on the processors the test's
// thread had.
class OneProcessor {
  public:
    OneProcessor() {
        if (sched_getaffinity(0, sizeof m_Had, &m_Had) != 0) {
            return;
        }
        std::size_t cpu = 0;
        while (cpu < static_cast<std::size_t>(CPU_SETSIZE) && !CPU_ISSET(cpu, &m_Had)) {
            ++cpu;
        }
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        SetAll(one);
        m_Set = true;
    }
    ~OneProcessor() {
        if (m_Set) {
            SetAll(m_Had);
        }
    }
    OneProcessor(const OneProcessor&) = delete;
    OneProcessor& operator=(const OneProcessor&) = delete;

  private:
    static void SetAll(const cpu_set_t& set) {
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            const auto tid = static_cast<pid_t>(std::atoi(task.path().filename().c_str()));
            sched_setaffinity(tid, sizeof set, &set);
        }
    }

    cpu_set_t m_Had{};
    bool m_Set = false;
};

}  // namespace

TEST(ColorTableThreaded, ThreadCountsAreClampedToOneAndTheHardware) {
    const int hardware = static_cast<int>(std::thread::hardware_concurrency());
    const int most = hardware == 0 ? 1 : hardware;
    for (const auto& [asked, kept] : std::vector<std::pair<int, int>>{
             {1, 1}, {0, 1}, {-5, 1}, {2, most < 2 ? most : 2}, {1 << 20, most}}) {
        const TableThreads threads(asked);
        EXPECT_EQ(VXR_VOLR_ColorProtocol::GetTableThreads(), kept) << asked;
    }
    EXPECT_EQ(VXR_VOLR_ColorProtocol::GetTableThreads(), 1);
}

// Generated protocols large enough to be shared, before and after a drag
// step, and protocols aimed at the shortcuts' edges, with up to four threads
// (on a machine of one hardware thread the count is clamped to one, and the
// tables must be the same all the same).
TEST(ColorTableThreaded, SharedTablesEqualTheLiteralEvaluation) {
    const TableThreads threads(4);
    vxrp_test::Generator generate(20261209u);
    for (const int bits : {11, 12, 13, 14}) {
        for (int i = 0; i < 3; ++i) {
            std::string description;
            auto protocol = generate.Protocol(bits, 8, description);
            ASSERT_TRUE(MatchesLiteralTable(*protocol, description));
            protocol->AddWidth(0.02f);
            protocol->AddCenter(0.01f);
            ASSERT_TRUE(MatchesLiteralTable(*protocol, description + ", dragged"));
        }
    }
    vxrp_test::EdgeGenerator edges(4711u);
    for (int i = 0; i < 12; ++i) {
        std::string description;
        auto protocol = edges.Protocol(description);
        ASSERT_TRUE(MatchesLiteralTable(*protocol, description));
    }
    auto wide = vxrp_test::MakeOverlappingProtocol(16, true, -1024, 8, 0.1f, true);
    EXPECT_TRUE(MatchesLiteralTable(*wide, "16 bits, 8 windowed classes"));
}

// Host threads asking at once: one table is shared with the helpers, the
// others are computed on their own threads; every one is complete.
TEST(ColorTableThreaded, TablesAskedForOnSeveralThreadsAtOnceAreEachTheSingleThreadedOne) {
    constexpr int kHosts = 4;
    constexpr int kRounds = 6;
    std::vector<std::unique_ptr<VXR_VOLR_ColorProtocol>> protocols;
    std::vector<std::vector<std::uint32_t>> expected;
    for (int h = 0; h < kHosts; ++h) {
        protocols.push_back(vxrp_test::MakeOverlappingProtocol(
            13, h % 2 == 0, -1024 * h, 2 + 2 * h, 0.2f / static_cast<float>(h + 1), h % 3 != 0));
        expected.push_back(TableOf(*protocols.back()));
    }
    const TableThreads threads(2);
    std::vector<int> mismatches(kHosts, 0);
    std::vector<std::thread> hosts;
    for (int h = 0; h < kHosts; ++h) {
        hosts.emplace_back([&, h] {
            for (int round = 0; round < kRounds; ++round) {
                if (TableOf(*protocols[static_cast<std::size_t>(h)]) !=
                    expected[static_cast<std::size_t>(h)]) {
                    ++mismatches[static_cast<std::size_t>(h)];
                }
            }
        });
    }
    for (std::thread& host : hosts) {
        host.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(kHosts, 0));
}

// A class of a derived type may raise from its own operations: such tables are
// never shared, so the error reaches the asking thread as it would alone.
TEST(ColorTableThreaded, TablesWithAClassThatMayRaiseAreComputedOnTheAskingThread) {
    class Raising : public VXR_VOLR_ColorClass {
      public:
        using VXR_VOLR_ColorClass::operator=;
        Raising() : VXR_VOLR_ColorClass(_bstr_t("raising"), nullptr) {}
        UTL_Color GetColor(float x) const override {
            if (x > 0.75f) {
                throw RWBoundsErr("no colour up here");
            }
            return UTL_Color(1, 2, 3);
        }
    };
    const TableThreads threads(2);
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(14);
    protocol.AddColorClass(vxrp_test::MakeFlatClass("flat", 10, 20, 30, 0.5f), -1);
    protocol.AddColorClass(new Raising, -1);
    EXPECT_THROW(protocol.GetColorTable(), RWBoundsErr);
    EXPECT_FALSE(protocol.IsColorTableValid());
    protocol.RemoveColorClass(1);
    EXPECT_TRUE(MatchesLiteralTable(protocol));
}

// Helpers that lose the processor: here the asking thread and its helper
// share one, so the helper is now and then descheduled in the middle of a
// block while the asking thread waits for it. The asking thread must then
// compute such blocks itself and return a complete table, and the helper's
// late work must neither reach the table nor outlive what it reads: each
// protocol is destroyed right after its table (the sanitizer builds see any
// late access).
TEST(ColorTableThreaded, HelpersWithoutAProcessorNeitherHoldUpNorSpoilATable) {
    constexpr int kVariants = 4;
    const auto make = [](int variant) {
        auto protocol = vxrp_test::MakeOverlappingProtocol(16, true, 0, 8, 0.11f, true);
        protocol->AddCenter(0.01f * static_cast<float>(variant));
        return protocol;
    };
    std::vector<std::vector<std::uint32_t>> expected;
    for (int v = 0; v < kVariants; ++v) {
        auto protocol = make(v);
        ASSERT_TRUE(MatchesLiteralTable(*protocol));
        expected.push_back(TableOf(*protocol));
    }
    const OneProcessor one;
    const TableThreads threads(2);
    if (VXR_VOLR_ColorProtocol::GetTableThreads() < 2) {
        GTEST_SKIP() << "one hardware thread: nothing is shared";
    }
    int mismatches = 0;
    for (int i = 0; i < 200; ++i) {
        auto protocol = make(i % kVariants);
        if (TableOf(*protocol) != expected[static_cast<std::size_t>(i % kVariants)]) {
            ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// The positions of a table are kept for the next one with the same value
// range. One protocol, its range changed in every way between tables, alone
// and with a helper: each table is the literal one, never one made from the
// positions of the range before.
TEST(ColorTableThreaded, KeptPositionsFollowEveryChangeOfTheValueRange) {
    const std::vector<std::pair<const char*, void (*)(VXR_VOLR_ColorProtocol&)>> changes = {
        {"as made", [](VXR_VOLR_ColorProtocol&) {}},
        {"intercept", [](VXR_VOLR_ColorProtocol& p) { p.SetRescaleIntercept(-1000); }},
        {"slope", [](VXR_VOLR_ColorProtocol& p) { p.SetRescaleSlope(0.7f); }},
        {"signed", [](VXR_VOLR_ColorProtocol& p) { p.SetSigned(true); }},
        {"bits", [](VXR_VOLR_ColorProtocol& p) { p.SetBPP(13); }},
        {"unsigned", [](VXR_VOLR_ColorProtocol& p) { p.SetSigned(false); }},
        {"slope back", [](VXR_VOLR_ColorProtocol& p) { p.SetRescaleSlope(1.0f); }},
        {"window only", [](VXR_VOLR_ColorProtocol& p) { p.AddCenter(0.02f); }},
        {"negative slope", [](VXR_VOLR_ColorProtocol& p) { p.SetRescaleSlope(-1.5f); }},
        {"bits back", [](VXR_VOLR_ColorProtocol& p) { p.SetBPP(12); }},
    };
    for (const int count : {1, 2}) {
        const TableThreads threads(count);
        auto protocol = vxrp_test::MakeOverlappingProtocol(12, false, -1024, 6, 0.13f, true);
        for (const auto& [what, change] : changes) {
            change(*protocol);
            protocol->InvalidateColorTable();
            ASSERT_TRUE(MatchesLiteralTable(*protocol, what)) << count << " threads";
        }
    }
}
