// The factory voice played through the built plug-in by the same host code as
// vantorel-render, beside a third-party mono synth rendering the same phrase.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "render/MidiFile.h"
#include "render/VstHost.h"

namespace {

constexpr double kRate = 48000.0;
constexpr double kSeconds = 8.0;  // the phrase, notes sounding throughout
constexpr int kBlock = 512;
constexpr const char* kReference = "/usr/lib/vst/Nekobi-vst.so";

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

// A factory preset as a chunk, at oversampling menu entry v.
std::vector<uint8_t> presetChunk(const std::string& name, int oversampling) {
    Vantorel plugin(nullptr);
    if (!plugin.editor->readPresetFile(std::string(PRESETS_DIR) + "/" + name)) return {};
    plugin.setOversampling(oversampling);
    plugin.editor->presetPath = plugin.editor->presetsFolder + name;
    return plugin.editor->writeChunk();
}

std::vector<uint8_t> voiceChunk(int oversampling) { return presetChunk("Voices/Mono Voice.vtp", oversampling); }

// Triads held for most of every two-second bar.
std::vector<render::TimedMidi> chords() {
    std::vector<render::TimedMidi> events;
    const int roots[4] = {60, 65, 67, 60};
    for (int bar = 0; bar < 4; ++bar)
        for (int i : {0, 4, 7}) {
            for (uint8_t status : {(uint8_t)0x90, (uint8_t)0x80}) {
                render::TimedMidi m;
                m.seconds = bar * 2.0 + (status == 0x80 ? 1.9 : 0.0);
                m.bytes[0] = status;
                m.bytes[1] = (uint8_t)(roots[bar] + i);
                m.bytes[2] = 100;
                m.size = 3;
                events.push_back(m);
            }
        }
    return events;
}

// Plays the phrase block by block into buffers kept across iterations, as a host
// does, so the figure is the plug-in's own cost: collecting 12 channels of eight
// seconds into fresh vectors would add page faults and copies that a plug-in with
// fewer outputs pays less of.
double playPhrase(render::VstHost& host, std::vector<render::TimedMidi> events, int64_t frames,
                  std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out) {
    std::stable_sort(events.begin(), events.end(), [](const render::TimedMidi& a, const render::TimedMidi& b) {
        return render::frameAt(a.seconds, kRate) < render::frameAt(b.seconds, kRate);
    });
    std::vector<float*> inPtr, outPtr;
    for (auto& b : in) inPtr.push_back(b.data());
    for (auto& b : out) outPtr.push_back(b.data());
    const double start = cpuSeconds();
    size_t next = 0;
    for (int64_t pos = 0; pos < frames; pos += kBlock) {
        const int n = (int)std::min<int64_t>(kBlock, frames - pos);
        host.setPosition(pos);
        host.sendMidi(render::takeBlockEvents(events, next, pos, n, kRate));
        host.process(inPtr.data(), outPtr.data(), n);
    }
    return cpuSeconds() - start;
}

// One plug-in loaded and set up to play the phrase, block by block.
struct Player {
    bool open(const char* plugin, const std::vector<uint8_t>& chunk, bool chord) {
        render::MidiSequence phrase;
        std::string error;
        if (!render::readMidiFile(DEMO_MIDI, phrase, error) || !host.load(plugin) || !host.open(kRate, kBlock) ||
            (!chunk.empty() && !host.setChunk(chunk)))
            return false;
        host.setPrefill(false);
        in.assign((size_t)host.numInputs(), std::vector<float>(kBlock, 0.f));
        out.assign((size_t)host.numOutputs(), std::vector<float>(kBlock, 0.f));
        events = chord ? chords() : phrase.events;
        return true;
    }
    double play() {
        const double cpu = playPhrase(host, events, (int64_t)(kSeconds * kRate), in, out);
        benchmark::DoNotOptimize(out[0].data());
        return cpu;
    }
    render::VstHost host;
    std::vector<std::vector<float>> in, out;
    std::vector<render::TimedMidi> events;
};

// Each iteration plays the reference synth too, so that the ratio compares the two
// over the same seconds: on a shared machine the speed of the whole machine drifts
// by more than the differences being measured.
void renderPhrase(benchmark::State& state, const char* plugin, const std::vector<uint8_t>& chunk,
                  bool chord = false) {
    const bool isReference = std::string(plugin) == kReference;
    Player player, reference;
    if (!player.open(plugin, chunk, chord) || (!isReference && !reference.open(kReference, {}, false))) {
        state.SkipWithError(("cannot render with " + std::string(plugin)).c_str());
        return;
    }
    double cpu = 0.0, referenceCpu = 0.0;
    for (auto _ : state) {
        if (!isReference) referenceCpu += reference.play();
        const double seconds = player.play();
        cpu += seconds;
        state.SetIterationTime(seconds);  // the time column shows this plug-in alone
    }
    state.counters["x_realtime"] = kSeconds * (double)state.iterations() / cpu;
    state.counters["of_reference"] = isReference ? 1.0 : referenceCpu / cpu;
}

void BM_VoiceOversamplingOff(benchmark::State& state) { renderPhrase(state, VANTOREL_SO, voiceChunk(0)); }
void BM_Voice4xFirAutoTaps(benchmark::State& state) { renderPhrase(state, VANTOREL_SO, voiceChunk(2)); }
void BM_FourVoicesOversamplingOff(benchmark::State& state) {
    renderPhrase(state, VANTOREL_SO, presetChunk("Voices/Four Voice Poly.vtp", 0), true);
}
void BM_FourVoices4xFirAutoTaps(benchmark::State& state) {
    renderPhrase(state, VANTOREL_SO, presetChunk("Voices/Four Voice Poly.vtp", 2), true);
}
void BM_ReferenceMonoSynth(benchmark::State& state) { renderPhrase(state, kReference, {}); }

}  // namespace

BENCHMARK(BM_ReferenceMonoSynth)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_VoiceOversamplingOff)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Voice4xFirAutoTaps)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FourVoicesOversamplingOff)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FourVoices4xFirAutoTaps)->Unit(benchmark::kMillisecond)->UseManualTime();
