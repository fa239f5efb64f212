// The factory voice played through the built plug-in by the same host code as
// vantorel-render, beside a third-party mono synth rendering the same phrase.
#include <benchmark/benchmark.h>
#include <time.h>

#include <fstream>
#include <iterator>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "render/MidiFile.h"
#include "render/VstHost.h"

namespace {

constexpr double kRate = 48000.0;
constexpr double kSeconds = 8.0;  // the phrase, notes sounding throughout

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

// The "Mono Voice" factory preset as a chunk, at oversampling menu entry v.
std::vector<uint8_t> voiceChunk(int oversampling) {
    Vantorel plugin(nullptr);
    const std::string name = "Voices/Mono Voice.vtp";
    if (!plugin.editor->readPresetFile(std::string(PRESETS_DIR) + "/" + name)) return {};
    plugin.setOversampling(oversampling);
    plugin.editor->presetPath = plugin.editor->presetsFolder + name;
    return plugin.editor->writeChunk();
}

void renderPhrase(benchmark::State& state, const char* plugin, const std::vector<uint8_t>& chunk) {
    render::MidiSequence phrase;
    std::string error;
    render::VstHost host;
    if (!render::readMidiFile(DEMO_MIDI, phrase, error) || !host.load(plugin) || !host.open(kRate, 512) ||
        (!chunk.empty() && !host.setChunk(chunk))) {
        state.SkipWithError(("cannot render with " + std::string(plugin)).c_str());
        return;
    }
    double cpu = 0.0;
    for (auto _ : state) {
        const double start = cpuSeconds();
        auto out = host.render(phrase.events, (int64_t)(kSeconds * kRate));
        cpu += cpuSeconds() - start;
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["x_realtime"] = kSeconds * (double)state.iterations() / cpu;
}

void BM_VoiceOversamplingOff(benchmark::State& state) { renderPhrase(state, VANTOREL_SO, voiceChunk(0)); }
void BM_Voice4xFirAutoTaps(benchmark::State& state) { renderPhrase(state, VANTOREL_SO, voiceChunk(2)); }
void BM_ReferenceMonoSynth(benchmark::State& state) { renderPhrase(state, "/usr/lib/vst/Nekobi-vst.so", {}); }

}  // namespace

BENCHMARK(BM_VoiceOversamplingOff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Voice4xFirAutoTaps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceMonoSynth)->Unit(benchmark::kMillisecond);
