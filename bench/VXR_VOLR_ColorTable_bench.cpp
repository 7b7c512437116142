// The colour table is recomputed on every mouse move while the user drags a
// window, so its calculation is measured here beside the literal evaluation of
// the tests (same protocols, same run), and the two are checked to agree bit
// for bit before anything is timed.
//
// Arguments of the table benchmarks: bits (12 unsigned or 16 signed), the
// number of active classes (each with 6 colour points and 6 opacity points),
// whether every class has a window, and the table threads. The class
// benchmarks set apart what one class's batch evaluation costs against asking
// it position by position.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VXR_VOLR_BatchEvaluation.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "support/ColorProtocolSamples.h"
#include "support/ColorTableReference.h"

namespace {

// 12-bit data unsigned with intercept -1024, 16-bit data signed.
std::unique_ptr<VXR_VOLR_ColorProtocol> MakeProtocol(int bits, int classes, bool windowed) {
    return vxrp_test::MakeOverlappingProtocol(bits, bits == 16, bits == 16 ? 0 : -1024, classes,
                                              0.11f, windowed);
}

const std::uint32_t* Block(VXR_VOLR_ColorProtocol& protocol) {
    const unsigned int* table = protocol.GetColorTable();
    return protocol.GetSigned() ? table - (std::size_t{1} << (protocol.GetBPP() - 1)) : table;
}

bool Identical(VXR_VOLR_ColorProtocol& protocol) {
    protocol.InvalidateColorTable();
    const std::uint32_t* block = Block(protocol);
    const std::vector<std::uint32_t> literal = vxrp_test::LiteralColorTable(protocol);
    for (std::size_t k = 0; k < literal.size(); ++k) {
        if (block[k] != literal[k]) {
            return false;
        }
    }
    return !literal.empty();
}

std::string ThreadsLabel();

void Label(benchmark::State& state) {
    state.SetLabel(std::to_string(state.range(0)) +
                   (state.range(0) == 16 ? " signed" : " unsigned") + ", " +
                   std::to_string(state.range(1)) + " classes" +
                   (state.range(2) != 0 ? ", windowed" : "") + ThreadsLabel());
}

// The table threads for one benchmark, back to 1 (the default) after it.
class TableThreads {
  public:
    explicit TableThreads(std::int64_t threads) {
        VXR_VOLR_ColorProtocol::SetTableThreads(static_cast<int>(threads));
    }
    ~TableThreads() { VXR_VOLR_ColorProtocol::SetTableThreads(1); }
    TableThreads(const TableThreads&) = delete;
    TableThreads& operator=(const TableThreads&) = delete;
};

std::string ThreadsLabel() {
    const int threads = VXR_VOLR_ColorProtocol::GetTableThreads();
    return threads == 1 ? "" : ", " + std::to_string(threads) + " threads";
}

// Fourth argument: the table threads.
void BM_ColorTable(benchmark::State& state) {
    auto protocol = MakeProtocol(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                 state.range(2) != 0);
    const TableThreads threads(state.range(3));
    if (!Identical(*protocol)) {
        state.SkipWithError("the table differs from the literal evaluation");
        return;
    }
    for (auto _ : state) {
        protocol->InvalidateColorTable();
        benchmark::DoNotOptimize(protocol->GetColorTable());
        benchmark::ClobberMemory();
    }
    Label(state);
}

// A machine busy with other work: busy threads spin for as long as the
// benchmark runs. Arguments: bits, the table threads, the busy threads (8
// windowed classes). Compare with no busy thread, and with 1 table thread:
// helpers must not cost more than they bring when they lose their processor.
class BusyThreads {
  public:
    explicit BusyThreads(std::int64_t count) {
        for (std::int64_t k = 0; k < count; ++k) {
            m_Threads.emplace_back([this] {
                std::uint64_t spins = 0;
                while (!m_Stop.load(std::memory_order_relaxed)) {
                    benchmark::DoNotOptimize(++spins);
                }
            });
        }
    }
    ~BusyThreads() {
        m_Stop.store(true, std::memory_order_relaxed);
        for (std::thread& thread : m_Threads) {
            thread.join();
        }
    }
    BusyThreads(const BusyThreads&) = delete;
    BusyThreads& operator=(const BusyThreads&) = delete;

