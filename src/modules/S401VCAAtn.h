#pragma once

#include "framework/ClipLight.h"
#include "framework/Module.h"

class ModuleKnob;

// One CV gating two channels through a five-step gain from -12 dB to +12 dB.
// Without a positive CV both channels are silent.
class S401VCAAtn : public Module {
public:
    explicit S401VCAAtn(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S401 Multi db VCA/Attenuator", 1000)
    void process() override;
    int blockMode() const override { return kBlockFree; }
    void processBlock(int first, int n) override;
    void processPass() override;
    void controlChanged(CControl* control) override;
    void setSampleRate(float rate) override;

private:
    template <class Jacks>
    void step(const Jacks& io);
    void applyGainStep();

    ModuleKnob* gain;
    PatchPoint* cvIn;
    PatchPoint* in1;
    PatchPoint* out1;
    PatchPoint* in2;
    PatchPoint* out2;
    ClipLight clip[2];
    float gainFactor = 1.f;
    // The stepped value gainFactor was taken from.
    float appliedStep = 0.5f;
};
