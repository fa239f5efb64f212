// Threads a host brings that the editing stress test does not, under ThreadSanitizer
// (any race report aborts the run):
//
//   host_threads_stress instances
//     Two plug-in instances in one process, each rendering a noise patch on its own
//     audio thread, while a third thread loads chunks into one of them. Every draw of
//     the shared random generator (noise, random modules, filter guards, jack art and
//     screws of the modules a load builds) meets the others there.
//
//   host_threads_stress host
//     One instance: the host calls setChunk from its own thread, switching between two
//     patches, while the audio thread renders and a third thread reads parameters.
//     Each block must come wholly from one of the two patches, and each parameter read
//     must give a value that index has in one of them: never a torn patch.
//
//   host_threads_stress editor
//     The editor open and drawing on the window thread while the host loads chunks
//     on its own thread and the audio thread renders.
//
// A plain main() rather than gtest, as in the editing stress test.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "gui/CFrame.h"
#include "stress/StressSupport.h"

using namespace stress;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr auto kRunTime = std::chrono::seconds(2);

std::unique_ptr<Vantorel> makePlugin() {
    auto plugin = std::make_unique<Vantorel>(nullptr);
    plugin->setSampleRate(48000.f);
    return plugin;
}

Bytes chunkOf(Vantorel& plugin) {
    void* data = nullptr;
    const int size = plugin.getChunk(&data, false);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return Bytes(bytes, bytes + (size > 0 ? size : 0));
}

void setKnob(Module* m, int n, float v) {
    ModuleKnob* k = m->knob(n);
    k->setValue(v);
    k->snap();
}

// Noise through a filter (its denormal guard draws from the generator too) and a
// random module, to the main outputs. `cutoff` tells two such patches apart.
void buildNoisePatch(Vantorel& plugin, float cutoff) {
    SynEditor& ed = *plugin.editor;
    ed.deleteAllModules();
    Module* noise = ed.createModule("S303 Noise");
    Module* filter = ed.createModule("S212 VCF");
    Module* random = ed.createModule("S516 R-S&H");
    Module* out = ed.createModule("SA02 2 DAW");
    if (!noise || !filter || !random || !out) return fail("cannot build the noise patch");
    setKnob(filter, 1, cutoff);
    ed.connectJacks(noise->jack(1), filter->jack(0), 1);  // white noise into the audio input
    ed.connectJacks(filter->jack(7), out->jack(0), 2);    // low-pass out
    ed.connectJacks(random->jack(5), out->jack(1), 3);    // smooth random out
    ed.setAlwaysOn(random, true);
}

// Renders until told to stop; every sample must be a number within the limiters'
// range, and the noise must be moving.
void renderNoise(Vantorel& plugin, const std::atomic<bool>& stop, long& blocks, const char* who) {
    HostBlock io;
    double energy = 0.0;
    while (!stop.load(std::memory_order_acquire)) {
        plugin.processReplacing(io.inPtr, io.outPtr, kFrames);
        for (int ch = 0; ch < 2; ++ch)
            for (int s = 0; s < kFrames; ++s) {
                const float v = io.outPtr[ch][s];
                if (!(std::fabs(v) <= 4.f)) {
                    fail("%s: block %ld output %d sample %d is %g", who, blocks, ch + 1, s, v);
                    return;
                }
                energy += (double)v * v;
            }
        ++blocks;
    }
    if (blocks > 10 && !(energy > 0.0)) fail("%s: %ld blocks of silence from a noise patch", who, blocks);
}

