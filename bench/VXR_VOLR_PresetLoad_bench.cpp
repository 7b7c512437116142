// Loading a protocol file as the host does when the user picks a preset: the
// largest file of presets/ read from disk into a tree, the protocol built from
// the tree, and its 16-bit table (signed data, as an MR or a 16-bit CT series
// gives) computed. The file part should stay well under a millisecond.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "CFG/CFG_TreeFile.h"
#include "volr/VXR_VOLR_ColorProtocol.h"

namespace {

std::string LargestPreset() {
    std::string largest;
    std::uintmax_t size = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VXRP_PRESETS_DIR)) {
        if (entry.path().extension() == ".xml" && entry.file_size() > size) {
            size = entry.file_size();
            largest = entry.path().string();
        }
    }
    return largest;
}

const std::string& Preset() {
    static const std::string path = LargestPreset();
    return path;
}

// The file read and parsed into a tree.
void BM_LoadFile(benchmark::State& state) {
    for (auto _ : state) {
        CFG_ITreePtr tree = CFG_LoadTreeFile(Preset());
        benchmark::DoNotOptimize(tree.GetInterfacePtr());
    }
    state.SetLabel(std::filesystem::path(Preset()).filename().string() + ", " +
                   std::to_string(std::filesystem::file_size(Preset())) + " bytes");
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMicrosecond);

// The protocol built from a loaded tree.
void BM_ProtocolFromTree(benchmark::State& state) {
    const CFG_ITreePtr tree = CFG_LoadTreeFile(Preset());
    for (auto _ : state) {
        VXR_VOLR_ColorProtocol protocol(tree);
        benchmark::DoNotOptimize(protocol.GetClassCount());
    }
}
BENCHMARK(BM_ProtocolFromTree)->Unit(benchmark::kMicrosecond);

// The whole way: file, tree, protocol, 16-bit signed table.
void BM_LoadFileAndTable16(benchmark::State& state) {
    for (auto _ : state) {
        VXR_VOLR_ColorProtocol protocol(CFG_LoadTreeFile(Preset()));
        protocol.SetSigned(true);
        protocol.SetBPP(16);
        benchmark::DoNotOptimize(protocol.GetColorTable());
    }
}
BENCHMARK(BM_LoadFileAndTable16)->Unit(benchmark::kMicrosecond);

// The export back to a file's text, as a save does before writing.
void BM_ExportToText(benchmark::State& state) {
    VXR_VOLR_ColorProtocol protocol(CFG_LoadTreeFile(Preset()));
    for (auto _ : state) {
        const std::string text = CFG_WriteTreeText(protocol.ExportToCFG());
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_ExportToText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
