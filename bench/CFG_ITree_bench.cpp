// One wide node of a configuration tree: n values and n children written, each
// read back by name, and the tree copied. Entries are found through an index,
// so the time should grow about linearly with n; walking the node for every
// name would make 20000 entries take seconds instead of milliseconds.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "CFG/CFG_ITree.h"
#include "support/TreeHelpers.h"

namespace {

_bstr_t Numbered(const char* prefix, int number, const char* suffix = "") {
    std::string text(prefix);
    text.append(std::to_string(number)).append(suffix);
    return _bstr_t::FromUtf8(text);
}

void BM_WideNodeWrittenReadAndCopied(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::vector<_bstr_t> values;
    std::vector<_bstr_t> children;
    for (int i = 0; i < count; ++i) {
        values.push_back(Numbered("point", i));
        children.push_back(Numbered("c", i, "\\n"));
    }
    for (auto _ : state) {
        CFG_ITreePtr tree = vxrp_test::NewTree();
        for (std::size_t i = 0; i < values.size(); ++i) {
            tree->SetInt(values[i], static_cast<int>(i));
            tree->SetInt(children[i], static_cast<int>(i));
        }
        long long sum = 0;
        for (std::size_t i = values.size(); i-- > 0;) {
            sum += tree->GetInt(values[i]) + tree->GetIntDefault(children[i], -1);
        }
        const CFG_ITreePtr copy = CFG_CloneTree(tree);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(copy.GetInterfacePtr());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_WideNodeWrittenReadAndCopied)
    ->RangeMultiplier(4)
    ->Range(1250, 20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
