#pragma once

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// A light oscillator: two detuned saws summed, band-limited with a two-sample
// polynomial step correction, linear FM in Hz whose negative frequencies flip the
// polarity, a square made from each saw and its half-cycle shifted copy, and a CV
// output that carries the pitch plus the detune.
class S304VCO : public Module {
public:
    explicit S304VCO(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S304 VCO", 1001)

    // Audio thread, lock held.
    void process() override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    // Lock held.
    void loadState(const int32_t* words, int byteCount, int version) override;

private:
    ModuleKnob* linFm;
    ModuleKnob* tune;
    ModuleKnob* detune;
    PatchPoint* cvIn;
    PatchPoint* linFmIn;
    PatchPoint* detuneOut;
    PatchPoint* sawOut;
    PatchPoint* squareOut;

    float base;
    float phase1 = 0.f;
    float phase2 = 0.f;
    float cachedCv = -1000.f;
    float cvFrequency = 0.f;
    float detuneRatio;
    KnobWatch knobs;
    Derived<double, double> tuneCurve;  // the Tune knob's frequency factor
};
