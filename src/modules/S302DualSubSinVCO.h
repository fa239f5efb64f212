#pragma once

#include "framework/Module.h"

class ModuleKnob;

// Two sine oscillators on one pitch CV, each shifted by whole octaves (-6..+6), the
// second also tunable up to an octave. The second runs only while Out2 has a cable.
class S302DualSubSinVCO : public Module {
public:
    explicit S302DualSubSinVCO(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S302 Dual Sub/Sin VCO", 1000)

    // Audio thread, lock held.
    void process() override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    // Lock held.
    void cableConnected(PatchPoint* jack) override;
    void setSampleRate(float rate) override;
    void loadState(const int32_t* words, int byteCount, int version) override;
    // Editor thread, or under the lock from loadState.
    void controlChanged(CControl* control) override;

private:
    // Radians per sample of an oscillator `octaves` knob away from the CV pitch.
    float increment(const ModuleKnob* octaves) const;

    ModuleKnob* tune;
    ModuleKnob* octave1;
    ModuleKnob* octave2;
    PatchPoint* cvIn;
    PatchPoint* out1;
    PatchPoint* out2;

    float base;
    float phase1 = 0.f;
    float phase2 = 0.f;
    float w1 = 0.f;
    float w2 = 0.f;
    float cachedCv = -1.f;
    float cvFrequency;
};
