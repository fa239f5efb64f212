// The cost of one process call of every module class, patched the way a musician
// would patch it: every input fed by host audio, every output cabled, so no output
// is skipped for want of a cable. The timed loop runs the module alone, without the
// cable copies, so each class is measured twice: with its inputs holding the last
// host sample (what caches on a control or a pitch can skip; a filter settles on the
// held value), and with the host samples written into its inputs as the cable copy
// would, a new value every pass (audio-rate modulation on every input).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchRig.h"
#include "framework/ModuleRegistry.h"

namespace {

void processOne(benchmark::State& state, const char* name, bool live) {
    benchrig::Rig rig;
    Module* from = rig.add("SA01 2 From DAW");
    Module* m = rig.add(name);
    if (!from || !m) {
        state.SkipWithError("module class not found");
        return;
    }
    std::vector<PatchPoint*> fed;
    for (PatchPoint* j : benchrig::jacks(m)) {
        if (j->signalType != kSignalAudio) continue;
        if (j->direction == kJackOutput) {
            auto* sink = rig.addCustom<benchrig::PassModule>();
            rig.cable(j, sink->in);
        } else if (rig.cable(from->jack(0), j) && live) {
            fed.push_back(j);
        }
    }
    const float* host = rig.in[0].data();
    rig.editor.setAlwaysOn(m, true);
    for (int i = 0; i < 20; ++i) rig.render();  // past start-up work (tables, first pitch)
    for (auto _ : state) {
        rig.plugin.sampleIndex = 0;
        for (int i = 0; i < benchrig::kBlock; ++i) {
            for (PatchPoint* j : fed) j->inValue = host[i];
            m->process();
        }
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_process"] =
        benchmark::Counter((double)state.iterations() * benchrig::kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One benchmark per registered class, so new modules are measured without edits here.
const bool registered = [] {
    for (bool live : {false, true})
        for (const ModuleClassInfo& info : ModuleRegistry::all())
            benchmark::RegisterBenchmark(((live ? "ProcessLive/" : "Process/") + std::string(info.displayName)).c_str(),
                                         processOne, info.displayName, live)
                ->Unit(benchmark::kMicrosecond);
    return true;
}();

}  // namespace
