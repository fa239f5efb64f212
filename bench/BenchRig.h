// A host-less plug-in with its own host buffers, for rendering patches in benchmarks.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/PatchPoint.h"

namespace benchrig {

constexpr float kRate = 48000.f;
constexpr int kBlock = 512;

inline std::vector<PatchPoint*> jacks(Module* m) {
    std::vector<PatchPoint*> out;
    for (CView* v : m->getChildren())
        if (v->isTypeOf("PatchPoint")) out.push_back(static_cast<PatchPoint*>(v));
    return out;
}

// The cheapest module the engine can run, so what a patch of them costs is the
// engine's own per-module overhead (virtual call, list walk, one cable copy).
class PassModule : public Module {
public:
    explicit PassModule(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        in = addJack(20, 60, kJackInput);
        out = addJack(20, 120, kJackOutput);
    }
    // +1 so the far end of a chain shows how many modules the signal went through.
    void process() override { out->outValue = in->inValue + 1.f; }
    PatchPoint* in;
    PatchPoint* out;
};

// The same with the block form the voice modules have: a chain of these runs module
// by module, so what it costs is the engine's overhead there (one call per module
// and block, one row per cable).
class BlockPassModule : public PassModule {
public:
    using PassModule::PassModule;
    int blockMode() const override { return kBlockFree; }
    void processPass() override { out->outValue = *in->blockIn + 1.f; }
    void processBlock(int, int n) override {
        const float* const x = in->blockIn;
        float* const y = out->blockOut + 1;
        for (int i = 0; i < n; ++i) y[i] = x[i] + 1.f;
        if (n > 0) out->outValue = y[n - 1];
    }
};

struct Rig {
    Rig() : plugin(nullptr), editor(*plugin.editor) {
        plugin.setSampleRate(kRate);
        for (int k = 0; k < kNumInputs; ++k) {
            in[k].assign(kBlock, 0.f);
            inPtr[k] = in[k].data();
        }
        for (int j = 0; j < kNumOutputs; ++j) {
            out[j].assign(kBlock, 0.f);
            outPtr[j] = out[j].data();
        }
        // A quiet sine on host inputs 1 and 2, for patches that read them.
        for (int s = 0; s < kBlock; ++s) {
            in[0][s] = 0.5f * std::sin(0.05f * (float)s);
            in[1][s] = 0.5f * std::cos(0.05f * (float)s);
        }
    }

    template <class T>
    T* addCustom() {
        EngineLockGuard guard(plugin.engineLock);
        editor.ensureCapacity(editor.rackModules.size() + 1);
        T* m = new T(&editor);
        editor.addToRack(m);
        return m;
    }
    Module* add(const char* name) { return editor.createModuleAt(name, 0, 0); }
    bool cable(PatchPoint* from, PatchPoint* to) { return editor.connectJacks(from, to, 1) != nullptr; }
    void render() { plugin.processReplacing(inPtr, outPtr, kBlock); }

    Vantorel plugin;
    SynEditor& editor;
    std::array<std::vector<float>, kNumInputs> in;
    std::array<std::vector<float>, kNumOutputs> out;
    float* inPtr[kNumInputs];
    float* outPtr[kNumOutputs];
};

}  // namespace benchrig
