// One plug-in, two threads, as a host drives it: an audio thread rendering blocks,
// passing MIDI and automating parameters, while the editor thread rebuilds the patch
// as fast as it can. Built with ThreadSanitizer, which aborts the run on the first
// race it sees; the patch invariants are checked after every edit and at the end,
// and the plug-in must still render correctly afterwards.
//
// A plain main() rather than gtest: the test framework is not built with the
// sanitizer, and its own thread-unaware state would only add noise.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/PatchPoint.h"
#include "stress/StressSupport.h"

using namespace stress;

namespace {

constexpr auto kEditDuration = std::chrono::seconds(3);
// Enough modules for a busy patch; fewer than the rack holds, so creation succeeds.
constexpr int kMaxModules = 24;
// Bridges, the MIDI receivers and block listeners, and the voice modules.
const char* const kModuleNames[] = {"SA01 2 From DAW",   "SA02 2 DAW", "SA05 2 DAW 12db Amplifier",
                                    "SA03 MIDI/Sync From DAW", "SA04 Tempo From DAW", "SD02 MIDI-CV/Sync",
                                    "S310 VCO",          "S201 VCF",   "S500 ADSR", "S404 VCA"};
constexpr int kModuleKinds = (int)(sizeof kModuleNames / sizeof kModuleNames[0]);

bool inRack(const Patch& patch, const Module* m) {
    return m && m->rackIndex >= 0 && m->rackIndex < patch.rackModules.size() &&
           patch.rackModules[m->rackIndex] == m;
}

// What must hold between any two edits. Takes the engine lock, as any editor code
// reading the engine's lists must.
void checkInvariants(Vantorel& plugin, const char* when) {
    EngineLockGuard guard(plugin.engineLock);
    const SynEditor& ed = *plugin.editor;
    const ModuleList& rack = ed.rackModules;
    const ModuleList& active = ed.processList;

    int writers = 0;
    for (int i = 0; i < active.size(); ++i) {
        Module* m = active[i];
        if (!m || m->processIndex != i) {
            fail("%s: process list entry %d is not indexed back", when, i);
            continue;
        }
        if (!inRack(ed, m)) fail("%s: process list entry %d is not in the rack", when, i);
        if (m->cableCount <= 0 && !m->alwaysOn)
            fail("%s: %s is processed with no cable and Always ON off", when, m->getName());
        if (m->writesDawOutput()) ++writers;
    }
    if (writers != plugin.dawOutWriters)
        fail("%s: dawOutWriters is %d, %d active modules write the DAW output", when, plugin.dawOutWriters,
             writers);

    long cableEnds = 0;
    for (int i = 0; i < rack.size(); ++i) {
        Module* m = rack[i];
        if (m->rackIndex != i) fail("%s: rack entry %d is not indexed back", when, i);
        const bool shouldRun = m->cableCount > 0 || m->alwaysOn;
        if (shouldRun != (m->processIndex != -1))
            fail("%s: %s has %d cables, Always ON %d, process index %d", when, m->getName(), m->cableCount,
                 (int)m->alwaysOn, m->processIndex);
        cableEnds += m->cableCount;
        const float expected = (m->oversampled ? (float)plugin.oversampleFactor : 1.f) * plugin.hostSampleRate;
        if (m->sampleRate != expected)
            fail("%s: %s runs at %g Hz, expected %g", when, m->getName(), m->sampleRate, expected);
    }

    int cables = 0;
    const CableCopy* copies = ed.cableCopies();
    for (const Cable* c = ed.cableHead; c; c = c->next, ++cables) {
        if (!inRack(ed, c->reader->getModule()) || !inRack(ed, c->other->getModule()))
            fail("%s: cable %d has an end outside the rack", when, cables);
        if (c->reader->source != &c->other->outValue || c->reader->cable != c)
            fail("%s: cable %d reader is not wired to its producer", when, cables);
        if (cables < ed.cableCopyCount() &&
            (copies[cables].dst != &c->reader->inValue || copies[cables].src != &c->other->outValue))
            fail("%s: copy %d does not match cable %d", when, cables, cables);
    }
    if (cables != ed.cableTotal || cables != ed.cableCopyCount())
        fail("%s: %d cables listed, cableTotal %d, %d copies", when, cables, ed.cableTotal,
             ed.cableCopyCount());
    if (cableEnds != 2L * cables)
        fail("%s: modules count %ld cable ends for %d cables", when, cableEnds, cables);
}

int32_t readInt32(const uint8_t* p) {
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

// The chunk header must describe the patch as it is when the chunk is taken.
void checkChunk(Vantorel& plugin) {
    void* data = nullptr;
    const int size = plugin.getChunk(&data, false);
    if (!data || size < 40) {
        fail("getChunk returned %d bytes at %p", size, data);
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    const size_t nameEnd = strnlen(reinterpret_cast<const char*>(bytes), (size_t)size);
    if (nameEnd + 1 + 32 > (size_t)size) {
        fail("chunk of %d bytes too short for its header", size);
        return;
    }
    const uint8_t* h = bytes + nameEnd + 1;
    EngineLockGuard guard(plugin.engineLock);
    if (readInt32(h) != kVersion || readInt32(h + 16) != plugin.oversampleFactor ||
        readInt32(h + 20) != plugin.filterType || readInt32(h + 24) != plugin.editor->rackModules.size())
        fail("chunk header: version %d, factor %d, filter %d, %d modules", readInt32(h), readInt32(h + 16),
             readInt32(h + 20), readInt32(h + 24));
}

struct RenderStats {
    long blocks = 0, eventCalls = 0, parameterCalls = 0;
};

void renderLoop(Vantorel& plugin, const std::atomic<bool>& stop, RenderStats& stats) {
    HostBlock io;
    vst::VstMidiEvent notes[2] = {};
    for (int i = 0; i < 2; ++i) {
        notes[i].type = vst::kVstMidiType;
        notes[i].byteSize = sizeof notes[i];
        notes[i].deltaFrames = 30 * i;
        notes[i].midiData[0] = (char)(i == 0 ? 0x90 : 0x80);
        notes[i].midiData[1] = 64;
        notes[i].midiData[2] = 90;
    }
    alignas(vst::VstEvents) char storage[sizeof(vst::VstEvents) + 2 * sizeof(void*)] = {};
    auto* events = reinterpret_cast<vst::VstEvents*>(storage);
    events->numEvents = 2;
    events->events[0] = reinterpret_cast<vst::VstEvent*>(&notes[0]);
    events->events[1] = reinterpret_cast<vst::VstEvent*>(&notes[1]);

    std::mt19937 rng(7);
    std::uniform_int_distribution<int> paramIndex(-3, kNumParameters + 3);
    std::uniform_real_distribution<float> unit(0.f, 1.f);
    while (!stop.load(std::memory_order_acquire)) {
        if (stats.blocks % 4 == 0) {
            if (plugin.processEvents(events) != 1) fail("processEvents did not return 1");
            ++stats.eventCalls;
        }
        plugin.processReplacing(io.inPtr, io.outPtr, kFrames);
        // Inputs are within +-0.5 and the loudest path is the amplifier at full gain, so
        // modules write at most 2; cable changes make steps of up to 4 that the IIR
        // decimator overshoots by well under half. Beyond 8 means wrong memory was read.
        for (int j = 0; j < kNumOutputs; ++j)
            for (int s = 0; s < kFrames; ++s)
                if (!(std::fabs(io.outPtr[j][s]) <= 8.f)) {
                    fail("block %ld: output %d sample %d is %g", stats.blocks, j + 1, s, io.outPtr[j][s]);
                    j = kNumOutputs;
                    break;
                }
        // Automation on random indices, some out of range, and now and then a sweep of
        // every index as a host refreshing its parameter list does.
        for (int i = 0; i < 4; ++i) {
            const int index = paramIndex(rng);
            plugin.setParameter(index, unit(rng));
            const float v = plugin.getParameter(index);
            if (!(v >= 0.f && v <= 1.f)) fail("getParameter(%d) = %g after setParameter", index, v);
            ++stats.parameterCalls;
        }
        if (stats.blocks % 4 == 0)
            for (int index = -2; index < kNumParameters + 2; ++index) {
                const float v = plugin.getParameter(index);
                if (!(v >= 0.f && v <= 1.f)) fail("getParameter(%d) = %g", index, v);
                ++stats.parameterCalls;
            }
        ++stats.blocks;
        // A host's audio thread waits for the next buffer; that gap is when edits land.
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

enum Edit {
    kCreate, kDelete, kConnect, kDisconnect, kAlwaysOn, kOversampling, kFilterType, kSampleRate, kChunk,
    kLoadChunk, kEditKinds
};
const char* const kEditNames[] = {"create",       "delete",      "connect",     "disconnect", "always-on",
                                  "oversampling", "filter type", "sample rate", "chunk",      "load chunk"};

class Editor {
public:
    explicit Editor(Vantorel& plugin) : plugin(plugin), ed(*plugin.editor), rng(11) {}

    Edit randomEdit() {
        // Cable edits come up most, as they do when someone patches.
        static const Edit weighted[] = {kCreate, kCreate, kDelete, kConnect, kConnect, kConnect,
                                        kDisconnect, kDisconnect, kAlwaysOn, kOversampling,
                                        kFilterType, kSampleRate, kChunk, kLoadChunk};
        Edit e = weighted[pick((int)(sizeof weighted / sizeof weighted[0]))];
        if (e == kCreate && ed.rackModules.size() >= kMaxModules) e = kDelete;
        if (e != kCreate && ed.rackModules.size() == 0) e = kCreate;
        switch (e) {
        case kCreate: {
            const char* name = kModuleNames[pick(kModuleKinds)];
            Module* m = ed.createModule(name);
            if (!m) fail("createModule(%s) refused with %d modules", name, ed.rackModules.size());
            break;
        }
        case kDelete: ed.deleteModule(randomModule()); break;
        case kConnect: connectRandom(); break;
        case kDisconnect: {
            const int n = ed.cableTotal;
            if (n == 0) return e;
            Cable* c = ed.cableHead;
            for (int i = pick(n); i > 0 && c; --i) c = c->next;
            ed.removeCable(c);
            break;
        }
        case kAlwaysOn: {
            Module* m = randomModule();
            ed.setAlwaysOn(m, !m->alwaysOn);
            break;
        }
        // Up to 8X: under the sanitizer a block at higher factors holds the lock so long
        // that the editor would get few turns in the time given.
        case kOversampling: plugin.setOversampling(pick(4)); break;
        // Mostly the IIR and the automatic FIR lengths; the long numbered entries, and
        // out-of-range entries, now and then (long filters are slow under the sanitizer).
        case kFilterType:
            plugin.setFilterType(pick(4) != 0 ? pick(3) : pick(Decimator::kFilterEntries + 2) - 1);
            break;
        case kSampleRate: {
            static const float rates[] = {44100.f, 48000.f, 96000.f, 0.f, -1.f, NAN};
            const float r = rates[pick(6)];
            const float before = plugin.getSampleRate();
            plugin.setSampleRate(r);
            const float expected = r > 0.f ? r : before;
            if (plugin.getSampleRate() != expected)
                fail("sample rate %g after setting %g", plugin.getSampleRate(), r);
            break;
        }
        case kChunk: checkChunk(plugin); break;
        case kLoadChunk: reloadOwnChunk(); break;
        case kEditKinds: break;
        }
        ++done[e];
        return e;
    }

    long done[kEditKinds] = {};

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    Module* randomModule() { return ed.rackModules[pick(ed.rackModules.size())]; }

    // A host restoring the state it just saved: the whole patch is rebuilt while the
    // audio thread runs, and comes back with the same modules and cables.
    void reloadOwnChunk() {
        void* data = nullptr;
        const int size = plugin.getChunk(&data, false);
        const auto* bytes = static_cast<const uint8_t*>(data);
        const std::vector<uint8_t> copy(bytes, bytes + (size > 0 ? size : 0));
        const int modules = ed.rackModules.size(), cables = ed.cableTotal;
        if (plugin.setChunk((void*)copy.data(), (int)copy.size(), false) != 1)
            fail("setChunk refused the %d-byte chunk getChunk made", size);
        else if (ed.rackModules.size() != modules || ed.cableTotal != cables)
            fail("chunk reload gave %d modules and %d cables, saved %d and %d", ed.rackModules.size(),
                 ed.cableTotal, modules, cables);
    }

    // A random output and a random input of the same signal type anywhere in the
    // rack, joined from either end.
    void connectRandom() {
        std::vector<PatchPoint*> outs, ins;
        for (int i = 0; i < ed.rackModules.size(); ++i)
            for (PatchPoint* p : jacks(ed.rackModules[i]))
                if (p->direction != kJackEither) (p->direction == kJackOutput ? outs : ins).push_back(p);
        if (outs.empty()) return;
        PatchPoint* out = outs[(size_t)pick((int)outs.size())];
        ins.erase(std::remove_if(ins.begin(), ins.end(),
                                 [out](const PatchPoint* p) { return p->signalType != out->signalType; }),
                  ins.end());
        if (ins.empty()) return;
        PatchPoint* in = ins[(size_t)pick((int)ins.size())];
        const bool fromOutput = pick(2) == 0;
        PatchPoint* a = fromOutput ? out : in;
        PatchPoint* b = fromOutput ? in : out;
        if (!Patch::canJoin(a, b)) {
            fail("an output and an input of one signal type cannot be joined");
            return;
        }
        Cable* c = ed.connectJacks(a, b, Patch::randomCableColour());
        if (!c || in->cable != c || in->source != &out->outValue) fail("connectJacks did not wire the input");
    }

    Vantorel& plugin;
    SynEditor& ed;
    std::mt19937 rng;
};

// After all that, a fresh SA01 -> SA02 patch must still be exact: each sample is
// the input one pass earlier at the default gain of 0.25.
void checkStillRenders(Vantorel& plugin) {
    SynEditor& ed = *plugin.editor;
    ed.deleteAllModules();
    plugin.setOversampling(0);
    plugin.setSampleRate(48000.f);
    Module* from = ed.createModule("SA01 2 From DAW");
    Module* out = ed.createModule("SA02 2 DAW");
    if (!from || !out) {
        fail("cannot create modules after the run");
        return;
    }
    ed.connectJacks(jacks(from)[0], jacks(out)[0], 1);
    ed.connectJacks(jacks(from)[1], jacks(out)[1], 1);
    HostBlock io;
    plugin.processReplacing(io.inPtr, io.outPtr, kFrames);
    for (int s = 1; s < kFrames; ++s)
        for (int ch = 0; ch < 2; ++ch)
            if (io.outPtr[ch][s] != (float)(0.25 * io.inPtr[ch][s - 1])) {
                fail("after the run, output %d sample %d is %g, expected %g", ch + 1, s, io.outPtr[ch][s],
                     0.25 * io.inPtr[ch][s - 1]);
                return;
            }
    checkInvariants(plugin, "final patch");
}

}  // namespace

int main() {
    auto plugin = std::make_unique<Vantorel>(nullptr);
    plugin->setSampleRate(48000.f);

    std::atomic<bool> stop{false};
    RenderStats stats;
    std::thread audio(renderLoop, std::ref(*plugin), std::cref(stop), std::ref(stats));

    Editor editor(*plugin);
    long edits = 0;
    const auto deadline = std::chrono::steady_clock::now() + kEditDuration;
    while (std::chrono::steady_clock::now() < deadline && failures.load() == 0) {
        checkInvariants(*plugin, kEditNames[editor.randomEdit()]);
        ++edits;
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    stop.store(true, std::memory_order_release);
    audio.join();

    checkInvariants(*plugin, "after the run");
    checkStillRenders(*plugin);

    std::printf("%ld edits (", edits);
    for (int e = 0; e < kEditKinds; ++e)
        std::printf("%s%s %ld", e ? ", " : "", kEditNames[e], editor.done[e]);
    std::printf("); %ld blocks, %ld event calls, %ld parameter calls\n", stats.blocks, stats.eventCalls,
                stats.parameterCalls);

    // A run where one side hardly ran proves nothing (unless it was cut short by a failure).
    if (failures.load() == 0) {
        if (stats.blocks < 100 || stats.parameterCalls < 10)
            fail("the audio thread ran only %ld blocks", stats.blocks);
        for (int e = 0; e < kEditKinds; ++e)
            if (editor.done[e] == 0) fail("no %s edit was made", kEditNames[e]);
    }

    plugin.reset();
    const int n = failures.load();
    if (n) std::fprintf(stderr, "%d failure(s)\n", n);
    return n ? 1 : 0;
}
