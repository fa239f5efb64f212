// Builds patches in a real plug-in object and renders them through processReplacing.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"

namespace fixture {

// The jacks of a module in child order (the saved order).
inline std::vector<PatchPoint*> jacks(Module* m) {
    std::vector<PatchPoint*> out;
    for (CView* v : m->getChildren())
        if (v->isTypeOf("PatchPoint")) out.push_back(static_cast<PatchPoint*>(v));
    return out;
}

// The saved controls in child order: what a preset records.
inline std::vector<CControl*> savedControls(Module* m) {
    std::vector<CControl*> out;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v)) out.push_back(static_cast<CControl*>(v));
    return out;
}

// The first `count` saved controls are of the listed kinds, centred where listed,
// and jacks (direction 0 or above) face the listed way. Entries: {type, cx, cy, direction}.
template <class Layout>
void expectPlaces(const std::vector<CControl*>& saved, const Layout& layout, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        const CRect& r = saved[i]->getViewSize();
        EXPECT_TRUE(saved[i]->isTypeOf(layout[i].type));
        EXPECT_EQ((r.left + r.right) / 2, layout[i].cx);
        EXPECT_EQ((r.top + r.bottom) / 2, layout[i].cy);
        if (layout[i].direction >= 0) {
            EXPECT_EQ(static_cast<PatchPoint*>(saved[i])->direction, layout[i].direction);
        }
    }
}

inline std::vector<ModuleKnob*> knobs(Module* m) {
    std::vector<ModuleKnob*> out;
    for (CView* v : m->getChildren())
        if (v->isTypeOf("ModuleKnob")) out.push_back(static_cast<ModuleKnob*>(v));
    return out;
}

// Sets a knob and its smoothed value at once, as a loaded preset would.
inline void setKnob(ModuleKnob* k, float v) {
    k->setValue(v);
    k->snap();
}

// Host-side buffers: 10 inputs and 12 outputs, outputs pre-filled with stale data.
struct HostBuffers {
    explicit HostBuffers(int frames, float stale = 0.123f) : frames(frames) {
        for (auto& b : in) b.assign((size_t)frames, 0.f);
        for (auto& b : out) b.assign((size_t)frames, stale);
        for (int k = 0; k < kNumInputs; ++k) inPtr[k] = in[k].data();
        for (int k = 0; k < kNumOutputs; ++k) outPtr[k] = out[k].data();
    }
    void fillStale(float v) {
        for (auto& b : out) std::fill(b.begin(), b.end(), v);
    }
    int frames;
    std::array<std::vector<float>, kNumInputs> in;
    std::array<std::vector<float>, kNumOutputs> out;
    float* inPtr[kNumInputs];
    float* outPtr[kNumOutputs];
};

// A plug-in with no host, at a fixed rate, and the patch it owns.
struct Rig {
    explicit Rig(float rate = 48000.f, vst::audioMasterCallback host = nullptr)
        : plugin(host), editor(*plugin.editor) {
        plugin.setSampleRate(rate);
    }
    Module* add(const char* name) {
        Module* m = editor.createModuleAt(name, 0, 0);
        EXPECT_NE(m, nullptr) << name;
        return m;
    }
    // Adds a module of a test-only class the same way the editor adds real ones.
    template <class T, class... Args>
    T* addCustom(Args&&... args) {
        EngineLockGuard guard(plugin.engineLock);
        editor.ensureCapacity(editor.rackModules.size() + 1);
        T* m = new T(&editor, std::forward<Args>(args)...);
        editor.addToRack(m);
        return m;
    }
    Cable* cable(PatchPoint* a, PatchPoint* b, int colour = 1) { return editor.connectJacks(a, b, colour); }
    void render(HostBuffers& io) { plugin.processReplacing(io.inPtr, io.outPtr, io.frames); }

    Vantorel plugin;
    SynEditor& editor;
};

// Test-only modules.

// One input, one output: out = in + offset each pass.
class AddModule : public Module {
public:
    explicit AddModule(Patch* e, float offset = 0.f)
        : Module(CRect(0, 0, 48, 291), e, nullptr), offset(offset) {
        in = addJack(20, 60, kJackInput);
        out = addJack(20, 120, kJackOutput);
    }
    void process() override {
        ++calls;
        out->outValue = in->inValue + offset;
    }
    void setSampleRate(float rate) override {
        Module::setSampleRate(rate);
        lastRate = rate;
    }
    PatchPoint* in;
    PatchPoint* out;
    float offset;
    long calls = 0;
    float lastRate = 0.f;
};

// Plays a function of the pass number on its one output.
class Wave : public Module {
public:
    explicit Wave(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) { out = addJack(20, 60, kJackOutput); }
    void process() override { out->outValue = fn(n++); }
    PatchPoint* out;
    std::function<float(long)> fn = [](long) { return 0.f; };
    long n = 0;
};

// The same wave in a patch that may run module by module.
class BlockWave : public Wave {
public:
    using Wave::Wave;
    int blockMode() const override { return kBlockFree; }
};

// Registers for MIDI and block hooks; emits each stored event on its MIDI output on
// the host sample its deltaFrames names, one per process call.
class MidiProbe : public Module {
public:
    explicit MidiProbe(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        midiOut = addMidiJack(20, 60, kJackOutput);
        registerForMidi();
        registerForBlocks();
    }
    void processEvents(vst::VstEvents* ev) override {
        for (int i = 0; i < ev->numEvents; ++i)
            if (ev->events[i]->type == vst::kVstMidiType)
                pending.push_back(*reinterpret_cast<vst::VstMidiEvent*>(ev->events[i]));
        ++eventCalls;
    }
    void startBlock(int frames) override {
        blockFrames.push_back(frames);
        next = 0;
    }
    void process() override {
        midiOut->setOutWord(0);
        if (next < pending.size() && synth->sampleIndex >= pending[next].deltaFrames) {
            uint32_t word = 0;
            std::memcpy(&word, pending[next].midiData, 4);
            midiOut->setOutWord(word);
            emittedAt.push_back(synth->sampleIndex);
            ++next;
        }
    }
    PatchPoint* midiOut;
    std::vector<vst::VstMidiEvent> pending;
    size_t next = 0;
    int eventCalls = 0;
    std::vector<int> blockFrames;
    std::vector<int> emittedAt;
};

// Records every MIDI word that reaches its input, with the host sample it came on.
class MidiSink : public Module {
public:
    explicit MidiSink(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        midiIn = addMidiJack(20, 60, kJackInput);
    }
    void process() override {
        if (uint32_t w = midiIn->inWord()) received.push_back({synth->sampleIndex, w});
    }
    PatchPoint* midiIn;
    std::vector<std::pair<int, uint32_t>> received;
};

}  // namespace fixture