  private:
    std::atomic<bool> m_Stop{false};
    std::vector<std::thread> m_Threads;
};

void BM_BusyColorTable(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    auto protocol = MakeProtocol(bits, 8, true);
    const TableThreads threads(state.range(1));
    const BusyThreads busy(state.range(2));
    for (auto _ : state) {
        protocol->InvalidateColorTable();
        benchmark::DoNotOptimize(protocol->GetColorTable());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(bits) + " bits, " + std::to_string(state.range(1)) +
                   " table threads, " + std::to_string(state.range(2)) + " busy threads");
}

void BM_LiteralColorTable(benchmark::State& state) {
    const TableThreads threads(1);
    auto protocol = MakeProtocol(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                 state.range(2) != 0);
    for (auto _ : state) {
        std::vector<std::uint32_t> table = vxrp_test::LiteralColorTable(*protocol);
        benchmark::DoNotOptimize(table.data());
        benchmark::ClobberMemory();
    }
    Label(state);
}

void Arguments(benchmark::internal::Benchmark* b) {
    for (const int bits : {12, 16}) {
        for (const int classes : {1, 8}) {
            for (const int windowed : {0, 1}) {
                b->Args({bits, classes, windowed, 1});
            }
        }
    }
    b->Unit(benchmark::kMillisecond);
}

void ThreadedArguments(benchmark::internal::Benchmark* b) {
    for (const int bits : {12, 16}) {
        for (const int windowed : {0, 1}) {
            b->Args({bits, 8, windowed, 2});
        }
    }
    b->Unit(benchmark::kMillisecond);
}

// One class over the positions of a 16-bit table: the class's kept evaluator
// against GetColor and GetRelativeOpacity per position (argument: windowed).
std::vector<float> TablePositions() {
    std::vector<float> positions(std::size_t{1} << 16);
    for (std::size_t k = 0; k < positions.size(); ++k) {
        positions[k] = static_cast<float>(k) / 65535.0f;
    }
    return positions;
}

struct ClassOutput {
    explicit ClassOutput(std::size_t n) : red(n), green(n), blue(n), opacity(n) {}
    std::vector<int> red, green, blue;
    std::vector<float> opacity;
};

void BM_ClassEvaluator(benchmark::State& state) {
    auto protocol = MakeProtocol(16, 1, state.range(0) != 0);
    const VXR_VOLR_ColorClass& cls = *protocol->GetClass(0);
    const std::vector<float> positions = TablePositions();
    const int count = static_cast<int>(positions.size());
    ClassOutput out(positions.size());
    for (auto _ : state) {
        const VXR_VOLR_ColorClass::Evaluator evaluator(cls);
        evaluator.Evaluate(positions.data(), count, out.red.data(), out.green.data(),
                           out.blue.data(), out.opacity.data());
        benchmark::DoNotOptimize(out.opacity.data());
        benchmark::ClobberMemory();
    }
    for (std::size_t k = 0; k < positions.size(); ++k) {
        const UTL_Color color = cls.GetColor(positions[k]);
        if (color != UTL_Color(out.red[k], out.green[k], out.blue[k]) ||
            cls.GetRelativeOpacity(positions[k]) != out.opacity[k]) {
            state.SkipWithError("the evaluator differs from the class's own answers");
            return;
        }
    }
    state.SetLabel(state.range(0) != 0 ? "65536 positions, windowed" : "65536 positions");
}

void BM_ClassPerPosition(benchmark::State& state) {
    auto protocol = MakeProtocol(16, 1, state.range(0) != 0);
    const VXR_VOLR_ColorClass& cls = *protocol->GetClass(0);
    const std::vector<float> positions = TablePositions();
    ClassOutput out(positions.size());
    for (auto _ : state) {
        for (std::size_t k = 0; k < positions.size(); ++k) {
            const UTL_Color color = cls.GetColor(positions[k]);
            out.red[k] = color.GetRed();
            out.green[k] = color.GetGreen();
            out.blue[k] = color.GetBlue();
            out.opacity[k] = cls.GetRelativeOpacity(positions[k]);
        }
        benchmark::DoNotOptimize(out.opacity.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) != 0 ? "65536 positions, windowed" : "65536 positions");
}

// The drag itself: one step of the window on the protocol (forwarded to every
// class) and the table read that follows it, as on every mouse move.
// Arguments: bits (12 unsigned or 16 signed), classes, 0 for AddWidth or 1
// for AddCenter. Fifty steps one way, fifty back, so that every step changes
// the window and none reaches the clamp.
void BM_Drag(benchmark::State& state) {
    auto protocol =
        MakeProtocol(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), true);
    const TableThreads threads(state.range(3));
    const bool center = state.range(2) != 0;
    float step = 0.004f;
    int moves = 0;
    for (auto _ : state) {
        if (center) {
            protocol->AddCenter(step);
        } else {
            protocol->AddWidth(step);
        }
        benchmark::DoNotOptimize(protocol->GetColorTable());
        benchmark::ClobberMemory();
        if (++moves == 50) {
            step = -step;
            moves = 0;
        }
    }
    if (!Identical(*protocol)) {
        state.SkipWithError("the dragged table differs from the literal evaluation");
        return;
    }
    state.SetLabel(std::to_string(state.range(0)) +
                   (state.range(0) == 16 ? " signed, " : " unsigned, ") +
                   std::to_string(state.range(1)) + " classes, " +
                   (center ? "AddCenter" : "AddWidth") + ThreadsLabel());
}

