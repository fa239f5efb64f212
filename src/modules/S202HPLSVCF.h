#pragma once

#include "framework/Module.h"

class ModuleKnob;
class CVerticalSwitch;

// Two-pole state-variable filter (trapezoidal integrators), either a resonant high-pass
// or a low shelf from silence to +12 dB. It works on the previous sample's input, so its
// output lags by one sample in both modes.
class S202HPLSVCF : public Module {
public:
    explicit S202HPLSVCF(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S202 HP/Low Shelf VCF", 1000)

    // Audio thread, lock held.
    void process() override;
    // Lock held; the filter states carry over.
    void setSampleRate(float rate) override;

private:
    ModuleKnob* level;
    ModuleKnob* cutoff;
    ModuleKnob* frequencyDepth;
    ModuleKnob* shelf;
    ModuleKnob* resonance;
    PatchPoint* audioIn;
    PatchPoint* cutoffIn;
    PatchPoint* frequencyIn;
    PatchPoint* shelfIn;
    PatchPoint* output;
    CVerticalSwitch* mode;

    double s1 = 0.0, s2 = 0.0;
    double delayed = 0.0;  // the input the filter works on this sample
    double frequencyScale;
    double guard = 1e-13;
};
