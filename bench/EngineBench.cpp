// What the engine itself costs: per module per pass on a patch of trivial modules,
// an empty patch, and a small patch with oversampling and the FIR decimator.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "BenchRig.h"
#include "engine/Decimator.h"

using namespace benchrig;

namespace {

// Shared report: time per block is the benchmark's own column; these add the
// per-host-sample cost and, when there are modules, the per-module-per-pass cost.
void reportCounters(benchmark::State& state, int modules, int passesPerSample) {
    const auto kPerItem = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
    state.counters["host_sample"] = benchmark::Counter((double)kBlock, kPerItem);
    if (modules > 0)
        state.counters["module_pass"] =
            benchmark::Counter((double)modules * kBlock * passesPerSample, kPerItem);
}

// Chain: T1 -> T2 -> ... -> Tn -> SA02 left; n cables, n trivial modules plus the SA02.
// The first module's input is left open: its output cable already makes it active.
template <class Trivial>
void BM_TrivialChain(benchmark::State& state) {
    const int n = (int)state.range(0);
    auto rig = std::make_unique<Rig>();
    Module* daw = rig->add("SA02 2 DAW");
    std::vector<Trivial*> chain;
    for (int i = 0; i < n; ++i) chain.push_back(rig->addCustom<Trivial>());
    bool ok = daw != nullptr;
    for (int i = 0; ok && i + 1 < n; ++i) ok = rig->cable(chain[i]->out, chain[i + 1]->in);
    ok = ok && rig->cable(chain[n - 1]->out, jacks(daw)[1]);
    if (!ok || rig->plugin.processList->size() != n + 1 || rig->editor.cableCopyCount() != n) {
        state.SkipWithError("patch was not built as intended");
        return;
    }
    // After n passes the chain is full: the last module outputs n, the SA02 gain is 0.5^2.
    rig->render();
    if (rig->out[0][kBlock - 1] != 0.25f * (float)n) {
        state.SkipWithError(("chain output " + std::to_string(rig->out[0][kBlock - 1])).c_str());
        return;
    }
    for (auto _ : state) {
        rig->render();
        benchmark::ClobberMemory();
    }
    reportCounters(state, n, 1);
}
BENCHMARK_TEMPLATE(BM_TrivialChain, PassModule)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_TrivialChain, BlockPassModule)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);

// Fan: T1 feeds T2..Tn, Tn feeds the SA02; still n cables, all reading one output.
void BM_TrivialFan(benchmark::State& state) {
    const int n = (int)state.range(0);
    auto rig = std::make_unique<Rig>();
    Module* daw = rig->add("SA02 2 DAW");
    std::vector<PassModule*> mods;
    for (int i = 0; i < n; ++i) mods.push_back(rig->addCustom<PassModule>());
    bool ok = daw != nullptr;
    for (int i = 1; ok && i < n; ++i) ok = rig->cable(mods[0]->out, mods[i]->in);
    ok = ok && rig->cable(mods[n - 1]->out, jacks(daw)[1]);
    if (!ok || rig->plugin.processList->size() != n + 1 || rig->editor.cableCopyCount() != n) {
        state.SkipWithError("patch was not built as intended");
        return;
    }
    rig->render();
    if (rig->out[0][kBlock - 1] != 0.25f * 2.f) {
        state.SkipWithError(("fan output " + std::to_string(rig->out[0][kBlock - 1])).c_str());
        return;
    }
    for (auto _ : state) {
        rig->render();
        benchmark::ClobberMemory();
    }
    reportCounters(state, n, 1);
}
BENCHMARK(BM_TrivialFan)->Arg(64)->Unit(benchmark::kMicrosecond);

// The fixed part the per-module figures above include: one SA02 kept on, no cables.
void BM_DawOnly(benchmark::State& state) {
    auto rig = std::make_unique<Rig>();
    Module* daw = rig->add("SA02 2 DAW");
    rig->editor.setAlwaysOn(daw, true);
    for (auto _ : state) {
        rig->render();
        benchmark::ClobberMemory();
    }
    reportCounters(state, 0, 1);
}
BENCHMARK(BM_DawOnly)->Unit(benchmark::kMicrosecond);

void BM_EmptyPatch(benchmark::State& state) {
    auto rig = std::make_unique<Rig>();
    for (auto _ : state) {
        rig->render();
        benchmark::ClobberMemory();
    }
    reportCounters(state, 0, 1);
}
BENCHMARK(BM_EmptyPatch)->Unit(benchmark::kMicrosecond);

// SA01 -> SA02 on both channels, oversampled 2^v with the given filter entry.
void BM_OversampledPatch(benchmark::State& state) {
    const int v = (int)state.range(0), filterType = (int)state.range(1);
    const int factor = 1 << v;
    auto rig = std::make_unique<Rig>();
    Module* from = rig->add("SA01 2 From DAW");
    Module* daw = rig->add("SA02 2 DAW");
    const auto src = jacks(from), dst = jacks(daw);
    if (!rig->cable(src[0], dst[0]) || !rig->cable(src[1], dst[1])) {
        state.SkipWithError("cables refused");
        return;
    }
    rig->plugin.setFilterType(filterType);
    rig->plugin.setOversampling(v);
    const int taps = rig->plugin.decimator.firTaps;
    if (rig->plugin.oversampleFactor != factor || taps != Decimator::tapCount(filterType, factor)) {
        state.SkipWithError("oversampling not applied");
        return;
    }
    state.SetLabel(std::to_string(factor) + "X, " + (taps ? std::to_string(taps) + " taps" : "IIR"));
    for (auto _ : state) {
        rig->render();
        benchmark::ClobberMemory();
    }
    reportCounters(state, 2, factor);
}
// 4X with FIR Auto (filter entry 1); 16X and 256X with FIR Auto double (entry 2); 4X IIR.
BENCHMARK(BM_OversampledPatch)
    ->Args({2, 1})
    ->Args({2, 0})
    ->Args({4, 2})
    ->Args({8, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