// Bits x classes, windowed, with the time per class and entry as counters in
// nanoseconds: wall time (ns_per_class_entry) and processor time
// (cpu_ns_per_class_entry).
void BM_Sweep(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const int classes = static_cast<int>(state.range(1));
    auto protocol = vxrp_test::MakeOverlappingProtocol(bits, true, 0, classes,
                                                       0.88f / static_cast<float>(classes), true);
    if (!Identical(*protocol)) {
        state.SkipWithError("the table differs from the literal evaluation");
        return;
    }
    const auto begin = std::chrono::steady_clock::now();
    const std::clock_t cpuBegin = std::clock();
    for (auto _ : state) {
        protocol->InvalidateColorTable();
        benchmark::DoNotOptimize(protocol->GetColorTable());
        benchmark::ClobberMemory();
    }
    const std::clock_t cpuEnd = std::clock();
    const std::chrono::duration<double, std::nano> elapsed =
        std::chrono::steady_clock::now() - begin;
    const double classEntries = static_cast<double>(state.iterations()) *
                                static_cast<double>(classes) *
                                static_cast<double>(std::size_t{1} << bits);
    // On a shared machine the wall time holds the waits for a core; the
    // processor time of this process does not.
    state.counters["ns_per_class_entry"] = elapsed.count() / classEntries;
    state.counters["cpu_ns_per_class_entry"] =
        static_cast<double>(cpuEnd - cpuBegin) * (1e9 / CLOCKS_PER_SEC) / classEntries;
    state.SetLabel(std::to_string(bits) + " signed, " + std::to_string(classes) + " classes");
}

void SweepArguments(benchmark::internal::Benchmark* b) {
    for (const int bits : {8, 10, 12, 14, 16}) {
        for (const int classes : {1, 2, 4, 8, 16}) {
            b->Args({bits, classes});
        }
    }
    b->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(BM_ColorTable)->Apply(Arguments);
BENCHMARK(BM_ColorTable)->Apply(ThreadedArguments);
BENCHMARK(BM_Drag)
    ->Args({16, 8, 0, 1})
    ->Args({16, 8, 1, 1})
    ->Args({12, 8, 0, 1})
    ->Args({12, 8, 1, 1})
    ->Args({16, 8, 0, 2})
    ->Args({16, 8, 1, 2})
    ->Args({12, 8, 0, 2})
    ->Args({12, 8, 1, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sweep)->Apply(SweepArguments);
BENCHMARK(BM_BusyColorTable)
    ->ArgsProduct({{12, 16}, {1, 2}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LiteralColorTable)->Apply(Arguments);
BENCHMARK(BM_ClassEvaluator)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassPerPosition)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