int runInstances() {
    auto first = makePlugin();
    auto second = makePlugin();
    buildNoisePatch(*first, 0.7f);
    buildNoisePatch(*second, 0.4f);
    const Bytes chunks[2] = {chunkOf(*first), chunkOf(*second)};
    const int modules = first->editor->rackModules.size();

    std::atomic<bool> stop{false};
    long blocks[2] = {0, 0};
    std::thread audio1(renderNoise, std::ref(*first), std::cref(stop), std::ref(blocks[0]), "first instance");
    std::thread audio2(renderNoise, std::ref(*second), std::cref(stop), std::ref(blocks[1]), "second instance");

    // The loading thread: the GUI thread of the first instance, or a host restoring it.
    long loads = 0;
    const auto deadline = std::chrono::steady_clock::now() + kRunTime;
    while (std::chrono::steady_clock::now() < deadline && failures.load() == 0) {
        const Bytes& chunk = chunks[loads % 2];
        if (first->setChunk((void*)chunk.data(), (int)chunk.size(), false) != 1)
            fail("setChunk refused a chunk of our own");
        else if (first->editor->rackModules.size() != modules)
            fail("a loaded noise patch has %d modules, not %d", first->editor->rackModules.size(), modules);
        ++loads;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stop.store(true, std::memory_order_release);
    audio1.join();
    audio2.join();

    std::printf("two instances: %ld and %ld blocks, %ld chunk loads\n", blocks[0], blocks[1], loads);
    if (failures.load() == 0 && (blocks[0] < 50 || blocks[1] < 50 || loads < 20))
        fail("a thread hardly ran: %ld and %ld blocks, %ld loads", blocks[0], blocks[1], loads);
    return failures.load();
}

// Two patches that differ in everything the audio and parameter threads can see: the
// gain from host input 1 to output 1 and the value behind each host parameter.
struct HostPatch {
    Bytes chunk;
    int modules = 0;
    float gain = 0.f;  // output sample / input sample one pass earlier
    std::vector<float> parameters;
};

HostPatch buildHostPatch(Vantorel& plugin, float level, int extraModules) {
    SynEditor& ed = *plugin.editor;
    ed.deleteAllModules();
    Module* from = ed.createModule("SA01 2 From DAW");
    Module* out = ed.createModule("SA02 2 DAW");
    if (!from || !out) {
        fail("cannot build the host patch");
        return {};
    }
    for (int i = 0; i < extraModules; ++i) setKnob(ed.createModule("S201 VCF"), 0, 0.1f * (float)i);
    setKnob(out, 0, level);
    setKnob(out, 1, level);
    ed.connectJacks(from->jack(0), out->jack(0), 1);
    ed.connectJacks(from->jack(1), out->jack(1), 1);

    HostPatch p;
    p.chunk = chunkOf(plugin);
    // Loaded once, as the host will load it, so the parameter table is the loaded one.
    plugin.setChunk((void*)p.chunk.data(), (int)p.chunk.size(), false);
    p.modules = ed.rackModules.size();
    for (int i = 0; i < kNumParameters; ++i) p.parameters.push_back(plugin.getParameter(i));
    HostBlock io;
    plugin.processReplacing(io.inPtr, io.outPtr, kFrames);
    p.gain = io.outPtr[0][kFrames - 1] / io.inPtr[0][kFrames - 2];
    return p;
}

// The block came from one patch: every sample after the first (which may still be the
// cable's delay after a load) is that patch's gain times the previous input.
int patchOfBlock(const HostBlock& io, const HostPatch* patches) {
    for (int p = 0; p < 2; ++p) {
        bool all = true;
        for (int s = 1; s < kFrames && all; ++s) {
            const float expected = patches[p].gain * io.inPtr[0][s - 1];
            all = std::fabs(io.outPtr[0][s] - expected) <= 1e-5f * (1.f + std::fabs(expected));
        }
        if (all) return p;
    }
    return -1;
}

int runHost() {
    auto plugin = makePlugin();
    const HostPatch patches[2] = {buildHostPatch(*plugin, 0.5f, 0), buildHostPatch(*plugin, 0.9f, 3)};
    if (failures.load()) return failures.load();
    if (std::fabs(patches[0].gain - patches[1].gain) < 0.1f || patches[0].parameters == patches[1].parameters)
        return fail("the two host patches cannot be told apart"), failures.load();

    std::atomic<bool> stop{false};
    long blocks = 0, fromPatch[2] = {0, 0}, reads = 0, loads = 0;

    std::thread audio([&] {
        HostBlock io;
        // Inputs away from 0, so every sample tells the gain.
        for (int s = 0; s < kFrames; ++s) io.inPtr[0][s] = 0.6f + 0.3f * std::sin(0.2f * (float)s);
        while (!stop.load(std::memory_order_acquire)) {
            plugin->processReplacing(io.inPtr, io.outPtr, kFrames);
            const int p = patchOfBlock(io, patches);
            if (p < 0) {
                fail("block %ld matches neither patch: sample 1 is %g for input %g", blocks, io.outPtr[0][1],
                     io.inPtr[0][0]);
                return;
            }
            ++fromPatch[p];
            ++blocks;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });

    std::thread parameters([&] {
        while (!stop.load(std::memory_order_acquire)) {
            for (int i = 0; i < kNumParameters; ++i) {
                const float v = plugin->getParameter(i);
                if (v != patches[0].parameters[(size_t)i] && v != patches[1].parameters[(size_t)i]) {
                    fail("parameter %d reads %g: %g in one patch, %g in the other", i, v,
                         patches[0].parameters[(size_t)i], patches[1].parameters[(size_t)i]);
                    return;
                }
                ++reads;
            }
        }
    });

    // The host's own thread.
    const auto deadline = std::chrono::steady_clock::now() + kRunTime;
    while (std::chrono::steady_clock::now() < deadline && failures.load() == 0) {
        const HostPatch& p = patches[loads % 2];
        if (plugin->setChunk((void*)p.chunk.data(), (int)p.chunk.size(), false) != 1)
            fail("setChunk refused a chunk of our own");
        else if (plugin->editor->rackModules.size() != p.modules)
            fail("after setChunk the patch has %d modules, not %d", plugin->editor->rackModules.size(),
                 p.modules);
        ++loads;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    stop.store(true, std::memory_order_release);
    audio.join();
    parameters.join();

    std::printf("host threads: %ld blocks (%ld of one patch, %ld of the other), %ld parameter reads, %ld loads\n",
                blocks, fromPatch[0], fromPatch[1], reads, loads);
    if (failures.load() == 0 && (fromPatch[0] < 10 || fromPatch[1] < 10 || reads < 10000 || loads < 20))
        fail("a thread hardly ran");
    return failures.load();
}

// The editor open and drawing on the host's window thread (here the main thread)
// while the host loads chunks on a thread of its own and the audio thread renders:
// a load must never delete the views a draw is walking.
int runEditor() {
    auto plugin = makePlugin();
    const HostPatch patches[2] = {buildHostPatch(*plugin, 0.5f, 0), buildHostPatch(*plugin, 0.9f, 3)};
    if (failures.load()) return failures.load();
    SynEditor& editor = *plugin->editor;
    if (!editor.open(nullptr)) return fail("the editor does not open"), failures.load();

    std::atomic<bool> stop{false};
    long blocks = 0, loads = 0, draws = 0;
    std::thread audio([&] {
        HostBlock io;
        while (!stop.load(std::memory_order_acquire)) {
            plugin->processReplacing(io.inPtr, io.outPtr, kFrames);
            ++blocks;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    std::thread host([&] {
        while (!stop.load(std::memory_order_acquire)) {
            const HostPatch& p = patches[loads % 2];
            if (plugin->setChunk((void*)p.chunk.data(), (int)p.chunk.size(), false) != 1) {
                fail("setChunk refused a chunk of our own");
                return;
            }
            ++loads;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + kRunTime;
    while (std::chrono::steady_clock::now() < deadline && failures.load() == 0) {
        {
            // Everything the editor thread does to its views happens under the lock.
            std::lock_guard<std::recursive_mutex> views(editor.viewLock);
            editor.getFrame()->invalid();
        }
        editor.idle();
        ++draws;
        std::this_thread::sleep_for(std::chrono::microseconds(200));  // a host idles its editors now and then
    }
    stop.store(true, std::memory_order_release);
    audio.join();
    host.join();

    // The rack on screen is the patch loaded last.
    {
        std::lock_guard<std::recursive_mutex> views(editor.viewLock);
        const HostPatch& last = patches[(loads + 1) % 2];
        if (editor.rackModules.size() != last.modules)
            fail("after the loads the rack holds %d modules, not %d", editor.rackModules.size(), last.modules);
    }
    editor.close();
    std::printf("editor thread: %ld draws, %ld loads, %ld blocks\n", draws, loads, blocks);
    if (failures.load() == 0 && (draws < 20 || loads < 20 || blocks < 10)) fail("a thread hardly ran");
    return failures.load();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string scenario = argc == 2 ? argv[1] : "";
    int n;
    if (scenario == "instances") n = runInstances();
    else if (scenario == "host") n = runHost();
    else if (scenario == "editor") n = runEditor();
    else {
        std::fprintf(stderr, "usage: %s instances|host|editor\n", argv[0]);
        return 2;
    }
    if (n) std::fprintf(stderr, "%d failure(s)\n", n);
    return n ? 1 : 0;
}
